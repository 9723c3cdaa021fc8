#include "features/AdcInterleaving.h"

#include <algorithm>

#include "attributes/RaiseWithDetails.h"
#include "attributes/Ranges.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kFactorId = 0x10000019;
constexpr std::uint32_t kChannelEnabledId = 0x40000000;
constexpr std::uint32_t kSetInterleaving = 0x907;
constexpr std::uint32_t kMaxLinkedChannels = 64;
constexpr qverr::StatusLocation kNoOptionForChannels{"AdcInterleaving", 131, qverr::kComponent,
                                                     qverr::constant::kInvalidAttributeValue};

// The options of the CLIP's interleaving codes; other codes offer nothing.
std::vector<AdcInterleaving::Option> optionsOf(const ClipCapabilities& capabilities) {
  std::vector<AdcInterleaving::Option> options;
  for (const auto code : capabilities.cap111.values) {
    switch (static_cast<std::uint32_t>(code)) {
      case 0:
        options.push_back({0, 2, 0x1});
        break;  // AI0 alone
      case 1:
        options.push_back({1, 2, 0x2});
        break;  // AI1 alone
      case 2:
        options.push_back({2, 1, 0xFFFFFFFFFFFFFFFF});
        break;  // any inputs
      default:
        break;
    }
  }
  return options;
}

atat::elaboration::Cursor appendIdentifier(atat::elaboration::Cursor c, std::uint32_t id) {
  return atat::elaboration::appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeIdentifier",
                                                              static_cast<std::int32_t>(id));
}

}  // namespace

AdcInterleaving::AdcInterleaving(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                                 SessionTransportInterface& transport)
    : compileResolver_(this),
      deployResolver_(this),
      clip_(&clip),
      options_(optionsOf(capabilities)),
      present_(!capabilities.cap111.values.empty()),
      aiChannelCount_(capabilities.cap100.value.value_or(0)),
      factor_(nullptr, initialValue(1)),
      factorRegister_(&transport, qvisl::RegisterName("vandrel.io.interleaving factor %d", 0).text,
                      &registerStatus_) {}

void AdcInterleaving::registerAttributes(atat::AttributeRegistry* registry) {
  if (present_) registry->addAttribute(&factor_);
}

void AdcInterleaving::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  if (!present_) return;
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, factor_);
  for (std::uint32_t n = 0; n < kMaxLinkedChannels; ++n) {
    AttributeLink<bool> link(&compileResolver_);
    if (!link.link(*registry, kChannelEnabledId, channelName(kAiChannel, n))) break;
    channelLinks_.push_back(link);
  }
}

std::uint64_t AdcInterleaving::enabledChannels() const {
  std::uint64_t enabled = 0;
  // Links of a repeated commission name the same inputs again past bit 63.
  const std::size_t count = std::min<std::size_t>(channelLinks_.size(), kMaxLinkedChannels);
  for (std::size_t i = 0; i < count; ++i) {
    const AttributeLink<bool>& link = channelLinks_[i];
    if (link.isLinked() && link.attribute()->getCoerced()) enabled |= std::uint64_t{1} << i;
  }
  return enabled;
}

void AdcInterleaving::compile() {
  const std::uint64_t enabled = enabledChannels();
  atat::DiscreteRange<int> factors(qverr::kInvalidAttributeValue, atat::coarseCoercionTypeNone);
  for (const Option& option : options_) factors.addValue(static_cast<int>(option.factor));
  const int factor = factors.coerce(factor_.getDesired());
  for (const Option& option : options_) {
    if (option.factor != static_cast<std::uint32_t>(factor)) continue;
    if ((enabled & option.channels) != enabled) continue;
    chosenFactor_ = static_cast<std::uint16_t>(option.factor);
    chosenCode_ = option.code;
    return;
  }
  raiseNoOption(factor, enabled);
}

void AdcInterleaving::raiseNoOption(std::int32_t factor, std::uint64_t enabled) const {
  namespace el = atat::elaboration;
  const std::uint32_t count = aiChannelCount_;
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kNoOptionForChannels, [&](el::Cursor c) {
        c = appendIdentifier(c, kFactorId);
        c = el::appendUsageInt32(c, "kUsageTypeRequestedValue", factor);
        c = appendIdentifier(c, kChannelEnabledId);
        c = el::appendUsageStringList(c, "kUsageTypeInputChannels",
                                      getAiChannelNames(enabled, count));
        c = el::appendUsageBool(c, "kUsageTypeRequestedValue", true);
        c = el::appendUsageString(c, "kUsageTypeBlankLine", "");
        c = el::appendUsageString(c, "kUsageTypePossibleValues", "");
        for (const Option& option : options_) {
          if (option.factor != static_cast<std::uint32_t>(factor)) continue;
          c = el::appendUsageString(c, "kUsageTypeBlankLine", "");
          c = appendIdentifier(c, kFactorId);
          c = el::appendUsageUInt32(c, "kUsageTypeRequestedValue", option.factor);
          c = appendIdentifier(c, kChannelEnabledId);
          c = el::appendUsageStringList(c, "kUsageTypeInputChannels",
                                        getAiChannelNames(option.channels, count));
          c = el::appendUsageBool(c, "kUsageTypeSuggestedValue", true);
          c = el::appendUsageStringList(c, "kUsageTypeInputChannels",
                                        getAiChannelNames(~option.channels, count));
          c = el::appendUsageBool(c, "kUsageTypeSuggestedValue", false);
        }
      });
}

void AdcInterleaving::deploy(bool) {
  clip_->interface9.requireInterface9();
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetInterleaving, {chosenCode_});
  if (!factorRegister_.isResolved()) return;
  nQVVUSKS100::tStatus status;
  factorRegister_.write(chosenFactor_, &status);
}

}  // namespace qvvandrel
