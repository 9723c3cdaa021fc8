// The analog-input channel set: what exists for what the CLIP reports, the interface-9 check,
// the enable switch, and what a commit sends.

#include <gtest/gtest.h>

#include <vector>

#include "AiTestbed.h"
#include "channels/ai/AnalogInput.h"

namespace {

using aitest::Setting;
using aitest::Settings;
namespace ai = qvvandrel::config::ai;

using AiChannelsTest = aitest::AiTestbed;

// One channel with every list of one entry, enable switch offered.
const std::vector<uint32_t> kOneChannel = {
    100, 1,     115, 1,     101, 10000000, 101, 2000000, 102, 0,  102, 0,
    103, 65535, 103, 65535, 112, 32768,    112, 32768,   113, 10, 113, 2,
    114, 32768, 114, 32768, 109, 4,        110, 0,       107, 50, 106, 0};

TEST_F(AiChannelsTest, WithoutAChannelCountOnlyTheCountExists) {
  clip.setCapabilities({115, 1, 101, 10000000, 109, 4, 107, 50});
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(interfaceQueries(), 0u);
  EXPECT_TRUE(channels->features().children().empty());
  EXPECT_EQ(registry.size(), 1u);
  EXPECT_EQ(channels->channelCountAttribute().get(), 0);
  EXPECT_EQ(commit().code, 0);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(AiChannelsTest, TheCountIsTheClipsAndReadOnly) {
  ASSERT_EQ(open(), 0);
  auto& count = *registry.getTyped<iattr::AttributeInterface<int>>(aitest::kCount, "");
  EXPECT_EQ(count.get(), 4);
  const auto thrown = attrtest::catchError([&] { count.set(5); });
  EXPECT_EQ(thrown.code, -304414);
  EXPECT_NE(thrown.detail.find(R"("value":268435471)"), std::string::npos);
  EXPECT_EQ(count.get(), 4);
}

TEST_F(AiChannelsTest, NoChannelsStillNeedAUsableInterface9) {
  clip.setCapabilities({100, 0, 101, 10000000});
  tree.load(fifo);
  struct Row {
    const char* name;
    sim::ClipController::InterfaceInfo info;
    uint16_t failingQuery;
    int32_t code;
  };
  const Row rows[] = {
      {"usable", {true, 0x4009, 2, 2}, 0, 0},
      {"unsupported", {false, 0x4009, 1, 0}, 0, -304306},
      {"no handle", {true, 0xFFFFFFFF, 1, 0}, 0, -304307},
      {"oldest 3", {true, 0x4009, 5, 3}, 0, -304307},
      {"version 0", {true, 0x4009, 0, 0}, 0, -304307},
      {"support query fails", {true, 0x4009, 1, 0}, 0x009, -50551},
      {"handle query fails", {true, 0x4009, 1, 0}, 0x003, -50552},
      {"version query fails", {true, 0x4009, 1, 0}, 0x006, -50553},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    clip.setInterface(9, row.info);
    if (row.failingQuery != 0) clip.script(row.failingQuery, {1, row.code});
    qvvandrel::IfifoInterfaceCheck check{ref};
    const auto thrown = attrtest::catchError([&] {
      const ai::Channels group(tree, check);
      // The range and offset features exist, without channels.
      EXPECT_EQ(group.features().children().size(), 2u);
    });
    EXPECT_EQ(thrown.code, row.code);
    EXPECT_EQ(check.done, row.code == 0);
    clip.clearScripts();
  }
}

TEST_F(AiChannelsTest, TheEnableSwitchIsSentWhenTheClipOffersIt) {
  openAndCommit();
  attribute<bool>(aitest::kEnabled, "AI3").set(false);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x90D, 3, 0}}));
  EXPECT_EQ(clip.log(0x90D).at(0).words.at(0), 0x30020090Du);
}

TEST_F(AiChannelsTest, WithoutTheSwitchEnableIsKeptButNeverSent) {
  std::vector<uint32_t> words = kOneChannel;
  words.erase(words.begin() + 2, words.begin() + 4);  // 115
  clip.setCapabilities(words);
  ASSERT_EQ(open(), 0);
  ASSERT_EQ(commit().code, 0);
  attribute<bool>(aitest::kEnabled, "AI0").set(false);
  ASSERT_EQ(commit().code, 0);
  for (const Setting& s : settings()) EXPECT_NE(s.opcode, 0x90D);
  EXPECT_FALSE(attribute<bool>(aitest::kEnabled, "AI0").getCoerced());
}

TEST_F(AiChannelsTest, CommitsSendEverySettingInFeatureOrder) {
  clip.setCapabilities(kOneChannel);
  ASSERT_EQ(open(), 0);
  EXPECT_EQ(interfaceQueries(), 4u);  // supported, handle, oldest, version: once per session
  clip.clearLog();
  const Settings everything = {
      {0x90D, 0, 1}, {0x909, 0, 10000000}, {0x90B, 0, 32768}, {0x903, 0, 4}, {0x905, 0, 0}};
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), everything);
  EXPECT_EQ(interfaceQueries(), 0u);

  // Nothing changed: nothing is sent. A full redeploy sends everything again.
  clip.clearLog();
  ASSERT_EQ(commit().code, 0);
  EXPECT_TRUE(settings().empty());
  roots.redeploy.invalidateIfResolved();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), everything);

  // A failed post is raised with its status; the next commit sends it again, and only it.
  clip.clearLog();
  clip.script(0x905, {0, -50554});
  roots.redeploy.invalidateIfResolved();
  EXPECT_EQ(commit().code, -50554);
  clip.clearLog();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x905, 0, 0}}));
}

TEST_F(AiChannelsTest, ChannelsPastTheNameTableAreInvalidIndex) {
  EXPECT_STREQ(ai::channelNames().name(0), "AI0");
  EXPECT_STREQ(ai::channelNames().name(63), "AI63");
  EXPECT_STREQ(ai::channelNames().name(64), "invalid index");
  clip.setCapabilities({100, 65});
  ASSERT_EQ(open(), 0);
  EXPECT_TRUE(registry.contains(aitest::kEnabled, "AI63"));
  EXPECT_TRUE(registry.contains(aitest::kEnabled, "invalid index"));
  EXPECT_FALSE(registry.contains(aitest::kEnabled, "AI64"));
}

TEST_F(AiChannelsTest, AnAbsurdChannelCountIsRefusedBeforeAnythingIsBuilt) {
  clip.setCapabilities({100, 1025});
  EXPECT_EQ(open(), -52003);
  EXPECT_EQ(interfaceQueries(), 0u);
  clip.setCapabilities({100, 0x7FFFFFFF});
  EXPECT_EQ(open(), -52003);
  clip.setCapabilities({100, 1024});
  tree.load(fifo);
  qvvandrel::IfifoInterfaceCheck check{ref};
  const ai::Channels group(tree, check);
  EXPECT_EQ(group.features().children().size(), 1024u + 2u);
}

TEST_F(AiChannelsTest, TheConfigurationRootsFormUsesTheSessionsInterfaceNineRecord) {
  tree.load(fifo);
  qvvandrel::ClipConfiguration configuration(fifo, true);
  const ai::Channels group(tree, configuration);
  EXPECT_TRUE(configuration.interface9.done);
  EXPECT_FALSE(configuration.interface13.done);
  // A second user of the record asks the CLIP nothing again.
  clip.clearLog();
  const ai::Channels again(tree, configuration);
  EXPECT_EQ(interfaceQueries(), 0u);
}

}  // namespace
