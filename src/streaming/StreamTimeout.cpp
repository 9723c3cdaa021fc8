#include "streaming/StreamTimeout.h"

#include "foundation/platform/timeBase.h"

namespace qvvandrel {

namespace platform = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

Timeout startStreamTimeout(std::uint32_t timeoutMs) {
  const platform::tTimeBase& base = platform::getTimeBase();
  const std::uint64_t length =
      platform::convertTime(timeoutMs, platform::kMilliseconds, base.unitIndex);
  const std::uint64_t tick = base.scale;
  Timeout timeout(length + tick < length ? length : length + tick,
                  static_cast<Timeout::Unit>(base.unitIndex));
  timeout.start();
  return timeout;
}

}  // namespace qvvandrel
