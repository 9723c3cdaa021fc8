#pragma once
// The CLIP controller's analog-output interface (13) beyond the up-converter mode: the
// inverse-sinc filter switch 0xD02 and the range code 0xD04, each posted with (channel, value)
// and kept per channel, and the status call 0xD07 (channel), which answers the status a test
// set for the channel (0 when none was set; any word, also one no status has).

#include <cstdint>
#include <map>

#include "sim/device/ClipController.h"

namespace sim {

struct ClipAnalogOutput {
  std::map<uint32_t, uint32_t> filter;  // last 0xD02 value per channel
  std::map<uint32_t, uint32_t> range;   // last 0xD04 code per channel
  std::map<uint32_t, uint32_t> status;  // 0xD07's answer per channel
};

ClipAnswer setInverseSincFilter(ClipController& c, const ClipInstruction& i);
ClipAnswer setOutputRange(ClipController& c, const ClipInstruction& i);
ClipAnswer getOutputStatus(ClipController& c, const ClipInstruction& i);

}  // namespace sim
