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
};

std::vector<uint32_t> capabilityWords(CapabilityProfile profile);

}  // namespace sim
