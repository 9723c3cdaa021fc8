// The calibration manager end to end: the clock check and Mosk period of index 4, the worker's
// run against the simulated module, what index 11 takes over and restores, the polynomial
// texts, the bypass, the failure log, and dropping a run at teardown while other host threads
// measure and adjust.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

#include "../discovery/AliasTestSupport.h"
#include "SyncTestbed.h"
#include "sim/device/ClipClocks.h"

namespace {

using namespace synctest;
using namespace qvvandrel::oobx::attribute;
namespace fs = std::filesystem;

class CalibrationManagerTest : public SyncTestbed {
 protected:
  // Each test in a fresh working directory of its own, where failure logs land.
  CalibrationManagerTest() : previous(fs::current_path()), level(qvsdbg_level) {
    qvsdbg_level = 0x1000;  // what the manager logs
    std::string pattern = (fs::temp_directory_path() / "calibration.XXXXXX").string();
    directory = mkdtemp(pattern.data());
    fs::current_path(directory);
  }
  ~CalibrationManagerTest() override {
    fs::current_path(previous);
    fs::remove_all(directory);
    qvsdbg_level = level;
  }
  // The failure logs' contents ("failureLog." and six characters).
  std::vector<std::string> failureLogs() {
    std::vector<std::string> logs;
    for (const auto& entry : fs::directory_iterator(directory)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.rfind("failureLog.", 0) == 0 && name.size() == 17) << name;
      std::ifstream in(entry.path());
      logs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      fs::remove(entry.path());
    }
    return logs;
  }
  std::string text(uint32_t id) { return publicAttribute<std::string>(id).get(); }
  void setText(uint32_t id, const char* value) { publicAttribute<std::string>(id).set(value); }
  iattr::AttributeInterface<RefClkSrc>& referenceSource() {
    return publicAttribute<RefClkSrc>(kReferenceSource);
  }

  fs::path previous, directory;
  int32_t level;
};

TEST_F(CalibrationManagerTest, Index4And11CalibrateAtTheDataClockRateAndRestoreTheReference) {
  build();
  manager->finishCalibration();  // nothing pending: nothing at all
  EXPECT_TRUE(sync.methods().empty());
  setDataClockDivisor(8);  // 125 MHz
  referenceSource().set(kRefClkSrcOnboard);
  ASSERT_EQ(commit(), 0);
  clearLogs();

  startCalibration();
  EXPECT_TRUE(manager->isPending());
  startCalibration();  // the first run is waited for and dropped; the host's source stays saved
  EXPECT_EQ(attribute<unsigned>(kMoskPeriod).getCoerced(), 125u);
  EXPECT_EQ(sync.clockChecks(), (std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(sync.moskTicks().front(), std::make_pair(31u, 94u));
  EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcDral7);  // off a PXI backplane
  EXPECT_TRUE(referenceSource().wasSetInternally());

  EXPECT_EQ(finishCalibration(), 0);
  EXPECT_FALSE(manager->isPending());
  EXPECT_EQ(numbers(parse(text(kTdcText)).get()).size(), 6u);
  EXPECT_EQ(numbers(parse(text(kPhaseDacText)).get()).size(), 7u);
  EXPECT_EQ(manager->dacOffset(), 100u);
  EXPECT_EQ(attribute<int>(kPhaseDacValue).getCoerced(), 100);
  EXPECT_EQ(adjustmentInstructions().back(), (Sent{0x308, 10, 0}));  // deployed by the commit
  EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcOnboard);
  EXPECT_TRUE(referenceSource().wasSetByUser());
  EXPECT_EQ(clip.state<sim::ClipClocks>().referenceSource, 1u);
  EXPECT_EQ(sync.syncModes(), (std::vector<uint8_t>{1, 0, 0, 1, 0, 0}));  // both runs, both parts

  // The offset the calibration left, under the phase-DAC polynomial.
  for (const auto& [polynomial, code] : {std::pair{"[10.7]", 110}, {"[-3.2]", 100}, {"[]", 100}}) {
    setText(kPhaseDacText, polynomial);
    EXPECT_EQ(manager->phaseDacFromDelay(1e-9), code) << polynomial;
  }
  clearLogs();
  manager->finishCalibration();  // index 11 again does nothing
  EXPECT_TRUE(sync.methods().empty());
  referenceSource().reset();  // a source never set is reset again
  startCalibration();
  EXPECT_EQ(finishCalibration(), 0);
  EXPECT_FALSE(referenceSource().wasSetByUser() || referenceSource().wasSetInternally());
}

TEST_F(CalibrationManagerTest, ThePeriodIsTheFewestDataClockTicksOfAWhole100ns) {
  build();
  publicAttribute<SampleClkSrc>(kSampleSource).set(kSampleClkSrcVariable);
  EXPECT_EQ(codeOf([&] { manager->validateClockConfiguration(); }), -304409);
  publicAttribute<SampleClkSrc>(kSampleSource).set(kSampleClkSrcFixed);
  // 1e-300 Hz: a check value clamped, not converted. 0 and the others: nothing to convert.
  const std::tuple<double, unsigned, int> rows[] = {
      {125e6, 125, 0},      {50e6, 50, 3},       {10e6, 10, 15},    {156.25e6, 375, 0},
      {312.5e6, 125, 0},    {122.88e6, 7680, 0}, {1e-300, 0, 15},   {10000019.0, 0, -1},
      {0.0, 0, -1},         {-125e6, 0, -1},     {HUGE_VAL, 0, -1}, {std::nan(""), 0, -1},
      {2147483648e6, 0, -1}};
  for (const auto& [rate, ticks, check] : rows) {
    attribute<double>(kDataClockRate).setCoerced(rate);
    attribute<unsigned>(kMoskPeriod).reset();
    clearLogs();
    const attrtest::Thrown thrown =
        attrtest::catchError([&] { manager->validateClockConfiguration(); });
    EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcDral7);
    if (check < 0) {  // no whole 100 ns: refused after the reference switched, naming the rate
      EXPECT_EQ(thrown.code, -304408) << rate;
      EXPECT_LT(thrown.detail.find(R"("kUsageTypeInvalidValue","value":)"),
                thrown.detail.find(R"("kUsageTypeAttributeIdentifier","value":536870933,)"));
      EXPECT_TRUE(sync.clockChecks().empty());
      continue;
    }
    EXPECT_EQ(attribute<unsigned>(kMoskPeriod).getDesired(), ticks) << rate;
    EXPECT_EQ(sync.clockChecks(), std::vector<uint8_t>{static_cast<uint8_t>(check)}) << rate;
  }
  // On a PXI backplane the reference is PXI_Clk10; a failing clock check leaves the period.
  pxiBackplane = true;
  sync.failCall(kClockCheck, 1, -50014);
  attribute<double>(kDataClockRate).setCoerced(50e6);
  EXPECT_EQ(codeOf([&] { manager->validateClockConfiguration(); }), -50014);
  EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcPxiClk10);
  EXPECT_EQ(attribute<unsigned>(kMoskPeriod).getDesired(), 125u);
}

TEST_F(CalibrationManagerTest, ThePolynomialsReadAndSetAsJsonArraysAndTheBypassUsesThem) {
  build();
  for (uint32_t id : {kTdcText, kPhaseDacText}) {
    EXPECT_EQ(text(id), "[]");
    setText(id, "[1.5, 2]");
    EXPECT_EQ(text(id), "[1.5,2]");
    EXPECT_EQ(codeOf([&] { setText(id, "abc"); }), -52003);
    EXPECT_EQ(codeOf([&] { setText(id, "[1, \"x\"]"); }), -52003);
    EXPECT_EQ(text(id), "[1.5,2]");
    setText(id, "5");
    EXPECT_EQ(text(id), "[]");
  }
  setText(kTdcText, "[1e-9, 2e-12]");
  EXPECT_EQ(manager->evaluateTdcPolynomial(0), 1e-9);
  EXPECT_DOUBLE_EQ(manager->evaluateTdcPolynomial(1000), 3e-9);

  // Bypass with both polynomials: no run and no clock change, the stored offset (0 before any
  // run) goes to Phase DAC Value for the next commit, unless the host set it.
  setText(kPhaseDacText, "[1]");
  publicAttribute<bool>(kBypass).set(true);
  attribute<int>(kPhaseDacValue).setCoerced(4000);
  referenceSource().set(kRefClkSrcOnboard);
  clearLogs();
  startCalibration();
  EXPECT_FALSE(manager->isPending());
  EXPECT_TRUE(sync.clockChecks().empty() && sync.pulseWidths().empty());
  EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcOnboard);
  EXPECT_EQ(commit(), 0);
  EXPECT_EQ(adjustment().committed().phaseDacCode, 0u);
  publicAttribute<int>(kPhaseDacValue).set(2222);
  startCalibration();
  EXPECT_EQ(attribute<int>(kPhaseDacValue).getCoerced(), 2222);
  // Without a calibration the bypass does not apply.
  setText(kTdcText, "[]");
  setDataClockDivisor(8);
  startCalibration();
  EXPECT_TRUE(manager->isPending());
  EXPECT_EQ(finishCalibration(), 0);
}

TEST_F(CalibrationManagerTest, AFailedRunArrivesAtIndex11WithItsReportInAFailureLog) {
  build();
  setDataClockDivisor(8);
  struct Row {
    const char* what;
    std::function<void()> arrange;
    int32_t code;
    size_t records;
  };
  const Row rows[] = {
      {"TDC count", [&] { sync.failCall(kTdcCount, 30, -50999); }, -50999, 1},
      {"phase DAC", [&] { adjustment().setDelayStep(0); }, -63150, 3},
      {"module status",
       [&] { registers().poke(address(ModuleIoIndicators::kErrorRegister), 0xFFFFFFF9); }, -7, 3},
      {"interface 3",
       [&] {
         clip.setInterface(3, {false, 0x4003, 1, 0});
       },
       -304306, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    row.arrange();
    configuration.interface3.done = false;
    startCalibration();
    EXPECT_EQ(finishCalibration(), row.code);
    EXPECT_FALSE(manager->isPending() || manager->hasCalibration());
    EXPECT_EQ(referenceSource().getDesired(), kRefClkSrcDral7);  // as a failed run leaves it
    const std::vector<std::string> logs = failureLogs();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(keys(parse(logs[0]).get()).size(), row.records);
    adjustment().setDelayStep(1000000);
    registers().poke(address(ModuleIoIndicators::kErrorRegister), 0);
  }
  // A log that cannot be written is reported, and the run's error still arrives.
  aliastest::DebugCapture debug;
  fs::remove(directory);
  startCalibration();
  EXPECT_EQ(finishCalibration(), -304306);
  EXPECT_NE(debug.output().find("CalibrationManager"), std::string::npos);
  EXPECT_NE(debug.output().find("writeToTempFile failed"), std::string::npos);
  fs::create_directory(directory);
}

TEST_F(CalibrationManagerTest, ADroppedRunTouchesNothingOfTheFeaturesAlreadyGone) {
  build();
  setDataClockDivisor(8);
  startCalibration();
  // The session's teardown: the pending run is dropped as the other features go.
  syncApi.reset();
  generator.reset();
  root.reset();
  sample.reset();
  reference.reset();
  manager->discardPendingRun();
  EXPECT_FALSE(manager->isPending());
  manager->finishCalibration();
  EXPECT_FALSE(manager->hasCalibration());
  // A failed run dropped by the destructor is only logged.
  aliastest::DebugCapture debug;
  sync.failCall(kSelectMode, 1, -50321);
  manager->startCalibration();
  manager.reset();
  EXPECT_NE(debug.output().find("e.what(): {\"file\""), std::string::npos);
}

TEST_F(CalibrationManagerTest, HostThreadsMeasureAndAdjustWhileARunGoes) {
  build();
  setDataClockDivisor(8);
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  startCalibration();
  // Indexes 5 and 8 on one host thread while another replaces the polynomials.
  std::thread host([&] {
    while (!stop.load()) {
      attrtest::catchError([&] {
        syncApi->handleSyncOp5();
        syncApi->adjustment().applyPhaseDacDelay(1e-10);
      });
      ++rounds;
    }
  });
  for (int i = 0; i < 50; ++i) {
    setText(kTdcText, i % 2 == 0 ? "[1e-9, 1e-12]" : "[]");
    setText(kPhaseDacText, i % 2 == 0 ? "[0, 2e12]" : "[5]");
  }
  while (rounds.load() < 20) std::this_thread::yield();
  stop = true;
  host.join();
  // The host's DAC writes disturb the sweep, so either outcome of the run is fair.
  const int32_t code = finishCalibration();
  EXPECT_TRUE(code == 0 || code == -63150 || code == -304315) << code;
}

}  // namespace
