#include "sim/device/SynchronisationUnit.h"

namespace sim {

namespace {
constexpr uint32_t kBaseboardMode = commandCode(kDirNone, 0x05, 0x0C);
constexpr uint32_t kLockedQuery = commandCode(kDirNone, 0x05, 0x0D);
}  // namespace

SynchronisationUnit::SynchronisationUnit(Interface& iface) {
  iface.handle(kBaseboardMode, [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    state->baseboardModes.push_back(call.u32(0));
    return 0;
  });
  iface.handle(kLockedQuery, [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    call.putU8(0, state->locked ? 1 : 0);
    return 0;
  });
}

void SynchronisationUnit::setLocked(bool locked) {
  std::lock_guard lock(state_->mutex);
  state_->locked = locked;
}

std::vector<uint32_t> SynchronisationUnit::baseboardModes() const {
  std::lock_guard lock(state_->mutex);
  return state_->baseboardModes;
}

}  // namespace sim
