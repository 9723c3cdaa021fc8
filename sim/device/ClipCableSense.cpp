#include "sim/device/ClipCableSense.h"

namespace sim {

uint32_t ClipCableSense::Line::read(Clock::time_point now) {
  if (stuck) return *stuck;
  if (driven && now - drivenAt >= std::chrono::milliseconds(followDelayMs)) {
    level = *driven;
    driven.reset();
  }
  return level;
}

ClipAnswer driveCableSenseLine(ClipController& c, const ClipInstruction& i) {
  ClipCableSense::Line& line = c.state<ClipCableSense>().lines[i.arg(0)];
  line.driven = i.arg(1) != 0 ? 1u : 0u;
  line.drivenAt = ClipCableSense::Clock::now();
  return {0, 0};
}

ClipAnswer readCableSenseLine(ClipController& c, const ClipInstruction& i) {
  return {c.state<ClipCableSense>().lines[i.arg(0)].read(ClipCableSense::Clock::now()), 0};
}

}  // namespace sim
