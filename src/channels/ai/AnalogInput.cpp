#include "channels/ai/AnalogInput.h"

#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelNames.h"

namespace qvvandrel::config::ai {

namespace {

constexpr qverr::StatusLocation kTooManyChannels{"qvvandrel/config/ai/Channels", 61,
                                                 qverr::kComponent};

}  // namespace

const ChannelNameTable& channelNames() {
  return channelNameTable(kAiChannel);
}

boost::optional<std::uint32_t> channelCount(const ClipCapabilities& capabilities) {
  return boundedChannelCount(capabilities.cap100, kTooManyChannels);
}

void post(const IfifoInterfaceCheck& interface9, std::uint32_t opcode, std::uint32_t channel,
          std::uint32_t value) {
  ififo_rpc::postInstructionRaising(interface9.fifo, opcode, {channel, value});
}

}  // namespace qvvandrel::config::ai
