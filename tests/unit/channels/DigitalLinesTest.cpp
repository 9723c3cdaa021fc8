// The digital input and output lines, the read-only line counts, and the once-per-session check
// of the CLIP's line interface (20) that every line family shares.

#include <gtest/gtest.h>

#include <vector>

#include "LinesTestbed.h"

namespace {

using linestest::Setting;
using linestest::Settings;

using DigitalLinesTest = linestest::LinesTestbed;

// The switches of the digital inputs and outputs (line groups 1 and 2) among the settings.
Settings groupSwitches(const Settings& settings) {
  Settings own;
  for (const Setting& s : settings)
    if ((s.opcode == 0x1405 || s.opcode == 0x1407) && (s.channel == 1 || s.channel == 2))
      own.push_back(s);
  return own;
}

struct LineOffer {
  const char* name;
  sim::CapabilityProfile profile;
  int inputs, outputs;
  bool equalization, preEmphasis;
  Settings firstCommit;
};

class DigitalOfferTest : public linestest::LinesTestbed,
                         public ::testing::WithParamInterface<LineOffer> {};

// A switch the CLIP reports false or not at all is not registered and never sent; the counts
// depend only on their own capabilities. The first commit sends an offered switch unset.
TEST_P(DigitalOfferTest, EachFamilysSwitchExistsOnlyWhenTheClipOffersIt) {
  const LineOffer& offer = GetParam();
  ASSERT_EQ(build(offer.profile), 0);
  EXPECT_EQ(count(linestest::kDiCount), offer.inputs);
  EXPECT_EQ(count(linestest::kDoCount), offer.outputs);
  EXPECT_EQ(di->available(), offer.equalization);
  EXPECT_EQ(registry.contains(linestest::kDiEqualization, ""), offer.equalization);
  EXPECT_EQ(registry.contains(linestest::kDoPreEmphasis, ""), offer.preEmphasis);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(groupSwitches(lineSettings()), offer.firstCommit);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, DigitalOfferTest,
    ::testing::Values(
        LineOffer{"both",
                  sim::CapabilityProfile::DigitalLines,
                  3,
                  2,
                  true,
                  true,
                  {{0x1405, 1, 0}, {0x1407, 2, 0}}},
        // 1007 false, 1008 absent, no input count.
        LineOffer{"neither", sim::CapabilityProfile::DigitalLinesSparse, 0, 2, false, false, {}}),
    [](const ::testing::TestParamInfo<LineOffer>& info) { return info.param.name; });

TEST_F(DigitalLinesTest, ASwitchIsSentOnceWhenChangedAndAgainInAFullRedeploy) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  commitAndForget();
  attribute<bool>(linestest::kDiEqualization, "").set(true);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(), (Settings{{0x1405, 1, 1}}));
  EXPECT_EQ(clip.log(0x1405).at(0).words.at(0), 0x100201405u);
  forget();
  attribute<bool>(linestest::kDoPreEmphasis, "").set(true);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(), (Settings{{0x1407, 2, 1}}));
  forget();
  roots.redeploy.invalidateIfResolved();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(groupSwitches(lineSettings()), (Settings{{0x1405, 1, 1}, {0x1407, 2, 1}}));
}

TEST_F(DigitalLinesTest, TheCountsAreTheClipsAndReadOnly) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  const struct {
    uint32_t id;
    int value;
  } counts[] = {{linestest::kPfiCount, 3},
                {linestest::kDiffPfiCount, 2},
                {linestest::kDiCount, 3},
                {linestest::kDoCount, 2},
                {linestest::kDioCount, 4}};
  for (const auto& c : counts) {
    SCOPED_TRACE(c.id);
    auto& attribute = *registry.getTyped<iattr::AttributeInterface<int>>(c.id, "");
    EXPECT_EQ(attribute.get(), c.value);
    const auto thrown = attrtest::catchError([&] { attribute.set(c.value + 1); });
    EXPECT_EQ(thrown.code, -304414);
    EXPECT_NE(thrown.detail.find(R"("value":)" + std::to_string(c.id)), std::string::npos);
    EXPECT_EQ(attribute.get(), c.value);
  }
  // Read again from the capabilities on every get.
  tree.cap1000.value = 7;
  EXPECT_EQ(count(linestest::kDiCount), 7);
}

// Every line family asks interface 20 at its first instruction; the check record of the
// session's CLIP configuration makes that happen once, whichever family comes first.
TEST_F(DigitalLinesTest, InterfaceTwentyIsCheckedOnceForEveryLineFamily) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(interfaceQueries(), (std::vector<uint16_t>{0x009, 0x003, 0x007, 0x006}));
  EXPECT_EQ(clip.log(0x009).at(0).args, (std::vector<uint32_t>{20}));
  EXPECT_GT(lineSettings().size(), 10u);  // PFI, DI, DO and DIO
  EXPECT_TRUE(configuration.interface20.done);
  forget();
  roots.redeploy.invalidateIfResolved();
  ASSERT_EQ(commit().code, 0);
  EXPECT_TRUE(interfaceQueries().empty());
}

// Interface 20 must be supported (-304306) with a handle and the oldest compatible version 0
// (-304307); a query that fails comes out with its own status. A failed check sends nothing and
// is repeated by the next deploy.
TEST_F(DigitalLinesTest, InterfaceTwentyMustBeUsable) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  const struct {
    const char* name;
    sim::ClipController::InterfaceInfo info;
    uint16_t failingQuery;
    int32_t code;
  } rows[] = {
      {"unsupported", {false, 0x4014, 1, 0}, 0, -304306},
      {"no handle", {true, 0xFFFFFFFF, 1, 0}, 0, -304307},
      {"oldest 1", {true, 0x4014, 2, 1}, 0, -304307},
      {"support query fails", {true, 0x4014, 1, 0}, 0x009, -50551},
      {"handle query fails", {true, 0x4014, 1, 0}, 0x003, -50552},
      {"oldest query fails", {true, 0x4014, 1, 0}, 0x007, -50553},
      {"version query fails", {true, 0x4014, 1, 0}, 0x006, -50554},
      {"version 0, oldest 0", {true, 0x4014, 0, 0}, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    clip.setInterface(20, row.info);
    if (row.failingQuery != 0) clip.script(row.failingQuery, {1, row.code});
    configuration.interface20.done = false;
    roots.redeploy.invalidateIfResolved();
    forget();
    EXPECT_EQ(commit().code, row.code);
    EXPECT_EQ(configuration.interface20.done, row.code == 0);
    if (row.code != 0) {
      EXPECT_TRUE(lineSettings().empty());
    }
    clip.clearScripts();
  }
}

}  // namespace
