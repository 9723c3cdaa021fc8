#include "sim/device/DspReadiness.h"

namespace sim {

bool DspReadiness::State::ready() const {
  if (stuck) return false;
  if (!resetSeen) return true;
  return std::chrono::steady_clock::now() - lastReset >= delay;
}

DspReadiness::DspReadiness(RegisterFile& registers, uint32_t resetOffset, uint32_t readyOffset)
    : registers_(registers), resetOffset_(resetOffset), readyOffset_(readyOffset) {
  std::shared_ptr<State> state = state_;
  registers_.setHooks(resetOffset_, nullptr, [state](uint32_t, uint32_t written) {
    if (written != 0) {
      std::lock_guard lock(state->mutex);
      state->resetSeen = true;
      state->lastReset = std::chrono::steady_clock::now();
      ++state->resets;
    }
    return written;
  });
  registers_.setHooks(
      readyOffset_,
      [state](uint32_t) {
        std::lock_guard lock(state->mutex);
        return state->ready() ? 1u : 0u;
      },
      nullptr);
}

DspReadiness::~DspReadiness() {
  registers_.clearHooks(resetOffset_);
  registers_.clearHooks(readyOffset_);
}

void DspReadiness::setDelay(std::chrono::milliseconds delay) {
  std::lock_guard lock(state_->mutex);
  state_->delay = delay;
}

void DspReadiness::setStuck(bool stuck) {
  std::lock_guard lock(state_->mutex);
  state_->stuck = stuck;
}

uint32_t DspReadiness::resets() const {
  std::lock_guard lock(state_->mutex);
  return state_->resets;
}

}  // namespace sim
