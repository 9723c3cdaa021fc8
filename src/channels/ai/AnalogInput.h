#pragma once
// What every analog-input feature shares: the channel names, the channel count the CLIP
// reports, and the instructions of the CLIP's analog-input interface (9).
//
// The features reach the CLIP through the session's interface-9 checker: its FIFO carries the
// instructions and its done flag, shared by every analog-input feature of the session, records
// that the interface was found usable.

#include <cstdint>

#include <boost/optional.hpp>

#include "clip/ClipCapabilities.h"
#include "model/ChannelCount.h"
#include "model/ChannelNameTable.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel::config::ai {

// Interface 9's setting methods; each is posted with (channel, value).
inline constexpr std::uint32_t kNyquistZone = 0x903;
inline constexpr std::uint32_t kDecimationFilterBand = 0x905;
inline constexpr std::uint32_t kVerticalRange = 0x909;
inline constexpr std::uint32_t kOffsetDac = 0x90B;
inline constexpr std::uint32_t kChannelEnable = 0x90D;

// "AI0" .. "AI63", then "invalid index".
const ChannelNameTable& channelNames();

// Capability 100, the number of analog inputs; none when the CLIP does not report it. A count
// above kMaxChannels is refused with -52003 before anything is built from it.
boost::optional<std::uint32_t> channelCount(const ClipCapabilities& capabilities);

// Posts one setting on the checker's FIFO; a failed post is raised with its status.
void post(const IfifoInterfaceCheck& interface9, std::uint32_t opcode, std::uint32_t channel,
          std::uint32_t value);

}  // namespace qvvandrel::config::ai
