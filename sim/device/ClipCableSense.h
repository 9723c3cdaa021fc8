#pragma once
// The cable-sense lines behind the CLIP's analog-input interface (9): 0x90F (channel, level)
// drives a channel's line, 0x910 (channel) answers the level it reads back. A line reads its
// initial level until it is first driven, then the driven level once `followDelayMs` have
// passed since the drive (the level before the drive until then); a stuck line always reads
// its stuck level.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

#include "sim/device/ClipController.h"

namespace sim {

struct ClipCableSense {
  using Clock = std::chrono::steady_clock;

  struct Line {
    uint32_t level = 0;  // what it reads now, apart from a pending drive or a stuck level
    uint32_t followDelayMs = 0;
    std::optional<uint32_t> stuck;
    // The last drive not yet followed.
    std::optional<uint32_t> driven;
    Clock::time_point drivenAt;

    uint32_t read(Clock::time_point now);
  };

  std::map<uint32_t, Line> lines;  // by channel; a channel never mentioned reads 0
};

ClipAnswer driveCableSenseLine(ClipController& c, const ClipInstruction& i);
ClipAnswer readCableSenseLine(ClipController& c, const ClipInstruction& i);

}  // namespace sim
