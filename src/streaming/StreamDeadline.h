#pragma once

#include <cstdint>

namespace qvvandrel {

// The deadline of a stream wait, counted from construction on the monotonic clock: the
// time-out converted from milliseconds to the clock's unit, plus one clock tick (the time-out
// alone when that sum would overflow). Nothing sleeps: the waits poll back to back.
class StreamDeadline {
 public:
  explicit StreamDeadline(std::uint32_t timeoutMs);
  bool passed() const;

 private:
  std::uint64_t start_;
  std::uint64_t length_;
};

}  // namespace qvvandrel
