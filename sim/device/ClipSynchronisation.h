#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

#include "sim/device/ClipController.h"

namespace sim {

// State of the CLIP's synchronisation adjustment (interface 3): the module's clock moves
// against the synchronisation reference in whole delay steps and through a phase DAC. Posts of
// a period delay (0x301, a signed count of steps, flag 4) and of a DAC code (0x305) stay
// pending until a commit (0x308, a call with flag 8) applies both: the delay adds to the
// committed steps, the code replaces the committed code. 0x300 answers the delay step in
// femtoseconds, 0x302 and 0x303 the DAC's maximum and minimum. An instruction sent with other
// transport flags is refused (kMalformed). Its own lock: the synchronisation unit reads what
// was committed while instructions arrive on other threads.
class ClipSynchronisation {
 public:
  struct Committed {
    int64_t periodDelay = 0;  // steps, the sum of every committed period delay
    uint32_t phaseDacCode = 0;
    uint32_t commits = 0;
  };

  void setDelayStep(uint32_t femtoseconds);
  // The committed code starts at the minimum.
  void setPhaseDacLimits(uint32_t minimum, uint32_t maximum);

  uint32_t delayStep() const;
  uint32_t phaseDacMinimum() const;
  uint32_t phaseDacMaximum() const;
  Committed committed() const;

  void postPeriodDelay(int32_t steps);
  void postPhaseDacCode(uint32_t code);
  void commit();

 private:
  mutable std::mutex mutex_;
  uint32_t delayStep_ = 1000000;  // 1 ns
  uint32_t minimum_ = 100;
  uint32_t maximum_ = 4900;
  std::optional<int32_t> pendingDelay_;
  std::optional<uint32_t> pendingCode_;
  Committed committed_{0, 100, 0};
};

ClipAnswer readDelayStep(ClipController& c, const ClipInstruction& i);
ClipAnswer writePeriodDelay(ClipController& c, const ClipInstruction& i);
ClipAnswer readPhaseDacMaximum(ClipController& c, const ClipInstruction& i);
ClipAnswer readPhaseDacMinimum(ClipController& c, const ClipInstruction& i);
ClipAnswer writePhaseDacValue(ClipController& c, const ClipInstruction& i);
ClipAnswer commitAdjustment(ClipController& c, const ClipInstruction& i);

}  // namespace sim
