#include "features/ExternalAnalogTrigger.h"

#include <cmath>
#include <optional>

#include "clip/InterfaceMethods.h"
#include "clocks/AttributeValidation.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kSetSlope = 0xE00;
constexpr std::uint32_t kSetThreshold = 0xE02;
constexpr std::uint32_t kRisingSlope = 0, kFallingSlope = 1;

bool describesDac(const ClipCapabilities& c) {
  return c.cap400.value && c.cap401.value && c.cap402.value && c.cap403.value && c.cap404.value;
}

ExternalAnalogTrigger::Dac dacOf(const ClipCapabilities& c) {
  ExternalAnalogTrigger::Dac dac;
  // The CLIP reports the code limits as plain words; they are signed codes.
  dac.minimumCode = static_cast<std::int32_t>(c.cap400.value.value_or(0));
  dac.maximumCode = static_cast<std::int32_t>(c.cap401.value.value_or(0));
  dac.numerator = c.cap402.value.value_or(0);
  dac.denominator = c.cap404.value.value_or(0);
  dac.offset = c.cap403.value.value_or(0);
  dac.maximumHysteresis = c.cap405.value.value_or(0.0);
  return dac;
}

// The DAC code of `volts`: rounded by adding a half and truncating toward zero. None when that
// is no 32-bit code (not a number, or out of reach).
std::optional<std::int32_t> dacCode(double volts, double ratio, std::int32_t offset) {
  const double code = volts * ratio + offset + 0.5;
  if (!(code > -2147483649.0 && code < 2147483648.0)) return std::nullopt;
  return static_cast<std::int32_t>(code);
}

}  // namespace

ExternalAnalogTrigger::ExternalAnalogTrigger(const ClipCapabilities& capabilities,
                                             ClipConfiguration& clip)
    : compileResolver_(this),
      deployResolver_(this),
      clip_(&clip),
      present_(describesDac(capabilities)),
      dac_(present_ ? dacOf(capabilities) : Dac{}),
      level_(nullptr, initialValue(0.0)),
      rising_(nullptr, initialValue(true)),
      hysteresis_(nullptr, initialValue(0.0)) {}

double ExternalAnalogTrigger::ratio() const {
  return static_cast<double>(dac_.numerator) / static_cast<double>(dac_.denominator);
}

void ExternalAnalogTrigger::registerAttributes(atat::AttributeRegistry* registry) {
  if (!present_) return;
  registry->addAttribute(&level_);
  registry->addAttribute(&rising_);
  registry->addAttribute(&hysteresis_);
}

void ExternalAnalogTrigger::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  if (!present_) return;
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, level_);
  wireOwnAttribute(compileResolver_, rising_);
  wireOwnAttribute(compileResolver_, hysteresis_);
}

void ExternalAnalogTrigger::compile() {
  const double r = ratio();
  // In doubles: the difference of two codes always fits.
  const double minimum = (static_cast<double>(dac_.minimumCode) - dac_.offset) / r;
  const double maximum = (static_cast<double>(dac_.maximumCode) - dac_.offset) / r;
  validateAttributeRange(level_, minimum, maximum);
  // A DAC without a scale (numerator or denominator 0) gives no code, or no voltage for it.
  const double requested = level_.getDesired();
  const std::optional<std::int32_t> code = dacCode(requested, r, dac_.offset);
  const double applied = code ? (static_cast<double>(*code) - dac_.offset) / r : requested;
  if (!code || !std::isfinite(applied))
    raiseOutsideRange(LevelAttribute::kId, requested, minimum, maximum);
  level_.setCoerced(applied);
  // Sent as it is: worked out again from the applied level, a negative code would gain the
  // half once more and move one code toward zero, away from the level reported.
  code_ = *code;
  validateAttributeRange(hysteresis_, 0.0, dac_.maximumHysteresis);
  hysteresis_.setCoerced(dac_.maximumHysteresis);
}

void ExternalAnalogTrigger::deploy(bool) {
  clip_->interface14.requireInterface14();
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetThreshold,
                                    {static_cast<std::uint32_t>(code_)});
  ififo_rpc::postInstructionRaising(clip_->fifo, kSetSlope,
                                    {rising_.getCoerced() ? kRisingSlope : kFallingSlope});
}

}  // namespace qvvandrel
