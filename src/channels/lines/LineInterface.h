#pragma once
// What the digital, DIO and PFI line features share: the instructions of the CLIP's line
// interface (20), sent after the session's once-only check of that interface, and the line
// configuration held by the per-line attributes.
//
// The features reach the CLIP through the session's `ClipConfiguration`: its interface-20
// record carries the instruction FIFO and the done flag that every line feature of the
// session shares.

#include <cstdint>

#include "model/ClipConfiguration.h"

namespace qvvandrel::config {

// Interface 20's setting methods; each is posted with (what it addresses, value).
inline constexpr std::uint32_t kLineConfiguration = 0x1400;  // (DIO line, raw configuration)
inline constexpr std::uint32_t kLineVoltage = 0x1402;        // (DIO line or kPfiLines, µV)
inline constexpr std::uint32_t kLineEqualization = 0x1405;   // (line group, 0 or 1)
inline constexpr std::uint32_t kLinePreEmphasis = 0x1407;    // (line group, 0 or 1)

// What the voltage instruction addresses for the PFI lines (all of them at once).
inline constexpr std::uint32_t kPfiLines = 0xFFFFFFFF;

// The line groups that equalization and pre-emphasis address.
enum LineGroup : std::uint32_t {
  kDigitalInputs = 1,
  kDigitalOutputs = 2,
  kDifferentialPfiLines = 4,
};

// Checks interface 20 once per session (supported, else -304306; a handle and oldest
// compatible version 0, else -304307; a query that fails is raised with its own status), then
// posts one setting; a failed post is raised with its status.
void postLineSetting(ClipConfiguration& clip, std::uint32_t opcode, std::uint32_t target,
                     std::uint32_t value);

// Input equalization and output pre-emphasis of one line group, on or off.
void sendLineEqualization(ClipConfiguration& clip, LineGroup group, bool enable);
void sendLinePreEmphasis(ClipConfiguration& clip, LineGroup group, bool enable);

}  // namespace qvvandrel::config
