// Channel-name tables and connector-relative channel names resolved through the simulated CLIP.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../clip/ClipTestbed.h"
#include "model/APIDelegates.h"
#include "model/ChannelNames.h"
#include "sim/device/ClipIoModule.h"

namespace {

using qvvandrel::APIDelegates::resolveChannelName;
using Connectors = sim::ClipConnectors;

TEST(ChannelNamesTest, TablesKindsAndMasks) {
  using namespace qvvandrel;
  EXPECT_STREQ(channelName(kAiChannel, 63), "AI63");
  EXPECT_STREQ(channelName(kAiChannel, 64), "invalid index");
  EXPECT_STREQ(channelName(kDioChannel, 95), "DIO95");
  EXPECT_STREQ(channelName(kDioChannel, 96), "invalid index");
  EXPECT_STREQ(channelName(kDiffPfiChannel, 0), "DIFF PFI0");
  EXPECT_STREQ(channelName(kUnknownChannel, 0), "invalid index");
  EXPECT_STREQ(channelIndexName(63), "63");
  EXPECT_STREQ(channelIndexName(64), "invalid index");

  const std::pair<const char*, ChannelKind> kinds[] = {
      {"Conn0/AO1", kAoChannel},
      {"Conn0/AI12", kAiChannel},
      {"x/DI", kDiChannel},
      {"x/DO7", kDoChannel},
      {"x/DIO95", kDioChannel},
      {"x/PFI3", kPfiChannel},
      {"x/DIFF PFI3", kDiffPfiChannel},
      {"AI3", kUnknownChannel},
      {"x/ai3", kUnknownChannel},
      {"x/AI3x", kUnknownChannel},
      {"x/y/AI3", kUnknownChannel},
  };
  for (const auto& [text, kind] : kinds) EXPECT_EQ(detail::getChannelKind(text), kind) << text;

  EXPECT_EQ(getAiChannelNames(0b101, 2), std::vector<std::string>{"AI0"});
  EXPECT_EQ(getAiChannelNames(0b101, 3), (std::vector<std::string>{"AI0", "AI2"}));
  EXPECT_EQ(getAiChannelNames(1ull << 63, 100), std::vector<std::string>{"AI63"});
  EXPECT_EQ(getAoChannelNames(1ull << 63 | 2), (std::vector<std::string>{"AO1", "AO63"}));
}

class ChannelNameParserTest : public cliptest::ClipTestbed {
 protected:
  std::string resolve(const char* text) { return resolveChannelName(configuration, text); }
  Connectors& connectors() { return clip.state<Connectors>(); }

  qvvandrel::ClipConfiguration configuration{fifo, true};
};

TEST_F(ChannelNameParserTest, PlainNamesAreTheContextAsTheyAre) {
  for (const char* text : {"AI3", "ai3", "PFI3", "", "conn1/AI3", "CONN1/AI3"})
    EXPECT_EQ(resolve(text), text);
  // Without a connector number the parse stops after "Conn".
  EXPECT_EQ(resolve("ConnAI3"), "AI3");
  EXPECT_EQ(resolve("Conn"), "");
  EXPECT_EQ(resolve("Conn-1/AI3"), "-1/AI3");
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(ChannelNameParserTest, ConnectorRelativeNamesBecomeDeviceWide) {
  connectors().set(Connectors::Ai, 1, 4, 8);
  connectors().set(Connectors::Ao, 0, 2, 2);
  connectors().set(Connectors::Dio, 0, 0, 96);
  connectors().set(Connectors::DiffPfi, 2, 10, 4);
  connectors().set(Connectors::Pfi, 0, 62, 4);
  EXPECT_EQ(resolve("Conn1/AI3"), "AI7");
  EXPECT_EQ(resolve("Conn0/AO1"), "AO3");
  EXPECT_EQ(resolve("Conn0/DIO95"), "DIO95");
  EXPECT_EQ(resolve("Conn2/DIFF PFI3"), "DIFF PFI13");
  // Past the table, though within the connector's count.
  EXPECT_EQ(resolve("Conn0/PFI2"), "invalid index");

  // Each query is a call with option bit 4; the interface is checked once.
  const std::vector<sim::ClipInstruction> first = clip.log(0x911), count = clip.log(0x912);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].args, std::vector<uint32_t>{1});
  EXPECT_EQ(first[0].flags, 6u);
  EXPECT_EQ(count[0].flags, 6u);
  EXPECT_EQ(clip.log(0x1404).back().args, (std::vector<uint32_t>{3, 0}));  // PFI family code
  EXPECT_EQ(clip.log(0x1409).size(), 3u);
  resolve("Conn1/AI3");
  EXPECT_EQ(clip.log(0x009).size(), 3u);  // interfaces 9, 13 and 20, once each
  EXPECT_EQ(clip.log(0x911).size(), 2u);  // nothing is cached
}

TEST_F(ChannelNameParserTest, AnIndexBeyondTheConnectorFailsWithTheChannelText) {
  connectors().set(Connectors::Ai, 1, 4, 8);
  const std::string expected =
      attrtest::locationPrefix("./source/APIDelegates", 442,
                               "QVVANDREL_Status_StringParsingInvalidChannel") +
      R"({"type":"usage","usage":"kUsageTypeChannelName",)"
      R"("value":"Conn1/AI8","value_type":"string"})" +
      attrtest::kSectionEnd;
  const attrtest::Thrown thrown = attrtest::catchError([&] { resolve("Conn1/AI8"); });
  EXPECT_EQ(thrown.code, -304421);
  EXPECT_EQ(thrown.detail, expected);

  // A query the CLIP refuses with -304300 is reported the same way; others pass unchanged.
  clip.script(0x912, {0, -304300});
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn1/AI0"); }).code, -304421);
  clip.script(0x911, {0, -50550});
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn1/AI0"); }).code, -50550);
}

TEST_F(ChannelNameParserTest, MalformedNames) {
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn1/XY3"); }).code, -52005);
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn1AI3"); }).code, -52005);
  EXPECT_THROW(resolve("Conn1/AI"), std::invalid_argument);
  EXPECT_THROW(resolve("Conn1/AI99999999999"), std::out_of_range);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(ChannelNameParserTest, AMissingInterfaceFailsOnlyTheNamesThatNeedIt) {
  clip.setInterface(20, {false, 0x4014, 1, 0});
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn0/PFI3"); }).code, -304306);
  EXPECT_EQ(resolve("PFI3"), "PFI3");
  clip.setInterface(13, {true, 0x400D, 0, 1});
  EXPECT_EQ(attrtest::catchError([&] { resolve("Conn0/AO0"); }).code, -304307);
}

}  // namespace
