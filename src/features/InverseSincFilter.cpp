#include "features/InverseSincFilter.h"

#include "clip/InterfaceMethods.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kSetFilter = 0xD02;

}  // namespace

InverseSincFilter::InverseSincFilter(std::uint32_t channel, ClipConfiguration& clip)
    : channel_(channel),
      clip_(&clip),
      enabled_(channelName(kAoChannel, channel), initialValue(true)) {}

void InverseSincFilter::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&enabled_);
}

void InverseSincFilter::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireInput(compileResolver_, enabled_);
}

void InverseSincFilter::deploy() {
  clip_->interface13.requireInterface13();
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetFilter,
                                    {channel_, enabled_.getCoerced() ? 1u : 0u});
}

}  // namespace qvvandrel
