#include "channels/lines/DioChannels.h"

#include <memory>

#include "attributes/AttributeRegistry.h"
#include "channels/lines/LineInterface.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kDioCountId = 0x10000030;

constexpr qverr::StatusLocation kTooManyLines{"qvvandrel/config/dio/Channels", 52,
                                              qverr::kComponent};

std::uint32_t dioLineCount(const ClipCapabilities& capabilities) {
  return boundedChannelCount(capabilities.cap1004, kTooManyLines).value_or(0);
}

// One property per DIO line over the CLIP's list, sending (line, word) with `opcode` only when
// the list offers a choice.
template <int Id>
void buildLineProperties(
    CompositeCommission& lines,
    const ififo_rpc::ListCapability<typename TrivialClipProperty<Id>::T>& listed,
    ClipConfiguration& clip, std::uint32_t opcode, std::uint32_t count) {
  const bool settable = listed.values.size() >= 2;
  const typename TrivialClipProperty<Id>::DeployFunction send = [&clip, opcode, settable](
                                                                    int line, unsigned int word) {
    if (settable) config::postLineSetting(clip, opcode, static_cast<std::uint32_t>(line), word);
  };
  buildTrivialClipProperties<Id>(lines, listed, count, channelNameTable(kDioChannel), send);
}

}  // namespace

DioVoltage::DioVoltage(const ClipCapabilities& capabilities, ClipConfiguration& clip) {
  buildLineProperties<0x20000032>(*this, capabilities.cap1005, clip, config::kLineVoltage,
                                  dioLineCount(capabilities));
}

DioConfigMode::DioConfigMode(const ClipCapabilities& capabilities, ClipConfiguration& clip) {
  buildLineProperties<0x10000031>(*this, capabilities.cap1006, clip, config::kLineConfiguration,
                                  dioLineCount(capabilities));
}

namespace config::dio {

Channels::Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : count_(kDioCountId, capabilities.cap1004) {
  dioLineCount(capabilities);  // an absurd count is refused before any child is built
  if (!capabilities.cap1004.value) return;
  if (!capabilities.cap1005.values.empty()) {
    children_.add(std::make_unique<DioVoltage>(capabilities, clip));
  }
  if (!capabilities.cap1006.values.empty()) {
    children_.add(std::make_unique<DioConfigMode>(capabilities, clip));
  }
}

void Channels::registerAttributes(atat::AttributeRegistry* registry) {
  children_.registerAttributes(registry);
  registry->addAttribute(&count_.attribute());
}

void Channels::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  children_.commission(roots, registry);
}

}  // namespace config::dio

}  // namespace qvvandrel
