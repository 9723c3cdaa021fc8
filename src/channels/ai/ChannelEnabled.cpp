#include "channels/ai/ChannelEnabled.h"

#include "attributes/AttributeRegistry.h"
#include "channels/ai/AnalogInput.h"

namespace qvvandrel::config::ai {

namespace {
constexpr bool kEnabled = true;
}  // namespace

ChannelEnabled::ChannelEnabled(IfifoInterfaceCheck& interface9, std::uint32_t channel,
                               bool enableSupported)
    : interface9_(&interface9),
      channel_(channel),
      enableSupported_(enableSupported),
      enabled_(channelNames().name(channel), &kEnabled) {}

void ChannelEnabled::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&enabled_);
}

void ChannelEnabled::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireInput(compileResolver_, enabled_);
}

void ChannelEnabled::deploy() {
  if (!enableSupported_) return;
  interface9_->requireInterface9();
  post(*interface9_, kChannelEnable, channel_, enabled_.getCoerced() ? 1u : 0u);
}

}  // namespace qvvandrel::config::ai
