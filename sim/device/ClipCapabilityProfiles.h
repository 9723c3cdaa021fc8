#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace sim {

// What the CLIP reports over capability interface 12, as a flat list of (identifier, value)
// words; a section's count comes before its instances, each instance's index before its
// fields.
enum class CapabilityProfile : uint8_t {
  None,     // no I/O module: nothing reported
  Minimal,  // two analog inputs, the onboard reference clock, a fixed sample-clock timebase
  Full,     // every feature, complete and consistent: a session opens on it
  // The same kinds with the flaws a tree must survive: words the converters reject, a field
  // that is no capability, a section that does not exist, PLL 1 with values of its own at
  // interface version 1, short offset lists, an unknown identifier.
  FullWithFlaws,
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

// The fields of one section instance by capability identifier: a list field with its values, a
// value field with one; an identifier not in the map is not reported.
using SectionFields = std::map<uint32_t, std::vector<uint32_t>>;

// A CLIP with user clocks: reference-clock sources (200) with their rate range in kHz (201,
// 202), PLL sections (count 210, index 5), user-clock sections (211, index 7), serial channels
// (804, index 9), TX clock numbers (212), RX clock sources (213) and the RX bank count (214);
// and the version capability interface 12 reports, which the tree stores (1 asks the user clocks
// to copy PLL 0's properties to every PLL).
struct UserClockProfile {
  std::vector<uint32_t> referenceSources{1};
  uint32_t referenceMinKHz = 10000;
  uint32_t referenceMaxKHz = 10000;
  std::vector<SectionFields> plls;
  std::vector<SectionFields> userClocks;
  std::vector<SerialSection> serialChannels;
  std::vector<uint32_t> txClocks;
  std::vector<uint32_t> rxSources;
  std::optional<uint32_t> rxBankCount;
  uint32_t interfaceVersion = 2;

  std::vector<uint32_t> words() const;
};

// An LMK03328 (chip type 0) on the reference clock: R 1..1, phase detector 5 to 100 MHz,
// one VCO range 4.8 to 5.4 GHz, P 2..8, N 1..4095, fraction limits 0..0x3FFFFF over
// 1..0x3FFFFF.
SectionFields lmk03328Pll();
// A clock the given PLLs (or markers) can drive: output-divider codes 1..256 as dividers (no
// base), 1 MHz to 800 MHz, the default step.
SectionFields pllClock(std::vector<uint32_t> sources);

// Ready profiles, each with a 10 MHz onboard reference:
// - LMK03328: one PLL, three clocks from PLL 0 (CLK0..CLK2), TX clocks 0 and 1, RX sources 0 and
//   1 on two banks;
// - two PLLs: two LMK03328s, three clocks each from PLL 0 or 1, the first also bypassable;
// - chip type 2: one PLL without R, P and fraction limits but with the fixed fraction
//   (525/526), two VCO ranges, two clocks;
// - interface version 1: two PLLs, only PLL 0 described, a clock on each;
// - serial: a deserializer on SerDes 1 (clock identifier 0, "Des1_RefClk"), serializers on
//   SerDes 2 and 3 (identifiers 1 and 2) with data clocks 3 ("DataClk0", 250 MHz by its 607)
//   and 4 ("DataClk1", no 607: the module's default); five user-clock sections, all on PLL 0.
UserClockProfile lmk03328Profile();
UserClockProfile twoPllProfile();
UserClockProfile chipType2Profile();
UserClockProfile interfaceVersion1Profile();
UserClockProfile serialClockProfile();

}  // namespace sim
