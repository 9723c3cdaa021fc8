#include "clocks/PhaseDacCalibration.h"

#include <cmath>

#include "clocks/CalibrationReport.h"
#include "clocks/Polyfit.h"
#include "clocks/SyncAdjustmentInstructions.h"
#include "foundation/platform/timeBase.h"

namespace qvvandrel {

namespace {

constexpr std::int32_t kSpanBelowDelayStep = -63150;
constexpr std::int32_t kPhaseDacOutOfReach = -304315;
constexpr std::uint8_t kPhaseMode = 0;
constexpr std::uint32_t kCountArgument = 100;
constexpr std::uint32_t kCodes = 25;
constexpr std::uint32_t kMeasurementsPerCode = 100;
constexpr std::uint32_t kDegree = 6;
constexpr double kStepDown = -1.0;  // one delay step, sent as 0xFFFFFFFF

std::uint64_t now() {
  return nQVVANDRELBRENMOORU_22_8::nQVVUSK000::getMonotonicTimeNs();
}

// The delay step in seconds; a step of 0 can neither be scanned nor reached.
double readDelayStepSeconds(const ififo_rpc::FifoRef& fifo) {
  const std::uint32_t femtoseconds = adjustment::readDelayStep(fifo);
  if (femtoseconds == 0) qverr::throwError(kSpanBelowDelayStep);
  return static_cast<double>(femtoseconds) * 1e-15;
}

double measureInterval(SyncInterface& sync, const std::vector<double>& tdc) {
  sync::syncMethod8(sync);
  const std::uint32_t count = sync::readTdcCount(sync, kCountArgument);
  return evaluatePolynomial(tdc, static_cast<double>(count));
}

void writeCode(const ififo_rpc::FifoRef& fifo, double code) {
  // Codes lie between two 32-bit limits, so the rounded value fits 64 bits.
  adjustment::writePhaseDacValue(
      fifo, static_cast<std::uint32_t>(static_cast<std::int64_t>(std::trunc(code + 0.5))));
  adjustment::commitAdjustment(fifo);
}

void movePeriodDelay(const ififo_rpc::FifoRef& fifo, std::int32_t steps) {
  adjustment::writePeriodDelay(fifo, static_cast<std::uint32_t>(steps));
  adjustment::commitAdjustment(fifo);
}

// Steps the clock through one window of delay steps, then moves it by the distance derived
// from the largest interval.
void alignClock(SyncInterface& sync, const ififo_rpc::FifoRef& fifo, const std::vector<double>& tdc,
                qverr::json::Writer* report) {
  ReportRecord record(report, "alignClock");
  sync::SyncModePhase phase(sync, kPhaseMode);
  const double window = sync::readSyncFlag(sync) ? 1e-8 : 1e-7;
  const double stepSeconds = readDelayStepSeconds(fifo);
  const std::uint32_t minimum = adjustment::readPhaseDacMinimum(fifo);
  const std::uint64_t start = now();
  adjustment::writePhaseDacValue(fifo, minimum);
  adjustment::commitAdjustment(fifo);

  // The window over the step, rounded half up; a step of at least 1 fs keeps it below 2^31.
  const auto steps =
      static_cast<std::int32_t>(std::trunc((0.5 * stepSeconds + window) / stepSeconds));
  std::vector<double> measurements;
  measurements.reserve(static_cast<std::size_t>(steps));
  for (std::int32_t i = 0; i < steps; ++i) {
    movePeriodDelay(fifo, static_cast<std::int32_t>(kStepDown));
    measurements.push_back(measureInterval(sync, tdc));
  }
  record.addNumbers("measurements", measurements);

  // The first of equal maxima; without a measurement there is nothing to move by.
  std::size_t largest = 0;
  for (std::size_t i = 1; i < measurements.size(); ++i)
    if (measurements[i] > measurements[largest]) largest = i;
  const std::int32_t distance = largest >= 1 ? static_cast<std::int32_t>(largest) - 1 : 0;
  movePeriodDelay(fifo, -distance);
  record.addInt("distance", distance);
  record.addDouble("startingPoint", measureInterval(sync, tdc));
  record.addElapsedTime(start);
}

}  // namespace

PhaseDacResult calibratePhaseDac(SyncInterface& sync, const ififo_rpc::FifoRef& fifo,
                                 const std::vector<double>& tdc, qverr::json::Writer* report) {
  ReportRecord record(report, "phaseDacCalibration");
  const std::uint64_t start = now();
  alignClock(sync, fifo, tdc, report);

  sync::SyncModePhase phase(sync, kPhaseMode);
  const std::uint32_t high = adjustment::readPhaseDacMaximum(fifo);
  const std::uint32_t low = adjustment::readPhaseDacMinimum(fifo);
  std::vector<double> codes(kCodes);
  const double codeStep = (static_cast<double>(high) - static_cast<double>(low)) / 24.0;
  for (std::uint32_t i = 0; i < kCodes; ++i)
    codes[i] = static_cast<double>(i) * codeStep + static_cast<double>(low);

  std::vector<double> raw;
  raw.reserve(kCodes * kMeasurementsPerCode);
  for (double code : codes) {
    writeCode(fifo, code);
    for (std::uint32_t i = 0; i < kMeasurementsPerCode; ++i)
      raw.push_back(measureInterval(sync, tdc));
  }
  const double rawSpan = computeSpan(raw.data(), raw.data() + raw.size());
  record.addNumbers("dacValues", codes);
  record.addNumbers("rawMeasurements", raw);
  record.addDouble("rawSpan", rawSpan);

  const double stepSeconds = readDelayStepSeconds(fifo);
  if (rawSpan < stepSeconds) qverr::throwError(kSpanBelowDelayStep);

  // Relative delay (positive when the interval shrinks) against relative code.
  std::vector<double> means(kCodes);
  for (std::uint32_t g = 0; g < kCodes; ++g) {
    double sum = 0.0;
    for (std::uint32_t i = 0; i < kMeasurementsPerCode; ++i)
      sum += raw[g * kMeasurementsPerCode + i];
    means[g] = sum / 100.0;
  }
  const double firstMean = means[0];
  const double firstCode = codes[0];
  for (std::uint32_t g = 0; g < kCodes; ++g) {
    means[g] = -(means[g] - firstMean);
    codes[g] = codes[g] - firstCode;
  }
  std::vector<double> polynomial = fitPolynomial(means, codes, kDegree);
  record.addDouble("span", rawSpan);
  record.addNumbers("measurements", raw);
  record.addNumbers("computedPolynomial", polynomial);
  record.addElapsedTime(start);

  // The code that delays by one step must be one the DAC takes. Anything that is no 32-bit
  // code (NaN included) is out of reach.
  const double reach = std::trunc(evaluatePolynomial(polynomial, stepSeconds) + firstCode + 0.5);
  const std::uint32_t lowest = adjustment::readPhaseDacMinimum(fifo);
  const std::uint32_t highest = adjustment::readPhaseDacMaximum(fifo);
  if (!(reach >= 0.0 && reach < 4294967296.0)) qverr::throwError(kPhaseDacOutOfReach);
  const auto code = static_cast<std::uint32_t>(reach);
  if (code < lowest || code > highest) qverr::throwError(kPhaseDacOutOfReach);

  adjustment::writePhaseDacValue(fifo, low);
  adjustment::commitAdjustment(fifo);
  return PhaseDacResult{static_cast<std::int32_t>(low), std::move(polynomial)};
}

}  // namespace qvvandrel
