#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "sim/device/ClipController.h"

namespace sim {

// State of the CLIP's clock methods (interface 2), each a post of what the clocks were set
// to: 0x201 the sample-clock timebase in kHz, 0x203 the sample-clock source code, 0x205 the
// reference-clock source code, 0x207 the TX clock, 0x209 (bank, value) an RX clock bank.
// Nothing is set until the first post; the log keeps every post.
struct ClipClocks {
  std::optional<uint32_t> timebaseKhz;
  std::optional<uint32_t> sampleClockSource;
  std::optional<uint32_t> referenceSource;
  std::optional<uint32_t> txClock;
  std::map<uint32_t, uint32_t> rxBanks;
};

ClipAnswer setTimebase(ClipController& c, const ClipInstruction& i);
ClipAnswer setSampleClockSource(ClipController& c, const ClipInstruction& i);
ClipAnswer setReferenceSource(ClipController& c, const ClipInstruction& i);
ClipAnswer setTxClock(ClipController& c, const ClipInstruction& i);
ClipAnswer setRxBank(ClipController& c, const ClipInstruction& i);

}  // namespace sim
