#include "sim/device/SerDesI2cEngine.h"

namespace sim {

SerDesI2cEngine::SerDesI2cEngine(Interface& device) : device_(device) {
  device_.handle(kAcquire, [state = state_](Call& call) {
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->attempts;
    bool granted = false;
    if (state->refusals > 0) {
      --state->refusals;
    } else if (!state->refuseAlways && !state->heldByUs && !state->heldByOther) {
      state->heldByUs = true;
      ++state->grants;
      granted = true;
    }
    call.putU8(0, granted ? 1 : 0);
    return 0;
  });
  device_.handle(kRelease, [state = state_](Call&) {
    std::lock_guard<std::mutex> lock(state->mutex);
    ++state->releases;
    state->heldByUs = false;
    return 0;
  });
}

SerDesI2cEngine::~SerDesI2cEngine() {
  device_.removeHandler(kAcquire);
  device_.removeHandler(kRelease);
}

void SerDesI2cEngine::refuse(uint32_t attempts) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->refusals = attempts;
}

void SerDesI2cEngine::refuseAlways(bool refuse) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->refuseAlways = refuse;
}

void SerDesI2cEngine::holdByOther() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->heldByOther = true;
}

void SerDesI2cEngine::releaseByOther() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->heldByOther = false;
}

bool SerDesI2cEngine::heldByUs() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->heldByUs;
}

uint32_t SerDesI2cEngine::count(uint32_t State::*counter) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return (*state_).*counter;
}

}  // namespace sim
