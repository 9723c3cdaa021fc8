#pragma once
// The CLIP controller's PLL interface (0x12), the VCO period of the synchronisation interface
// (3, method 0x30A) and the availability query of interface 0 (0x00A). Every method is a post
// whose arguments are kept as the PLL or output was last set; the controller's log keeps every
// post in order.

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "sim/device/ClipController.h"

namespace sim {

struct ClipPll {
  struct Pll {
    std::map<uint32_t, uint32_t> dividers;  // 0x1200 (pll, what, value): 0 R, 1 N, 2 P, 3/4 band
    std::optional<uint32_t> fractionNumerator;    // 0x1202 (pll, 1, value)
    std::optional<uint32_t> fractionDenominator;  // 0x1204 (pll, 1, value)
    std::optional<uint32_t> fixedFraction;        // 0x120A (pll, 1, value)
    std::optional<uint32_t> vcoRange;             // 0x120C (pll, range)
  };
  std::map<uint32_t, Pll> plls;           // by PLL number
  std::map<uint32_t, uint32_t> dividers;  // 0x1206 (clock id, divider)
  std::map<uint32_t, uint32_t> sources;   // 0x1208 (clock id, source)
  std::vector<uint32_t> vcoPeriods;       // 0x30A (femtoseconds), in order
};

// What 0x00A (interface, opcode) answers: a value set here, else 1 when the controller serves
// the opcode on an interface it has and supports, else 0.
struct InstructionAvailability {
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> answers;
};

ClipAnswer setPllDivider(ClipController& c, const ClipInstruction& i);
ClipAnswer setFractionNumerator(ClipController& c, const ClipInstruction& i);
ClipAnswer setFractionDenominator(ClipController& c, const ClipInstruction& i);
ClipAnswer setFixedFraction(ClipController& c, const ClipInstruction& i);
ClipAnswer setVcoRange(ClipController& c, const ClipInstruction& i);
ClipAnswer setOutputDivider(ClipController& c, const ClipInstruction& i);
ClipAnswer setOutputSource(ClipController& c, const ClipInstruction& i);
ClipAnswer setVcoPeriod(ClipController& c, const ClipInstruction& i);
ClipAnswer instructionAvailable(ClipController& c, const ClipInstruction& i);

}  // namespace sim
