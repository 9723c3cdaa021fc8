#include "features/DspInstances.h"

#include <cstdio>

#include "attributes/RaiseWithDetails.h"
#include "features/Timeout.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kAdcSampleRate = 0x20000016;
constexpr std::uint32_t kDacSampleRate = 0x2000001A;
constexpr std::uint32_t kDacUpconverterMode = 0x10000022;

constexpr qverr::StatusLocation kAiNotReady{"AiDSP", 212, qverr::kComponent,
                                            qverr::constant::kDspNotReady};
constexpr qverr::StatusLocation kAoNotReady{"AoDSP", 256, qverr::kComponent,
                                            qverr::constant::kDspNotReady};

// Magnitude names are printed into a buffer this large; the register keeps the first 63
// characters.
constexpr std::size_t kMagnitudeNameSize = 256;

const DspSide kAiSide{"vandrel.dsp.ddc.freq shift.mag %u.%u", "vandrel.dsp.ddc.enable %u",
                      kAiChannel, 0x4000000F, 0x40000019};
const DspSide kAoSide{"vandrel.dsp.duc.freq shift.mag %u.%u", "vandrel.dsp.duc.enable %u",
                      kAoChannel, 0x4000001B, 0x4000001C};

}  // namespace

DspInstance::DspInstance(std::uint32_t number, SessionTransportInterface& transport,
                         const DspSide& side)
    : number_(number),
      shiftChannels_(side.shiftChannels),
      reset_(&transport, qvisl::RegisterName("vandrel.dsp.reset %u", number).text, &resetStatus_),
      ready_(&transport, qvisl::RegisterName("vandrel.dsp.ready %u", number).text),
      enableRegister_(&transport, qvisl::RegisterName(side.enableFormat, number).text),
      enabled_(side.enabledId, instanceChannel(), initialValue(false)),
      iqEnabled_(side.iqEnabledId, instanceChannel(), initialValue(true)) {
  // Registers 0, 1, 2, ... up to the first name the design lacks.
  for (std::uint32_t k = 0;; ++k) {
    char name[kMagnitudeNameSize];
    std::snprintf(name, sizeof name, side.magnitudeFormat, number, k);
    if (!magnitudeRegisters_.emplace_back(&transport, name).present()) {
      magnitudeRegisters_.pop_back();
      break;
    }
  }
}

void DspInstance::continueAfter(const DspInstance& previous) {
  firstShiftChannel_ =
      previous.firstShiftChannel_ + static_cast<std::uint32_t>(previous.shiftCount());
}

void DspInstance::registerAttributes(atat::AttributeRegistry& registry) {
  if (entries_.empty()) {
    const double zero = 0.0;
    for (std::size_t k = 0; k < shiftCount(); ++k) {
      const char* channel =
          channelName(shiftChannels_, firstShiftChannel_ + static_cast<std::uint32_t>(k));
      entries_.push_back(
          {&magnitudes_.emplace_back(channel, &zero), &shifts_.emplace_back(channel, &zero)});
    }
    words_.resize(shiftCount());
  }
  for (const DspFrequencyShiftEntry& entry : entries_) {
    registry.addAttribute(entry.magnitude);
    registry.addAttribute(entry.shift);
  }
  if (!hasEnable()) return;
  registry.addAttribute(&enabled_);
  registry.addAttribute(&iqEnabled_);
}

void DspInstance::wireOwnAttributes(Dependency& compileResolver) {
  for (const DspFrequencyShiftEntry& entry : entries_) {
    wireOwnAttribute(compileResolver, *entry.magnitude);
    wireOwnAttribute(compileResolver, *entry.shift);
  }
  wireOwnAttribute(compileResolver, enabled_);
  wireOwnAttribute(compileResolver, iqEnabled_);
}

bool DspInstance::compileShiftsAndEnable(const DependencyAttribute<double>* rate) {
  compileDspFrequencyShifts(entries_, rate, words_);
  if (!hasEnable()) return false;
  enable_ = enabled_.getDesired();
  const bool iq = enable_ && iqEnabled_.getDesired();
  iqEnabled_.setCoerced(iq);
  return iq;
}

void DspInstance::writeWordsAndEnable() {
  auto word = words_.begin();
  for (auto& magnitude : magnitudeRegisters_) {
    if (word == words_.end()) break;  // sized when the attributes are registered
    magnitude.write(*word++);
  }
  if (hasEnable()) enableRegister_.write(enable_);
}

bool DspInstance::changedSinceDeployed() const {
  return words_ != lastWords_ || enable_ != lastEnable_;
}

void DspInstance::recordDeployed() {
  lastWords_ = words_;
  lastEnable_ = enable_;
}

void DspInstance::pulseReset() {
  nQVVUSKS100::tStatus status;
  reset_.write(true, &status);
}

void DspInstance::awaitReady(const qverr::StatusLocation& where) {
  Timeout timeout(kReadyWaitMs, nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kMilliseconds);
  timeout.start();
  while (!ready_.read()) {
    if (!timeout.expired()) continue;
    atat::detail::raiseWithDetails(qverr::kDspNotReady, where, [&](atat::elaboration::Cursor c) {
      atat::elaboration::appendUsageString(c, "kUsageTypeRegisterName", ready_.name());
    });
  }
}

AiDSPInstance::AiDSPInstance(std::uint32_t number, SessionTransportInterface& transport)
    : DspInstance(number, transport, kAiSide),
      compileResolver_(this),
      deployResolver_(this),
      present_(hasReset() && (hasEnable() || shiftCount() >= 1)),
      sampleRate_(&compileResolver_) {}

void AiDSPInstance::commission(const ResolverRoots& roots, atat::AttributeRegistry& registry) {
  wireResolvers(roots, compileResolver_, deployResolver_);
  wireOwnAttributes(compileResolver_);
  sampleRate_.link(registry, kAdcSampleRate, "");
}

void AiDSPInstance::compile() {
  compileShiftsAndEnable(sampleRate_.attribute());
}

void AiDSPInstance::deploy(bool force) {
  writeWordsAndEnable();
  if (force || changedSinceDeployed()) {
    pulseReset();
    if (hasReady()) awaitReady(kAiNotReady);
  }
  recordDeployed();
}

AoDSPInstance::AoDSPInstance(std::uint32_t number, SessionTransportInterface& transport)
    : DspInstance(number, transport, kAoSide),
      compileResolver_(this),
      deployResolver_(this),
      complexRegister_(&transport,
                       qvisl::RegisterName("vandrel.stream.data.complex %u", number).text),
      present_(complexRegister_.present() || (hasReset() && (hasEnable() || shiftCount() >= 1))),
      dataPathIq_(instanceChannel(), initialValue(false)),
      sampleRate_(&compileResolver_),
      upconverterMode_(&compileResolver_) {}

void AoDSPInstance::commission(const ResolverRoots& roots, atat::AttributeRegistry& registry) {
  wireResolvers(roots, compileResolver_, deployResolver_);
  wireOwnAttributes(compileResolver_);
  wireOwnAttribute(compileResolver_, dataPathIq_);
  sampleRate_.link(registry, kDacSampleRate, "");
  upconverterMode_.link(registry, kDacUpconverterMode, "");
}

void AoDSPInstance::compile() {
  bool complex = compileShiftsAndEnable(sampleRate_.attribute());
  if (upconverterMode_.isLinked() && upconverterMode_.attribute()->getCoerced() != Mode{0})
    complex = true;
  complex_ = complex;
  dataPathIq_.setCoerced(complex);
}

void AoDSPInstance::deploy(bool force) {
  writeWordsAndEnable();
  if (complexRegister_.present()) complexRegister_.write(complex_);
  const bool changed = force || changedSinceDeployed() || complex_ != lastComplex_;
  if (changed && hasReset()) pulseReset();
  if (hasReady()) awaitReady(kAoNotReady);
  recordDeployed();
  lastComplex_ = complex_;
}

}  // namespace qvvandrel
