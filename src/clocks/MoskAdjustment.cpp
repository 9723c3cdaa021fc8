#include "clocks/MoskAdjustment.h"

#include <cmath>

#include "clocks/AttributeValidation.h"
#include "clocks/CalibrationManager.h"
#include "clocks/SyncAdjustmentInstructions.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

constexpr const char* kSource = "qvvandrelbrenmooru/source/MoskAdjustment";
constexpr qverr::StatusLocation kNoStepCount{kSource, 171, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};

// Whether the value truncates to a signed 32-bit integer (NaN does not).
bool truncatesToInt32(double value) {
  return value > -2147483649.0 && value < 2147483648.0;
}

std::int32_t stepCount(double value) {
  if (!truncatesToInt32(value)) qverr::raise(qverr::kInvalidParameter, kNoStepCount);
  return static_cast<std::int32_t>(value);
}

}  // namespace

MoskAdjustment::Limits MoskAdjustment::readLimits(InterfaceClient& clipCheck) {
  Limits limits;
  if (clipCheck.ioModulePresent == 0) return limits;
  if (!clipCheck.done) {
    // An interface 3 that does not answer, or answers with a version this library does not
    // speak, leaves the feature inactive without an error.
    nQVVUSKS100::tStatus status;
    if (!ififo_rpc::isInterfaceSupported(clipCheck.fifo, 3, &status) || status.isError() ||
        !clipCheck.satisfies(3, &IfifoInterfaceCheck::oldestAtMostVersionOr2, &status)) {
      return limits;
    }
    clipCheck.done = true;
  }
  limits.present = true;
  clipCheck.requireInterface3();
  limits.minimum = adjustment::readPhaseDacMinimum(clipCheck.fifo);
  clipCheck.requireInterface3();
  limits.maximum = adjustment::readPhaseDacMaximum(clipCheck.fifo);
  clipCheck.requireInterface3();
  limits.delayStep = static_cast<double>(adjustment::readDelayStep(clipCheck.fifo)) * 1e-15;
  return limits;
}

MoskAdjustment::MoskAdjustment(SyncInterface& sync, InterfaceClient& clipCheck,
                               CalibrationManager& calibration)
    : compileResolver_(this),
      deployResolver_(this),
      sync_(&sync),
      clipCheck_(&clipCheck),
      calibration_(&calibration),
      limits_(readLimits(clipCheck)),
      phaseDacValue_(nullptr, initialValue(static_cast<int>(limits_.minimum))),
      flag12377_(nullptr, initialValue(true)),
      delayStep_(nullptr, initialValue(limits_.delayStep)),
      value8982_(nullptr, initialValue(0.0)),
      dataClockRate_(&compileResolver_) {}

MoskAdjustment::~MoskAdjustment() = default;

void MoskAdjustment::registerAttributes(atat::AttributeRegistry* registry) {
  if (!limits_.present) return;
  registry->addAttribute(&phaseDacValue_);
  registry->addAttribute(&flag12377_);
  registry->addAttribute(&delayStep_);
  registry->addAttribute(&value8982_);
}

void MoskAdjustment::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  if (!limits_.present) return;
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, phaseDacValue_);
  wireOwnAttribute(compileResolver_, flag12377_);
  wireOwnAttribute(compileResolver_, delayStep_);
  wireOwnAttribute(compileResolver_, value8982_);
  dataClockRate_.link(*registry, kDataClockRateId, "");
}

void MoskAdjustment::checkPhaseDacValue() {
  validateAttributeRange(phaseDacValue_, static_cast<int>(limits_.minimum),
                         static_cast<int>(limits_.maximum));
}

void MoskAdjustment::writePhaseDac(bool) {
  clipCheck_->requireInterface3();
  adjustment::writePhaseDacValue(clipCheck_->fifo,
                                 static_cast<std::uint32_t>(phaseDacValue_.getCoerced()));
  clipCheck_->requireInterface3();
  adjustment::commitAdjustment(clipCheck_->fifo);
}

void MoskAdjustment::handleSyncOp6(std::uint32_t value) {
  if (value != 0) sync::writeCoarseDelay(*sync_, value);
}

void MoskAdjustment::applyPhaseDacDelay(double delay, double) {
  if (!phaseDacValue_.wasSetByUser())
    phaseDacValue_.setCoerced(calibration_->phaseDacFromDelay(delay));
  writePhaseDac();
}

void MoskAdjustment::applyPeriodDelay(double delay) {
  if (!dataClockRate_.isLinked()) qverr::throwError(qverr::kInternalError);
  const double step = delayStep_.getCoerced();
  std::int32_t count = stepCount(delay / step + 0.5);
  // Everything is worked out before the first instruction goes.
  const bool wholePeriod = count > 0;
  if (wholePeriod) {
    const double rate = dataClockRate_.attribute()->getCoerced();
    const std::int64_t rest = std::int64_t{count} - stepCount(1.0 / rate / step + 0.5);
    count = stepCount(static_cast<double>(rest));
  }
  if (wholePeriod) sync::writeCoarseDelay(*sync_, 1);
  clipCheck_->requireInterface3();
  adjustment::writePeriodDelay(clipCheck_->fifo, static_cast<std::uint32_t>(count));
  clipCheck_->requireInterface3();
  adjustment::commitAdjustment(clipCheck_->fifo);
}

}  // namespace qvvandrel
