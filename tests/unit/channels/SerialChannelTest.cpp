// Input and output channels through their attributes: live PoC values on interface 0x30, the
// CSI-2 lanes deployed over 0x259 by commits, and the aliases of their user clocks.

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "SerialTestbed.h"

namespace {

using namespace serialtest;
using qvvandrel::oobx::attribute::Csi2NumLanes;
using qvvandrel::oobx::attribute::SiPoCSource;
using qvvandrel::oobx::attribute::SoPoCSink;

class SerialChannelTest : public SerialTestbed {
 protected:
  void SetUp() override {
    // SI0: SerDes 1, port 6. SO5: SerDes 0, no port, data clock 2 (field 811 = count + 2).
    // SI2: SerDes 3, no port. SO1: SerDes 2, port 7, no data clock.
    open({input(0, 1, 6), output(5, 0, 4 + 2), input(2, 3), output(1, 2, std::nullopt, 7)});
  }

  template <typename T>
  iattr::AttributeInterface<T>& attr(uint32_t id, const char* channel) {
    return attribute<iattr::AttributeInterface<T>>(id, channel);
  }
  template <typename T>
  iattr::APIAttribute<T>& alias(uint32_t id, const char* channel) {
    return attribute<iattr::APIAttribute<T>>(id, channel);
  }
  // The lane posts the controller received, as (port, lanes).
  std::vector<std::vector<uint32_t>> lanePosts() {
    std::vector<std::vector<uint32_t>> posts;
    for (const auto& i : sent(0x25902)) {
      EXPECT_TRUE(i.isPost());
      EXPECT_EQ(i.flags, 1u);
      posts.push_back(i.args);
    }
    return posts;
  }
};

TEST_F(SerialChannelTest, ReadingsAreDividedByTheirUnits) {
  EXPECT_EQ(attr<double>(0x2000002D, "SI2").get(), 0.0);
  struct Row {
    uint32_t voltageUnit, currentUnit, voltage, current;
    double volts, amperes;
  };
  const Row rows[] = {
      {2, 3, 12000, 250, 12.0, 0.25},
      {0, 1, 0xFFFFFFFF, 7, 4294967295.0, 7.0},
      {4, 5, 3300000, 1500000, 3.3, 1.5},
      {6, 7, 705032704, 2, 0.705032704, 2e-9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.volts);
    status().voltageUnitCode = row.voltageUnit;
    status().currentUnitCode = row.currentUnit;
    status().channels[2] = {0, 1, row.current, row.voltage};
    qvvandrel::SerialChannels set(*tree, interfaces);
    qvvandrel::SerialChannel& channel = **std::next(set.channels().begin(), 2);
    clip.clearLog();
    EXPECT_DOUBLE_EQ(channel.getPocVoltage(), row.volts);
    EXPECT_DOUBLE_EQ(channel.getPocCurrent(), row.amperes);
    // Both are calls with option flag 4 carrying the channel index.
    for (uint32_t opcode : {0x3003u, 0x3004u}) {
      ASSERT_EQ(sent(opcode).size(), 1u);
      EXPECT_EQ(sent(opcode)[0].flags, 6u);
      EXPECT_EQ(sent(opcode)[0].args, std::vector<uint32_t>{2});
    }
  }
}

TEST_F(SerialChannelTest, InRangeIsBitZeroReadOnEveryGet) {
  auto& inRange = attr<bool>(0x40000023, "SO5");
  status().channels[1].inRange = 2;
  EXPECT_FALSE(inRange.get());
  status().channels[1].inRange = 3;
  EXPECT_TRUE(inRange.get());
  ASSERT_EQ(sent(0x3002).size(), 2u);
  EXPECT_EQ(sent(0x3002)[1].flags, 2u);
  EXPECT_EQ(sent(0x3002)[1].args, std::vector<uint32_t>{1});
  // The status interface was checked while the channels were built, not again.
  for (uint32_t opcode : {0x003u, 0x006u, 0x007u, 0x009u}) EXPECT_TRUE(sent(opcode).empty());
}

TEST_F(SerialChannelTest, PocSettingsGoToTheClipAtOnce) {
  auto& source = attr<SiPoCSource>(0x10000028, "SI0");
  auto& sink = attr<SoPoCSink>(0x10000029, "SO5");

  // A sink of 1 is refused before anything is sent; 2 is posted at once with option flag 4.
  EXPECT_EQ(raised([&] { sink.set(SoPoCSink{1}); }).code, -52003);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_EQ(sink.getDesired(), SoPoCSink{0});
  sink.set(SoPoCSink{2});
  ASSERT_EQ(sent(0x3000).size(), 1u);
  EXPECT_EQ(sent(0x3000)[0].flags, 5u);
  EXPECT_EQ(sent(0x3000)[0].args, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(status().channels[1].pocSetting, 2);

  // Every set and reset of the source sends; every get asks.
  source.set(SiPoCSource{1});
  source.set(SiPoCSource{1});
  source.reset();
  ASSERT_EQ(sent(0x3000).size(), 4u);
  EXPECT_EQ(sent(0x3000)[3].args, (std::vector<uint32_t>{0, 0}));
  status().channels[0].pocSetting = 2;
  EXPECT_EQ(source.get(), SiPoCSource{2});
  EXPECT_EQ(source.get(), SiPoCSource{2});
  EXPECT_EQ(sent(0x3001).size(), 2u);

  // A setting the kind does not have is refused when read too.
  status().channels[0].pocSetting = 3;
  EXPECT_EQ(raised([&] { source.get(); }).code, -52003);
  status().channels[1].pocSetting = 1;
  EXPECT_EQ(raised([&] { sink.get(); }).code, -52003);

  // A failed post is raised as its own status and leaves the value as it was.
  clip.script(0x3000, {0, -50550});
  EXPECT_EQ(raised([&] { source.set(SiPoCSource{2}); }).code, -50550);
  EXPECT_EQ(source.getDesired(), SiPoCSource{0});
}

TEST_F(SerialChannelTest, ReadingsAndNamesAreReadOnly) {
  const Raised r = raised([&] { attr<double>(0x2000002D, "SI0").set(12.0); });
  EXPECT_EQ(r.code, -304414);
  EXPECT_NE(r.detail.find("SI0"), std::string::npos);
  EXPECT_EQ(raised([&] { attr<double>(0x20000030, "SO5").set(1.0); }).code, -304414);
  EXPECT_EQ(raised([&] { attr<bool>(0x40000022, "SI0").set(true); }).code, -304414);
  EXPECT_EQ(raised([&] { attr<std::string>(0x30000012, "SO5").set("x"); }).code, -304414);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(SerialChannelTest, NamesComeFromTheSerDesNumber) {
  EXPECT_EQ(attr<std::string>(0x30000011, "SI2").get(), "Des3_I2C");
  EXPECT_EQ(attr<std::string>(0x30000013, "SI0").get(), "Des1_RefClk");
  EXPECT_EQ(attr<std::string>(0x30000012, "SO5").get(), "Ser0_I2C");
  EXPECT_EQ(attr<std::string>(0x30000014, "SO1").get(), "Ser2_RefClk");
  EXPECT_EQ(attr<std::string>(0x30000016, "SO5").get(), "DataClk2");
  // Without a data clock there is neither its name nor the data rate.
  EXPECT_FALSE(registry.contains(0x30000016, "SO1"));
  EXPECT_FALSE(registry.contains(0x20000034, "SO1"));
}

TEST_F(SerialChannelTest, LanesDeployOnCommit) {
  // Only channels with a CSI-2 port have the setting.
  EXPECT_TRUE(registry.contains(0x10000035, "SI0"));
  EXPECT_FALSE(registry.contains(0x10000035, "SI2"));
  EXPECT_FALSE(registry.contains(0x10000036, "SO5"));
  EXPECT_TRUE(registry.contains(0x10000036, "SO1"));

  // The first commit sends 4 lanes per port after checking interface 0x259 once.
  commit();
  EXPECT_EQ(lanePosts(), (std::vector<std::vector<uint32_t>>{{6, 4}, {7, 4}}));
  ASSERT_EQ(sent(0x009).size(), 1u);
  EXPECT_EQ(sent(0x009)[0].args, std::vector<uint32_t>{0x259});
  // The header of an interface above 0xFF carries the whole opcode.
  EXPECT_EQ(sent(0x25902)[0].words[0], 0x00000006'00225902u);

  clip.clearLog();
  attr<Csi2NumLanes>(0x10000035, "SI0").set(Csi2NumLanes::kCsi2TwoLanes);
  commit();
  EXPECT_EQ(lanePosts(), (std::vector<std::vector<uint32_t>>{{6, 2}}));
  EXPECT_TRUE(sent(0x009).empty());
  clip.clearLog();
  commit();
  EXPECT_TRUE(clip.log().empty());

  // A redeploy sends every port again.
  roots.redeploy.invalidateIfResolved();
  commit();
  EXPECT_EQ(lanePosts(), (std::vector<std::vector<uint32_t>>{{6, 2}, {7, 4}}));

  // A count other than 1, 2 or 4 fails the commit and sends nothing.
  clip.clearLog();
  attr<Csi2NumLanes>(0x10000036, "SO1").set(Csi2NumLanes{3});
  EXPECT_EQ(raised([&] { commit(); }).code, -52003);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(SerialChannelTest, LaneInterfaceCheckFailsTheCommitUntilItPasses) {
  clip.setVersions(0x259, 1, 1);
  EXPECT_EQ(raised([&] { commit(); }).code, -304307);
  EXPECT_FALSE(lanesCheck.done);
  clip.setVersions(0x259, 1, 0);
  commit();
  EXPECT_EQ(lanePosts().size(), 2u);
}

TEST_F(SerialChannelTest, AliasesReadAndWriteTheirUserClocks) {
  auto& enabled = alias<bool>(0x40000024, "SI0");
  auto& target = attr<bool>(0x40000021, "Des1_RefClk");
  enabled.set(true);
  EXPECT_TRUE(target.getDesired());
  EXPECT_TRUE(target.wasSetByUser());
  EXPECT_TRUE(enabled.get());
  target.set(false);
  EXPECT_FALSE(enabled.get());

  auto& rate = alias<double>(0x20000034, "SO5");
  rate.set(2.5e8);
  EXPECT_EQ(attr<double>(0x2000002C, "DataClk2").getDesired(), 2.5e8);
  EXPECT_EQ(rate.get(), 2.5e8);
  alias<double>(0x20000036, "SO1").set(1.25e8);
  EXPECT_EQ(attr<double>(0x2000002C, "Ser2_RefClk").getDesired(), 1.25e8);
  EXPECT_EQ(alias<double>(0x20000035, "SI2").get(), 1e8);
  EXPECT_EQ(alias<bool>(0x40000025, "SO5").getId(), 0x40000025u);
}

TEST_F(SerialChannelTest, CommissionFindsTheUserClocksOnce) {
  EXPECT_EQ(raised([&] { channels->commission(&roots.record, &registry); }).code, -52003);

  for (const char* missing : {"Des1_RefClk", "Ser0_RefClk", "DataClk2"}) {
    SCOPED_TRACE(missing);
    atat::AttributeRegistry reg = modeltest::makeRegistry();
    UserClocks clocks({missing});
    clocks.registerAttributes(reg);
    modeltest::Roots ownRoots;
    qvvandrel::SerialChannels set(*tree, interfaces);
    set.registerAttributes(&reg);
    EXPECT_EQ(raised([&] { set.commission(&ownRoots.record, &reg); }).code, -304404);
  }
}

}  // namespace
