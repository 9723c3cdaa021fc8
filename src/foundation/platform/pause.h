#pragma once
// Pauses of a thread that polls the driver, and the polling loop they serve.

#include <cstdint>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// Sleeps `milliseconds`; a signal does not shorten the pause.
void pauseMilliseconds(uint32_t milliseconds);

// Calls `attempt` until it answers true, at most `attempts` times, pausing `pauseMs` after each
// false answer but the last. Returns whether some attempt answered true. What `attempt` raises
// leaves at once.
template <typename Attempt>
bool pollWithPause(uint32_t attempts, uint32_t pauseMs, Attempt&& attempt) {
  for (uint32_t made = 1; made <= attempts; ++made) {
    if (attempt()) return true;
    if (made < attempts) pauseMilliseconds(pauseMs);
  }
  return false;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
