#include "sim/device/ClipCapabilityProfiles.h"

#include <initializer_list>
#include <utility>

namespace sim {

namespace {

using Pairs = std::initializer_list<std::pair<uint32_t, uint32_t>>;

void append(std::vector<uint32_t>& words, Pairs pairs) {
  for (const auto& [id, value] : pairs) {
    words.push_back(id);
    words.push_back(value);
  }
}

constexpr uint32_t bits(int32_t v) {
  return static_cast<uint32_t>(v);
}

std::vector<uint32_t> minimal() {
  std::vector<uint32_t> w;
  append(w, {{100, 2}, {104, 14}, {105, 16}, {101, 1000000}, {106, 0}});
  append(w, {{200, 1}, {201, 10000}, {202, 10000}, {203, 0}, {206, 1000000}, {207, 1}, {208, 1}});
  return w;
}

// The full profiles' digital and PFI lines; DIO levels 3.3 to 1.2 V.
void appendFullDigitalLines(std::vector<uint32_t>& w) {
  append(w, {{1000, 8}, {1007, 1}, {1001, 4}, {1008, 0}, {1002, 2}, {1003, 2}, {1009, 1}});
  append(w, {{1010, 0}, {1011, 3300000}, {1004, 8}, {1005, 3300000}, {1005, 2500000}});
  append(w, {{1005, 1800000}, {1005, 1500000}, {1005, 1200000}, {1006, 0}, {1006, 1}});
  append(w, {{700, 1}});
}

std::vector<uint32_t> full() {
  std::vector<uint32_t> w;
  // Analog input: 4 channels, ranges 0.5/1/2 V (millionths) each with its offset DAC, both
  // couplings, all three interleaving modes.
  append(w, {{100, 4}, {104, 14}, {105, 16}, {101, 500000}, {101, 1000000}, {101, 2000000}});
  append(w, {{109, 1}, {109, 2}, {108, 125}, {107, 50}, {107, 1000000}});
  append(w, {{106, 0}, {106, 1}, {110, 0}, {110, 1}, {111, 0}, {111, 1}, {111, 2}});
  append(w, {{115, 1}, {116, 1}, {102, 0}, {102, 0}, {102, 0}, {103, 65535}, {103, 65535}});
  append(w, {{103, 65535}, {112, 32768}, {112, 32768}, {112, 32768}, {113, 1}, {113, 1}});
  append(w, {{113, 2}, {114, 32768}, {114, 32768}, {114, 32768}});
  // Analog output: 2 channels with their own ranges (section 11, count 309).
  append(w, {{300, 2}, {303, 1000000}, {308, 2500000}, {304, 16}, {306, 50}, {302, 1}});
  append(w, {{307, 0}, {307, 1}, {307, 2}});
  append(w, {{309, 2}, {11, 0}, {310, 1000000}, {310, 2000000}, {11, 1}, {310, 500000}});
  append(w, {{311, 1}});
  // Clocks: every reference source code, 10 to 100 MHz in kHz; both sample-clock sources.
  append(w, {{200, 0}, {200, 1}, {200, 2}, {200, 3}, {200, 4}});
  append(w, {{201, 10000}, {202, 100000}, {203, 0}, {203, 1}, {206, 1000000}});
  append(w, {{204, 500000}, {205, 1000000}, {207, 1}, {208, 2}, {209, 4}});
  // External trigger: a 12-bit threshold DAC, 409.5 codes per volt, 0 V at code 2048.
  append(w, {{400, 0}, {401, 4095}, {402, 4095}, {404, 10}, {403, 2048}, {405, 2500000}});
  // Two PLLs (section 5, count 210); at interface version 1 PLL 1 takes PLL 0's properties.
  append(w, {{210, 2}, {5, 0}, {500, 0}, {501, 4800000}, {501, 5600000}, {502, 5400000}});
  append(w, {{502, 6200000}, {521, 5000}, {522, 100000}, {503, 255}, {504, 1}});
  append(w, {{509, 4095}, {510, 1}, {511, 4194303}, {512, 0}, {513, 4194303}, {514, 1}});
  append(w, {{515, 8}, {516, 1}, {523, 1}, {524, 1}, {527, 100000}, {528, 1}, {529, 1}});
  append(w, {{5, 1}});
  // Three user clocks (section 7, count 211): the serial channels' reference clocks, from PLL 0
  // or bypassed and from PLL 1, and the output's data clock.
  append(w, {{211, 3}, {7, 0}, {600, 0}, {600, 0xFFFFFFFF}, {601, 256}, {602, 1}, {603, 800000}});
  append(w, {{604, 1000}, {605, 1}, {606, 1}, {607, 156250}});
  append(w, {{7, 1}, {600, 1}, {601, 256}, {602, 1}, {603, 400000}, {604, 1000}});
  append(w, {{7, 2}, {600, 0}, {601, 256}, {602, 1}, {603, 800000}, {604, 1000}, {607, 250000}});
  append(w, {{212, 0}, {212, 1}, {213, 0}, {213, 1}, {213, 2}, {214, 2}});
  appendFullDigitalLines(w);
  // Two serial channels (section 9, count 804): an input and an output whose data clock (field
  // 811, the section count plus its number) is DataClk0, user clock 2.
  append(w, {{804, 2}, {9, 0}, {800, 0}, {801, 0}, {802, 0}, {803, 0}, {812, 0}});
  append(w, {{9, 1}, {800, 1}, {801, 0}, {802, 1}, {803, 1}, {811, 2}});
  append(w, {{900, 38}});
  return w;
}

std::vector<uint32_t> fullWithFlaws() {
  std::vector<uint32_t> w;
  // Analog input: 4 channels, ranges 0.5/1/2 V (millionths), couplings 0 and 1 with a word (2)
  // the coupling converter rejects, all three interleaving modes.
  append(w, {{100, 4}, {104, 14}, {105, 16}, {101, 500000}, {101, 1000000}, {101, 2000000}});
  append(w, {{109, bits(-1)}, {109, 5}, {108, 125}, {107, 50}, {107, 1000000}});
  append(w, {{106, 0}, {106, 2}, {106, 1}, {110, 0}, {110, 1}, {111, 0}, {111, 1}, {111, 2}});
  append(w, {{115, 1}, {116, 1}, {102, 1}, {102, 2}, {103, 0}, {112, 1}, {113, bits(-3)}});
  append(w, {{114, 0}});
  // Analog output: 2 channels with their own ranges (section 11, count 309).
  append(w, {{300, 2}, {303, 1000000}, {308, 2500000}, {304, 16}, {306, 50}, {302, 1}});
  append(w, {{307, 0}, {307, 1}, {307, 2}, {307, 4}});
  append(w, {{309, 2}, {11, 0}, {310, 1000000}, {310, 2000000}, {11, 1}, {310, 500000}});
  append(w, {{311, 1}});
  // Clocks: every reference source code and one (7) the converter rejects; 10 to 100 MHz in
  // kHz; both sample-clock sources.
  append(w, {{200, 0}, {200, 1}, {200, 2}, {200, 3}, {200, 4}, {200, 7}});
  append(w, {{201, 10000}, {202, 100000}, {203, 0}, {203, 1}, {206, 1000000}});
  append(w, {{204, 500000}, {205, 1000000}, {207, 1}, {208, 2}, {209, 4}});
  // External trigger.
  append(w, {{400, 1}, {401, 2}, {402, bits(-5)}, {404, 5}, {403, 0}, {405, 2500000}});
  // Two PLLs (section 5, count 210). 505 is no capability; the last field word names PLL 2,
  // which does not exist, and has no slot.
  append(w, {{210, 2}, {5, 0}, {500, 0}, {501, 4800000}, {501, 5600000}, {502, 5400000}});
  append(w, {{502, 6200000}, {521, 5000}, {522, 100000}, {503, 255}, {504, 1}, {505, 9}});
  append(w, {{509, 4095}, {510, 1}, {511, 4194303}, {512, 0}, {513, 4194303}, {514, 1}});
  append(w, {{515, 8}, {516, 1}, {523, 1}, {524, 1}, {527, 100000}, {528, 1}, {529, 1}});
  append(w, {{5, 1}, {500, 1}, {501, 2400000}, {502, 3000000}, {521, 10000}, {522, 50000}});
  append(w, {{5, 2}, {521, 7}});
  // Two user clocks (section 7, count 211): the first from PLL 0 or bypassed, the second from
  // PLL 1.
  append(w, {{211, 2}, {7, 0}, {600, 0}, {600, 0xFFFFFFFF}, {601, 256}, {602, 1}, {603, 800000}});
  append(w, {{604, 1000}, {605, 1}, {606, 1}, {607, 156250}});
  append(w, {{7, 1}, {600, 1}, {601, 256}, {602, 1}, {603, 400000}, {604, 1000}});
  append(w, {{212, 0}, {212, 1}, {213, 0}, {213, 1}, {213, 2}, {214, 2}});
  appendFullDigitalLines(w);
  // Two serial channels (section 9, count 804): an input and an output.
  append(w, {{804, 2}, {9, 0}, {800, 0}, {801, 0}, {802, 0}, {803, 0}, {812, 0}});
  append(w, {{9, 1}, {800, 1}, {801, 0}, {802, 1}, {803, 1}, {811, 3}});
  append(w, {{900, 38}, {9999, 1}});
  return w;
}

std::vector<uint32_t> analogInput(bool shortOffsetList) {
  std::vector<uint32_t> w;
  append(w, {{100, 4}, {115, 1}});
  // Ranges in millionths; per range the offset DAC's lowest and highest code, codes per unit
  // (numerator / denominator) and zero code.
  append(w, {{101, 10000000}, {101, 2000000}, {101, 500000}});
  append(w, {{102, 0}, {102, 0}, {102, 0}, {103, 65535}, {103, 65535}, {103, 65535}});
  append(w, {{112, 32768}, {112, 32768}, {112, 0}, {113, 10}, {113, 2}, {113, 1}});
  append(w, {{114, 32768}, {114, 32768}});
  if (!shortOffsetList) append(w, {{114, 32768}});
  // Couplings with a word (2) the converter rejects, impedances 50 and 1e6, Nyquist zones
  // 4, 1, 2 and 1 again, decimation bands 0 and 1.
  append(w, {{106, 0}, {106, 2}, {106, 1}, {107, 50}, {107, 1000000}});
  append(w, {{109, 4}, {109, 1}, {109, 2}, {109, 1}, {110, 0}, {110, 1}});
  return w;
}

std::vector<uint32_t> digitalLines() {
  std::vector<uint32_t> w;
  append(w, {{1000, 3}, {1007, 1}, {1001, 2}, {1008, 1}, {1002, 3}, {1003, 2}, {1009, 1}});
  append(w, {{1010, 1}, {1011, 3300000}, {1011, 1800000}, {1011, 3300000}, {1011, 1001000}});
  append(w, {{1004, 4}, {1005, 1800000}, {1005, 3300000}, {1006, 1}, {1006, 0}});
  return w;
}

std::vector<uint32_t> digitalLinesSparse() {
  std::vector<uint32_t> w;
  append(w, {{1007, 0}, {1001, 2}, {1009, 0}, {1004, 3}, {1005, 2500000}});
  append(w, {{1006, 7}, {1006, 1}, {1006, 7}});
  return w;
}

std::vector<uint32_t> clocks() {
  std::vector<uint32_t> w;
  append(w, {{200, 1}, {200, 3}, {200, 3}, {201, 10000}, {202, 100000}});
  append(w, {{203, 1}, {203, 7}, {203, 0}, {206, 1000000}, {204, 500000}, {205, 1000000}});
  append(w, {{207, 4}, {208, 2}, {209, 4}});
  return w;
}

std::vector<uint32_t> analogOutput() {
  std::vector<uint32_t> w;
  append(w, {{100, 4}, {116, 1}});
  append(w, {{300, 2}, {302, 1}, {303, 500000}, {303, 1000000}, {308, 250000}});
  append(w, {{306, 50}, {306, 1000000}, {311, 1}});
  append(w, {{309, 2}, {11, 0}, {310, 1000000}, {310, 500000}, {310, 1000000}});
  return w;
}

}  // namespace

std::vector<uint32_t> capabilityWords(CapabilityProfile profile) {
  switch (profile) {
    case CapabilityProfile::None:
      return {};
    case CapabilityProfile::Minimal:
      return minimal();
    case CapabilityProfile::Full:
      return full();
    case CapabilityProfile::FullWithFlaws:
      return fullWithFlaws();
    case CapabilityProfile::AnalogInput:
      return analogInput(false);
    case CapabilityProfile::AnalogInputShortOffsetList:
      return analogInput(true);
    case CapabilityProfile::DigitalLines:
      return digitalLines();
    case CapabilityProfile::DigitalLinesSparse:
      return digitalLinesSparse();
    case CapabilityProfile::Clocks:
      return clocks();
    case CapabilityProfile::AnalogOutput:
      return analogOutput();
  }
  return {};
}

}  // namespace sim

namespace sim {

std::vector<uint32_t> serialChannelWords(const std::vector<SerialSection>& sections,
                                         std::optional<uint32_t> addressMode) {
  std::vector<uint32_t> w;
  if (addressMode) append(w, {{700, *addressMode}});
  append(w, {{804, static_cast<uint32_t>(sections.size())}});
  for (uint32_t k = 0; k < sections.size(); ++k) {
    const SerialSection& s = sections[k];
    append(w, {{9, k}});
    const std::pair<uint32_t, std::optional<uint32_t>> fields[] = {
        {800, s.type},        {801, s.frontPanelNumber}, {802, s.serDesNumber},
        {803, s.serDesBusId}, {811, s.dataClock},        {812, s.csi2Port},
    };
    for (const auto& [id, value] : fields)
      if (value) append(w, {{id, *value}});
  }
  return w;
}

}  // namespace sim

namespace sim {

namespace {

void appendSections(std::vector<uint32_t>& w, uint32_t countId, uint32_t indexId,
                    const std::vector<SectionFields>& sections) {
  if (sections.empty()) return;
  append(w, {{countId, static_cast<uint32_t>(sections.size())}});
  for (uint32_t k = 0; k < sections.size(); ++k) {
    append(w, {{indexId, k}});
    for (const auto& [id, values] : sections[k])
      for (uint32_t value : values) append(w, {{id, value}});
  }
}

void appendList(std::vector<uint32_t>& w, uint32_t id, const std::vector<uint32_t>& values) {
  for (uint32_t value : values) append(w, {{id, value}});
}

constexpr uint32_t kBypass = 0xFFFFFFFF;

}  // namespace

std::vector<uint32_t> UserClockProfile::words() const {
  std::vector<uint32_t> w;
  appendList(w, 200, referenceSources);
  append(w, {{201, referenceMinKHz}, {202, referenceMaxKHz}});
  appendSections(w, 210, 5, plls);
  appendSections(w, 211, 7, userClocks);
  if (!serialChannels.empty()) {
    const std::vector<uint32_t> serial = serialChannelWords(serialChannels);
    w.insert(w.end(), serial.begin(), serial.end());
  }
  appendList(w, 212, txClocks);
  appendList(w, 213, rxSources);
  if (rxBankCount) append(w, {{214, *rxBankCount}});
  return w;
}

SectionFields lmk03328Pll() {
  return {{500, {0}}, {501, {4800000}},  {502, {5400000}}, {521, {5000}}, {522, {100000}},
          {503, {1}}, {504, {1}},        {509, {4095}},    {510, {1}},    {511, {0x3FFFFF}},
          {512, {0}}, {513, {0x3FFFFF}}, {514, {1}},       {515, {8}},    {516, {2}}};
}

SectionFields pllClock(std::vector<uint32_t> sources) {
  return {{600, std::move(sources)}, {601, {256}}, {602, {1}}, {603, {800000}}, {604, {1000}}};
}

UserClockProfile lmk03328Profile() {
  UserClockProfile p;
  p.plls = {lmk03328Pll()};
  p.userClocks = {pllClock({0}), pllClock({0}), pllClock({0})};
  p.txClocks = {0, 1};
  p.rxSources = {0, 1};
  p.rxBankCount = 2;
  return p;
}

UserClockProfile twoPllProfile() {
  UserClockProfile p;
  p.plls = {lmk03328Pll(), lmk03328Pll()};
  p.userClocks = {pllClock({0, 1, kBypass}), pllClock({0, 1}), pllClock({0, 1})};
  return p;
}

UserClockProfile chipType2Profile() {
  UserClockProfile p;
  SectionFields pll = {{500, {2}},    {501, {3000000, 4800000}}, {502, {3600000, 5400000}},
                       {521, {5000}}, {522, {100000}},           {509, {4095}},
                       {510, {10}},   {525, {0x1FFFFFFF}},       {526, {1}}};
  p.plls = {pll};
  p.userClocks = {pllClock({0}), pllClock({0})};
  return p;
}

UserClockProfile interfaceVersion1Profile() {
  UserClockProfile p;
  p.plls = {lmk03328Pll(), SectionFields{}};
  p.userClocks = {pllClock({0}), pllClock({1})};
  p.interfaceVersion = 1;
  return p;
}

UserClockProfile serialClockProfile() {
  UserClockProfile p;
  p.plls = {lmk03328Pll()};
  p.userClocks.assign(5, pllClock({0}));
  p.userClocks[3][607] = {250000};
  // Field 811 is the section count (3) plus the data-clock number.
  p.serialChannels = {{0, 0, 1, 0, std::nullopt, std::nullopt},
                      {1, 0, 2, 1, 3, std::nullopt},
                      {1, 1, 3, 2, 4, std::nullopt}};
  return p;
}

}  // namespace sim
