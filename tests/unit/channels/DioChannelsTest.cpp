// The DIO lines: which children exist for what the CLIP reports, the line voltage and the line
// configuration of each line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinesTestbed.h"

namespace {

using linestest::Setting;
using linestest::Settings;
using linestest::attr::DioConfiguration;

namespace attr = linestest::attr;
using DioChannelsTest = linestest::LinesTestbed;

// The settings of one DIO opcode among everything sent.
Settings only(uint32_t opcode, const Settings& settings) {
  Settings own;
  for (const Setting& s : settings)
    if (s.opcode == opcode) own.push_back(s);
  return own;
}

TEST_F(DioChannelsTest, ChildrenExistOnlyWhenTheClipReportsTheLines) {
  const struct {
    std::vector<uint32_t> words;
    size_t children;
    size_t voltageLines;
    int count;
  } rows[] = {
      {{1005, 1800000, 1006, 1}, 0, 0, 0},                 // no 1004
      {{1004, 0, 1005, 1800000, 1005, 3300000}, 1, 0, 0},  // a DioVoltage without lines
      {{1004, 2, 1006, 1}, 1, 0, 2},                       // only a DioConfigMode
  };
  open({});
  for (const auto& row : rows) {
    qvvandrel::ClipCapabilities capabilities{true};
    clip.setCapabilities(row.words);
    capabilities.load(instructionFifo);
    qvvandrel::config::dio::Channels lines(capabilities, configuration);
    ASSERT_EQ(lines.children().children().size(), row.children);
    EXPECT_EQ(lines.count().get(), row.count);
    if (row.children == 0) continue;
    const auto& first = *lines.children().children().at(0);
    if (const auto* voltage = dynamic_cast<const qvvandrel::DioVoltage*>(&first)) {
      EXPECT_EQ(voltage->children().size(), row.voltageLines);
    } else {
      EXPECT_NE(dynamic_cast<const qvvandrel::DioConfigMode*>(&first), nullptr);
    }
  }
}

// 1.8 and 3.3 V listed: every line starts at 1.8 V and is sent at the first commit; later only
// a changed line is sent, as the CLIP's word for its voltage.
TEST_F(DioChannelsTest, EachLinesVoltageIsSentAsTheClipsWord) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  EXPECT_EQ(attribute<double>(linestest::kDioVoltage, "DIO2").getCoerced(), 1.8);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(only(0x1402, lineSettings()), (Settings{{0x1402, 0xFFFFFFFF, 3300000},
                                                    {0x1402, 0, 1800000},
                                                    {0x1402, 1, 1800000},
                                                    {0x1402, 2, 1800000},
                                                    {0x1402, 3, 1800000}}));
  forget();
  attribute<double>(linestest::kDioVoltage, "DIO3").set(3.3);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(), (Settings{{0x1402, 3, 3300000}}));
  EXPECT_EQ(clip.log(0x1402).at(0).words, (std::vector<uint64_t>{0x300201402u, 3300000u}));

  // Refused at compile, naming the attribute and its channel; nothing sent, the word kept.
  forget();
  auto& line = attribute<double>(linestest::kDioVoltage, "DIO1");
  line.set(2.5);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_NE(
      thrown.detail.find(R"(,{"type":"usage","usage":"kUsageTypeAttributeIdentifier",)"
                         R"("value":536870962,"value_type":"int32_t","comment":)"
                         R"("DIO Line Voltage"},{"type":"usage","usage":)"
                         R"("kUsageTypeChannelName","value":"DIO1","value_type":"string"}]}})"),
      std::string::npos)
      << thrown.detail;
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(DioChannelsTest, LinesPastTheNameTableAreNamedInvalidIndex) {
  ASSERT_EQ(build({1004, 97, 1005, 3300000}), 0);
  EXPECT_TRUE(registry.contains(linestest::kDioVoltage, "DIO95"));
  EXPECT_FALSE(registry.contains(linestest::kDioVoltage, "DIO96"));
  EXPECT_TRUE(registry.contains(linestest::kDioVoltage, "invalid index"));
}

// One voltage (2.5 V) and one configuration (1, among words 7 that are none): each line accepts
// only that value, and nothing is ever sent.
TEST_F(DioChannelsTest, ASingleListedValueIsTheOnlyOneAndNeverSent) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLinesSparse), 0);
  auto& voltage = attribute<double>(linestest::kDioVoltage, "DIO0");
  auto& config = attribute<DioConfiguration>(linestest::kDioLineConfig, "DIO0");
  EXPECT_EQ(voltage.getCoerced(), 2.5);
  EXPECT_EQ(config.getCoerced(), attr::kDioConfigurationOutput);
  ASSERT_EQ(commit().code, 0);
  voltage.set(2.5 * (1 - 5e-13));
  config.set(attr::kDioConfigurationOutput);
  ASSERT_EQ(commit().code, 0);
  EXPECT_TRUE(clip.log().empty());

  voltage.set(3.3);
  EXPECT_EQ(commit().code, -304408);
  voltage.reset();
  ASSERT_EQ(commit().code, 0);

  config.set(attr::kDioConfigurationInput);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(thrown.detail,
            channeltest::enumRejection(268435505, "DIO Line Config", 0, "[1]", "DIO0"));
  // The word that is no configuration widens nothing.
  config.set(static_cast<DioConfiguration>(7));
  EXPECT_EQ(commit().code, -304408);
  EXPECT_TRUE(clip.log().empty());
}

// Configurations 1 then 0 listed: every line starts at 1, which the first commit sends for
// every line; 0 is accepted and sent as the CLIP's word for it.
TEST_F(DioChannelsTest, EachLinesConfigurationIsSentWhenTheClipOffersAChoice) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(only(0x1400, lineSettings()),
            (Settings{{0x1400, 0, 1}, {0x1400, 1, 1}, {0x1400, 2, 1}, {0x1400, 3, 1}}));
  forget();
  attribute<DioConfiguration>(linestest::kDioLineConfig, "DIO2").set(attr::kDioConfigurationInput);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(), (Settings{{0x1400, 2, 0}}));
}

}  // namespace
