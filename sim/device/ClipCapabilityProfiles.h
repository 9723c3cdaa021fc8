#pragma once

#include <cstdint>
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
};

std::vector<uint32_t> capabilityWords(CapabilityProfile profile);

}  // namespace sim
