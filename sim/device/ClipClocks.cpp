#include "sim/device/ClipClocks.h"

namespace sim {

namespace {

template <std::optional<uint32_t> ClipClocks::*kField>
ClipAnswer store(ClipController& c, const ClipInstruction& i) {
  const uint32_t value = i.arg(0);
  c.state<ClipClocks>().*kField = value;
  return {0, 0};
}

}  // namespace

ClipAnswer setTimebase(ClipController& c, const ClipInstruction& i) {
  return store<&ClipClocks::timebaseKhz>(c, i);
}

ClipAnswer setSampleClockSource(ClipController& c, const ClipInstruction& i) {
  return store<&ClipClocks::sampleClockSource>(c, i);
}

ClipAnswer setReferenceSource(ClipController& c, const ClipInstruction& i) {
  return store<&ClipClocks::referenceSource>(c, i);
}

ClipAnswer setTxClock(ClipController& c, const ClipInstruction& i) {
  return store<&ClipClocks::txClock>(c, i);
}

ClipAnswer setRxBank(ClipController& c, const ClipInstruction& i) {
  const uint32_t bank = i.arg(0);
  const uint32_t value = i.arg(1);
  c.state<ClipClocks>().rxBanks[bank] = value;
  return {0, 0};
}

}  // namespace sim
