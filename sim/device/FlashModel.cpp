#include "sim/device/FlashModel.h"

namespace sim {

FlashModel::FlashModel(Interface& iface) {
  iface.handle(kWrite, [state = state_](Call& call) {
    const uint64_t address = call.u64(0);
    const uint32_t length = call.u32(8);
    if (length != 0 && address == 0) return EFAULT;
    const auto* bytes = reinterpret_cast<const uint8_t*>(address);
    std::lock_guard lock(state->mutex);
    state->images.emplace_back(bytes, bytes + length);
    return 0;
  });
  iface.handle(kSetValue, [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    state->value = call.u32(0);
    return 0;
  });
  iface.handle(kGetValue, [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    if (state->valueStatus != 0) {
      call.status = state->valueStatus;
    } else {
      call.putU32(0, state->value);
    }
    return 0;
  });
  iface.handle(kRun, [state = state_](Call&) {
    std::lock_guard lock(state->mutex);
    ++state->runs;
    return 0;
  });
}

void FlashModel::setValueStatus(int32_t status) {
  std::lock_guard lock(state_->mutex);
  state_->valueStatus = status;
}

std::vector<std::vector<uint8_t>> FlashModel::images() const {
  std::lock_guard lock(state_->mutex);
  return state_->images;
}

uint32_t FlashModel::value() const {
  std::lock_guard lock(state_->mutex);
  return state_->value;
}

size_t FlashModel::runs() const {
  std::lock_guard lock(state_->mutex);
  return state_->runs;
}

}  // namespace sim
