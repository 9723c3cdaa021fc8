#include "sim/device/ClipSerDes.h"

#include <vector>

namespace sim {

namespace {

SerialChannelStatus& channel(ClipController& c, const ClipInstruction& i) {
  return c.state<SerialStatusState>().channels[i.arg(0)];
}

// The data bytes of a write, decoded from the instruction layout: the header announces bus,
// address, option and count; the first data byte is a fifth value stored after them (slot 5),
// the others come as payload words, two values each, with an odd last one in a trailer word.
std::optional<std::vector<uint8_t>> writeData(const ClipInstruction& i) {
  if (i.announced != 4) return std::nullopt;
  const uint32_t count = i.arg(3);
  std::vector<uint8_t> bytes;
  if (count == 0) return i.extra.empty() ? std::optional(bytes) : std::nullopt;
  bytes.push_back(static_cast<uint8_t>(i.slot(5)));
  const uint64_t rest = count - 1;
  if (i.extra.size() != (rest + 1) / 2) return std::nullopt;
  for (uint64_t k = 0; k < rest; ++k) {
    const uint64_t word = i.extra[k / 2];
    bytes.push_back(static_cast<uint8_t>(k % 2 == 0 ? word : word >> 32));
  }
  return bytes;
}

}  // namespace

ClipAnswer setPocSetting(ClipController& c, const ClipInstruction& i) {
  channel(c, i).pocSetting = static_cast<int32_t>(i.arg(1));
  return {};
}

ClipAnswer getPocSetting(ClipController& c, const ClipInstruction& i) {
  return {static_cast<uint32_t>(channel(c, i).pocSetting), 0};
}

ClipAnswer isPocInRange(ClipController& c, const ClipInstruction& i) {
  return {channel(c, i).inRange, 0};
}

ClipAnswer getPocCurrent(ClipController& c, const ClipInstruction& i) {
  return {channel(c, i).current, 0};
}

ClipAnswer getPocVoltage(ClipController& c, const ClipInstruction& i) {
  return {channel(c, i).voltage, 0};
}

ClipAnswer getCurrentUnitCode(ClipController& c, const ClipInstruction&) {
  return {c.state<SerialStatusState>().currentUnitCode, 0};
}

ClipAnswer getVoltageUnitCode(ClipController& c, const ClipInstruction&) {
  return {c.state<SerialStatusState>().voltageUnitCode, 0};
}

ClipAnswer applyCsi2Lanes(ClipController& c, const ClipInstruction& i) {
  c.state<Csi2LanesState>().lanes[i.arg(0)] = i.arg(1);
  return {};
}

ClipAnswer i2cWrite(ClipController& c, const ClipInstruction& i) {
  const std::optional<std::vector<uint8_t>> bytes = writeData(i);
  if (!bytes) return {0, ClipController::kMalformed};
  I2cBusesState& buses = c.state<I2cBusesState>();
  auto found = buses.chips.find({i.arg(0), i.arg(1)});
  if (found == buses.chips.end()) return {0, 0};
  I2cChip& chip = found->second;
  for (size_t k = 0; k < bytes->size(); ++k) {
    if (k == 0)
      chip.pointer = (*bytes)[0];
    else
      chip.registers[chip.pointer++] = (*bytes)[k];
  }
  return {static_cast<uint32_t>(bytes->size()), 0};
}

ClipAnswer i2cRead(ClipController& c, const ClipInstruction& i) {
  I2cBusesState& buses = c.state<I2cBusesState>();
  buses.pending.clear();
  auto found = buses.chips.find({i.arg(0), i.arg(1)});
  if (found == buses.chips.end()) return {0, 0};
  const uint32_t count = buses.reportedCount.value_or(i.arg(3) & 0xFF);
  I2cChip& chip = found->second;
  for (uint32_t k = 0; k < count; ++k) buses.pending.push_back(chip.registers[chip.pointer++]);
  return {count, 0};
}

ClipAnswer i2cReadData(ClipController& c, const ClipInstruction&) {
  std::deque<uint8_t>& pending = c.state<I2cBusesState>().pending;
  uint32_t word = 0;
  for (int b = 0; b < 4 && !pending.empty(); ++b) {
    word |= static_cast<uint32_t>(pending.front()) << (8 * b);
    pending.pop_front();
  }
  return {word, 0};
}

}  // namespace sim
