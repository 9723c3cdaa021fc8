// The serial channel set built from the CLIP's serial sections: the section check, the
// channels and their names, the counts, registration and the construction-time instructions.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SerialTestbed.h"
#include "channels/SiChannel.h"
#include "channels/SoChannel.h"

namespace {

using namespace serialtest;
using qvvandrel::SerialChannels;

using SerialChannelsTest = SerialTestbed;

std::string sectionError(const std::string& message, uint32_t number) {
  return R"({"error_constant":"QVVANDREL_Status_InvalidSerialChannelCapabilities",)"
         R"("file":"qvvandrelbrenmooru/source/SerialChannels","line":97,)"
         R"("component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
         R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[")" +
         message + R"(",)" + std::to_string(number) + "]}}";
}

TEST_F(SerialChannelsTest, WithoutSectionsThereAreNoChannelsAndNoInstructions) {
  for (const std::vector<uint32_t>& words :
       {std::vector<uint32_t>{}, sim::serialChannelWords({})}) {
    clip.setCapabilities(words);
    qvvandrel::ClipCapabilities caps(false);
    caps.load(fifo);
    clip.clearLog();
    SerialChannels set(caps, interfaces);
    EXPECT_FALSE(set.valid());
    EXPECT_TRUE(set.channels().empty());
    atat::AttributeRegistry reg = modeltest::makeRegistry();
    set.registerAttributes(&reg);
    EXPECT_EQ(reg.size(), 2u);
    EXPECT_EQ(reg.getTyped<iattr::AttributeInterface<int>>(0x10000026, "")->get(), 0);
    EXPECT_EQ(reg.getTyped<iattr::AttributeInterface<int>>(0x10000027, "")->get(), 0);
    EXPECT_TRUE(clip.log().empty());
  }
}

TEST_F(SerialChannelsTest, TheFirstIncompleteSectionStopsTheBuild) {
  struct Row {
    SerialSection broken;
    const char* message;
  };
  const Row rows[] = {
      {{std::nullopt, 0, 0, 0, {}, {}}, "missing type in section: "},
      {{0, std::nullopt, 0, 0, {}, {}}, "missing frontPanelNumber in section: "},
      {{0, 0, std::nullopt, 0, {}, {}}, "missing serDesNumber in section: "},
      {{1, 0, 0, std::nullopt, {}, {}}, "missing serDesBusID in section: "},
      // Only the first absent field of the section counts.
      {{std::nullopt, std::nullopt, std::nullopt, std::nullopt, {}, {}},
       "missing type in section: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const auto caps = loadTree({input(0, 0), output(1, 1), row.broken, input(5, 5)});
    const Raised r = raised([&] { SerialChannels set(*caps, interfaces); });
    EXPECT_EQ(r.code, -304511);
    EXPECT_EQ(r.detail, sectionError(row.message, 2));
  }
}

TEST_F(SerialChannelsTest, MoreThan255SectionsAreRefused) {
  std::vector<SerialSection> sections(255, output(0, 0));
  auto caps = loadTree(sections);
  SerialChannels set(*caps, interfaces);
  EXPECT_EQ(set.channels().size(), 255u);
  EXPECT_EQ(set.channels().back()->index(), 254);

  sections.push_back(output(0, 0));
  caps = loadTree(sections);
  clip.clearLog();
  const Raised r = raised([&] { SerialChannels set(*caps, interfaces); });
  EXPECT_EQ(r.code, -304511);
  EXPECT_EQ(r.detail, sectionError("too many sections: ", 256));
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(SerialChannelsTest, SectionsBecomeChannelsInTheirOrder) {
  // Type 2 is an output that neither count includes.
  SerialChannels& set = open({input(3, 1), input(1, 2), output(8, 0), {2, 4, 3, 3, {}, {}}});
  ASSERT_EQ(set.channels().size(), 4u);
  std::vector<std::string> names;
  std::vector<int> indices;
  for (const auto& channel : set.channels()) {
    indices.push_back(channel->index());
    if (auto* si = dynamic_cast<qvvandrel::SiChannel*>(channel.get()))
      names.push_back(si->channelName());
    if (auto* so = dynamic_cast<qvvandrel::SoChannel*>(channel.get()))
      names.push_back(so->channelName());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"SI3", "SI1", "invalid index", "SO4"}));
  EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(attribute<iattr::AttributeInterface<int>>(0x10000026, "").get(), 2);
  EXPECT_EQ(attribute<iattr::AttributeInterface<int>>(0x10000027, "").get(), 1);
  EXPECT_TRUE(set.isSiChannel(1));
  EXPECT_FALSE(set.isSiChannel(2));
  EXPECT_FALSE(set.isSiChannel(4));

  // The index, not the front-panel number, addresses the channel.
  attribute<iattr::AttributeInterface<qvvandrel::oobx::attribute::SiPoCSource>>(0x10000028, "SI1")
      .get();
  ASSERT_EQ(sent(0x3001).size(), 1u);
  EXPECT_EQ(sent(0x3001)[0].args, std::vector<uint32_t>{1});

  // The counts are read-only.
  auto& count = attribute<iattr::AttributeInterface<int>>(0x10000026, "");
  EXPECT_EQ(raised([&] { count.set(7); }).code, -304414);
  EXPECT_EQ(count.get(), 2);
}

TEST_F(SerialChannelsTest, TwoInputsOfOneFrontPanelNumberCollideAtRegistration) {
  const auto caps = loadTree({input(2, 0), input(2, 1)});
  SerialChannels set(*caps, interfaces);
  EXPECT_EQ(set.channels().size(), 2u);
  EXPECT_EQ(raised([&] { set.registerAttributes(&registry); }).code, -304500);
}

TEST_F(SerialChannelsTest, ChannelsNeedTheStatusInterfaceAndKnownUnits) {
  const auto caps = loadTree({input(0, 0)});
  struct Row {
    const char* what;
    std::function<void()> setUp;
    int32_t code;
    bool checked;
  };
  const Row rows[] = {
      {"no interface 0x30", [&] { clip.removeInterface(0x30); }, -304306, false},
      {"oldest compatible 1", [&] { clip.setVersions(0x30, 2, 1); }, -304307, false},
      {"failed version query",
       [&] {
         clip.script(0x007, {0, -50550});
       },
       -50550, false},
      {"voltage unit 3", [&] { status().voltageUnitCode = 3; }, -52003, true},
      {"current unit 8", [&] { status().currentUnitCode = 8; }, -52003, true},
      {"current unit 0", [&] { status().currentUnitCode = 0; }, -52003, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    clip.setInterface(0x30, {true, 0x4030, 1, 0});
    status() = {};
    statusCheck.done = false;
    row.setUp();
    EXPECT_EQ(raised([&] { SerialChannels set(*caps, interfaces); }).code, row.code);
    // A failed check is asked again next time.
    EXPECT_EQ(statusCheck.done, row.checked);
  }
}

TEST_F(SerialChannelsTest, UnitsAreAskedOncePerChannelAfterOneCheck) {
  const auto caps = loadTree({input(0, 0), output(0, 1)});
  clip.clearLog();
  SerialChannels set(*caps, interfaces);
  std::vector<uint32_t> opcodes;
  for (const auto& i : clip.log()) opcodes.push_back(i.opcode);
  EXPECT_EQ(opcodes,
            (std::vector<uint32_t>{0x009, 0x003, 0x007, 0x006, 0x3006, 0x3005, 0x3006, 0x3005}));
  EXPECT_EQ(clip.log()[0].args, std::vector<uint32_t>{0x30});
  EXPECT_TRUE(statusCheck.done);
}

}  // namespace
