#include "features/AnalogTrigger.h"

#include <cmath>
#include <iterator>
#include <string>

#include "attributes/Elaboration.h"
#include "attributes/RaiseWithDetails.h"
#include "attributes/Ranges.h"
#include "clocks/AttributeValidation.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr qverr::StatusLocation kOutsideInterval{kAttributeOutsideRangeLocation.file, 110,
                                                 qverr::kComponent,
                                                 qverr::constant::kInvalidAttributeValue};

constexpr std::uint32_t kScalingCoefficients = 0x50000005;
constexpr std::uint32_t kAdcResolution = 0x10000005;
constexpr std::uint32_t kStartTriggerType = 0x10000009;

constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;

// The attribute's desired value must lie in [lower, upper), within the default tolerance: a
// value next to lower counts as lower, one next to upper as upper. A NaN passes, as it does
// every such check; the codes derived from it are refused later.
void checkInterval(DependencyAttribute<double>& attribute, double lower, double upper) {
  const double value = attribute.getDesired();
  using Comparison = atat::DefaultComparison<double>;
  if (Comparison::compare(value, lower) != -1 && Comparison::compare(upper, value) == 1) return;
  const std::string& label = attribute.label();
  const std::string trigger = label.empty() ? std::string(attribute.getChannelName()) : label;
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kOutsideInterval, [&](atat::elaboration::Cursor cursor) {
        namespace elaboration = atat::elaboration;
        cursor = elaboration::appendUsageDouble(cursor, "kUsageTypeRequestedValue", value);
        cursor = elaboration::appendUsageDouble(cursor, "kUsageTypeMinValue", lower);
        cursor = elaboration::appendUsageDouble(cursor, "kUsageTypeValMustBeLessThan", upper);
        elaboration::appendNamedAttributeIdAndChannel(cursor, attribute.getId(), trigger,
                                                      "kUsageTypeTriggerName");
      });
}

void checkLevel(DependencyAttribute<double>& level, double lower, double upper) {
  checkInterval(level, lower, upper);
}

void checkHysteresis(DependencyAttribute<double>& hysteresis, double distance) {
  checkInterval(hysteresis, 0.0, distance);
}

// A normalised value in (-1, 1) as a converter code, evaluated left to right.
double code(double x) {
  return (x + 1.0) * 0.5 * 4294967295.0 - 2147483648.0;
}

}  // namespace

AnalogTrigger::Instance::Instance(SessionTransportInterface& transport, std::uint32_t index)
    : threshold_(
          &transport,
          qvisl::RegisterName("vandrel.trigger.analog.edge.threshold %d", static_cast<int>(index))
              .text,
          &registerStatus_),
      channel_(
          &transport,
          qvisl::RegisterName("vandrel.trigger.analog.edge.channel %d", static_cast<int>(index))
              .text,
          &registerStatus_),
      hysteresis_(
          &transport,
          qvisl::RegisterName("vandrel.trigger.analog.edge.hysteresis %d", static_cast<int>(index))
              .text,
          &registerStatus_),
      rising_(&transport,
              qvisl::RegisterName("vandrel.trigger.analog.edge.rising %d", static_cast<int>(index))
                  .text,
              &registerStatus_),
      levelAttribute_(channelIndexName(index), initialValue(0.0)),
      hysteresisAttribute_(channelIndexName(index), initialValue(0.0)),
      risingAttribute_(channelIndexName(index), initialValue(true)),
      channelAttribute_(channelIndexName(index), initialValue(0)),
      compileResolver_(this),
      deployResolver_(this),
      index_(index),
      scalingLink_(&compileResolver_),
      resolutionLink_(&compileResolver_),
      triggerTypeLink_(&compileResolver_) {}

void AnalogTrigger::Instance::registerAttributes(atat::AttributeRegistry& registry) {
  registry.addAttribute(&levelAttribute_);
  registry.addAttribute(&hysteresisAttribute_);
  registry.addAttribute(&risingAttribute_);
  registry.addAttribute(&channelAttribute_);
}

void AnalogTrigger::Instance::commission(const ResolverRoots& roots,
                                         const atat::AttributeRegistry& registry) {
  wireResolvers(roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, levelAttribute_);
  wireOwnAttribute(compileResolver_, hysteresisAttribute_);
  wireOwnAttribute(compileResolver_, risingAttribute_);
  wireOwnAttribute(compileResolver_, channelAttribute_);
  scalingLink_.link(registry, kScalingCoefficients, "AI");
  resolutionLink_.link(registry, kAdcResolution, "");
  triggerTypeLink_.link(registry, kStartTriggerType, channelIndexName(index_));
}

void AnalogTrigger::Instance::compile() {
  if (triggerTypeLink_.isLinked() &&
      triggerTypeLink_.attribute()->getCoerced() != kAnalogEdgeTriggerType) {
    settings_ = Settings{};
    return;
  }
  const bool rising = risingAttribute_.get();
  const int channel = channelAttribute_.resolvedValue();

  double lower = -1.0, upper = 1.0, centre = 0.0, halfRange = 1.0;
  const CoefficientList* coefficients =
      scalingLink_.isLinked() ? scalingLink_.attribute()->getCoerced() : nullptr;
  // A negative channel is treated like one beyond the list: no scaling.
  if (coefficients != nullptr && channel >= 0 &&
      static_cast<std::size_t>(channel) < coefficients->size()) {
    double fullScale = kFullScale32;
    if (resolutionLink_.isLinked() && resolutionLink_.attribute()->getCoerced() != 0)
      fullScale = converterFullScale(resolutionLink_.attribute()->getCoerced());
    const Coefficients& entry = *std::next(coefficients->begin(), channel);
    halfRange = fullScale * entry.gain();
    halfRange = halfRange * 0.5;
    centre = entry.offset();
    lower = entry.offset() - halfRange;
    upper = halfRange + entry.offset();
  }

  checkLevel(levelAttribute_, lower, upper);
  const double level = levelAttribute_.get();
  const double distance = rising ? std::fabs(lower - level) : std::fabs(upper - level);
  checkHysteresis(hysteresisAttribute_, distance);

  const double n = (level - centre) / halfRange;
  const double m = hysteresisAttribute_.get() / halfRange;
  // Also refuses a NaN, from a NaN or infinite gain or offset, before any conversion.
  if (!(n < 1.0 && n > -1.0) || std::isnan(m)) qverr::throwError(qverr::kInvalidParameter);
  const double threshold = code(n);
  const double hysteresisCode = code(m);
  const double rearm = rising ? threshold - hysteresisCode : hysteresisCode + threshold;
  if (!(rearm <= kInt32Max && rearm >= kInt32Min)) qverr::throwError(qverr::kInvalidParameter);

  settings_.threshold = static_cast<std::int32_t>(threshold);
  settings_.rearm = static_cast<std::int32_t>(rearm);
  settings_.rising = rising;
  settings_.channel = channel;
}

void AnalogTrigger::Instance::deploy(bool) {
  nQVVUSKS100::tStatus status;
  threshold_.write(settings_.threshold, &status);
  hysteresis_.write(settings_.rearm, &status);
  rising_.write(settings_.rising, &status);
  channel_.write(settings_.channel, &status);
}

AnalogTrigger::AnalogTrigger(SessionTransportInterface* transport) : transport_(transport) {
  for (std::uint32_t index = 0; index < kTriggerCount; ++index) {
    instances_.emplace_back(*transport_, index);
    if (!instances_.back().present()) instances_.pop_back();
  }
}

void AnalogTrigger::registerAttributes(atat::AttributeRegistry* registry) {
  for (Instance& instance : instances_) instance.registerAttributes(*registry);
}

void AnalogTrigger::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  for (Instance& instance : instances_) instance.commission(*roots, *registry);
}

}  // namespace qvvandrel
