// The methods of the simulated CLIP controller: one table entry per opcode
// ((interface << 8) | method). A method reads its arguments from the instruction and answers
// a reply and a driver status; what lasts between instructions lives in the controller
// (interfaces, capability words, reply values) or in a state object of the method's own
// (ClipController::state<T>()).

#include "sim/device/ClipAnalogOutput.h"
#include "sim/device/ClipCableSense.h"
#include "sim/device/ClipClocks.h"
#include "sim/device/ClipController.h"
#include "sim/device/ClipIoModule.h"
#include "sim/device/ClipPll.h"
#include "sim/device/ClipSerDes.h"
#include "sim/device/ClipSynchronisation.h"

namespace sim {

namespace {

using Info = ClipController::InterfaceInfo;

// The reply set with setValue (controller version, deploy-root answer, gated value, ...).
ClipAnswer replyValue(ClipController& c, const ClipInstruction& i) {
  return {c.value(i.opcode), 0};
}

// Interface 0: the management methods.
ClipAnswer interfaceHandle(ClipController& c, const ClipInstruction& i) {
  const std::optional<Info> info = c.interfaceInfo(static_cast<uint16_t>(i.arg(0)));
  return {info ? info->handle : ClipController::kNoInterface, 0};
}

ClipAnswer interfaceSupported(ClipController& c, const ClipInstruction& i) {
  const std::optional<Info> info = c.interfaceInfo(static_cast<uint16_t>(i.arg(0)));
  return {info && info->supported ? 1u : 0u, 0};
}

template <uint32_t Info::*kField>
ClipAnswer interfaceVersionField(ClipController& c, const ClipInstruction& i) {
  const std::optional<Info> info = c.interfaceByHandle(i.arg(0));
  if (!info) return {0, ClipController::kMalformed};
  return {(*info).*kField, 0};
}

// Interface 12: the capability words.
ClipAnswer capabilityWordCount(ClipController& c, const ClipInstruction&) {
  return {static_cast<uint32_t>(c.capabilities().size()), 0};
}

ClipAnswer capabilityWord(ClipController& c, const ClipInstruction& i) {
  const std::vector<uint32_t> words = c.capabilities();
  const uint32_t index = i.arg(0);
  return {index < words.size() ? words[index] : 0u, 0};
}

// A setting of two arguments, (what it addresses, value): the analog-input settings of
// interface 9 (channel), the line settings of interface 20 (line or line group). The log keeps
// what was set.
ClipAnswer acceptSetting(ClipController&, const ClipInstruction& i) {
  static_cast<void>(i.arg(1));
  return {0, 0};
}

// Interface 6: the I/O module.
ClipAnswer ioModuleEnabled(ClipController& c, const ClipInstruction&) {
  return {c.state<ClipIoModule>().enabled ? 1u : 0u, 0};
}

ClipAnswer enableIoModule(ClipController& c, const ClipInstruction& i) {
  c.state<ClipIoModule>().enabled = i.arg(0) != 0;
  return {0, 0};
}

ClipAnswer disableIoModule(ClipController& c, const ClipInstruction&) {
  c.state<ClipIoModule>().enabled = false;
  return {0, 0};
}

// A post of one argument whose effect is the log entry (the DIO voltage code, the
// up-converter mode, the interleaving code, the external trigger's threshold and slope).
ClipAnswer acceptArgument(ClipController&, const ClipInstruction& i) {
  static_cast<void>(i.arg(0));
  return {0, 0};
}

// The connector queries: argument 0 the connector, or (family code, connector).
template <ClipConnectors::Family kFamily, bool kCount>
ClipAnswer connectorChannels(ClipController& c, const ClipInstruction& i) {
  const ClipConnectors::Channels channels = c.state<ClipConnectors>().get(kFamily, i.arg(0));
  return {kCount ? channels.count : channels.first, 0};
}

template <bool kCount>
ClipAnswer lineChannels(ClipController& c, const ClipInstruction& i) {
  const ClipConnectors::Channels channels = c.state<ClipConnectors>().get(i.arg(0), i.arg(1));
  return {kCount ? channels.count : channels.first, 0};
}

constexpr ClipOpcode kOpcodes[] = {
    {0x0001, &replyValue},  // controller version, on FIFO 0
    {0x0003, &interfaceHandle},
    {0x0006, &interfaceVersionField<&Info::version>},
    {0x0007, &interfaceVersionField<&Info::oldest>},
    {0x0009, &interfaceSupported},
    {0x000A, &instructionAvailable},  // (interface, opcode) (ClipPll.cpp)
    {0x0101, &replyValue},            // CLIP settings deployed; argument: pending
    // Clocks (ClipClocks.cpp).
    {0x0201, &setTimebase},
    {0x0203, &setSampleClockSource},
    {0x0205, &setReferenceSource},
    {0x0207, &setTxClock},
    {0x0209, &setRxBank},
    // Synchronisation adjustment (ClipSynchronisation.cpp).
    {0x0300, &readDelayStep},
    {0x0301, &writePeriodDelay},
    {0x0302, &readPhaseDacMaximum},
    {0x0303, &readPhaseDacMinimum},
    {0x0305, &writePhaseDacValue},
    {0x0306, &replyValue},  // the reference ticks a synchronisation run sets the Mosk from
    {0x0308, &commitAdjustment},
    {0x0309, &replyValue},      // the value that gates session command 0
    {0x030A, &setVcoPeriod},    // the PLLs' VCO period (ClipPll.cpp)
    {0x0602, &acceptArgument},  // DIO voltage code
    {0x0607, &ioModuleEnabled},
    {0x0608, &enableIoModule},
    {0x0609, &disableIoModule},
    {0x0903, &acceptSetting},  // Nyquist zone
    {0x0905, &acceptSetting},  // decimation filter band
    // The interleaving code.
    {0x0907, &acceptArgument},
    {0x0909, &acceptSetting},  // input range
    {0x090B, &acceptSetting},  // offset DAC code
    {0x090D, &acceptSetting},  // channel enabled
    {0x090F, &driveCableSenseLine},
    {0x0910, &readCableSenseLine},
    {0x0911, &connectorChannels<ClipConnectors::Ai, false>},
    {0x0912, &connectorChannels<ClipConnectors::Ai, true>},
    {0x0C00, &capabilityWordCount},
    {0x0C01, &capabilityWord},
    {0x0D00, &acceptArgument},  // up-converter mode
    {0x0D02, &setInverseSincFilter},
    {0x0D04, &setOutputRange},
    {0x0D06, &connectorChannels<ClipConnectors::Ao, false>},
    {0x0D07, &getOutputStatus},
    {0x0D08, &connectorChannels<ClipConnectors::Ao, true>},
    // The external trigger's slope and threshold code.
    {0x0E00, &acceptArgument},
    {0x0E02, &acceptArgument},
    // PLLs (ClipPll.cpp).
    {0x1200, &setPllDivider},
    {0x1202, &setFractionNumerator},
    {0x1204, &setFractionDenominator},
    {0x1206, &setOutputDivider},
    {0x1208, &setOutputSource},
    {0x120A, &setFixedFraction},
    {0x120C, &setVcoRange},
    {0x1400, &acceptSetting},  // DIO line configuration
    {0x1402, &acceptSetting},  // DIO or PFI line voltage
    {0x1404, &lineChannels<false>},
    {0x1405, &acceptSetting},  // line group's input equalization
    {0x1407, &acceptSetting},  // line group's output pre-emphasis
    {0x1409, &lineChannels<true>},
    // Serial channels (ClipSerDes.cpp).
    {0x2F02, &i2cRead},
    {0x2F03, &i2cWrite},
    {0x2F04, &i2cReadData},
    {0x3000, &setPocSetting},
    {0x3001, &getPocSetting},
    {0x3002, &isPocInRange},
    {0x3003, &getPocCurrent},
    {0x3004, &getPocVoltage},
    {0x3005, &getCurrentUnitCode},
    {0x3006, &getVoltageUnitCode},
    {0x25902, &applyCsi2Lanes},
};

}  // namespace

std::span<const ClipOpcode> clipOpcodes() {
  return kOpcodes;
}

}  // namespace sim
