// ADC interleaving: presence, the links to the enabled inputs, the choice of an option, the
// CLIP instruction and the factor's register.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "ConverterTestbed.h"
#include "features/AdcInterleaving.h"

namespace {

using attrtest::catchError;
using qvvandrel::AdcInterleaving;

constexpr uint32_t kFactor = 0x10000019, kChannelEnabled = 0x40000000;
constexpr const char* kFactorRegister = "vandrel.io.interleaving factor 0";

class AdcInterleavingTest : public featuretest::ConverterTestbed {
 protected:
  // A design with the factor's register, a CLIP with four analog inputs offering `codes`, and
  // "AI Channel Enabled" on AI0..AI3.
  std::unique_ptr<AdcInterleaving> make(std::initializer_list<uint32_t> codes,
                                        bool withRegister = true) {
    if (withRegister) design.addRegister({kFactorRegister, 0x40, "U16"});
    open({});
    report({{100, 4}});
    for (uint32_t code : codes) report({{111, code}});
    for (const char* channel : {"AI0", "AI1", "AI2", "AI3"})
      standIn<kChannelEnabled>(channel, false);
    auto feature = std::make_unique<AdcInterleaving>(capabilities, configuration, *transport);
    commission(*feature);
    return feature;
  }
  void enable(std::initializer_list<const char*> channels) {
    for (const char* channel : channels) attribute<bool>(kChannelEnabled, channel).set(true);
  }
  void setFactor(int factor) { attribute<int>(kFactor).set(factor); }
};

TEST_F(AdcInterleavingTest, WithoutOptionsTheFeatureIsAbsent) {
  std::unique_ptr<AdcInterleaving> feature = make({});
  EXPECT_FALSE(feature->present());
  EXPECT_FALSE(registry.contains(kFactor, ""));
  EXPECT_TRUE(feature->channelLinks().empty());
  EXPECT_TRUE(kommissar.compileRoot().prerequisites().empty());
  commit();
  EXPECT_TRUE(clip.log(0x907).empty());
}

TEST_F(AdcInterleavingTest, OptionsFollowTheOfferedCodes) {
  std::unique_ptr<AdcInterleaving> feature = make({1, 0, 2});
  const std::vector<AdcInterleaving::Option>& options = feature->options();
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ((std::vector<uint64_t>{options[0].code, options[0].factor, options[0].channels}),
            (std::vector<uint64_t>{1, 2, 0x2}));
  EXPECT_EQ((std::vector<uint64_t>{options[1].code, options[1].factor, options[1].channels}),
            (std::vector<uint64_t>{0, 2, 0x1}));
  EXPECT_EQ((std::vector<uint64_t>{options[2].code, options[2].factor, options[2].channels}),
            (std::vector<uint64_t>{2, 1, 0xFFFFFFFFFFFFFFFF}));
  EXPECT_EQ(attribute<int>(kFactor).get(), 1);
}

TEST_F(AdcInterleavingTest, TheFirstOptionAdmittingTheEnabledInputsIsSent) {
  std::unique_ptr<AdcInterleaving> feature = make({0, 1, 2});
  // Factor 1 by default: any inputs.
  enable({"AI0", "AI3"});
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{2});
  EXPECT_EQ(writes(kFactorRegister), std::vector<uint32_t>{1});
  EXPECT_EQ(clip.log(0x009).size(), 1u);  // interface 9 required once

  // Factor 2 with AI1 alone: code 0 admits only AI0.
  attribute<bool>(kChannelEnabled, "AI0").set(false);
  attribute<bool>(kChannelEnabled, "AI3").set(false);
  enable({"AI1"});
  setFactor(2);
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{1});
  EXPECT_EQ(writes(kFactorRegister), std::vector<uint32_t>{2});
  EXPECT_TRUE(clip.log(0x009).empty());

  // Nothing enabled: the first option with the factor.
  attribute<bool>(kChannelEnabled, "AI1").set(false);
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{0});
}

TEST_F(AdcInterleavingTest, AFactorNoOptionHasIsRefusedByTheRange) {
  std::unique_ptr<AdcInterleaving> feature = make({2});
  enable({"AI0", "AI1"});
  setFactor(2);
  const attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_TRUE(clip.log(0x907).empty());
  setFactor(1);
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{2});
}

// One item of the detail.
std::string item(const char* usage, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + usage + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}
std::string identifier(uint32_t id, const char* name) {
  return std::string(R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)") +
         std::to_string(id) + R"(,"value_type":"int32_t","comment":")" + name + R"("})";
}

TEST_F(AdcInterleavingTest, InputsNoOptionAdmitsAreNamedWithWhatEachOptionAdmits) {
  std::unique_ptr<AdcInterleaving> feature = make({0, 1, 2});
  enable({"AI0", "AI1"});
  setFactor(2);
  const attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  const std::string factor = identifier(268435481, "ADC Interleaving Factor");
  const std::string enabled = identifier(1073741824, "AI Channel Enabled");
  const std::string blank = item("kUsageTypeBlankLine", R"("")", "string");
  auto option = [&](const char* inside, const char* outside) {
    return blank + "," + factor + "," + item("kUsageTypeRequestedValue", "2", "uint32_t") + "," +
           enabled + "," + item("kUsageTypeInputChannels", inside, "string") + "," +
           item("kUsageTypeSuggestedValue", "true", "bool") + "," +
           item("kUsageTypeInputChannels", outside, "string") + "," +
           item("kUsageTypeSuggestedValue", "false", "bool");
  };
  const std::string expected =
      attrtest::locationPrefix("AdcInterleaving", 131, "QVVANDREL_Status_InvalidAttributeValue") +
      factor + "," + item("kUsageTypeRequestedValue", "2", "int32_t") + "," + enabled + "," +
      item("kUsageTypeInputChannels", R"(["AI0","AI1"])", "string") + "," +
      item("kUsageTypeRequestedValue", "true", "bool") + "," + blank + "," +
      item("kUsageTypePossibleValues", R"("")", "string") + "," +
      option(R"(["AI0"])", R"(["AI1","AI2","AI3"])") + "," +
      option(R"(["AI1"])", R"(["AI0","AI2","AI3"])") + attrtest::kSectionEnd;
  EXPECT_EQ(thrown.detail, expected);
  EXPECT_TRUE(clip.log(0x907).empty());
}

TEST_F(AdcInterleavingTest, LinksStopAtTheFirstInputWithoutABoolSwitch) {
  design.addRegister({kFactorRegister, 0x40, "U16"});
  open({});
  report({{100, 8}, {111, 2}});
  standIn<kChannelEnabled>("AI0", false);
  standIn<kChannelEnabled>("AI1", false);
  standIn<kChannelEnabled>("AI3", false);  // AI2 missing
  const int notABool = 0;
  qvvandrel::DependencyAttribute<int> otherType(kChannelEnabled, "AI2", &notABool);
  AdcInterleaving gap(capabilities, configuration, *transport);
  commission(gap);
  ASSERT_EQ(gap.channelLinks().size(), 2u);
  EXPECT_STREQ(gap.channelLinks()[1].attribute()->getChannelName(), "AI1");
  registry.addAttribute(&otherType);  // of another type: the walk stops there too
  // Every commission links afresh, without -52003.
  gap.commission(&kommissar.resolverRoots(), &registry);
  EXPECT_EQ(gap.channelLinks().size(), 4u);
  attribute<bool>(kChannelEnabled, "AI1").set(true);
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{2});
}

TEST_F(AdcInterleavingTest, WithoutTheRegisterOnlyTheInstructionIsSent) {
  std::unique_ptr<AdcInterleaving> feature = make({0, 2}, false);
  commit();
  EXPECT_EQ(posted(0x907), std::vector<uint32_t>{2});
  EXPECT_TRUE(registers().writeLog().empty());
}

TEST_F(AdcInterleavingTest, WithoutInterface9NothingIsSent) {
  clip.removeInterface(9);
  std::unique_ptr<AdcInterleaving> feature = make({2});
  EXPECT_EQ(catchError([&] { commit(); }).code, -304306);
  EXPECT_TRUE(clip.log(0x907).empty());
  EXPECT_TRUE(writes(kFactorRegister).empty());
}

}  // namespace
