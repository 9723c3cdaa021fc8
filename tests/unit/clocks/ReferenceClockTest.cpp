// The reference clock against the simulated CLIP and module: its source and rate checks, the
// baseboard's DRAL7 import and export, and what the CLIP and the driver are told.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ClockTestbed.h"

namespace {

using namespace clocktest;
using namespace qvvandrel::oobx::attribute;
using Posts = std::vector<std::pair<uint16_t, uint32_t>>;
using Words = std::vector<uint32_t>;

class ReferenceClockTest : public ClockTestbed {
 protected:
  auto& source() { return attribute<RefClkSrc>(kSource); }
  auto& alias() { return publicAttribute<std::string>(kAlias); }
  std::vector<uint32_t> baseboardModes() { return sync.baseboardModes(); }
};

sim::Reply failure(int32_t status) {
  sim::Reply reply;
  reply.status = status;
  return reply;
}

std::string enumType(uint32_t id, const char* name) {
  return std::string(R"({"type":"enum","id":)") + std::to_string(id) + R"(,"comment":")" + name +
         R"(","value_type":"int32_t"})";
}
std::string identifier(uint32_t id, const char* name) {
  return std::string(R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)") +
         std::to_string(id) + R"(,"value_type":"int32_t","comment":")" + name + R"("})";
}
std::string item(const char* tag, const std::string& value, const std::string& type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":)" + type + "}";
}

TEST_F(ReferenceClockTest, ClkInWithinTheClipsRatesIsSentOnceTheInterfaceIsChecked) {
  report({200, 1, 200, 3, 201, 10000, 202, 100000});
  open(true, true, false);
  EXPECT_EQ(source().getDefault(), kRefClkSrcOnboard);
  source().set(kRefClkSrcClkIn);
  attribute<double>(kRate).set(2.5e7);
  commitOk();
  EXPECT_EQ(interfaceQueries(), (std::vector<uint16_t>{0x009, 0x003, 0x007, 0x006}));
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 3}}));
  EXPECT_EQ(deviceStatus.refClkPinSelections(), (Words{0}));
  for (uint32_t id : {kRate, 10882u, 4885u}) EXPECT_EQ(attribute<double>(id).get(), 2.5e7) << id;
  // On a PXI backplane there is no baseboard half: nothing registered, nothing sent.
  EXPECT_FALSE(registry.contains(kBaseboardSource, ""));
  EXPECT_TRUE(baseboardModes().empty());

  // The interface is checked once per session; a change is sent again.
  clearLogs();
  attribute<double>(kRate).set(5e7);
  commitOk();
  EXPECT_TRUE(interfaceQueries().empty());
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 3}}));
  EXPECT_EQ(attribute<double>(10882).get(), 5e7);
}

TEST_F(ReferenceClockTest, ARateOutsideTheClipsLimitsFailsTheCompile) {
  report({200, 1, 200, 3, 201, 10000});
  open(true, true, false);
  source().set(kRefClkSrcClkIn);
  attribute<double>(kRate).set(2.5e7);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(thrown.detail, attrtest::locationPrefix("qvvandrelbrenmooru/source/ReferenceClock", 203,
                                                    "QVVANDREL_Status_InvalidAttributeValue") +
                               item("kUsageTypeRequestedValue", R"("25.0e6")", R"("float")") + "," +
                               item("kUsageTypeMinValue", R"("10.0e6")", R"("float")") + "," +
                               item("kUsageTypeMaxValue", R"("10.0e6")", R"("float")") + "," +
                               identifier(kRate, "Reference Clock Rate") + attrtest::kSectionEnd);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_EQ(attribute<double>(10882).getCoerced(), 1e7);
}

TEST_F(ReferenceClockTest, EachSourceSendsItsRawCodeAndRouting) {
  report({200, 0, 200, 1, 200, 2, 200, 3, 200, 4, 201, 10000, 202, 100000});
  open(true, true, false);
  attribute<double>(kRate).set(2e7);
  struct Row {
    RefClkSrc source;
    uint32_t raw, routing;
    double rate;
    bool noSource, shared;  // 12240, 12110
  };
  const Row rows[] = {
      {kRefClkSrcNone, 0, 0, 1e7, true, false},      {kRefClkSrcOnboard, 1, 0, 1e7, false, false},
      {kRefClkSrcPxiClk10, 2, 1, 1e7, false, true},  {kRefClkSrcClkIn, 3, 0, 2e7, false, true},
      {kRefClkSrcPxiClk100, 4, 2, 1e8, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.raw);
    clearLogs();
    source().set(row.source);
    commitOk();
    EXPECT_EQ(clockPosts(), (Posts{{0x205, row.raw}}));
    EXPECT_EQ(deviceStatus.refClkPinSelections().back(), row.routing);
    EXPECT_EQ(attribute<double>(4885).getCoerced(), row.rate);
    EXPECT_EQ(attribute<bool>(12240).getCoerced(), row.noSource);
    EXPECT_EQ(attribute<bool>(12110).getCoerced(), row.shared);
    EXPECT_EQ(alias().get(), qvvandrel::refClkSrcToString(row.source));
  }
}

TEST_F(ReferenceClockTest, TheAliasSpeaksTextAndRefusesWhatTheClipLacks) {
  report({200, 1, 200, 2, 201, 10000, 202, 100000});
  open(true, true, false);
  EXPECT_EQ(alias().get(), "Onboard");
  alias().set("PXI_Clk10");
  EXPECT_EQ(source().getDesired(), kRefClkSrcPxiClk10);
  EXPECT_TRUE(source().wasSetByUser());
  commitOk();
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 2}}));
  EXPECT_EQ(deviceStatus.refClkPinSelections(), (Words{1}));

  // An unknown text is the value 0, which the CLIP does not list.
  alias().set("pxi_clk10");
  EXPECT_EQ(source().getDesired(), kRefClkSrcUnknown);
  clearLogs();
  const auto thrown = commit();
  const std::string type = enumType(kSource, "Reference Clock Source");
  EXPECT_EQ(thrown.detail, attrtest::locationPrefix("atat/ranges/EnumRange", 103) +
                               item("kUsageTypeRequestedValue", "0", type) + "," +
                               item("kUsageTypePossibleValues", "[1,2]", type) + "," +
                               identifier(kSource, "Reference Clock Source") +
                               attrtest::kSectionEnd);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(ReferenceClockTest, TextsConvertExactly) {
  const std::pair<const char*, RefClkSrc> texts[] = {
      {"", kRefClkSrcUnknown},
      {"Onboard", kRefClkSrcOnboard},
      {"PXI_Clk10", kRefClkSrcPxiClk10},
      {"ClkIn", kRefClkSrcClkIn},
      {"None", kRefClkSrcNone},
      {"DRAL7", kRefClkSrcDral7},
      {"PXI_Clk100", kRefClkSrcPxiClk100},
  };
  for (const auto& [text, value] : texts) {
    EXPECT_EQ(qvvandrel::refClkSrcFromString(text), value) << text;
    EXPECT_EQ(qvvandrel::refClkSrcToString(value), text);
  }
  EXPECT_EQ(qvvandrel::refClkSrcFromString("Dral7"), kRefClkSrcUnknown);
  EXPECT_EQ(qvvandrel::refClkSrcFromString("DRAL7 "), kRefClkSrcUnknown);
  EXPECT_EQ(qvvandrel::refClkSrcToString(static_cast<RefClkSrc>(7)), "");
}

TEST_F(ReferenceClockTest, TheBaseboardRunsOwnExportedOrImportedReference) {
  open(false, true, false);
  commitOk();
  auto& exported = attribute<bool>(kExported);
  exported.set(true);
  commitOk();
  EXPECT_TRUE(attribute<bool>(12111).getCoerced());
  exported.set(false);
  attribute<std::string>(8627).set("DRAL7");
  commitOk();
  EXPECT_EQ(attribute<BaseboardRefClkSrc>(kBaseboardSource).getCoerced(), kBaseboardRefClkSrcDral7);
  EXPECT_FALSE(attribute<bool>(12241).getCoerced());
  attribute<std::string>(8627).set("None");
  attribute<BaseboardRefClkSrc>(kBaseboardSource).set(kBaseboardRefClkSrcDral7);
  commitOk();
  EXPECT_EQ(baseboardModes(), (Words{0, 1, 4, 4}));

  // Importing and exporting at once.
  exported.set(true);
  const auto conflict = commit();
  EXPECT_EQ(conflict.code, -304408);
  EXPECT_EQ(baseboardModes().size(), 4u);

  // Only 0 and 1 are sources of the baseboard.
  exported.set(false);
  attribute<BaseboardRefClkSrc>(kBaseboardSource).set(static_cast<BaseboardRefClkSrc>(2));
  const std::string type = enumType(kBaseboardSource, "Baseboard Reference Clock Source");
  EXPECT_EQ(commit().detail, attrtest::locationPrefix("atat/ranges/EnumRange", 103) +
                                 item("kUsageTypeRequestedValue", "2", type) + "," +
                                 item("kUsageTypePossibleValues", "[0,1]", type) + "," +
                                 identifier(kBaseboardSource, "Baseboard Reference Clock Source") +
                                 attrtest::kSectionEnd);
}

TEST_F(ReferenceClockTest, Dral7ThroughTheAliasWhileExportingNamesBothSides) {
  open(false, true, false);
  attribute<bool>(kExported).set(true);
  alias().set("DRAL7");
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(thrown.detail,
            attrtest::locationPrefix("qvvandrelbrenmooru/source/ReferenceClock", 158,
                                     "QVVANDREL_Status_InvalidAttributeValue") +
                identifier(kBaseboardSource, "Baseboard Reference Clock Source") + "," +
                item("kUsageTypeRequestedValue", "0",
                     enumType(kBaseboardSource, "Baseboard Reference Clock Source")) +
                "," + identifier(kExported, "Baseboard Reference Clock Exported") + "," +
                item("kUsageTypeRequestedValue", "true", R"("bool")") + "," +
                item("kUsageTypePossibleValues", "false", R"("bool")") + attrtest::kSectionEnd);
  // The module follows the baseboard onto DRAL7, set internally.
  EXPECT_EQ(source().getDesired(), kRefClkSrcDral7);
  EXPECT_TRUE(source().wasSetInternally());
  EXPECT_EQ(attribute<BaseboardRefClkSrc>(kBaseboardSource).getCoerced(), kBaseboardRefClkSrcDral7);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_TRUE(baseboardModes().empty());
}

TEST_F(ReferenceClockTest, ExportingOntoDral7KeepsASourceTheHostChose) {
  report({200, 1, 200, 2, 200, 3, 201, 10000, 202, 100000});
  open(false, true, false);
  source().set(kRefClkSrcClkIn);
  attribute<std::string>(8798).set("DRAL7");
  commitOk();
  EXPECT_EQ(source().getCoerced(), kRefClkSrcClkIn);
  EXPECT_TRUE(source().wasSetByUser());
  EXPECT_TRUE(attribute<bool>(kExported).getCoerced());
  EXPECT_TRUE(attribute<bool>(12111).getCoerced());
  EXPECT_EQ(attribute<std::string>(8798).getCoerced(), "DRAL7");
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 3}}));
  EXPECT_EQ(baseboardModes(), (Words{1}));

  // A source the host left alone (or chose "Onboard") follows onto DRAL7: raw code 2 off the
  // backplane, routed as 1.
  source().set(kRefClkSrcOnboard);
  clearLogs();
  commitOk();
  EXPECT_EQ(source().getCoerced(), kRefClkSrcDral7);
  EXPECT_TRUE(source().wasSetInternally());
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 2}}));
  EXPECT_EQ(deviceStatus.refClkPinSelections().back(), 1u);
  EXPECT_FALSE(attribute<bool>(12110).getCoerced());  // the baseboard runs its own reference

  // Any other export text is refused, naming the export switch's request.
  attribute<std::string>(8798).set("PXI_Clk10");
  EXPECT_EQ(commit().detail,
            attrtest::locationPrefix("qvvandrelbrenmooru/source/ReferenceClock", 131,
                                     "QVVANDREL_Status_InvalidAttributeValue") +
                item("kUsageTypeRequestedValue", "false", R"("bool")") + attrtest::kSectionEnd);
}

TEST_F(ReferenceClockTest, EveryReadOfThePllLockAsksTheDriver) {
  open(false, true, false);
  auto& locked = publicAttribute<bool>(kPllLocked);
  clearLogs();
  EXPECT_TRUE(locked.get());
  sync.setLocked(false);
  EXPECT_FALSE(locked.get());
  EXPECT_FALSE(locked.getValue());
  EXPECT_EQ(module.deviceInterface().count(kPllLockCommand), 3u);
  EXPECT_EQ(attrtest::catchError([&] { locked.set(true); }).code, -304414);
  module.deviceInterface().script(kPllLockCommand, failure(-50550));
  EXPECT_EQ(attrtest::catchError([&] { locked.get(); }).code, -50550);
  // The lock is no node of the graph: a commit never reads it.
  clearLogs();
  commitOk();
  EXPECT_EQ(module.deviceInterface().count(kPllLockCommand), 0u);
}

TEST_F(ReferenceClockTest, WithoutReferenceSourcesOnlyTheBaseboardWorks) {
  report({});
  open(false, true, false);
  EXPECT_FALSE(registry.contains(kSource, ""));
  EXPECT_FALSE(registry.contains(kAlias, ""));
  EXPECT_TRUE(registry.contains(kPllLocked, ""));
  commitOk();
  EXPECT_TRUE(clip.log(0x205).empty());
  EXPECT_TRUE(interfaceQueries().empty());
  EXPECT_TRUE(deviceStatus.refClkPinSelections().empty());
  EXPECT_EQ(baseboardModes(), (Words{0}));
  // Without the module half a second connect finds no alias to refuse.
  EXPECT_EQ(
      attrtest::catchError([&] { reference->connect(&kommissar.resolverRoots(), &registry); }).code,
      0);
}

TEST_F(ReferenceClockTest, ASecondConnectIsRefusedAtTheAlias) {
  open(true, true, false);
  EXPECT_EQ(
      attrtest::catchError([&] { reference->connect(&kommissar.resolverRoots(), &registry); }).code,
      -52003);
}

TEST_F(ReferenceClockTest, InterfaceTwoAndTheDriverFailuresStopTheDeploy) {
  open(false, true, false);
  clip.setInterface(2, {false, 0x4002, 1, 0});
  EXPECT_EQ(commit().code, -304306);
  clip.setInterface(2, {true, 0x4002, 1, 0});
  clip.script(0x007, {0, -50551});
  EXPECT_EQ(commit().code, -50551);
  EXPECT_FALSE(configuration.interface2.done);
  clip.setVersions(2, 0, 1);
  EXPECT_EQ(commit().code, -304307);
  clip.setVersions(2, 1, 1);
  module.deviceInterface().script(kBaseboardModeCommand, failure(-50552));
  EXPECT_EQ(commit().code, -50552);
  clearLogs();
  commitOk();
  EXPECT_TRUE(configuration.interface2.done);
  EXPECT_EQ(clockPosts(), (Posts{{0x205, 1}}));
}

}  // namespace
