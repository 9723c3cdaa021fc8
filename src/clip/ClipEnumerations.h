#pragma once
// Enumerations whose values arrive as capability words from the CLIP. Each has a fixed
// underlying type, so any word cast to it is a defined value; which members are allowed is
// decided by the converter that reads the word and by the feature that uses the value. The
// attribute value enumerations some capabilities feed come with the attribute templates.

#include <cstdint>

#include "attributes/ValueEnumerations.h"

namespace qvvandrel::ififo {

struct ClipAnalogInput {
  enum Interleaving : std::int32_t {};
};

struct PllConfiguration {
  // 0 the LMK03328.
  enum PllChipType : std::uint32_t {};
  // A PLL index, or one of the two markers below.
  enum OutputDividerSource : std::uint32_t {
    kReferencePassThrough = 0xFFFFFFFF,
    kNoSource = 0xFFFFFFFE,
  };
};

struct ClipCapabilities {
  // 0 a deserializer input, 1 a serializer output.
  enum SerialChannelType : std::uint32_t {};
};

}  // namespace qvvandrel::ififo
