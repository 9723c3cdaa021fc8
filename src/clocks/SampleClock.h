#pragma once
// The module's sample-clock timebase: its source and rate, checked against what the CLIP
// reports for the source; the data-clock, ADC and DAC rates derived through three integer
// divisors; rates and reduced rate ratios for readers of the public identifiers; and the
// source and rate sent to the CLIP (interface 2). Present when the CLIP lists a sample-clock
// source; its ADC and DAC parts when it reports their divisors. Reached only through the
// configuration root, which calls collectAttributes and connect.

#include <cstdint>

#include "attributes/Ranges.h"
#include "attributes/ValueEnumerations.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipCapabilityRange.h"
#include "model/ClipConfiguration.h"
#include "model/Resolvers.h"

namespace qvvandrel {

using oobx::attribute::SampleClkSrc;

class SampleClock {
 public:
  static constexpr std::uint32_t kSourceId = 0x10000013;
  static constexpr std::uint32_t kTimebaseId = 0x20000017;
  static constexpr std::uint32_t kDataClockRateId = 0x20000015;
  static constexpr std::uint32_t kDataClockDivisorId = 0x10000015;
  static constexpr std::uint32_t kAdcRateId = 0x20000016;
  static constexpr std::uint32_t kAdcDivisorId = 0x10000010;
  static constexpr std::uint32_t kDacRateId = 0x2000001A;
  static constexpr std::uint32_t kDacDivisorId = 0x1000001A;
  static constexpr std::uint32_t kReferenceRateId = 10882;
  static constexpr std::uint32_t kUserClockFrequencyId = 0x2000002C;
  static constexpr const char* kUserClockChannel = "CLK0";
  static constexpr std::uint16_t kSetTimebase = 0x201;
  static constexpr std::uint16_t kSetSource = 0x203;
  static constexpr std::uint32_t kNoClipCode = 0xFFFFFFFF;

  // Both are borrowed from the session, which outlives the feature.
  SampleClock(const ClipCapabilities& capabilities, ClipConfiguration& clip);
  SampleClock(const SampleClock&) = delete;
  SampleClock& operator=(const SampleClock&) = delete;

  void collectAttributes(atat::AttributeRegistry* registry);
  // Wires the resolvers and the two links (-52003 for a link already made), then the own
  // attributes: most once, the timebase rate and 12238 as inputs on every call.
  void connect(const ResolverRoots* roots, atat::AttributeRegistry* registry);

  void compile();
  // Both instructions go out on every deploy, whatever the force flag.
  void deploy(bool force);

  bool isPresent() const { return present_; }
  bool hasAdc() const { return adc_; }
  bool hasDac() const { return dac_; }
  // The CLIP's raw code of the source the last compile chose (kNoClipCode when none matched).
  std::uint32_t clipCode() const { return clipCode_; }

 private:
  void checkTimebase(SampleClkSrc source);
  // Rounds both rates to whole numbers and stores them divided by their greatest common
  // divisor (nothing when both are 0). Each rate must lie in [0, 2^63); the identifier of the
  // attribute it came from names it otherwise.
  void storeReducedRatio(double first, std::uint32_t firstSourceId, double second,
                         std::uint32_t secondSourceId,
                         DependencyAttribute<std::uint64_t>& firstTarget,
                         DependencyAttribute<std::uint64_t>& secondTarget);

  const ClipCapabilities* capabilities_;
  IfifoInterfaceCheck* interface2_;
  bool present_;
  bool adc_;
  bool dac_;

  CompileResolver<SampleClock> compileResolver_;
  DeployResolver<SampleClock> deployResolver_;
  AttributeLink<double> referenceLink_;
  AttributeLink<double> userClockLink_;

  CatalogueAttribute<kSourceId> source_;
  CatalogueAttribute<kTimebaseId> timebase_;
  CatalogueAttribute<kDataClockRateId> dataClockRate_;
  CatalogueAttribute<kDataClockDivisorId> dataClockDivisor_;
  CatalogueAttribute<kAdcRateId> adcRate_;
  CatalogueAttribute<kAdcDivisorId> adcDivisor_;
  CatalogueAttribute<kDacRateId> dacRate_;
  CatalogueAttribute<kDacDivisorId> dacDivisor_;
  CatalogueAttribute<12238> fixedTimebase_;
  CatalogueAttribute<10734> sampleRate_;
  // The reduced ratio sample rate : reference rate.
  CatalogueAttribute<8790> referenceRatioSampleTerm_;
  CatalogueAttribute<8791> referenceRatioReferenceTerm_;
  CatalogueAttribute<10735> dataClockRateCopy_;
  // The reduced ratio data-clock rate : sample rate.
  CatalogueAttribute<10736> dataClockRatioDataClockTerm_;
  CatalogueAttribute<10737> dataClockRatioSampleTerm_;

  // The source's members: the distinct sources the CLIP lists, with their raw codes.
  ClipCapabilityRange<SampleClkSrc> sources_;
  std::uint32_t clipCode_ = kNoClipCode;
};

}  // namespace qvvandrel
