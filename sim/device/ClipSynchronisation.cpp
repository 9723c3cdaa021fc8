#include "sim/device/ClipSynchronisation.h"

namespace sim {

namespace {

constexpr uint32_t kCall = 2, kPost = 1, kOption4 = 4, kOption8 = 8;

bool sentAs(const ClipInstruction& i, uint32_t flags) {
  return i.flags == flags;
}

ClipAnswer malformed() {
  return {0, ClipController::kMalformed};
}

}  // namespace

void ClipSynchronisation::setDelayStep(uint32_t femtoseconds) {
  std::lock_guard lock(mutex_);
  delayStep_ = femtoseconds;
}

void ClipSynchronisation::setPhaseDacLimits(uint32_t minimum, uint32_t maximum) {
  std::lock_guard lock(mutex_);
  minimum_ = minimum;
  maximum_ = maximum;
  committed_.phaseDacCode = minimum;
}

uint32_t ClipSynchronisation::delayStep() const {
  std::lock_guard lock(mutex_);
  return delayStep_;
}

uint32_t ClipSynchronisation::phaseDacMinimum() const {
  std::lock_guard lock(mutex_);
  return minimum_;
}

uint32_t ClipSynchronisation::phaseDacMaximum() const {
  std::lock_guard lock(mutex_);
  return maximum_;
}

ClipSynchronisation::Committed ClipSynchronisation::committed() const {
  std::lock_guard lock(mutex_);
  return committed_;
}

void ClipSynchronisation::postPeriodDelay(int32_t steps) {
  std::lock_guard lock(mutex_);
  pendingDelay_ = steps;
}

void ClipSynchronisation::postPhaseDacCode(uint32_t code) {
  std::lock_guard lock(mutex_);
  pendingCode_ = code;
}

void ClipSynchronisation::commit() {
  std::lock_guard lock(mutex_);
  if (pendingDelay_) committed_.periodDelay += *pendingDelay_;
  if (pendingCode_) committed_.phaseDacCode = *pendingCode_;
  pendingDelay_.reset();
  pendingCode_.reset();
  ++committed_.commits;
}

ClipAnswer readDelayStep(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kCall)) return malformed();
  return {c.state<ClipSynchronisation>().delayStep(), 0};
}

ClipAnswer writePeriodDelay(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kPost | kOption4)) return malformed();
  c.state<ClipSynchronisation>().postPeriodDelay(static_cast<int32_t>(i.arg(0)));
  return {0, 0};
}

ClipAnswer readPhaseDacMaximum(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kCall)) return malformed();
  return {c.state<ClipSynchronisation>().phaseDacMaximum(), 0};
}

ClipAnswer readPhaseDacMinimum(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kCall)) return malformed();
  return {c.state<ClipSynchronisation>().phaseDacMinimum(), 0};
}

ClipAnswer writePhaseDacValue(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kPost)) return malformed();
  c.state<ClipSynchronisation>().postPhaseDacCode(i.arg(0));
  return {0, 0};
}

ClipAnswer commitAdjustment(ClipController& c, const ClipInstruction& i) {
  if (!sentAs(i, kCall | kOption8)) return malformed();
  c.state<ClipSynchronisation>().commit();
  return {0, 0};
}

}  // namespace sim
