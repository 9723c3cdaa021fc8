// The TDC and phase-DAC calibrations against the simulated synchronisation unit, whose TDC and
// interval model the fits must recover, and the CLIP's synchronisation adjustment.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "SyncTestbed.h"
#include "clocks/PhaseDacCalibration.h"
#include "clocks/Polyfit.h"
#include "clocks/TdcCalibration.h"
#include "foundation/errors/StatusDetailWriter.h"

namespace {

using namespace synctest;
using qvvandrel::calibratePhaseDac;
using qvvandrel::calibrateTdc;
using qvvandrel::evaluatePolynomial;
using Unit = sim::SynchronisationUnit;
using Keys = std::vector<std::string>;

class CalibrationTest : public SyncTestbed {
 protected:
  // The arguments of one opcode of interface 3, in order.
  std::vector<uint32_t> arguments(uint32_t opcode) {
    std::vector<uint32_t> out;
    for (const Sent& s : adjustmentInstructions())
      if (s.opcode == opcode) out.push_back(s.argument);
    return out;
  }
  // A phase-DAC calibration with the TDC polynomial `tdc`: its error code, its report.
  std::pair<int32_t, Json> phaseDac(const std::vector<double>& tdc) {
    qverr::StatusDetailWriter report;
    const int32_t code =
        codeOf([&] { calibratePhaseDac(*sim.proxy, fifo, tdc, &report.writer()); });
    return {code, parse(report.text())};
  }
};

TEST_F(CalibrationTest, TdcWidthsGoOutTenTimesEachAndTheFitRecoversTheModelsTime) {
  for (const bool flag : {true, false}) {
    sync.setSyncFlag(flag);
    clearLogs();
    const uint32_t first = flag ? 1 : 4, last = flag ? 8 : 18;
    qverr::StatusDetailWriter own;
    const std::vector<double> polynomial = calibrateTdc(*sim.proxy, &own.writer());
    std::vector<uint32_t> methods{kSelectMode, kSyncFlag}, widths;
    for (uint32_t w = first * 10; w < last * 10 + 10; ++w) {
      methods.insert(methods.end(), {kPulseWidth, kTdcCount});
      widths.push_back(w / 10);
    }
    methods.push_back(kMethod3);
    EXPECT_EQ(sync.methods(), methods);
    EXPECT_EQ(sync.pulseWidths(), widths);
    EXPECT_EQ(sync.syncModes(), std::vector<uint8_t>{1});
    EXPECT_EQ(sync.countArguments(), std::vector<uint32_t>(widths.size(), 100));
    const Json report = parse(own.text());
    const cJSON* record = at(report.get(), "tdcCalibration");
    EXPECT_EQ(keys(record), (Keys{"numberOfMeasurements", "sentPulseWidth", "measuredPulseWidth",
                                  "computedPolynomial", "calibrationTimeInMs"}));
    EXPECT_EQ(at(record, "numberOfMeasurements")->valueint, 10);
    EXPECT_EQ(numbers(at(record, "measuredPulseWidth")).size(), widths.size());
    EXPECT_EQ(numbers(at(record, "computedPolynomial")), polynomial);
    EXPECT_EQ(std::string(own.text()).find(":[4.0000000000000000837e-08,") == std::string::npos,
              flag);
    // At the widths sent and between them, within a tenth of a count.
    for (double ticks = first; ticks <= last; ticks += 0.25) {
      const double count = Unit::tdcCount(Unit::Model{}, ticks * 1e-8);
      const double lsb = Unit::tdcSeconds(Unit::Model{}, count + 0.5) -
                         Unit::tdcSeconds(Unit::Model{}, count - 0.5);
      EXPECT_NEAR(evaluatePolynomial(polynomial, count), ticks * 1e-8, lsb / 10) << ticks;
    }
  }
}

TEST_F(CalibrationTest, AFailedTdcStepLeavesItsRecordAsFarAsWrittenAndStillEndsTheMode) {
  // A count in the third width, the flag query, the mode (which starts and ends nothing), and
  // a failing method 3 while another failure unwinds (swallowed).
  const std::tuple<uint32_t, uint32_t, const char*, size_t> rows[] = {
      {kTdcCount, 21, R"({"tdcCalibration":{}})", 45},
      {kSyncFlag, 1, R"({"tdcCalibration":{}})", 3},
      {kSelectMode, 1, "{}", 1},
      {kMethod3, 1, R"({"tdcCalibration":{}})", 13}};
  for (const auto& [method, nth, text, calls] : rows) {
    clearLogs();
    sync.failCall(method, nth, -50444);
    if (method == kMethod3) sync.failCall(kTdcCount, 5, -50445);
    qverr::StatusDetailWriter own;
    EXPECT_EQ(codeOf([&] { calibrateTdc(*sim.proxy, &own.writer()); }),
              method == kMethod3 ? -50445 : -50444);
    EXPECT_EQ(std::string(own.text()), text);
    EXPECT_EQ(sync.methods().size(), calls);
    EXPECT_EQ(sync.methods().back(), method == kSelectMode ? kSelectMode : kMethod3);
  }
  sync.failCall(kMethod3, 1, -50003);
  EXPECT_EQ(calibrateTdc(*sim.proxy, nullptr).size(), 6u);  // and at the end of a success
}

TEST_F(CalibrationTest, TheAlignmentScansOneWindowAndMovesBackFromTheLargestInterval) {
  // Delay step, flag, scripted counts (with the identity polynomial each is its interval),
  // scan steps, the correction sent last.
  const std::tuple<uint32_t, bool, std::vector<uint32_t>, size_t, uint32_t> rows[] = {
      {1000000, false, {}, 100, 0},
      {1000000, true, {}, 10, 0},
      {800000, false, {}, 125, 0},
      {2000000, true, {3, 5, 9, 9, 2}, 5, 0xFFFFFFFF},  // the first of equal maxima
      {2000000, true, {9, 5, 3, 3, 2}, 5, 0},
      {2000000, true, {1, 2, 3, 4, 9}, 5, 0xFFFFFFFD}};
  for (const auto& [stepFs, flag, counts, steps, correction] : rows) {
    adjustment().setDelayStep(stepFs);
    sync.setSyncFlag(flag);
    clearLogs();
    sync.scriptCounts(counts);
    if (!counts.empty()) sync.scriptCounts({7});  // the starting point
    sync.failCall(kSelectMode, 2, -50222);        // the sweep does not start
    const auto [code, report] = phaseDac({0, 1});
    EXPECT_EQ(code, -50222);
    const std::vector<uint32_t> delays = arguments(0x301);
    ASSERT_EQ(delays.size(), steps + 1) << stepFs << flag;
    EXPECT_EQ(std::count(delays.begin(), delays.end() - 1, 0xFFFFFFFF), steps);
    EXPECT_EQ(keys(report.get()), (Keys{"alignClock", "phaseDacCalibration"}));
    EXPECT_EQ(keys(at(report.get(), "phaseDacCalibration")), Keys{});
    const cJSON* align = at(report.get(), "alignClock");
    EXPECT_EQ(keys(align),
              (Keys{"measurements", "distance", "startingPoint", "calibrationTimeInMs"}));
    EXPECT_EQ(numbers(at(align, "measurements")).size(), steps);
    const std::vector<uint32_t> methods = sync.methods();
    EXPECT_EQ(std::count(methods.begin(), methods.end(), kMethod3), 1);
    if (counts.empty()) continue;
    EXPECT_EQ(delays.back(), correction);
    EXPECT_EQ(at(align, "startingPoint")->valuedouble, 7.0);
  }
}

TEST_F(CalibrationTest, TheSweepPostsTwentyFiveCodesAndItsFitMapsTheModelsDelaysToCodes) {
  Unit::Model model;
  model.noise = 2.0;  // dithers the counts, so the averages see below one count
  sync.setModel(model);
  sync.setSyncFlag(false);  // a 100 ns window, inside the range the TDC is calibrated for
  qverr::StatusDetailWriter report;
  const std::vector<double> tdc = calibrateTdc(*sim.proxy, &report.writer());
  const qvvandrel::PhaseDacResult result =
      calibratePhaseDac(*sim.proxy, fifo, tdc, &report.writer());
  EXPECT_EQ(result.dacOffset, 100);
  std::vector<uint32_t> posted{100};  // c0 for the alignment, the 25 codes, the start again
  for (uint32_t i = 0; i < 25; ++i) posted.push_back(100 + 200 * i);
  posted.push_back(100);
  EXPECT_EQ(arguments(0x305), posted);
  EXPECT_EQ(adjustment().committed().phaseDacCode, 100u);
  EXPECT_EQ(sync.calls(kMethod8), 100u + 1 + 2500);

  const Json parsed = parse(report.text());
  EXPECT_EQ(keys(parsed.get()), (Keys{"tdcCalibration", "alignClock", "phaseDacCalibration"}));
  const cJSON* sweep = at(parsed.get(), "phaseDacCalibration");
  EXPECT_EQ(keys(sweep), (Keys{"dacValues", "rawMeasurements", "rawSpan", "span", "measurements",
                               "computedPolynomial", "calibrationTimeInMs"}));
  EXPECT_EQ(numbers(at(sweep, "rawMeasurements")).size(), 2500u);
  EXPECT_EQ(numbers(at(sweep, "measurements")), numbers(at(sweep, "rawMeasurements")));
  EXPECT_EQ(at(sweep, "span")->valuedouble, at(sweep, "rawSpan")->valuedouble);
  EXPECT_EQ(numbers(at(sweep, "computedPolynomial")), result.polynomial);
  // The mean of 100 counts is off by about 0.2 count (1.7 ps), some 4 codes of 0.42 ps.
  for (double delay : {0.1e-9, 0.5e-9, 1e-9, 1.5e-9, 1.9e-9})
    EXPECT_NEAR(evaluatePolynomial(result.polynomial, delay), delay / -model.phaseDacGain, 6);
}

TEST_F(CalibrationTest, AFailedSweepLeavesItsRecordsAsFarAsWrittenAndTheDacWhereItWas) {
  std::vector<uint32_t> twoDelays(11, 500);  // the scan and its starting point, then 2 delays
  twoDelays.insert(twoDelays.end(), 100, 1000);
  twoDelays.insert(twoDelays.end(), 2400, 3000);
  Unit::Model flat;
  flat.phaseDacGain = -0.5e-9 / 4800;  // half a step over the whole DAC
  // What breaks, the error, the keys of both records, the DAC code left.
  const std::tuple<std::function<void()>, int32_t, size_t, size_t, uint32_t> rows[] = {
      {[&] { sync.setModel(flat); }, -63150, 4, 3, 4900},
      // The sweep's maximum, then the reach check's.
      {[&] {
         clip.script(0x302, {4900, 0}), clip.script(0x302, {2000, 0});
       },
       -304315, 4, 7, 4900},
      {[&] { sync.scriptCounts(twoDelays); }, -304315, 4, 7, 4900},  // a singular fit
      {[&] { adjustment().setDelayStep(0); }, -63150, 0, 0, 100},
      // No scan step and no move; then the sweep spans less than the long step.
      {[&] { adjustment().setDelayStep(25000000); }, -63150, 4, 3, 4900}};
  for (const auto& [arrange, error, alignKeys, sweepKeys, dacCode] : rows) {
    sync.setModel(Unit::Model{});
    adjustment().setDelayStep(1000000);
    adjustment().setPhaseDacLimits(100, 4900);
    clearLogs();
    arrange();
    const auto [code, report] = phaseDac({-2e-10, 1e-11});
    EXPECT_EQ(code, error);
    EXPECT_EQ(keys(at(report.get(), "alignClock")).size(), alignKeys);
    EXPECT_EQ(keys(at(report.get(), "phaseDacCalibration")).size(), sweepKeys);
    EXPECT_EQ(adjustment().committed().phaseDacCode, dacCode);
    const std::vector<uint32_t> methods = sync.methods();
    EXPECT_EQ(methods.back(), kMethod3);
    EXPECT_TRUE(alignKeys != 0 ||
                methods == (std::vector<uint32_t>{kSelectMode, kSyncFlag, kMethod3}));
  }
  EXPECT_EQ(arguments(0x301), std::vector<uint32_t>{0});  // the long step: a move by nothing
}

}  // namespace
