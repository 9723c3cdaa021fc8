#include "channels/ai/Channels.h"

#include <memory>

#include "attributes/AttributeRegistry.h"
#include "channels/ai/AnalogInput.h"
#include "channels/ai/ChannelEnabled.h"
#include "channels/ai/VerticalOffset.h"
#include "channels/ai/VerticalRange.h"
#include "model/TrivialClipProperty.h"

namespace qvvandrel::config::ai {

namespace {

constexpr std::uint32_t kChannelCountId = 0x1000000F;

// Impedance and coupling are checked but not sent.
void sendNothing(int, unsigned int) {}

}  // namespace

Channels::Channels(const ClipCapabilities& capabilities, IfifoInterfaceCheck& interface9)
    : channelCount_(kChannelCountId, capabilities.cap100) {
  const boost::optional<std::uint32_t> count = channelCount(capabilities);
  if (!count) return;
  const bool enableSupported = capabilities.cap115.value.has_value();
  for (std::uint32_t channel = 0; channel < *count; ++channel) {
    features_.add(std::make_unique<ChannelEnabled>(interface9, channel, enableSupported));
  }
  features_.add(std::make_unique<VerticalRange>(capabilities, interface9));
  features_.add(std::make_unique<VerticalOffset>(capabilities, interface9));

  interface9.requireInterface9();

  const ChannelNameTable& names = channelNames();
  const auto poster = [&interface9](std::uint32_t opcode) {
    return [&interface9, opcode](int channel, unsigned int code) {
      post(interface9, opcode, static_cast<std::uint32_t>(channel), code);
    };
  };
  buildTrivialClipProperties<0x1000000E>(features_, capabilities.cap109, *count, names,
                                         poster(kNyquistZone));
  buildTrivialClipProperties<0x10000014>(features_, capabilities.cap110, *count, names,
                                         poster(kDecimationFilterBand));
  const std::function<void(int, unsigned int)> impedanceDeploy(&sendNothing);
  buildTrivialClipProperties<0x2000000F>(features_, capabilities.cap107, *count, names,
                                         impedanceDeploy);
  const std::function<void(int, unsigned int)> couplingDeploy(&sendNothing);
  buildTrivialClipProperties<0x10000011>(features_, capabilities.cap106, *count, names,
                                         couplingDeploy);
}

Channels::~Channels() = default;

void Channels::registerAttributes(atat::AttributeRegistry* registry) {
  features_.registerAttributes(registry);
  registry->addAttribute(&channelCount_.attribute());
}

void Channels::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  features_.commission(roots, registry);
}

}  // namespace qvvandrel::config::ai
