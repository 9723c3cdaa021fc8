#include "sim/device/SynchronisationUnit.h"

#include <algorithm>
#include <cmath>

#include "sim/device/ClipController.h"
#include "sim/device/ClipSynchronisation.h"

namespace sim {

namespace {

constexpr std::uint32_t kMethods = 15;
constexpr double kTick = 1e-8;  // 10 ns

constexpr std::uint32_t methodCode(std::uint32_t method) {
  return commandCode(kDirNone, 0x05, method);
}

}  // namespace

SynchronisationUnit::SynchronisationUnit(Interface& iface) {
  for (std::uint32_t method = 0; method < kMethods; ++method) {
    iface.handle(methodCode(method), [state = state_, method](Call& call) {
      State& s = *state;
      std::lock_guard lock(s.mutex);
      s.methods.push_back(method);
      const std::size_t nth = ++s.callCounts[method];
      auto& failures = s.failures[method];
      if (auto failure = failures.find(nth); failure != failures.end()) {
        call.status = failure->second;
        failures.erase(failure);
        return 0;
      }
      switch (method) {
        case 0:
          s.moskTicks.emplace_back(call.u32(0), call.u32(4));
          break;
        case 1:
          s.coarseDelays.push_back(call.u32(0));
          break;
        case 2:
          s.syncModes.push_back(call.u8(0));
          break;
        case 4:
          s.countArguments.push_back(call.u32(0));
          call.putU32(0, s.count());
          break;
        case 5:
          s.pulseWidths.push_back(call.u32(0));
          s.measuring = true;
          s.measured = call.u32(0) * kTick;
          break;
        case 7:
          call.putU64(0, s.counterA);
          break;
        case 8:
          s.measuring = true;
          s.measured = s.interval();
          break;
        case 9:
          call.putU64(0, s.counterB);
          break;
        case 11:
          call.putU8(0, s.syncFlag ? 1 : 0);
          break;
        case 12:
          s.baseboardModes.push_back(call.u32(0));
          break;
        case 13:
          call.putU8(0, s.locked ? 1 : 0);
          break;
        case 14:
          s.clockChecks.push_back(call.u8(0));
          break;
        default:  // 3, 6 and 10 are only counted
          break;
      }
      if (!s.logging) s.clearRecords();
      return 0;
    });
  }
}

double SynchronisationUnit::State::interval() const {
  const double window = syncFlag ? 1e-8 : 1e-7;
  double steps = 0.0, step = 0.0, code = 0.0, minimum = 0.0;
  if (clip != nullptr) {
    const ClipSynchronisation& adjustment = clip->state<ClipSynchronisation>();
    const ClipSynchronisation::Committed committed = adjustment.committed();
    steps = static_cast<double>(committed.periodDelay);
    step = adjustment.delayStep() * 1e-15;
    code = committed.phaseDacCode;
    minimum = adjustment.phaseDacMinimum();
  }
  double value = std::fmod(
      model.intervalOffset - steps * step + model.phaseDacGain * (code - minimum), window);
  if (value < 0.0) value += window;
  return value;
}

std::uint32_t SynchronisationUnit::State::count() {
  if (!scriptedCounts.empty()) {
    const std::uint32_t next = scriptedCounts.front();
    scriptedCounts.pop_front();
    return next;
  }
  if (!measuring) return 0;
  double value = tdcCount(model, measured);
  if (model.noise > 0.0) value += std::normal_distribution<double>(0.0, model.noise)(random);
  return static_cast<std::uint32_t>(std::clamp(std::round(value), 0.0, 4294967295.0));
}

double SynchronisationUnit::tdcCount(const Model& model, double seconds) {
  const double n = seconds / kTick;
  return model.tdcBase + model.tdcSlope * n + model.tdcCurve * n * n;
}

double SynchronisationUnit::tdcSeconds(const Model& model, double count) {
  const double constant = model.tdcBase - count;
  const double n = model.tdcCurve == 0.0
                       ? -constant / model.tdcSlope
                       : (-model.tdcSlope + std::sqrt(model.tdcSlope * model.tdcSlope -
                                                      4.0 * model.tdcCurve * constant)) /
                             (2.0 * model.tdcCurve);
  return n * kTick;
}

double SynchronisationUnit::interval() const {
  std::lock_guard lock(state_->mutex);
  return state_->interval();
}

void SynchronisationUnit::attach(ClipController& clip) {
  std::lock_guard lock(state_->mutex);
  state_->clip = &clip;
}

void SynchronisationUnit::setLocked(bool locked) {
  std::lock_guard lock(state_->mutex);
  state_->locked = locked;
}

void SynchronisationUnit::setSyncFlag(bool flag) {
  std::lock_guard lock(state_->mutex);
  state_->syncFlag = flag;
}

void SynchronisationUnit::setCounters(std::uint64_t a, std::uint64_t b) {
  std::lock_guard lock(state_->mutex);
  state_->counterA = a;
  state_->counterB = b;
}

void SynchronisationUnit::setModel(const Model& model) {
  std::lock_guard lock(state_->mutex);
  state_->model = model;
  state_->random.seed(model.seed);
}

void SynchronisationUnit::scriptCounts(std::vector<std::uint32_t> counts) {
  std::lock_guard lock(state_->mutex);
  state_->scriptedCounts.insert(state_->scriptedCounts.end(), counts.begin(), counts.end());
}

void SynchronisationUnit::failCall(std::uint32_t method, std::uint32_t nth, std::int32_t status) {
  std::lock_guard lock(state_->mutex);
  state_->failures[method][state_->callCounts[method] + nth] = status;
}

void SynchronisationUnit::State::clearRecords() {
  methods.clear();
  moskTicks.clear();
  coarseDelays.clear();
  syncModes.clear();
  pulseWidths.clear();
  countArguments.clear();
  clockChecks.clear();
  baseboardModes.clear();
}

void SynchronisationUnit::clearRecords() {
  std::lock_guard lock(state_->mutex);
  state_->clearRecords();
}

void SynchronisationUnit::setLogging(bool enabled) {
  std::lock_guard lock(state_->mutex);
  state_->logging = enabled;
  if (!enabled) state_->clearRecords();
}

std::vector<std::uint32_t> SynchronisationUnit::methods() const {
  return read(&State::methods);
}

std::size_t SynchronisationUnit::calls(std::uint32_t method) const {
  std::lock_guard lock(state_->mutex);
  const auto it = state_->callCounts.find(method);
  return it == state_->callCounts.end() ? 0 : it->second;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> SynchronisationUnit::moskTicks() const {
  return read(&State::moskTicks);
}

std::vector<std::uint32_t> SynchronisationUnit::coarseDelays() const {
  return read(&State::coarseDelays);
}

std::vector<std::uint8_t> SynchronisationUnit::syncModes() const {
  return read(&State::syncModes);
}

std::vector<std::uint32_t> SynchronisationUnit::pulseWidths() const {
  return read(&State::pulseWidths);
}

std::vector<std::uint32_t> SynchronisationUnit::countArguments() const {
  return read(&State::countArguments);
}

std::vector<std::uint8_t> SynchronisationUnit::clockChecks() const {
  return read(&State::clockChecks);
}

std::vector<std::uint32_t> SynchronisationUnit::baseboardModes() const {
  return read(&State::baseboardModes);
}

}  // namespace sim
