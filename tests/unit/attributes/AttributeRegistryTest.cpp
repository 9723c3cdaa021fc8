#include "attributes/AttributeRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "attributes/Attribute.h"

namespace {

using attrtest::catchError;
using attrtest::kSectionEnd;
using attrtest::locationPrefix;

constexpr int kNotFound = -304404;
constexpr int kWrongType = -304403;
constexpr int kDuplicate = -304500;
constexpr std::uint32_t kEnabled = 0x40000000;  // "AI Channel Enabled"

class Registry : public ::testing::Test {
 protected:
  atat::Attribute<bool>* make(std::uint32_t id, const char* channel) {
    owned_.push_back(std::make_unique<atat::Attribute<bool>>(id, channel, false, &off_, nullptr,
                                                             nullptr, nullptr));
    return owned_.back().get();
  }

  const bool off_ = false;
  std::vector<std::unique_ptr<atat::Attribute<bool>>> owned_;
  atat::AttributeRegistry registry_{kNotFound, kWrongType, kDuplicate};
};

TEST_F(Registry, LookupIgnoresChannelCase) {
  auto* ai0 = make(kEnabled, "AI0");
  registry_.addAttribute(ai0);
  EXPECT_EQ(registry_.getAttribute(kEnabled, "ai0"),
            static_cast<iattr::AttributeBaseInterface*>(ai0));
  EXPECT_TRUE(registry_.contains(kEnabled, "Ai0"));
  EXPECT_FALSE(registry_.contains(kEnabled, "AI1"));
  EXPECT_FALSE(registry_.contains(kEnabled + 1, "AI0"));
}

TEST_F(Registry, DuplicatePairFailsAndLeavesTheRegistry) {
  registry_.addAttribute(make(kEnabled, "AI0"));
  const auto thrown = catchError([&] { registry_.addAttribute(make(kEnabled, "ai0")); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, kDuplicate);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/attributes/AttributeRegistry", 37, "errorInternalError") +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741824,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"ai0","value_type":"string"},)"
          R"({"type":"comment","comment":"The attribute id was already added to the attribute registry."})" +
          kSectionEnd);
  EXPECT_EQ(registry_.size(), 1u);
  EXPECT_STREQ(registry_.getAttribute(kEnabled, "AI0")->getChannelName(), "AI0");
}

TEST_F(Registry, ChannelsAreFoldedBeyondAscii) {
  // "STRASSE" and the same word with U+00DF are one key; Greek capital and small alpha are two.
  const char* const sharpS = "stra\xC3\x9F\x65";  // 0x65 is 'e'
  registry_.addAttribute(make(kEnabled, "STRASSE"));
  EXPECT_EQ(catchError([&] { registry_.addAttribute(make(kEnabled, sharpS)); }).code, kDuplicate);
  registry_.addAttribute(make(kEnabled, "\xCE\x91"));
  registry_.addAttribute(make(kEnabled, "\xCE\xB1"));
  EXPECT_EQ(registry_.size(), 3u);
  EXPECT_STREQ(registry_.getAttribute(kEnabled, sharpS)->getChannelName(), "STRASSE");
  // U+0391 sorts before U+03B1, and both after the Latin letters.
  EXPECT_EQ(registry_.getChannelNames(kEnabled),
            (std::vector<std::string>{"STRASSE", "\xCE\x91", "\xCE\xB1"}));
}

TEST_F(Registry, OrderedByIdentifierThenChannel) {
  registry_.addAttribute(make(kEnabled, "AI1"));
  registry_.addAttribute(make(0x20000010, "AI0"));
  registry_.addAttribute(make(kEnabled, "ai0"));
  registry_.addAttribute(make(kEnabled, "AI10"));
  registry_.addAttribute(make(0x10000005, ""));
  EXPECT_EQ(registry_.getChannelNames(kEnabled), (std::vector<std::string>{"ai0", "AI1", "AI10"}));
  EXPECT_EQ(registry_.getChannelNames(0x20000010), (std::vector<std::string>{"AI0"}));
  EXPECT_EQ(registry_.getChannelNames(0x10000005), (std::vector<std::string>{""}));
  EXPECT_TRUE(registry_.getChannelNames(0x10000006).empty());
}

TEST_F(Registry, NullChannelIsTheEmptyName) {
  registry_.addAttribute(make(0x10000005, nullptr));
  EXPECT_TRUE(registry_.contains(0x10000005, nullptr));
  EXPECT_TRUE(registry_.contains(0x10000005, ""));
  EXPECT_NE(registry_.getAttribute(0x10000005, nullptr), nullptr);
}

TEST_F(Registry, MissingKeyReportsIdentifierAndChannel) {
  registry_.addAttribute(make(kEnabled, "AI0"));
  const auto withChannel = catchError([&] { registry_.getAttribute(kEnabled, "AI7"); });
  ASSERT_TRUE(withChannel.thrown);
  EXPECT_EQ(withChannel.code, kNotFound);
  EXPECT_EQ(
      withChannel.detail,
      locationPrefix("atat/attributes/AttributeRegistry", 78, "errorAttributeNotFound") +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741824,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI7","value_type":"string"})" +
          kSectionEnd);
  const auto noChannel = catchError([&] { registry_.getAttribute(kEnabled, nullptr); });
  EXPECT_EQ(
      noChannel.detail,
      locationPrefix("atat/attributes/AttributeRegistry", 78, "errorAttributeNotFound") +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741824,"value_type":"uint32_t"})" +
          kSectionEnd);
}

TEST_F(Registry, TypedLookup) {
  auto* flag = make(kEnabled, "AI0");
  registry_.addAttribute(flag);
  auto* typed = registry_.getTyped<iattr::PublicAPIAttributeInterface<bool>>(kEnabled, "ai0");
  ASSERT_NE(typed, nullptr);
  typed->setValue(true);
  EXPECT_TRUE(flag->getDesired());
  const auto thrown = catchError(
      [&] { registry_.getTyped<iattr::PublicAPIAttributeInterface<int>>(kEnabled, "AI0"); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, kWrongType);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/attributes/AttributeRegistry", 114, "errorWrongAttributeType") +
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741824,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI0","value_type":"string"})" +
          kSectionEnd);
  const auto missing = catchError(
      [&] { registry_.getTyped<iattr::PublicAPIAttributeInterface<bool>>(kEnabled, "AI9"); });
  EXPECT_EQ(missing.code, kNotFound);
}

TEST_F(Registry, DirtyFlagOverAllAttributes) {
  EXPECT_FALSE(registry_.isDirty());
  registry_.setDirty(false);
  auto* a = make(kEnabled, "AI0");
  auto* b = make(kEnabled, "AI1");
  registry_.addAttribute(a);
  registry_.addAttribute(b);
  EXPECT_FALSE(registry_.isDirty());
  b->set(true);
  EXPECT_TRUE(registry_.isDirty());
  registry_.setDirty(false);
  EXPECT_FALSE(a->isDirty());
  EXPECT_FALSE(b->isDirty());
  registry_.setDirty(true);
  EXPECT_TRUE(a->isDirty());
}

TEST_F(Registry, NullAttributeIsRejected) {
  const auto thrown = catchError([&] { registry_.addAttribute(nullptr); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -52005);
  EXPECT_EQ(registry_.size(), 0u);
}

TEST(RegistryCodes, ZeroCodesStillThrow) {
  atat::AttributeRegistry registry(0, 0, 0);
  const auto thrown = catchError([&] { registry.getAttribute(1, "x"); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, 0);
  EXPECT_EQ(thrown.detail, "");
}

}  // namespace
