#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// What the CLIP reports over capability interface 12, as a flat list of (identifier, value)
// words; a section's count comes before its instances, each instance's index before its
// fields.
enum class CapabilityProfile : uint8_t {
  None,     // no I/O module: nothing reported
  Minimal,  // two analog inputs, the onboard reference clock, a fixed sample-clock timebase
  Full,     // every identifier and section kind, with the flaws a tree must survive
  // Only analog inputs: four channels with the enable switch, ranges 10, 2 and 0.5 with their
  // offset DACs (the one of 0.5 without a scale), and the four lists of channel properties.
  AnalogInput,
  // The same with a zero-code list (114) one entry short, so no offset DAC is described.
  AnalogInputShortOffsetList,
  // Only digital and PFI lines: 3 digital inputs and 2 outputs with equalization and
  // pre-emphasis, 3 PFI and 2 DIFF PFI lines with both switches, PFI voltages 3.3, 1.8, 3.3
  // again and 1.001 V, 4 DIO lines at 1.8 or 3.3 V in configuration 1 or 0.
  DigitalLines,
  // The same lines with less on offer: no digital-input count and equalization reported false,
  // no pre-emphasis flag, no PFI or DIFF PFI count, DIFF PFI equalization false and no
  // pre-emphasis flag, no PFI voltage, 3 DIO lines with the one voltage 2.5 V and the one
  // configuration 1 among words (7) that are no configuration.
  DigitalLinesSparse,
  // Only clocks: reference sources 1 and 3 (listed twice), 10 to 100 MHz; sample-clock sources
  // 1, 7 (which converts to nothing) and 0; timebase fixed at 1 GHz or 500 MHz to 1 GHz;
  // divisors 4 (data clock), 2 (ADC) and 4 (DAC).
  Clocks,
  // Analog outputs and cable sensing: two outputs with the filter and a status, device ranges
  // 0.5 and 1, the up-converter's range 0.25, impedances 50 and 1e6, output 0 with its own
  // ranges 1, 0.5 and 1 again (two words of one value); four analog inputs with cable sense.
  AnalogOutput,
};

std::vector<uint32_t> capabilityWords(CapabilityProfile profile);

// One serial-channel section as the CLIP describes it; an empty field is not reported.
struct SerialSection {
  std::optional<uint32_t> type;              // 800: 0 input, 1 output
  std::optional<uint32_t> frontPanelNumber;  // 801
  std::optional<uint32_t> serDesNumber;      // 802
  std::optional<uint32_t> serDesBusId;       // 803
  std::optional<uint32_t> dataClock;         // 811: section count + k names DataClk k
  std::optional<uint32_t> csi2Port;          // 812
};

// The words of a list of serial sections (the count 804, then per section its index 9 and
// fields), preceded by capability 700 (the I2C address mode) when given.
std::vector<uint32_t> serialChannelWords(const std::vector<SerialSection>& sections,
                                         std::optional<uint32_t> addressMode = std::nullopt);

}  // namespace sim
