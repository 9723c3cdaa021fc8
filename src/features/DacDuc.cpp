#include "features/DacDuc.h"

#include <bitset>

#include "attributes/RaiseWithDetails.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelCount.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kEnabledId = 0x40000009;
constexpr std::uint32_t kModeId = 0x10000022;
constexpr std::uint32_t kSetMode = 0xD00;
constexpr qverr::StatusLocation kNoModeForMask{"DacDuc", 97, qverr::kComponent,
                                               qverr::constant::kInvalidAttributeValue};
constexpr qverr::StatusLocation kTooManyOutputs{"DacDuc", 52, qverr::kComponent};

// Modes 0, 1 and 2 stand for no output, AO0 alone and AO1 alone; other modes cover no mask.
constexpr std::uint32_t kModesWithMask = 3;

DacDuc::Mode firstMode(const ClipCapabilities& capabilities) {
  const std::vector<DacDuc::Mode>& modes = capabilities.cap307.values;
  // A CLIP without an up-converter offers no mode: start at 0 rather than read past the list.
  return modes.empty() ? DacDuc::Mode{0} : modes.front();
}

atat::elaboration::Cursor appendOutputs(atat::elaboration::Cursor c, std::uint64_t mask,
                                        bool requested) {
  c = atat::elaboration::appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeIdentifier",
                                                           static_cast<std::int32_t>(kEnabledId));
  c = atat::elaboration::appendUsageStringList(c, "kUsageTypeOutputChannels",
                                               getAoChannelNames(mask));
  c = atat::elaboration::appendUsageBool(
      c, requested ? "kUsageTypeRequestedValue" : "kUsageTypeSuggestedValue", true);
  return atat::elaboration::appendUsageString(c, "kUsageTypeBlankLine", "");
}

}  // namespace

DacDuc::DacDuc(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : compileResolver_(this),
      deployResolver_(this),
      capabilities_(&capabilities),
      clip_(&clip),
      present_(!capabilities.cap307.values.empty()),
      mode_(nullptr, initialValue(firstMode(capabilities))),
      modeRange_(kModeId, qverr::kInvalidAttributeValue) {
  if (present_) {
    const std::uint32_t outputs =
        boundedChannelCount(capabilities.cap300, kTooManyOutputs).value_or(0);
    for (std::uint32_t i = 0; i < outputs; ++i)
      enabled_.emplace_back(channelName(kAoChannel, i), initialValue(false));
  }
  for (const Mode mode : capabilities.cap307.values) {
    modeRange_.addValue(mode);
    const auto raw = static_cast<std::uint32_t>(mode);
    if (raw < kModesWithMask) masks_.emplace(raw, raw);  // a mask already present keeps its mode
  }
}

void DacDuc::registerAttributes(atat::AttributeRegistry* registry) {
  if (!present_) return;
  registry->addAttribute(&mode_);
  for (EnabledAttribute& attribute : enabled_) registry->addAttribute(&attribute);
}

void DacDuc::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  if (!present_) return;
  wireResolvers(*roots, compileResolver_, deployResolver_);
  for (EnabledAttribute& attribute : enabled_) wireInput(compileResolver_, attribute);
  wireOwnAttribute(compileResolver_, mode_);
}

std::uint32_t DacDuc::lookupOutputChannelMask(std::uint64_t mask) const {
  if (auto found = masks_.find(mask); found != masks_.end()) return found->second;
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kNoModeForMask, [&](atat::elaboration::Cursor c) {
        c = appendOutputs(c, mask, true);
        c = atat::elaboration::appendUsageString(c, "kUsageTypePossibleValues", "");
        for (const auto& [possible, mode] : masks_)
          if (possible != 0) c = appendOutputs(c, possible, false);
      });
}

void DacDuc::compile() {
  Mode mode;
  if (mode_.getAuthorship() == atat::kAuthorshipUser) {
    mode = mode_.getDesired();
  } else {
    std::bitset<64> outputs;
    std::size_t channel = 0;
    for (EnabledAttribute& attribute : enabled_) {
      if (attribute.getCoerced()) outputs.set(channel);
      ++channel;
    }
    mode = static_cast<Mode>(lookupOutputChannelMask(outputs.to_ullong()));
    mode_.setDesired(mode);
  }
  mode = modeRange_.coerce(mode);
  const ififo_rpc::ListCapability<Mode>& offered = capabilities_->cap307;
  rawCode_ = kNoRawCode;
  for (const std::uint32_t word : offered.rawValues) {
    if (offered.converter(word) == mode) {
      rawCode_ = word;
      break;
    }
  }
}

void DacDuc::deploy() {
  clip_->interface13.requireInterface13();
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetMode, {rawCode_});
}

}  // namespace qvvandrel
