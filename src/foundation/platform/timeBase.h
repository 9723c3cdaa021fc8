#pragma once
// The monotonic nanosecond clock and the process-wide time base with its unit scale.

#include <atomic>
#include <cstdint>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

enum tTimeUnit : uint32_t {
  kPicoseconds = 0,
  kNanoseconds = 1,
  kMicroseconds = 2,
  kMilliseconds = 3,
  kSeconds = 4,
  kMinutes = 5,
  kHours = 6,
};

struct tTimeBase {
  uint32_t unitIndex;
  uint32_t reserved;
  uint64_t scale;
  uint64_t secondFactor;
  std::atomic<bool> initialized;
};

// CLOCK_MONOTONIC as seconds x 1,000,000,000 + nanoseconds.
uint64_t getMonotonicTimeNs();

// Writes the constant values of the time base; idempotent, so racing first readers are harmless.
void initTimeBase();
// The time base, initialised on first use.
const tTimeBase& getTimeBase();

// Converts between units of the scale (0 ps .. 6 h) with unsigned truncating arithmetic. An
// index past the scale converts nothing and gives 0.
uint64_t convertTime(uint64_t value, uint32_t fromUnit, uint32_t toUnit);

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
