#include "features/Coefficients.h"

namespace qvvandrel {

namespace {

template <typename Set>
void deriveCoefficients(Set& set) {
  const double fullScale = set.resolutionLink.isLinked()
                               ? converterFullScale(set.resolutionLink.attribute()->getCoerced())
                               : kFullScale32;
  if (set.gainAttribute.wasSetByUser()) {
    set.gainAttribute.setCoerced(set.gainAttribute.getDesired());
  } else if (set.rangeLink.isLinked()) {
    set.gainAttribute.setCoerced(set.rangeLink.attribute()->getCoerced() / fullScale);
  } else {
    set.gainAttribute.setCoerced(1.0);
  }
  if (set.offsetAttribute.wasSetByUser()) {
    set.offsetAttribute.setCoerced(set.offsetAttribute.getDesired());
  } else if (set.offsetLink.isLinked()) {
    set.offsetAttribute.setCoerced(set.offsetLink.attribute()->getCoerced());
  } else {
    set.offsetAttribute.setCoerced(0.0);
  }
}

template <typename Set>
void commissionSet(Set& set, Dependency& resolver, const char* channel,
                   const atat::AttributeRegistry& registry) {
  // A gain or offset the host sets or resets re-runs the record's compile, and with it every
  // reader of the list.
  wireOwnAttribute(resolver, set.gainAttribute);
  wireOwnAttribute(resolver, set.offsetAttribute);
  set.rangeLink.link(registry, Set::kRangeId, channel);
  set.offsetLink.link(registry, Set::kChannelOffsetId, channel);
  set.resolutionLink.link(registry, Set::kResolutionId, "");
}

}  // namespace

double converterFullScale(int resolution) {
  const unsigned bits = static_cast<unsigned>(resolution) & 63u;
  return static_cast<double>(static_cast<std::uint32_t>((std::uint64_t{1} << bits) - 1));
}

Coefficients::Coefficients(const char* channel, Kind kind) : channel_(channel), resolver_(this) {
  if (kind == Kind::Input) {
    aiSet_ = std::make_unique<AiCoefficientSet>(channel, &resolver_);
  } else {
    aoSet_ = std::make_unique<AoCoefficientSet>(channel, &resolver_);
  }
}

double Coefficients::gain() const {
  return aiSet_ ? aiSet_->gainAttribute.getCoerced() : aoSet_->gainAttribute.getCoerced();
}

double Coefficients::offset() const {
  return aiSet_ ? aiSet_->offsetAttribute.getCoerced() : aoSet_->offsetAttribute.getCoerced();
}

void Coefficients::resolve() {
  if (aiSet_) {
    deriveCoefficients(*aiSet_);
  } else {
    deriveCoefficients(*aoSet_);
  }
}

void Coefficients::registerAttributes(atat::AttributeRegistry& registry) {
  if (aiSet_) {
    registry.addAttribute(&aiSet_->gainAttribute);
    registry.addAttribute(&aiSet_->offsetAttribute);
  } else {
    registry.addAttribute(&aoSet_->gainAttribute);
    registry.addAttribute(&aoSet_->offsetAttribute);
  }
}

void Coefficients::commission(Dependency& listAttribute, const atat::AttributeRegistry& registry) {
  wireInput(listAttribute, resolver_);
  if (aiSet_) {
    commissionSet(*aiSet_, resolver_, channel_, registry);
  } else {
    commissionSet(*aoSet_, resolver_, channel_, registry);
  }
}

}  // namespace qvvandrel
