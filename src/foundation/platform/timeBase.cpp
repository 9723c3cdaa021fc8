#include "foundation/platform/timeBase.h"

#include <ctime>
#include <mutex>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

tTimeBase gTimeBase{0, 0, 0, 0, {false}};

constexpr uint32_t kCoarsestUnit = kHours;

}  // namespace

uint64_t getMonotonicTimeNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<uint64_t>(now.tv_nsec);
}

void initTimeBase() {
  // The values are constant, but two threads writing them at once would still be a data race.
  static std::once_flag once;
  std::call_once(once, [] {
    gTimeBase.unitIndex = kNanoseconds;
    gTimeBase.reserved = 0;
    gTimeBase.scale = 1;
    gTimeBase.secondFactor = 1000;
    gTimeBase.initialized.store(true, std::memory_order_release);
  });
}

const tTimeBase& getTimeBase() {
  if (!gTimeBase.initialized.load(std::memory_order_acquire)) initTimeBase();
  return gTimeBase;
}

uint64_t convertTime(uint64_t value, uint32_t fromUnit, uint32_t toUnit) {
  if (fromUnit > kCoarsestUnit || toUnit > kCoarsestUnit) return 0;
  // Steps below seconds are factors of 1000, from seconds up factors of 60.
  for (uint32_t unit = fromUnit; unit < toUnit; ++unit) value /= unit < kSeconds ? 1000 : 60;
  for (uint32_t unit = fromUnit; unit > toUnit; --unit) value *= unit <= kSeconds ? 1000 : 60;
  return value;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
