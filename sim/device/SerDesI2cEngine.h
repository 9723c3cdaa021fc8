#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "sim/device/Interface.h"

namespace sim {

// The driver's lock on the CLIP's I2C engine (device-interface methods 48 and 49: 0x0020040F
// takes it, {i32 status} -> {u8 granted, pad, i32 status}; 0x00200410 releases it, {i32 status}
// -> {i32 status}). The engine is granted when it is free and no refusal is scripted; another
// client (a second process) can hold it as a test says.
class SerDesI2cEngine {
 public:
  static constexpr uint32_t kAcquire = 0x0020040F;
  static constexpr uint32_t kRelease = 0x00200410;

  explicit SerDesI2cEngine(Interface& device);
  ~SerDesI2cEngine();
  SerDesI2cEngine(const SerDesI2cEngine&) = delete;
  SerDesI2cEngine& operator=(const SerDesI2cEngine&) = delete;

  // The next `attempts` requests are refused whatever the engine's state.
  void refuse(uint32_t attempts);
  // Every request is refused while set.
  void refuseAlways(bool refuse);
  // Another client takes or gives back the engine.
  void holdByOther();
  void releaseByOther();

  bool heldByUs() const;
  uint32_t attempts() const { return count(&State::attempts); }
  uint32_t grants() const { return count(&State::grants); }
  uint32_t releases() const { return count(&State::releases); }

 private:
  // Shared with the handlers, which may run until the interface is detached.
  struct State {
    mutable std::mutex mutex;
    uint32_t refusals = 0;
    bool refuseAlways = false;
    bool heldByUs = false;
    bool heldByOther = false;
    uint32_t attempts = 0;
    uint32_t grants = 0;
    uint32_t releases = 0;
  };

  uint32_t count(uint32_t State::*counter) const;

  Interface& device_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
