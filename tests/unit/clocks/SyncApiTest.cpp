// The synchronisation interface, the Mosk generator and the Mosk adjustment against the
// simulated synchronisation unit and CLIP, committed through a Kommissar as a session commits.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "SyncTestbed.h"

namespace {

using namespace synctest;

class SyncApiTest : public SyncTestbed {
 protected:
  qvvandrel::MoskAdjustment& mosk() { return syncApi->adjustment(); }
  // What an adjustment request sent to interface 3: its instruction with its flags, then the
  // commit (a call with flag 8); nothing when it was refused.
  std::vector<Sent> request(int32_t code, uint32_t opcode, uint32_t flags, uint32_t argument) {
    if (code != 0) return {};
    return {{opcode, flags, argument}, {0x308, 10, 0}};
  }
  qvvandrel::Dependency compileRoot{"c"}, deployRoot{"d"}, redeployRoot{"r"};
  const qvvandrel::ResolverRoots roots{&compileRoot, &deployRoot, &redeployRoot};
};

TEST_F(SyncApiTest, StoredOnlyAttributesCauseNoWorkAndTheGeneratorSplitsThePeriod) {
  build();
  EXPECT_EQ(commit(), 0);
  EXPECT_EQ(sync.moskTicks().front(), std::make_pair(31u, 94u));
  sync.failCall(kMoskTicks, 1, -50001);  // generator work would fail the commit
  clearLogs();
  for (uint32_t id : {8581u, 8848u, 8849u, 6470u, 6471u, 6469u}) attribute<unsigned>(id).set(9);
  for (uint32_t id : {8794u, 8796u, 8551u}) attribute<double>(id).set(2.5);
  attribute<bool>(6468).set(true);
  EXPECT_EQ(commit(), 0);
  EXPECT_TRUE(sync.methods().empty() && adjustmentInstructions().empty());
  EXPECT_EQ(attribute<unsigned>(8848).get(), 9u);
  attribute<unsigned>(kMoskPeriod).set(50);
  EXPECT_EQ(commit(), -50001);  // raised, and written again at the next commit
  const std::tuple<unsigned, double, uint32_t, uint32_t> rows[] = {
      {50, 25.0, 12, 38}, {1, 25.0, 1, 0}, {0, 25.0, 1, 0xFFFFFFFF}, {10, 150.0, 15, 0xFFFFFFFB}};
  for (const auto& [period, share, high, low] : rows) {
    attribute<unsigned>(kMoskPeriod).set(period);
    attribute<double>(kHighShare).set(share);
    EXPECT_EQ(commit(), 0);
    EXPECT_EQ(sync.moskTicks().back(), std::make_pair(high, low)) << period;
  }
  // A share whose high count is no 64-bit integer is refused at compile, naming the share.
  for (double share : {HUGE_VAL, -HUGE_VAL, 1e300}) {
    attribute<double>(kHighShare).set(share);
    const attrtest::Thrown thrown = attrtest::catchError([&] { kommissar.compile(); });
    EXPECT_EQ(thrown.code, -304408);
    EXPECT_LT(thrown.detail.find("kUsageTypeRequestedValue"),
              thrown.detail.find(R"("kUsageTypeAttributeIdentifier","value":12226,)"));
  }
}

TEST_F(SyncApiTest, Index5TakesTheCounterDifferenceLessThePolynomialAtAFreshCount) {
  const uint64_t top = std::numeric_limits<uint64_t>::max() - 4;  // B wraps past A
  const std::tuple<bool, uint64_t, uint64_t, double> rows[] = {
      {true, 100, 119, 19e-8}, {false, 100, 119, 1e-7}, {false, top, 14, 1e-7}};
  for (const auto& [flag, a, b, seconds] : rows) {
    sync.setSyncFlag(flag);
    atat::AttributeRegistry local = modeltest::makeRegistry();
    qvvandrel::CalibrationManager calibration(*sim.proxy, &pxiBackplane, &configuration.interface3,
                                              nullptr, &local);
    qvvandrel::SyncAPI api(*sim.proxy, configuration.interface3, calibration);  // reads the flag
    sync.setCounters(a, b);
    EXPECT_DOUBLE_EQ(api.handleSyncOp5(), seconds) << flag << " " << a;
  }
  build();
  publicAttribute<std::string>(kTdcText).set("[1e-9, 2e-12]");
  sync.scriptCounts({500});
  sync.setCounters(1000, 1250);
  EXPECT_DOUBLE_EQ(syncApi->handleSyncOp5(), 250e-8 - (1e-9 + 2e-12 * 500));
  EXPECT_EQ(sync.methods(), (std::vector<uint32_t>{kTdcCount, kCounterA, kCounterB}));
  EXPECT_EQ(sync.countArguments(), std::vector<uint32_t>{500});
  sync.failCall(kCounterA, 1, -50123);
  EXPECT_EQ(codeOf([&] { syncApi->handleSyncOp5(); }), -50123);
  EXPECT_EQ(sync.methods().back(), kCounterA);
}

TEST_F(SyncApiTest, AFailedFlagQueryIsKeptForIndex2WhileIndexes1And3And6ReachTheDriver) {
  sync.failCall(kSyncFlag, 1, -50777);
  build();
  for (int i = 0; i < 2; ++i) EXPECT_EQ(codeOf([&] { syncApi->handleSyncOp2(); }), -50777);
  syncApi->handleSyncOp1();
  syncApi->handleSyncOp3();
  mosk().handleSyncOp6(0);
  mosk().handleSyncOp6(7);
  EXPECT_EQ(sync.methods(), (std::vector<uint32_t>{kMethod6, kMethod3, kCoarseDelay}));
  EXPECT_EQ(sync.coarseDelays(), std::vector<uint32_t>{7});
  qvvandrel::SyncAPI second(*sim.proxy, configuration.interface3, *manager);
  second.handleSyncOp2();  // no failure kept: mode 0
  EXPECT_EQ(sync.syncModes(), std::vector<uint8_t>{0});
}

TEST_F(SyncApiTest, PhaseDacValueIsCheckedOnItsRequestWithinTheClipsInclusiveLimits) {
  adjustment().setPhaseDacLimits(200, 3000);
  adjustment().setDelayStep(800000);
  build();
  EXPECT_DOUBLE_EQ(attribute<double>(kDelayStep).getCoerced(), 8e-10);
  EXPECT_EQ(commit(), 0);  // the minimum first
  EXPECT_EQ(adjustmentInstructions(), request(0, 0x305, 1, 200));
  for (int value : {3000, 3001, 199, 200, -5}) {
    attribute<int>(kPhaseDacValue).set(value);
    const attrtest::Thrown thrown = attrtest::catchError([&] { kommissar.compile(); });
    if (value == 200 || value == 3000) {
      EXPECT_EQ(thrown.code, 0);
      continue;
    }
    EXPECT_EQ(thrown.code, -304408);
    const auto item = [](const char* tag, int v) {
      return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" +
             std::to_string(v) + R"(,"value_type":"int32_t"},)";
    };
    EXPECT_EQ(thrown.detail,
              attrtest::locationPrefix("qvvandrelbrenmooru/source/attributeValidation", 126,
                                       "QVVANDREL_Status_InvalidAttributeValue") +
                  item("kUsageTypeRequestedValue", value) + item("kUsageTypeMinValue", 200) +
                  item("kUsageTypeMaxValue", 3000) +
                  R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435474,)"
                  R"("value_type":"int32_t","comment":"Phase DAC Value"})" +
                  attrtest::kSectionEnd);
  }
  // A failing read of the limits or the step after the queries fails construction.
  clip.script(0x302, {0, -50302});
  EXPECT_EQ(codeOf([&] { qvvandrel::SyncAPI(*sim.proxy, configuration.interface3, *manager); }),
            -50302);
}

TEST_F(SyncApiTest, WithoutAUsableInterface3TheAdjustmentIsInactive) {
  // What it lacks, and what the gate of index 8 then gives (0: not tried).
  const std::tuple<std::function<void()>, int32_t> rows[] = {
      {[&] {
         clip.setInterface(3, {false, 0x4003, 1, 0});
       },
       -304306},
      {[&] { clip.setVersions(3, 5, 3); }, -304307},
      {[&] {
         clip.script(0x009, {0, -50009});
       },
       0},
      {[&] {
         clip.script(0x006, {0, -50006});
       },
       0},
      {[&] { configuration.interface3.ioModulePresent = 0; }, 0}};
  for (const auto& [arrange, index8] : rows) {
    clip.setInterface(3, {true, 0x4003, 1, 0});
    configuration.interface3.done = false;
    configuration.interface3.ioModulePresent = 1;
    atat::AttributeRegistry local = modeltest::makeRegistry();
    qvvandrel::CalibrationManager calibration(*sim.proxy, &pxiBackplane, &configuration.interface3,
                                              nullptr, &local);
    arrange();
    qvvandrel::SyncAPI api(*sim.proxy, configuration.interface3, calibration);
    api.registerAttributes(&local);
    EXPECT_FALSE(local.contains(kPhaseDacValue, ""));
    api.commission(&roots, &local);
    EXPECT_TRUE(compileRoot.prerequisites().empty());
    EXPECT_EQ(codeOf([&] { api.adjustment().applyPeriodDelay(1e-9); }), -52003);
    clearLogs();
    EXPECT_EQ(index8 == 0 ? 0 : codeOf([&] { api.adjustment().applyPhaseDacDelay(1e-9); }), index8);
    EXPECT_TRUE(adjustmentInstructions().empty());
  }
}

TEST_F(SyncApiTest, Index8WritesTheCalibratedCodeAtOnceUnlessTheHostSetTheValue) {
  build();
  ASSERT_EQ(commit(), 0);
  publicAttribute<std::string>(kPhaseDacText).set("[0, 1e12]");  // a code per ps from offset 0
  // A negative delay is no delay; a code beyond 32 bits is refused before anything is sent.
  const std::tuple<double, int32_t, uint32_t> rows[] = {
      {1.5e-9, 0, 1500}, {-1e-9, 0, 0}, {2.2e-3, -52005, 0}, {std::nan(""), -52005, 0}};
  for (const auto& [delay, code, sent] : rows) {
    clearLogs();
    EXPECT_EQ(codeOf([&, delay = delay] { mosk().applyPhaseDacDelay(delay, 99.0); }), code);
    EXPECT_EQ(adjustmentInstructions(), request(code, 0x305, 1, sent));
  }
  auto& value = attribute<int>(kPhaseDacValue);
  EXPECT_FALSE(value.getDesired() != 100 || value.wasSetByUser() || value.isDirty());
  value.set(3000);  // the host's value is written again and the delay ignored
  clearLogs();
  mosk().applyPhaseDacDelay(1e-9);
  EXPECT_EQ(adjustmentInstructions(), request(0, 0x305, 1, 3000));
}

TEST_F(SyncApiTest, Index9SplitsTheDelayIntoOnePeriodAndDelayStepsOrRefusesBeforeSending) {
  build();
  // Delay, step, rate, outcome, coarse delays, count: half a step is one step (then one period
  // less); a count of 0 or less goes as it is, whatever the rate.
  const std::tuple<double, double, double, int32_t, size_t, uint32_t> rows[] = {
      {0.5e-9, 1e-9, 1e9, 0, 1, 0},          {0.49e-9, 1e-9, 1e9, 0, 0, 0},
      {-3e-9, 1e-9, 1e9, 0, 0, 0xFFFFFFFE},  {-2e-9, 1e-9, 0.0, 0, 0, 0xFFFFFFFF},
      {5e-9, 1e-9, 125e6, 0, 1, 0xFFFFFFFD}, {40e-9, 1e-9, 125e6, 0, 1, 32},
      {1e-9, 0.0, 1e9, -52005, 0, 0},        {10.0, 1e-9, 1e9, -52005, 0, 0},
      {-10.0, 1e-9, 1e9, -52005, 0, 0},      {2e-9, 1e-9, 0.0, -52005, 0, 0},
      {2e-9, 1e-9, 1e-3, -52005, 0, 0}};
  for (const auto& [delay, step, rate, code, coarse, count] : rows) {
    attribute<double>(kDelayStep).setCoerced(step);
    attribute<double>(kDataClockRate).setCoerced(rate);
    clearLogs();
    EXPECT_EQ(codeOf([&, delay = delay] { mosk().applyPeriodDelay(delay); }), code)
        << delay << " " << rate;
    EXPECT_EQ(sync.coarseDelays(), std::vector<uint32_t>(coarse, 1)) << delay;
    EXPECT_EQ(adjustmentInstructions(), request(code, 0x301, 5, count)) << delay;
  }
  EXPECT_EQ(codeOf([&] { syncApi->commission(&roots, &registry); }), -52003);  // linked already
}

}  // namespace
