#pragma once
// A span of time on the monotonic clock, counted in one unit of the time scale. Owners either
// compare the elapsed time with the duration themselves, or, when the timeout is to be waited
// out, release it once they are done.

#include <cstdint>

#include "foundation/platform/timeBase.h"

namespace qvvandrel {

class Timeout {
 public:
  // The platform's time scale from nanoseconds (1) to hours (6): neighbouring units differ by
  // 1000 up to seconds and by 60 above; conversions truncate.
  using Unit = nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tTimeUnit;

  // A unit other than 1 to 6 raises -52005: no time would ever count in it.
  Timeout(std::uint64_t duration, Unit unit, bool waitOut = false);

  // Reads the clock: the time counts from here. Starting again restarts it.
  void start();
  bool isStarted() const { return started_; }
  bool waitsOut() const { return waitOut_; }
  std::uint64_t duration() const { return duration_; }
  Unit unit() const { return unit_; }

  // The time since the start in the timeout's unit (0 before the start), kept as the last
  // elapsed time.
  std::uint64_t elapsed();
  bool expired() { return elapsed() >= duration_; }
  // Polls the clock until the duration has passed since the start; at once when not started.
  void waitUntilExpired();
  // What an owner does on release: waits the timeout out when it is started and to be waited
  // out.
  void release();

 private:
  std::uint64_t startNs_ = 0;
  std::uint64_t elapsed_ = 0;
  bool started_ = false;
  std::uint64_t duration_;
  Unit unit_;
  bool waitOut_;
};

}  // namespace qvvandrel
