// The user clocks as the configuration root holds them: the capability checks, the clocks and
// names construction gives, the compile's rounding, groups and failures, and what every deploy
// sends, against the simulated CLIP.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ClockTestbed.h"
#include "UserClockSupport.h"
#include "sim/device/ClipPll.h"

namespace {

using namespace clocktest;
using qvvandrel::UserClock;
using sim::SectionFields;
using sim::UserClockProfile;
using Post = std::vector<uint32_t>;  // opcode, then the arguments
using PllChipType = qvvandrel::ififo::PllConfiguration::PllChipType;

constexpr uint32_t kFrequency = UserClock::kFrequencyId;

std::string pllFailure(const std::string& data) {
  return attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 118,
                                  "QVVANDREL_Status_InvalidPllCapabilities") +
         data + attrtest::kSectionEnd;
}

std::string usageItem(const char* tag, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}
// A clock named in a failure: its frequency's identifier and its name.
std::string clockItems(const char* name) {
  return R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870956,)"
         R"("value_type":"int32_t","comment":"User Clock Frequency"},)" +
         usageItem("vandrel_kUsageTypeUserClock", std::string("\"") + name + "\"", "string");
}

class UserClockTest : public ClockTestbed {
 protected:
  // The clocks on a CLIP reporting `profile` and a sample clock beside them.
  void openWith(const UserClockProfile& profile) {
    std::vector<uint32_t> words = profile.words();
    words.insert(words.end(), {203, 1, 207, 1});
    clip.setVersions(12, profile.interfaceVersion, 0);
    report(words);
    open(false, true, true, true);
  }
  // The feature alone, on a tree of `profile` read without a CLIP.
  std::unique_ptr<UserClock> build(const UserClockProfile& profile) {
    tree.reset();
    own = userclocktest::treeOf(profile.words());
    own->interfaceVersion = profile.interfaceVersion;
    return std::make_unique<UserClock>(*own, proxy, configuration);
  }
  attrtest::Thrown buildFails(const UserClockProfile& profile) {
    return attrtest::catchError([&] { build(profile); });
  }
  qvvandrel::DependencyAttribute<double>& frequency(const char* clock) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<double>>(kFrequency, clock);
  }
  template <typename T>
  qvvandrel::DependencyAttribute<T>& of(uint32_t id, const char* clock) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, clock);
  }
  // The user clocks' posts since the log was cleared: the PLL interface's, the VCO period and,
  // when asked, the TX and RX clocks.
  std::vector<Post> pllPosts(bool withTxRx = false) {
    std::vector<Post> posts;
    for (const sim::ClipInstruction& i : clip.log()) {
      const bool txRx = i.opcode == 0x207 || i.opcode == 0x209;
      if (i.interfaceNumber() != 0x12 && i.opcode != 0x30A && !(withTxRx && txRx)) continue;
      EXPECT_TRUE(i.isPost()) << i.opcode;
      Post post{i.opcode};
      post.insert(post.end(), i.args.begin(), i.args.end());
      posts.push_back(post);
    }
    return posts;
  }

  std::unique_ptr<qvvandrel::ClipCapabilities> own;
};

TEST_F(UserClockTest, PllSectionsTheFeatureCannotUseFailWithTheirMessage) {
  struct Row {
    const char* what;
    UserClockProfile profile;
    std::string message;  // empty: accepted
  };
  const auto lmk = [](auto change) {
    UserClockProfile p = sim::lmk03328Profile();
    change(p);
    return p;
  };
  const auto twoPlls = [](auto change) {
    UserClockProfile p = sim::twoPllProfile();
    change(p);
    return p;
  };
  const Row rows[] = {
      {"version 1, PLL 0 of chip type 1",
       lmk([](auto& p) { p.interfaceVersion = 1, p.plls[0][500] = {1}; }),
       R"("PLL interface version 1 only supports LMK03328")"},
      {"version 1, no chip type",
       lmk([](auto& p) { p.interfaceVersion = 1, p.plls[0].erase(500); }),
       R"("PLL interface version 1 only supports LMK03328")"},
      {"version 1, PLL 1 already described", twoPlls([](auto& p) { p.interfaceVersion = 1; }),
       R"("Capability already initialized")"},
      {"version 1, PLL 1's VCO list given", twoPlls([](auto& p) {
         p.interfaceVersion = 1, p.plls[1] = {{501, {1}}};
       }),
       R"("Capability already initialized")"},
      {"no chip type", twoPlls([](auto& p) { p.plls[1].erase(500); }),
       R"("missing chipType in section: ",1)"},
      {"no VCO maximum", lmk([](auto& p) { p.plls[0].erase(502); }),
       R"("missing vcoMaxFreqKHz in section: ",0)"},
      {"no N minimum", lmk([](auto& p) { p.plls[0].erase(510); }),
       R"("missing nDividerIntMin in section: ",0)"},
      {"VCO lists of 2 and 1", lmk([](auto& p) { p.plls[0][501].push_back(5400000); }),
       R"("Mismatched VCO range capabilities")"},
      {"chip 0 without P", lmk([](auto& p) { p.plls[0].erase(515); }),
       R"("missing pDividerIntMax in section: ",0)"},
      {"chip 3 without a denominator minimum",
       lmk([](auto& p) { p.plls[0][500] = {3}, p.plls[0].erase(514), p.plls[0].erase(515); }),
       R"("missing nDividerFracDenMin in section: ",0)"},
      {"chip 1 without R", lmk([](auto& p) { p.plls[0][500] = {1}, p.plls[0].erase(504); }),
       R"("missing rDividerIntMin in section: ",0)"},
      {"chip 1 needs neither P nor fraction limits", lmk([](auto& p) {
         p.plls[0][500] = {1};
         for (uint32_t id : {511, 512, 513, 514, 515, 516}) p.plls[0].erase(id);
       }),
       ""},
      {"chip 4", lmk([](auto& p) { p.plls[0][500] = {4}; }),
       R"("Unhandled or invalid PLL chip type ",4)"},
      {"sources {1, 2} and {2, 3}", twoPlls([](auto& p) {
         p.plls.push_back(sim::lmk03328Pll()), p.plls.push_back(sim::lmk03328Pll());
         p.userClocks = {sim::pllClock({1, 2}), sim::pllClock({2, 3})};
       }),
       R"("Unhandled intersecting output source lists")"},
      {"{1, no source} and {1} are one group", twoPlls([](auto& p) {
         p.userClocks = {sim::pllClock({1, 0xFFFFFFFE}), sim::pllClock({1})};
       }),
       ""},
      {"different maxima in a group", lmk([](auto& p) { p.userClocks[2][601] = {128}; }),
       R"("Unhandled non-uniform output dividers from one PLL")"},
      {"a missing minimum in a group", lmk([](auto& p) { p.userClocks[1].erase(602); }),
       R"("Unhandled non-uniform output dividers from one PLL")"},
      {"no PLL section: nothing else matters",
       lmk([](auto& p) { p.plls.clear(), p.userClocks[1].erase(602); }), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const attrtest::Thrown thrown = buildFails(row.profile);
    if (row.message.empty()) {
      EXPECT_EQ(thrown.code, 0) << thrown.detail;
    } else {
      EXPECT_EQ(thrown.code, -304510);
      EXPECT_EQ(thrown.detail, pllFailure(row.message));
    }
  }

  // A version-1 CLIP's PLL 0 serves every PLL, in the feature's copy only.
  const auto feature = build(sim::interfaceVersion1Profile());
  EXPECT_TRUE(feature->isAvailable());
  const qvvandrel::PllSection& copy = feature->capabilities().plls.section;
  EXPECT_EQ(copy.vcoMaxFreqKHz.at(1), std::vector<unsigned int>{5400000});
  EXPECT_EQ(copy.pDividerIntMax.at(1), 8u);
  EXPECT_EQ(copy.chipType.at(1).value_or(PllChipType(4)), PllChipType(0));
  EXPECT_FALSE(own->plls.section.pDividerIntMax.at(1));
}

TEST_F(UserClockTest, ClocksAreNamedAfterTheirSerialChannelsAndDataClocks) {
  UserClockProfile profile = sim::lmk03328Profile();
  profile.userClocks.assign(8, sim::pllClock({0}));
  profile.userClocks[5][607] = {250000};
  // Field 811 counts data clocks from the section count (3): 5, 5 and 7 name data clocks 2 and 4
  // by identifier, DataClk0 and DataClk1 by order.
  profile.serialChannels = {{0, 0, 3, 1, 5, {}},
                            {1, 1, 3, 2, 5, {}},
                            {0, 2, 9, 6, 7, {}},
                            {1, 3, 4, 1, {}, {}},
                            {1, 4, {}, 3, {}, {}}};
  deviceStatus.setAdapterModule(0x1FA74D13, 0);
  const auto feature = build(profile);
  EXPECT_EQ(feature->clockIds(), (std::vector<uint8_t>{1, 2, 6, 5, 7}));
  atat::AttributeRegistry names = modeltest::makeRegistry();
  feature->collectAttributes(&names);
  const struct {
    const char* name;
    double frequency;
  } clocks[] = {{"Des3_RefClk", 0.0},
                {"Ser3_RefClk", 0.0},
                {"invalid index", 0.0},
                {"DataClk0", 250e6},
                {"DataClk1", 1.2e9}};
  for (const auto& clock : clocks) {
    SCOPED_TRACE(clock.name);
    const auto* f = names.getTyped<qvvandrel::DependencyAttribute<double>>(kFrequency, clock.name);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->getCoerced(), clock.frequency);
    EXPECT_EQ(f->getDefault(), clock.frequency);
    EXPECT_TRUE(names.contains(UserClock::kEnabledId, clock.name));
  }
  // More RX banks than there are bank names are refused, not made by the billion.
  profile.rxBankCount = 17;
  EXPECT_NE(buildFails(profile).detail.find(R"("Unhandled RX clock bank count: ",17)"),
            std::string::npos);
  // A data clock without its own default needs a module the defaults know.
  profile.rxBankCount = 16;
  deviceStatus.setAdapterModule(0x1FA74D16, 0);
  const attrtest::Thrown thrown = buildFails(profile);
  EXPECT_EQ(thrown.code, -304010);
  EXPECT_EQ(thrown.detail, attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 196,
                                                    "QVVANDREL_Status_IncompatibleDevice") +
                               R"("Invalid module ID")" + attrtest::kSectionEnd);
}

TEST_F(UserClockTest, TheLmk03328ExampleCommitsThroughTheKommissar) {
  openWith(sim::lmk03328Profile());
  EXPECT_EQ(user->clockIds(), (std::vector<uint8_t>{0, 1, 2}));
  EXPECT_EQ(publicAttribute<int>(UserClock::kUserClockCountId).get(), 3);
  frequency("CLK0").set(156.25e6);
  clearLogs();
  commitOk();
  const std::vector<Post> pll = {{0x1200, 0, 0, 1},
                                 {0x1200, 0, 1, 500},
                                 {0x1200, 0, 2, 2},
                                 {0x1202, 0, 1, 0},
                                 {0x1204, 0, 1, 1}};
  const std::vector<Post> outputs = {{0x1206, 0, 16}, {0x1208, 0, 0},
                                     {0x1206, 1, 1},  {0x1208, 1, 0xFFFFFFFE},
                                     {0x1206, 2, 1},  {0x1208, 2, 0xFFFFFFFE}};
  std::vector<Post> expected = pll;
  expected.push_back({0x30A, 200000});
  expected.insert(expected.end(), outputs.begin(), outputs.end());
  // Then the TX clock and both RX banks.
  expected.insert(expected.end(), {{0x207, 0}, {0x209, 0, 0}, {0x209, 1, 0}});
  EXPECT_EQ(pllPosts(true), expected);
  EXPECT_EQ(frequency("CLK0").get(), 156.25e6);
  EXPECT_EQ(attribute<double>(qvvandrel::SampleClock::kDataClockRateId).getCoerced(), 156.25e6);

  // A CLIP that does not offer the VCO period gets none, and no error.
  clip.state<sim::InstructionAvailability>().answers[{3, 0x30A}] = 0;
  frequency("CLK0").set(125e6);
  clearLogs();
  commitOk();
  expected = pll;
  expected.insert(expected.end(), outputs.begin(), outputs.end());
  expected[5] = {0x1206, 0, 20};
  EXPECT_EQ(pllPosts(), expected);
}

TEST_F(UserClockTest, CompileRoundsChecksAndGroupsTheRequests) {
  UserClockProfile profile = sim::twoPllProfile();
  profile.userClocks[1][606] = {1000000};  // 1 kHz steps
  profile.userClocks[2][606] = {0};        // unrounded
  profile.txClocks = {2, 5};
  profile.rxSources = {1};
  profile.rxBankCount = 2;
  openWith(profile);
  auto& clk0 = frequency("CLK0");
  auto& clk1 = frequency("CLK1");
  auto& clk2 = frequency("CLK2");
  const struct {
    qvvandrel::DependencyAttribute<double>* clock;
    double requested, rounded;
  } rounding[] = {{&clk0, 12345000, 12350000},
                  {&clk0, 12344999, 12340000},
                  {&clk1, 12345499, 12345000},
                  {&clk2, 12345499.5, 12345499.5}};
  for (const auto& row : rounding) {
    SCOPED_TRACE(row.requested);
    // The other clocks disabled, so the one asked for is alone on its PLL.
    for (auto* c : {&clk0, &clk1, &clk2})
      of<bool>(UserClock::kEnabledId, c->getChannelName()).set(c == row.clock);
    row.clock->set(row.requested);
    commitOk();
    EXPECT_EQ(row.clock->getDesired(), row.requested);
    EXPECT_NEAR(row.clock->getCoerced(), row.rounded, 1.0);  // the achieved frequency
  }
  for (auto* c : {&clk0, &clk1, &clk2})
    of<bool>(UserClock::kEnabledId, c->getChannelName()).set(true);

  // Two sources share a PLL only at one frequency: three different ones need three PLLs.
  clk0.set(100e6);
  clk1.set(50e6);
  clk2.set(25e6);
  attrtest::Thrown thrown = commit();
  EXPECT_EQ(thrown.code, -304437);
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 851,
                               "QVVANDREL_Status_UserClockFreqCombinationUnsupported") +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":3,"value_type":"uint64_t"},)"
          R"({"type":"usage","usage":"kUsageTypeMaxValue","value":2,"value_type":"uint32_t"})" +
          attrtest::kSectionEnd);
  // Bypassed, a clock leaves the groups; its request stays as rounded.
  of<bool>(UserClock::kBypassId, "CLK0").set(true);
  clk2.set(50e6);
  EXPECT_EQ(of<std::string>(UserClock::kTxClockSelectId, "").getDefault(), "CLK2");
  of<std::string>(UserClock::kTxClockSelectId, "").set("clk5");
  clearLogs();
  commitOk();
  EXPECT_EQ(user->outputSettings(),
            (std::vector<UserClock::OutputSetting>{{1, 0xFFFFFFFF}, {48, 0}, {48, 0}}));
  EXPECT_EQ(clk0.getCoerced(), 100e6);
  EXPECT_EQ(user->txClockIndex(), 5);
  // CLK1 and CLK2 cannot bypass.
  of<bool>(UserClock::kBypassId, "CLK1").set(true);
  EXPECT_EQ(commit().code, -304436);
  of<bool>(UserClock::kBypassId, "CLK1").set(false);
  // A group nothing serves names each of its clocks; a 0.0 the host wrote is checked.
  clk1.set(1e6);
  clk2.set(1e6);
  const std::string requested = usageItem("kUsageTypeRequestedValue", R"("1.0e6")", "float");
  thrown = commit();
  EXPECT_EQ(thrown.code, -304437);
  EXPECT_EQ(thrown.detail, R"({"translator":"dovrane_qvvandrelapi","translator_info":{)"
                           R"("is_debug":"0","version":1,"ordered_data":[)" +
                               clockItems("CLK1") + "," + requested + "," +
                               usageItem("kUsageTypeBlankLine", R"("")", "string") + "," +
                               clockItems("CLK2") + "," + requested + attrtest::kSectionEnd);
  clk1.set(0.0);
  thrown = commit();
  EXPECT_EQ(thrown.code, -304435);
  EXPECT_EQ(thrown.detail, attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 822,
                                                    "QVVANDREL_Status_UserClockFreqInvalid") +
                               usageItem("kUsageTypeRequestedValue", R"("0.0")", "float") + "," +
                               usageItem("kUsageTypeMinValue", "1000000", "uint32_t") + "," +
                               usageItem("kUsageTypeMaxValue", "800000000", "uint32_t") + "," +
                               clockItems("CLK1") + attrtest::kSectionEnd);
  clk1.set(50e6);
  clk2.set(50e6);

  // The TX clock among the names of 212, its number after "CLK"; the RX clocks among 213.
  struct Choice {
    const char* tx;
    int rx;
    int code;
  };
  for (const Choice& c :
       {Choice{"CLK3", 1, -304408}, Choice{"CLK2", 0, -304408}, Choice{"CLK2", 1, 0}}) {
    of<std::string>(UserClock::kTxClockSelectId, "").set(c.tx);
    of<qvvandrel::QVA100_RXClockSource>(UserClock::kRxClockSelectId, "RxBank1")
        .set(static_cast<qvvandrel::QVA100_RXClockSource>(c.rx));
    EXPECT_EQ(commit().code, c.code) << c.tx;
  }
}

TEST_F(UserClockTest, ADividerOfGroupsWithoutAFreePllFailsPerClock) {
  // Two groups on PLL 0 alone: the second finds it taken.
  UserClockProfile profile = sim::twoPllProfile();
  profile.userClocks = {sim::pllClock({0}), sim::pllClock({0}), sim::pllClock({1})};
  openWith(profile);
  frequency("CLK0").set(100e6);
  frequency("CLK1").set(100.01e6);  // no codes up to 256 make the two equal
  EXPECT_EQ(commit().code, -304509);
}

TEST_F(UserClockTest, DeployWritesWhatEachPllTakes) {
  // Chip type 2 with two VCO ranges, 526 and band codes; N = 100.75 goes out as 100.
  UserClockProfile profile = sim::chipType2Profile();
  profile.plls[0][501] = {1000000, 4800000};
  profile.plls[0][502] = {1010000, 5400000};
  profile.userClocks[0][601] = {1};
  profile.userClocks[1][601] = {1};
  profile.userClocks[0][603] = {5000000};  // 5 GHz: past 32 bits in Hz
  openWith(profile);
  frequency("CLK0").set(1007.5e6);
  clearLogs();
  commitOk();
  EXPECT_EQ(pllPosts(), (std::vector<Post>{{0x1200, 0, 1, 100},
                                           {0x120A, 0, 1, 0x18000000},
                                           {0x120C, 0, 0},
                                           {0x1200, 0, 3, 4},
                                           {0x1200, 0, 4, 4},
                                           {0x30A, 992555},
                                           {0x1206, 0, 1},
                                           {0x1208, 0, 0},
                                           {0x1206, 1, 1},
                                           {0x1208, 1, 0xFFFFFFFE}}));
}

TEST_F(UserClockTest, AVcoPeriodBeyondAnyCountFailsTheDeploy) {
  // N rounds to 0: the VCO stands still and its period has no count.
  UserClockProfile profile = sim::chipType2Profile();
  profile.plls[0][501] = {1000};
  profile.plls[0][502] = {4000};
  profile.plls[0][510] = {0};
  profile.plls[0].erase(525);  // N rounded
  profile.plls[0].erase(526);
  profile.userClocks[0][601] = profile.userClocks[1][601] = {1};
  openWith(profile);
  frequency("CLK0").set(2e6);
  const attrtest::Thrown thrown = commit();
  EXPECT_EQ(thrown.detail, attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 1046,
                                                    "QVVANDREL_Status_RefClkRangeUnsupported") +
                               usageItem("kUsageTypeRequestedValue", R"("10.0e6")", "float") +
                               attrtest::kSectionEnd);
}

}  // namespace
