#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

// The module's flash as its driver serves it on the device interface: write an image (0x8332,
// {u64 address, u32 length} of the caller's bytes), set a value (0x8333, {u32}), read the value
// (0x8334, -> {u32}) and run the flash command (0x8335). A test may make the value unreadable
// (answered with a driver status, as a module without flash does).
class FlashModel {
 public:
  static constexpr uint32_t kWrite = 0x40208332;
  static constexpr uint32_t kSetValue = 0x40208333;
  static constexpr uint32_t kGetValue = 0x80208334;
  static constexpr uint32_t kRun = 0x40208335;

  // Serves the flash commands on `iface`, which must outlive this object's handlers.
  explicit FlashModel(Interface& iface);
  FlashModel(const FlashModel&) = delete;
  FlashModel& operator=(const FlashModel&) = delete;

  // The driver status 0x8334 answers instead of the value (0: the value).
  void setValueStatus(int32_t status);
  std::vector<std::vector<uint8_t>> images() const;
  uint32_t value() const;
  size_t runs() const;

 private:
  struct State {
    mutable std::mutex mutex;
    std::vector<std::vector<uint8_t>> images;
    uint32_t value = 0;
    int32_t valueStatus = 0;
    size_t runs = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
