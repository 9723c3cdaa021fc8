#include "sim/device/PeerToPeer.h"

namespace sim {

PeerToPeer::PeerToPeer(Interface& iface) : iface_(iface) {
  iface.handle(commandCode(kDirRead, 0x83, 0x3C), [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    auto value = state->values.find(call.u32(0));
    call.putU32(0, value != state->values.end() ? value->second : 0);
    return 0;
  });
}

void PeerToPeer::setValue(uint32_t channel, uint32_t value) {
  std::lock_guard lock(state_->mutex);
  state_->values[channel] = value;
}

Region& PeerToPeer::addSinkWindow(uint32_t channel, size_t bytes) {
  return iface_.addRegion(kSinkRegionBit | channel, bytes);
}

}  // namespace sim
