#include "streaming/StreamDeadline.h"

#include "foundation/platform/timeBase.h"

namespace qvvandrel {

namespace platform = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

StreamDeadline::StreamDeadline(std::uint32_t timeoutMs) : start_(platform::getMonotonicTimeNs()) {
  const platform::tTimeBase& base = platform::getTimeBase();
  const std::uint64_t length =
      platform::convertTime(timeoutMs, platform::kMilliseconds, base.unitIndex);
  length_ = length + base.scale < length ? length : length + base.scale;
}

bool StreamDeadline::passed() const {
  return platform::getMonotonicTimeNs() - start_ >= length_;
}

}  // namespace qvvandrel
