// The DAC up-converter: its presence, attributes, mask table, compile and deploy.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../session/SessionTestbed.h"
#include "features/DacDuc.h"
#include "model/Kommissar.h"

namespace {

using attrtest::catchError;
using qvvandrel::DacDuc;
using DucMode = DacDuc::Mode;

class DacDucTest : public sessiontest::SessionTestbed {
 protected:
  // A CLIP offering these up-converter modes (capability 307) on `outputs` analog outputs.
  std::unique_ptr<DacDuc> make(std::initializer_list<uint32_t> modes, uint32_t outputs = 2) {
    for (uint32_t mode : modes) capabilities.cap307.acceptValue(mode);
    capabilities.cap300.acceptValue(outputs);
    return std::make_unique<DacDuc>(capabilities, configuration);
  }
  void commission(DacDuc& duc) {
    kommissar.addCommission(&duc);
    kommissar.commission();
  }
  // Commits and returns the raw codes 0xD00 carried.
  std::vector<uint32_t> commit() {
    clip.clearLog();
    kommissar.compile();
    kommissar.deploy();
    std::vector<uint32_t> codes;
    for (const sim::ClipInstruction& i : clip.log(0xD00)) codes.push_back(i.arg(0));
    return codes;
  }
  iattr::AttributeInterface<bool>& enabled(const char* channel) {
    return *registry.getTyped<iattr::AttributeInterface<bool>>(0x40000009, channel);
  }

  qvvandrel::ClipCapabilities capabilities{false};
  qvvandrel::ClipConfiguration configuration{instructionFifo, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &configuration.deploy};
};

// Items of one output set in the mask detail.
std::string outputs(const char* names, const char* usage) {
  return std::string(
             R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741833,)"
             R"("value_type":"int32_t","comment":"DAC Digital Upconverter Enabled"},)"
             R"({"type":"usage","usage":"kUsageTypeOutputChannels","value":[)") +
         names + R"(],"value_type":"string"},{"type":"usage","usage":")" + usage +
         R"(","value":true,"value_type":"bool"},)"
         R"({"type":"usage","usage":"kUsageTypeBlankLine","value":"","value_type":"string"})";
}

TEST_F(DacDucTest, TheMaskTableKeepsTheFirstModeOfEachMask) {
  std::unique_ptr<DacDuc> duc = make({2, 0, 2, 7});
  EXPECT_EQ(duc->lookupOutputChannelMask(2), 2u);  // AO1 alone
  EXPECT_EQ(duc->lookupOutputChannelMask(0), 0u);
  EXPECT_EQ(duc->mode().getCoerced(), DucMode{2});  // the first mode offered

  const attrtest::Thrown thrown = catchError([&] { duc->lookupOutputChannelMask(1); });
  EXPECT_EQ(thrown.code, -304408);
  const std::string expected =
      attrtest::locationPrefix("DacDuc", 97, "QVVANDREL_Status_InvalidAttributeValue") +
      outputs(R"("AO0")", "kUsageTypeRequestedValue") +
      R"(,{"type":"usage","usage":"kUsageTypePossibleValues","value":"","value_type":"string"},)" +
      outputs(R"("AO1")", "kUsageTypeSuggestedValue") + attrtest::kSectionEnd;
  EXPECT_EQ(thrown.detail, expected);
}

TEST_F(DacDucTest, WithoutOfferedModesTheFeatureIsAbsent) {
  std::unique_ptr<DacDuc> duc = make({}, 4);
  EXPECT_FALSE(duc->present());
  EXPECT_EQ(duc->mode().getCoerced(), DucMode{0});
  EXPECT_TRUE(duc->enabled().empty());
  commission(*duc);
  EXPECT_EQ(registry.size(), 0u);
  EXPECT_TRUE(kommissar.compileRoot().prerequisites().empty());
  EXPECT_TRUE(commit().empty());
}

TEST_F(DacDucTest, RegistersTheModeThenOneSwitchPerOutput) {
  std::unique_ptr<DacDuc> duc = make({0, 1}, 3);
  commission(*duc);
  EXPECT_EQ(registry.getChannelNames(0x40000009), (std::vector<std::string>{"AO0", "AO1", "AO2"}));
  EXPECT_TRUE(registry.contains(0x10000022, ""));
  EXPECT_FALSE(enabled("AO2").get());
}

TEST_F(DacDucTest, TheModeFollowsTheEnabledOutputsUnlessTheHostSetsIt) {
  std::unique_ptr<DacDuc> duc = make({0, 1});
  commission(*duc);
  EXPECT_EQ(commit(), std::vector<uint32_t>{0});  // nothing enabled: mode 0
  EXPECT_EQ(clip.log(0x009).size(), 1u);          // interface 13 required once

  enabled("AO0").set(true);
  EXPECT_EQ(commit(), std::vector<uint32_t>{1});
  EXPECT_EQ(duc->mode().getDesired(), DucMode{1});
  EXPECT_EQ(duc->mode().getAuthorship(), atat::kAuthorshipInternal);
  EXPECT_TRUE(clip.log(0x009).empty());

  // AO1 alone has no mode here; the detail offers AO0.
  enabled("AO0").set(false);
  enabled("AO1").set(true);
  const attrtest::Thrown noMode = catchError([&] { commit(); });
  EXPECT_EQ(noMode.code, -304408);
  EXPECT_NE(
      noMode.detail.find(
          R"("value":["AO0"],"value_type":"string"},{"type":"usage","usage":"kUsageTypeSuggestedValue")"),
      std::string::npos);

  // A mode the host sets is taken as it is, and must be offered.
  duc->mode().set(DucMode{2});
  EXPECT_EQ(catchError([&] { commit(); }).code, -304408);
  duc->mode().set(DucMode{1});
  EXPECT_EQ(commit(), std::vector<uint32_t>{1});
}

TEST_F(DacDucTest, AModeNoRawWordDecodesToIsSentAsNoCode) {
  std::unique_ptr<DacDuc> duc = make({0, 1});
  commission(*duc);
  // The CLIP's words stay; they no longer decode to the offered modes.
  capabilities.cap307.converter = [](uint32_t word) {
    return boost::make_optional(DucMode(word + 8));
  };
  EXPECT_EQ(commit(), std::vector<uint32_t>{DacDuc::kNoRawCode});
}

TEST_F(DacDucTest, AnOutputPastTheMaskRaisesTheBitsetError) {
  std::unique_ptr<DacDuc> duc = make({0, 1}, 65);
  commission(*duc);
  enabled("invalid index").set(true);  // output 64
  EXPECT_THROW(commit(), std::out_of_range);
}

TEST_F(DacDucTest, AnAbsurdOutputCountIsRefusedBeforeAnythingIsBuilt) {
  EXPECT_EQ(catchError([&] { make({0, 1}, 0xFFFFFFFF); }).code, -52003);
}

}  // namespace
