#include "channels/lines/PfiChannels.h"

#include <cstdio>
#include <memory>

#include "attributes/AttributeRegistry.h"
#include "channels/lines/LineInterface.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"

namespace qvvandrel::config::pfi {

namespace {

constexpr std::uint32_t kPfiCountId = 0x1000002C;
constexpr std::uint32_t kDiffPfiCountId = 0x1000002D;

constexpr qverr::StatusLocation kTooManyLines{"qvvandrel/config/pfi/Channels", 74,
                                              qverr::kComponent};

constexpr bool kDisabled = false;

// The first voltage the CLIP lists, 0 V when it lists none.
const double* defaultVoltage(const ififo_rpc::ListCapability<double>& voltages) {
  static constexpr double kNone = 0.0;
  return voltages.values.empty() ? &kNone : &voltages.values.front();
}

// One line per index below `count`, each looking up its register "<format> n".
template <typename Line>
void addLines(CompositeCommission& lines, SessionTransportInterface& transport, std::uint32_t count,
              const char* registerFormat, ChannelKind kind) {
  for (std::uint32_t n = 0; n < count; ++n) {
    char registerName[qvisl::RegisterRecord::kNameSize];
    std::snprintf(registerName, sizeof registerName, registerFormat, n);
    lines.add(std::make_unique<Line>(transport, registerName, channelName(kind, n),
                                     oobx::attribute::kDioConfigurationInput));
  }
}

}  // namespace

Channels::Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                   SessionTransportInterface& transport)
    : clip_(&clip),
      pfiCount_(kPfiCountId, capabilities.cap1002),
      diffPfiCount_(kDiffPfiCountId, capabilities.cap1003),
      equalizationAvailable_(capabilities.cap1009.value.value_or(false)),
      preEmphasisAvailable_(capabilities.cap1010.value.value_or(false)),
      inputEqualization_("", &kDisabled),
      outputPreEmphasis_("", &kDisabled),
      voltagesListed_(!capabilities.cap1011.values.empty()),
      voltage_("", defaultVoltage(capabilities.cap1011)),
      voltageWord_(voltagesListed_ ? capabilities.cap1011.rawValues.front() : kNoCodeWord) {
  // Both counts are checked before either family is built.
  const std::uint32_t pfiLines =
      boundedChannelCount(capabilities.cap1002, kTooManyLines).value_or(0);
  const std::uint32_t diffPfiLines =
      boundedChannelCount(capabilities.cap1003, kTooManyLines).value_or(0);
  addLines<PfiLine>(lines_, transport, pfiLines, "vandrel.pfi.configuration.channel %u",
                    kPfiChannel);
  addLines<DiffPfiLine>(lines_, transport, diffPfiLines, "vandrel.diffpfi.configuration.channel %u",
                        kDiffPfiChannel);
  if (voltagesListed_) {
    voltageRange_.emplace(capabilities.cap1011, qverr::kInvalidAttributeValue,
                          atat::coarseCoercionTypeNone);
  }
}

Channels::~Channels() = default;

void Channels::registerAttributes(atat::AttributeRegistry* registry) {
  lines_.registerAttributes(registry);
  registry->addAttribute(&pfiCount_.attribute());
  registry->addAttribute(&diffPfiCount_.attribute());
  if (equalizationAvailable_) registry->addAttribute(&inputEqualization_);
  if (preEmphasisAvailable_) registry->addAttribute(&outputPreEmphasis_);
  if (voltagesListed_) registry->addAttribute(&voltage_);
}

void Channels::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  lines_.commission(roots, registry);
  if (equalizationAvailable_) wireOwnAttribute(compileResolver_, inputEqualization_);
  if (preEmphasisAvailable_) wireOwnAttribute(compileResolver_, outputPreEmphasis_);
  if (voltagesListed_) wireOwnAttribute(compileResolver_, voltage_);
}

void Channels::compile() {
  if (voltagesListed_) coerceVoltage();
}

void Channels::coerceVoltage() {
  voltageWord_ = voltageRange_->compile(voltage_, ChannelInError::kOmitted);
}

void Channels::deploy(bool) {
  if (equalizationAvailable_) {
    sendLineEqualization(*clip_, kDifferentialPfiLines, inputEqualization_.getCoerced());
  }
  if (preEmphasisAvailable_) {
    sendLinePreEmphasis(*clip_, kDifferentialPfiLines, outputPreEmphasis_.getCoerced());
  }
  // The CLIP's own word for the voltage: volts times 1e6 cut toward zero would lose a
  // microvolt for some listed values (1.001 V would go out as 1000999).
  if (voltagesListed_) postLineSetting(*clip_, kLineVoltage, kPfiLines, voltageWord_);
}

}  // namespace qvvandrel::config::pfi
