#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sim/device/RegisterFile.h"

namespace sim {

// The ready flag of one DSP of the design, behind its reset register: writing a non-zero word
// to the reset starts the DSP over, and the ready register reads 0 until `delay` has passed on
// the monotonic clock, 1 before the first reset and afterwards. A stuck DSP is never ready.
// The hooks go when the object does.
class DspReadiness {
 public:
  DspReadiness(RegisterFile& registers, uint32_t resetOffset, uint32_t readyOffset);
  ~DspReadiness();
  DspReadiness(const DspReadiness&) = delete;
  DspReadiness& operator=(const DspReadiness&) = delete;

  void setDelay(std::chrono::milliseconds delay);
  void setStuck(bool stuck);
  // Non-zero writes to the reset register so far.
  uint32_t resets() const;

 private:
  struct State {
    mutable std::mutex mutex;
    std::chrono::milliseconds delay{0};
    bool stuck = false;
    bool resetSeen = false;
    std::chrono::steady_clock::time_point lastReset;
    uint32_t resets = 0;
    bool ready() const;
  };
  RegisterFile& registers_;
  uint32_t resetOffset_;
  uint32_t readyOffset_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace sim
