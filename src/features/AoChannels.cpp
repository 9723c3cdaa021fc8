#include "features/AoChannels.h"

#include <memory>

#include "features/AoChannelStatus.h"
#include "features/AoRangeBuilder.h"
#include "features/InverseSincFilter.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelCount.h"
#include "model/ChannelNames.h"
#include "model/TrivialClipProperty.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kChannelCountId = 0x1000001B;
constexpr int kImpedanceId = 0x2000001B;
constexpr qverr::StatusLocation kTooManyChannels{"AoChannels", 64, qverr::kComponent};

// The impedance is checked against the CLIP's list but not sent.
void sendNothing(int, unsigned int) {}

}  // namespace

AoChannels::AoChannels(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : channelCount_(kChannelCountId, capabilities.cap300) {
  const boost::optional<std::uint32_t> count =
      boundedChannelCount(capabilities.cap300, kTooManyChannels);
  if (!count) return;
  if (capabilities.cap302.value) {
    for (std::uint32_t channel = 0; channel < *count; ++channel)
      channels_.add(std::make_unique<InverseSincFilter>(channel, clip));
  }
  for (std::uint32_t channel = 0; channel < *count; ++channel)
    channels_.add(std::make_unique<AoRangeBuilder>(capabilities, clip, channel));
  const std::function<void(int, unsigned int)> impedanceDeploy(&sendNothing);
  buildTrivialClipProperties<kImpedanceId>(channels_, capabilities.cap306, *count,
                                           channelNameTable(kAoChannel), impedanceDeploy);
  if (capabilities.cap311.value) {
    for (std::uint32_t channel = 0; channel < *count; ++channel)
      channels_.add(std::make_unique<AoChannelStatus>(clip, channel));
  }
}

AoChannels::~AoChannels() = default;

void AoChannels::registerAttributes(atat::AttributeRegistry* registry) {
  channels_.registerAttributes(registry);
  registry->addAttribute(&channelCount_.attribute());
}

void AoChannels::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  channels_.commission(roots, registry);
}

}  // namespace qvvandrel
