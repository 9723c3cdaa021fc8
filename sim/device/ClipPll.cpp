#include "sim/device/ClipPll.h"

#include <algorithm>

namespace sim {

namespace {

// The fraction methods address N's fraction (1) of one PLL.
template <std::optional<uint32_t> ClipPll::Pll::*kField>
ClipAnswer setFraction(ClipController& c, const ClipInstruction& i) {
  const uint32_t pll = i.arg(0);
  const uint32_t what = i.arg(1);
  const uint32_t value = i.arg(2);
  if (what != 1) return {0, ClipController::kMalformed};
  c.state<ClipPll>().plls[pll].*kField = value;
  return {0, 0};
}

template <std::map<uint32_t, uint32_t> ClipPll::*kField>
ClipAnswer setOutput(ClipController& c, const ClipInstruction& i) {
  const uint32_t clock = i.arg(0);
  const uint32_t value = i.arg(1);
  (c.state<ClipPll>().*kField)[clock] = value;
  return {0, 0};
}

}  // namespace

ClipAnswer setPllDivider(ClipController& c, const ClipInstruction& i) {
  const uint32_t pll = i.arg(0);
  const uint32_t what = i.arg(1);
  const uint32_t value = i.arg(2);
  if (what > 4) return {0, ClipController::kMalformed};
  c.state<ClipPll>().plls[pll].dividers[what] = value;
  return {0, 0};
}

ClipAnswer setFractionNumerator(ClipController& c, const ClipInstruction& i) {
  return setFraction<&ClipPll::Pll::fractionNumerator>(c, i);
}

ClipAnswer setFractionDenominator(ClipController& c, const ClipInstruction& i) {
  return setFraction<&ClipPll::Pll::fractionDenominator>(c, i);
}

ClipAnswer setFixedFraction(ClipController& c, const ClipInstruction& i) {
  return setFraction<&ClipPll::Pll::fixedFraction>(c, i);
}

ClipAnswer setVcoRange(ClipController& c, const ClipInstruction& i) {
  const uint32_t pll = i.arg(0);
  const uint32_t range = i.arg(1);
  c.state<ClipPll>().plls[pll].vcoRange = range;
  return {0, 0};
}

ClipAnswer setOutputDivider(ClipController& c, const ClipInstruction& i) {
  return setOutput<&ClipPll::dividers>(c, i);
}

ClipAnswer setOutputSource(ClipController& c, const ClipInstruction& i) {
  return setOutput<&ClipPll::sources>(c, i);
}

ClipAnswer setVcoPeriod(ClipController& c, const ClipInstruction& i) {
  const uint32_t femtoseconds = i.arg(0);
  c.state<ClipPll>().vcoPeriods.push_back(femtoseconds);
  return {0, 0};
}

ClipAnswer instructionAvailable(ClipController& c, const ClipInstruction& i) {
  const uint32_t interface = i.arg(0);
  const uint32_t opcode = i.arg(1);
  const auto& answers = c.state<InstructionAvailability>().answers;
  if (const auto it = answers.find({interface, opcode}); it != answers.end()) {
    return {it->second, 0};
  }
  const auto info = c.interfaceInfo(static_cast<uint16_t>(interface));
  const auto served = clipOpcodes();
  const bool known = std::any_of(served.begin(), served.end(),
                                 [&](const ClipOpcode& op) { return op.opcode == opcode; });
  return {info && info->supported && known && opcode >> 8 == interface ? 1u : 0u, 0};
}

}  // namespace sim
