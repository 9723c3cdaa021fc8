#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

// The driver's stored personality slots, the flash images among them (slots 0 to 2 are the
// golden, default and user images). Command 0x40200903 {u32 slot, u64 bitstream address, u32
// bitstream length, u16 tag, u64 blob address, u32 blob length} stores a slot; 0x80200904
// {u64 buffer, u32 length, u32 slot} -> {u32 blob length, u16 tag} reads one: a null buffer
// or one too short only learns the length. An empty slot answers kNoSlot.
class StoredBlobs {
 public:
  static constexpr uint32_t kStore = 0x40200903;
  static constexpr uint32_t kRead = 0x80200904;
  static constexpr int32_t kNoSlot = -52006;

  struct Slot {
    std::vector<uint8_t> bitstream;
    std::vector<uint8_t> blob;
    uint16_t tag = 0;
  };

  explicit StoredBlobs(Interface& iface);
  StoredBlobs(const StoredBlobs&) = delete;
  StoredBlobs& operator=(const StoredBlobs&) = delete;

  void set(uint32_t slot, Slot contents);
  std::optional<Slot> slot(uint32_t slot) const;

 private:
  struct State {
    mutable std::mutex mutex;
    std::map<uint32_t, Slot> slots;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
