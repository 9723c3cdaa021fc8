#pragma once
// The CLIP controller's serial-channel interfaces: 0x30 (status and power over coax, per
// channel index), 0x259 (CSI-2 lanes, per port) and 0x2F (the I2C engine in front of the
// SerDes chips). Their state lives in the controller (ClipController::state<T>()); tests set it
// and read it back.

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>

#include "sim/device/ClipController.h"

namespace sim {

// Interface 0x30.
struct SerialChannelStatus {
  int32_t pocSetting = 0;  // written by 0x3000, answered by 0x3001
  uint32_t inRange = 1;    // 0x3002 answers this word (bit 0 is the state)
  uint32_t current = 0;    // raw reading of 0x3003
  uint32_t voltage = 0;    // raw reading of 0x3004
};
struct SerialStatusState {
  uint32_t voltageUnitCode = 0;                      // 0x3006: volts
  uint32_t currentUnitCode = 1;                      // 0x3005: amperes
  std::map<uint32_t, SerialChannelStatus> channels;  // by channel index
};

// Interface 0x259: the lane count last posted per port.
struct Csi2LanesState {
  std::map<uint32_t, uint32_t> lanes;
};

// A SerDes chip on an I2C bus: 256 registers. The first byte of a write sets the register
// pointer, the others are written from it on; a read continues from the pointer. Pointers wrap.
struct I2cChip {
  std::array<uint8_t, 256> registers{};
  uint8_t pointer = 0;
};

// Interface 0x2F. Chips are found by (bus ID, device address); a 7-bit device sits at its
// 8-bit address, a 10-bit one at its whole address. A chip that is absent acknowledges
// nothing: a write answers 0 and a read reports 0 bytes.
struct I2cBusesState {
  std::map<std::pair<uint32_t, uint32_t>, I2cChip> chips;
  // Bytes of the last read the engine still holds for 0x2F04.
  std::deque<uint8_t> pending;
  // Makes reads report this many bytes (fewer than asked: a short read; more: a CLIP that
  // delivers more than asked), the chip supplying them all.
  std::optional<uint32_t> reportedCount;

  I2cChip& addChip(uint32_t busId, uint32_t address) { return chips[{busId, address}]; }
};

ClipAnswer setPocSetting(ClipController& c, const ClipInstruction& i);
ClipAnswer getPocSetting(ClipController& c, const ClipInstruction& i);
ClipAnswer isPocInRange(ClipController& c, const ClipInstruction& i);
ClipAnswer getPocCurrent(ClipController& c, const ClipInstruction& i);
ClipAnswer getPocVoltage(ClipController& c, const ClipInstruction& i);
ClipAnswer getCurrentUnitCode(ClipController& c, const ClipInstruction& i);
ClipAnswer getVoltageUnitCode(ClipController& c, const ClipInstruction& i);
ClipAnswer applyCsi2Lanes(ClipController& c, const ClipInstruction& i);
ClipAnswer i2cRead(ClipController& c, const ClipInstruction& i);
ClipAnswer i2cWrite(ClipController& c, const ClipInstruction& i);
ClipAnswer i2cReadData(ClipController& c, const ClipInstruction& i);

}  // namespace sim
