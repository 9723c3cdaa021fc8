#include "features/AoRangeBuilder.h"

#include <vector>

#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kSetRange = 0xD04;
constexpr std::uint32_t kUpconverterEnabled = 0x40000009;

double initialRange(const std::vector<double>& channelRanges) {
  return channelRanges.empty() ? 0.0 : channelRanges.front();
}

}  // namespace

AoRangeBuilder::AoRangeBuilder(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                               std::uint32_t channel)
    : clip_(&clip),
      channel_(channel),
      range_(channelName(kAoChannel, channel),
             initialValue(initialRange(capabilities.aoChannels.section.ranges.at(channel)))) {
  const auto& channelRanges = capabilities.aoChannels.section.ranges;
  const auto up = atat::coarseCoercionTypeUp;
  if (!channelRanges.at(channel).empty()) {
    channelSource_.emplace(channelRanges, channel, qverr::kInvalidAttributeValue, up);
    perChannel_ = true;
    selectable_ = channelRanges.at(channel).size() >= 2;
    return;
  }
  deviceSource_.emplace(capabilities.cap303, qverr::kInvalidAttributeValue, up);
  if (!capabilities.cap308.values.empty())
    upconverterSource_.emplace(capabilities.cap308, qverr::kInvalidAttributeValue, up);
  selectable_ = capabilities.cap303.values.size() >= 2 || capabilities.cap308.values.size() >= 2;
}

void AoRangeBuilder::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&range_);
}

void AoRangeBuilder::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, range_);
  upconverter_.link(*registry, kUpconverterEnabled, range_.getChannelName());
}

AoRangeBuilder::Source& AoRangeBuilder::applicableSource() {
  if (perChannel_) return *channelSource_;
  if (upconverter_.isLinked() && upconverterSource_ && upconverter_.attribute()->getCoerced())
    return *upconverterSource_;
  return *deviceSource_;
}

void AoRangeBuilder::compile() {
  rangeCode_ = applicableSource().compile(range_);
}

void AoRangeBuilder::deploy() {
  if (!selectable_) return;
  clip_->interface13.requireInterface13();
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetRange, {channel_, rangeCode_});
}

}  // namespace qvvandrel
