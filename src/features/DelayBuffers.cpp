#include "features/DelayBuffers.h"

#include "attributes/RaiseWithDetails.h"
#include "attributes/Ranges.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kDataClockRate = 0x20000015;
constexpr qverr::StatusLocation kDelayOutOfRange{"DelayBuffer", 117, qverr::kComponent,
                                                 qverr::constant::kInvalidAttributeValue};
// A fraction of a clock this close to 1 (3 digits) counts as a whole clock.
constexpr int kFractionDigits = 3;
// Clock counts from here on have no unsigned 32-bit value.
constexpr double kCountLimit = 4294967296.0;

// Buffer numbers are printed as signed numbers.
std::int32_t signedNumber(std::uint32_t number) {
  return static_cast<std::int32_t>(number);
}

}  // namespace

DelayBufferInstance::DelayBufferInstance(std::uint32_t number, SessionTransportInterface& transport)
    : compileResolver_(this),
      deployResolver_(this),
      clocksRegister_(
          &transport,
          qvisl::RegisterName("vandrel.buffer.delay.clocks %d", signedNumber(number)).text,
          &status_),
      resetRegister_(
          &transport,
          qvisl::RegisterName("vandrel.buffer.delay.reset %d", signedNumber(number)).text,
          &status_),
      delay_(channelIndexName(number), initialValue(0.0)),
      dataClockRate_(&compileResolver_) {}

void DelayBufferInstance::registerAttributes(atat::AttributeRegistry& registry) {
  registry.addAttribute(&delay_);
}

void DelayBufferInstance::commission(const ResolverRoots& roots,
                                     atat::AttributeRegistry& registry) {
  wireOwnAttribute(compileResolver_, delay_);
  wireResolvers(roots, compileResolver_, deployResolver_);
  dataClockRate_.link(registry, kDataClockRate, "");
}

void DelayBufferInstance::compile() {
  const double requested = delay_.getDesired();
  double q = requested;
  double unit = 1.0;
  const bool timed = dataClockRate_.isLinked() && dataClockRate_.attribute()->getCoerced() != 0.0;
  if (timed) {
    unit = 1.0 / dataClockRate_.attribute()->getCoerced();
    q = requested / unit;
  }
  // Negative, NaN and huge quotients have no clock count (their conversion is undefined).
  std::uint32_t clocks = kMaxClocks + 1;
  if (q >= 0.0 && q < kCountLimit) {
    clocks = static_cast<std::uint32_t>(q);
    // Only a delay in seconds is rounded up: a clock count the host gives is truncated.
    if (timed && atat::compareWithDigits(q - clocks, 1.0, kFractionDigits) == 0) ++clocks;
  }
  if (clocks > kMaxClocks) {
    atat::detail::raiseWithDetails(
        qverr::kInvalidAttributeValue, kDelayOutOfRange, [&](atat::elaboration::Cursor c) {
          c = atat::elaboration::appendUsageDouble(c, "kUsageTypeRequestedValue", requested);
          c = atat::elaboration::appendUsageInt32WithAttributeName(
              c, "kUsageTypeAttributeIdentifier", static_cast<std::int32_t>(DelayAttribute::kId));
          atat::elaboration::appendUsageString(c, "kUsageTypeDataStream", delay_.getChannelName());
        });
  }
  clocks_ = static_cast<std::uint16_t>(clocks);
  delay_.setCoerced(clocks * unit);
}

void DelayBufferInstance::deploy(bool) {
  nQVVUSKS100::tStatus status;
  clocksRegister_.write(clocks_, &status);
  resetRegister_.write(true, &status);
  lastClocks_ = clocks_;
}

}  // namespace qvvandrel
