#include "sim/device/StoredBlobs.h"

#include <cstring>

namespace sim {

namespace {

std::vector<uint8_t> bytesAt(uint64_t address, uint32_t length) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(address);
  return length == 0 ? std::vector<uint8_t>() : std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace

StoredBlobs::StoredBlobs(Interface& iface) {
  iface.handle(kStore, [state = state_](Call& call) {
    Slot slot{bytesAt(call.u64(8), call.u32(16)), bytesAt(call.u64(24), call.u32(32)),
              call.u16(20)};
    std::lock_guard lock(state->mutex);
    state->slots[call.u32(0)] = std::move(slot);
    return 0;
  });
  iface.handle(kRead, [state = state_](Call& call) {
    std::lock_guard lock(state->mutex);
    auto found = state->slots.find(call.u32(12));
    if (found == state->slots.end()) {
      call.status = kNoSlot;
      return 0;
    }
    const Slot& slot = found->second;
    const uint64_t buffer = call.u64(0);
    if (buffer != 0 && call.u32(8) >= slot.blob.size() && !slot.blob.empty())
      std::memcpy(reinterpret_cast<void*>(buffer), slot.blob.data(), slot.blob.size());
    call.putU32(0, static_cast<uint32_t>(slot.blob.size()));
    call.putU16(4, slot.tag);
    return 0;
  });
}

void StoredBlobs::set(uint32_t slot, Slot contents) {
  std::lock_guard lock(state_->mutex);
  state_->slots[slot] = std::move(contents);
}

std::optional<StoredBlobs::Slot> StoredBlobs::slot(uint32_t slot) const {
  std::lock_guard lock(state_->mutex);
  auto found = state_->slots.find(slot);
  if (found == state_->slots.end()) return std::nullopt;
  return found->second;
}

}  // namespace sim
