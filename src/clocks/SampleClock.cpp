#include "clocks/SampleClock.h"

#include <cmath>
#include <initializer_list>
#include <numeric>

#include "attributes/AttributeRegistry.h"
#include "clip/InterfaceMethods.h"
#include "clocks/AttributeValidation.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

using namespace oobx::attribute;

constexpr double kDefaultTimebase = 1e9;
// Rates become 64-bit integers (the reduced ratios, the kHz the CLIP is told): only those
// below 2^63 convert.
constexpr double kConvertibleLimit = 0x1p63;

SampleClkSrc defaultSource(const ClipCapabilities& capabilities) {
  const auto& sources = capabilities.cap203.values;
  return sources.empty() ? kSampleClkSrcFixed : sources.front();
}

int divisorOr1(const ififo_rpc::Capability<unsigned int>& capability) {
  return capability.value ? static_cast<int>(*capability.value) : 1;
}

// A rate that cannot become a 64-bit count fails the compile as a value outside [0, 2^63).
void requireConvertible(std::uint32_t attributeId, double rate) {
  if (!(rate >= 0.0 && rate < kConvertibleLimit)) {
    raiseOutsideRange(attributeId, rate, 0.0, kConvertibleLimit);
  }
}

std::uint64_t roundToCount(std::uint32_t attributeId, double rate) {
  requireConvertible(attributeId, rate);
  return static_cast<std::uint64_t>(std::floor(rate + 0.5));
}

}  // namespace

SampleClock::SampleClock(const ClipCapabilities& capabilities, ClipConfiguration& clip)
    : capabilities_(&capabilities),
      interface2_(&clip.interface2),
      present_(!capabilities.cap203.values.empty()),
      adc_(capabilities.cap208.value.has_value()),
      dac_(capabilities.cap209.value.has_value()),
      compileResolver_(this),
      deployResolver_(this),
      referenceLink_(&compileResolver_),
      userClockLink_(&compileResolver_),
      source_(nullptr, initialValue(defaultSource(capabilities))),
      timebase_(nullptr, initialValue(capabilities.cap206.value.value_or(kDefaultTimebase))),
      dataClockRate_(nullptr, initialValue(0.0)),
      dataClockDivisor_(nullptr, initialValue(divisorOr1(capabilities.cap207))),
      adcRate_(nullptr, initialValue(0.0)),
      adcDivisor_(nullptr, initialValue(divisorOr1(capabilities.cap208))),
      dacRate_(nullptr, initialValue(0.0)),
      dacDivisor_(nullptr, initialValue(divisorOr1(capabilities.cap209))),
      fixedTimebase_(nullptr, initialValue(true)),
      sampleRate_(nullptr, initialValue(0.0)),
      referenceRatioSampleTerm_(nullptr, initialValue(0ul)),
      referenceRatioReferenceTerm_(nullptr, initialValue(0ul)),
      dataClockRateCopy_(nullptr, initialValue(0.0)),
      dataClockRatioDataClockTerm_(nullptr, initialValue(0ul)),
      dataClockRatioSampleTerm_(nullptr, initialValue(0ul)),
      sources_(capabilities.cap203, kSourceId, qverr::kInvalidAttributeValue) {}

void SampleClock::collectAttributes(atat::AttributeRegistry* registry) {
  if (!present_) return;
  registry->addAttribute(&source_);
  registry->addAttribute(&timebase_);
  registry->addAttribute(&dataClockRate_);
  registry->addAttribute(&dataClockDivisor_);
  if (adc_) {
    registry->addAttribute(&adcRate_);
    registry->addAttribute(&adcDivisor_);
  }
  if (dac_) {
    registry->addAttribute(&dacRate_);
    registry->addAttribute(&dacDivisor_);
  }
  for (iattr::AttributeBaseInterface* attribute :
       std::initializer_list<iattr::AttributeBaseInterface*>{
           &fixedTimebase_, &sampleRate_, &referenceRatioSampleTerm_, &referenceRatioReferenceTerm_,
           &dataClockRateCopy_, &dataClockRatioDataClockTerm_, &dataClockRatioSampleTerm_}) {
    registry->addAttribute(attribute);
  }
}

void SampleClock::connect(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  if (!present_) return;
  wireResolvers(*roots, compileResolver_, deployResolver_);
  referenceLink_.link(*registry, kReferenceRateId, "");
  userClockLink_.link(*registry, kUserClockFrequencyId, kUserClockChannel);

  wireOwnAttribute(compileResolver_, source_);
  wireInput(compileResolver_, timebase_);
  wireOwnAttribute(compileResolver_, dataClockRate_);
  wireOwnAttribute(compileResolver_, dataClockDivisor_);
  if (adc_) {
    wireOwnAttribute(compileResolver_, adcRate_);
    wireOwnAttribute(compileResolver_, adcDivisor_);
  }
  if (dac_) {
    wireOwnAttribute(compileResolver_, dacRate_);
    wireOwnAttribute(compileResolver_, dacDivisor_);
  }
  wireInput(compileResolver_, fixedTimebase_);
  wireOwnAttribute(compileResolver_, sampleRate_);
  wireOwnAttribute(compileResolver_, referenceRatioSampleTerm_);
  wireOwnAttribute(compileResolver_, referenceRatioReferenceTerm_);
  wireOwnAttribute(compileResolver_, dataClockRateCopy_);
  wireOwnAttribute(compileResolver_, dataClockRatioDataClockTerm_);
  wireOwnAttribute(compileResolver_, dataClockRatioSampleTerm_);
}

void SampleClock::checkTimebase(SampleClkSrc source) {
  const ClipCapabilities& caps = *capabilities_;
  if (source == kSampleClkSrcFixed) {
    if (caps.cap206.value) validateAttributeValue(timebase_, *caps.cap206.value);
    fixedTimebase_.setCoerced(true);
  } else if (source == kSampleClkSrcVariable) {
    if (caps.cap204.value && caps.cap205.value) {
      validateAttributeRange(timebase_, *caps.cap204.value, *caps.cap205.value);
    }
    fixedTimebase_.setCoerced(false);
  }
}

void SampleClock::compile() {
  clipCode_ = sources_.compile(source_);
  checkTimebase(source_.getCoerced());
  validateAttributeMinimum(dataClockDivisor_, 1);

  // The timebase is checked before anything is derived from it: every rate below is a
  // quotient of it and becomes a 64-bit count.
  const DependencyAttribute<double>* userClock = userClockLink_.attribute();
  const double divisor = dataClockDivisor_.getCoerced();
  const double timebase = userClock ? divisor * userClock->getCoerced() : timebase_.getCoerced();
  requireConvertible(kTimebaseId, timebase);
  if (userClock) {
    dataClockRate_.setCoerced(userClock->getCoerced());
    timebase_.setCoerced(timebase);
  } else {
    dataClockRate_.setCoerced(timebase / divisor);
  }
  if (adc_) {
    validateAttributeMinimum(adcDivisor_, 1);
    adcRate_.setCoerced(timebase / adcDivisor_.getCoerced());
  }
  if (dac_) {
    validateAttributeMinimum(dacDivisor_, 1);
    dacRate_.setCoerced(timebase / dacDivisor_.getCoerced());
  }
  dataClockRateCopy_.setCoerced(dataClockRate_.getCoerced());

  if (adc_) {
    sampleRate_.setCoerced(adcRate_.getCoerced());
  } else if (dac_) {
    sampleRate_.setCoerced(dacRate_.getCoerced());
  } else if (userClock) {
    sampleRate_.setCoerced(userClock->getCoerced());
  }
  storeReducedRatio(sampleRate_.getCoerced(), sampleRate_.getId(), dataClockRate_.getCoerced(),
                    kDataClockRateId, dataClockRatioSampleTerm_, dataClockRatioDataClockTerm_);

  const DependencyAttribute<double>* reference = referenceLink_.attribute();
  if (reference == nullptr) qverr::throwError(qverr::kInternalError);
  storeReducedRatio(reference->getCoerced(), kReferenceRateId, sampleRate_.getCoerced(),
                    sampleRate_.getId(), referenceRatioReferenceTerm_, referenceRatioSampleTerm_);
}

void SampleClock::storeReducedRatio(double first, std::uint32_t firstSourceId, double second,
                                    std::uint32_t secondSourceId,
                                    DependencyAttribute<std::uint64_t>& firstTarget,
                                    DependencyAttribute<std::uint64_t>& secondTarget) {
  const std::uint64_t a = roundToCount(firstSourceId, first);
  const std::uint64_t b = roundToCount(secondSourceId, second);
  if (a == 0 && b == 0) return;
  const std::uint64_t divisor = std::gcd(a, b);
  firstTarget.setCoerced(a / divisor);
  secondTarget.setCoerced(b / divisor);
}

void SampleClock::deploy(bool /*force*/) {
  const double timebase = timebase_.getCoerced();
  requireConvertible(kTimebaseId, timebase);
  interface2_->requireInterface2();
  ififo_rpc::postInstructionRaising(interface2_->fifo, kSetSource, {clipCode_});
  // Whole kHz, truncated; the CLIP takes the low 32 bits.
  const auto kilohertz = static_cast<std::int64_t>(timebase / 1000.0);
  ififo_rpc::postInstructionRaising(interface2_->fifo, kSetTimebase,
                                    {static_cast<std::uint32_t>(kilohertz)});
}

}  // namespace qvvandrel
