#pragma once
// The device-wide channel names under which per-channel attributes are registered
// ("AI0".."AI63", "DIO0".."DIO95", ...), the trigger-index names "0".."63", and what a
// channel text names.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/ChannelNameTable.h"

namespace qvvandrel {

// Channel families, numbered as channel texts are classified.
enum ChannelKind : std::int32_t {
  kUnknownChannel = 0,
  kAoChannel = 1,
  kAiChannel = 2,
  kDiChannel = 5,
  kDoChannel = 6,
  kDioChannel = 7,
  kPfiChannel = 8,
  kDiffPfiChannel = 9,
};

// The family's table: 64 names, 96 DIO lines, none for an unknown family.
const ChannelNameTable& channelNameTable(ChannelKind kind);
// Entry `index` of the family's table, or "invalid index" past its end.
const char* channelName(ChannelKind kind, std::uint32_t index);
std::uint32_t channelTableSize(ChannelKind kind);
// "0".."63", else "invalid index".
const char* channelIndexName(std::uint32_t index);

namespace detail {
// The text after the first "/" (none without one) without its trailing decimal digits,
// compared exactly: "AO" 1, "AI" 2, "DI" 5, "DO" 6, "DIO" 7, "PFI" 8, "DIFF PFI" 9, else 0.
ChannelKind getChannelKind(std::string_view channel);
}  // namespace detail

// The analog-input names of the set bits among the first min(count, 64) bits, rising.
std::vector<std::string> getAiChannelNames(std::uint64_t mask, std::uint32_t count);
// The analog-output names of the set bits, rising.
std::vector<std::string> getAoChannelNames(std::uint64_t mask);

}  // namespace qvvandrel
