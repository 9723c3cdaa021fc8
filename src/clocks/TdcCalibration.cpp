#include "clocks/TdcCalibration.h"

#include "clocks/CalibrationReport.h"
#include "clocks/Polyfit.h"
#include "foundation/platform/timeBase.h"

namespace qvvandrel {

namespace {

constexpr std::uint8_t kTdcMode = 1;
constexpr std::uint32_t kMeasurementsPerWidth = 10;
constexpr std::uint32_t kCountArgument = 100;
constexpr std::uint32_t kDegree = 5;
constexpr double kTicksPerSecond = 100000000.0;

}  // namespace

std::vector<double> calibrateTdc(SyncInterface& sync, qverr::json::Writer* report) {
  // Declared first, so the record reaches the report before method 3 ends the mode.
  sync::SyncModePhase phase(sync, kTdcMode);
  ReportRecord record(report, "tdcCalibration");
  const std::uint64_t start = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::getMonotonicTimeNs();

  const bool flag = sync::readSyncFlag(sync);
  const std::uint32_t firstWidth = flag ? 1 : 4;
  const std::uint32_t endWidth = flag ? 9 : 19;
  std::vector<double> sent;
  std::vector<double> measured;
  sent.reserve((endWidth - firstWidth) * kMeasurementsPerWidth);
  measured.reserve(sent.capacity());
  for (std::uint32_t width = firstWidth; width < endWidth; ++width) {
    for (std::uint32_t i = 0; i < kMeasurementsPerWidth; ++i) {
      sync::writeTdcPulseWidth(sync, width);
      const std::uint32_t count = sync::readTdcCount(sync, kCountArgument);
      sent.push_back(static_cast<double>(static_cast<std::int32_t>(width)) / kTicksPerSecond);
      measured.push_back(static_cast<double>(count));
    }
  }
  record.addUInt("numberOfMeasurements", kMeasurementsPerWidth);
  record.addNumbers("sentPulseWidth", sent);
  record.addNumbers("measuredPulseWidth", measured);

  std::vector<double> polynomial = fitPolynomial(measured, sent, kDegree);
  record.addNumbers("computedPolynomial", polynomial);
  record.addElapsedTime(start);
  return polynomial;
}

}  // namespace qvvandrel
