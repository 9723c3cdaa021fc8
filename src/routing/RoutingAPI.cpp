#include "routing/RoutingAPI.h"

#include "attributes/AttributeRegistry.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

// Public attribute numbers of the routing interface.
constexpr std::uint32_t kMoskDestinations = 8628;
constexpr std::uint32_t kSyncPulseDestinations = 8549;
constexpr std::uint32_t kSyncPulseSource12196 = 12196;
constexpr std::uint32_t kSyncPulseSource8545 = 8545;
constexpr std::uint32_t kSyncPulseSelect12195 = 12195;
constexpr std::uint32_t kTerminal8623 = 8623;
constexpr std::uint32_t kTerminal8550 = 8550;
constexpr std::uint32_t kMoskStartTriggerTerminal = 5127;

// Catalogued attributes.
constexpr std::uint32_t kStartTriggerOutputTerminal = 0x30000003;
constexpr std::uint32_t kStartTriggerForMoskOutputTerminal = 0x30000007;
constexpr std::uint32_t kDspResetSource = 0x3000000B;
constexpr std::uint32_t kMoskStartTriggerTerm = 0x3000000C;
constexpr std::uint32_t kMoskApiControlEnabled = 0x40000007;

// The device's own terminals of the fixed signals.
constexpr const char* kMosk = "Mosk";
constexpr const char* kSourceSyncPulse = "SourceSyncPulse";
constexpr const char* kDestinationSyncPulse = "DestinationSyncPulse";

// Alias names "<base>0" .. "<base>31" (and the bare base) make signals.
constexpr unsigned kAliasIndexCount = 32;

const std::string kEmpty;
const bool kFalse = false;

// A signal's compile resolver under the compile root, dirtying the routing deploy resolver.
void wireSignal(Dependency* compileRoot, Dependency* routingDeployResolver,
                Dependency& compileResolver) {
  const ResolverRoots roots{compileRoot, nullptr, nullptr};
  wireCompileResolver(roots, compileResolver, routingDeployResolver);
}

}  // namespace

SignalBuilder::SignalBuilder(rocout::RoCoSession* client, const std::string& deviceName)
    : setting_(client, deviceName) {}

void SignalBuilder::releaseStaleRoutes() {
  setting_.releaseStaleRoutes();
}

void SignalBuilder::releaseAllRoutes() {
  setting_.releaseAllRoutes();
}

void SignalBuilder::establishRoutes() {
  setting_.establishRoutes();
}

RoutingSignal::RoutingSignal(rocout::RoCoSession* client, const std::string& deviceName,
                             std::uint32_t attributeId, const char* channelName, bool isSource,
                             std::string ownTerminal)
    : SignalBuilder(client, deviceName),
      compileResolver_(this),
      attribute_(attributeId, channelName, &kEmpty),
      isSource_(isSource),
      ownTerminal_(std::move(ownTerminal)) {}

void RoutingSignal::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&attribute_);
}

void RoutingSignal::commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                               atat::AttributeRegistry*) {
  wireSignal(compileRoot, routingDeployResolver, compileResolver_);
  wireInput(compileResolver_, attribute_);
}

void RoutingSignal::compile() {
  if (isSource_) {
    setting_.setSource(ownTerminal_);
    setting_.setDestinations(attribute_.getDesired());
  } else {
    setting_.setDestinations(ownTerminal_);
    setting_.setSource(attribute_.getDesired());
  }
}

StartTriggerSource::StartTriggerSource(rocout::RoCoSession* client, const std::string& deviceName,
                                       std::uint32_t triggerIndex, std::string ownTerminal)
    : SignalBuilder(client, deviceName),
      compileResolver_(this),
      triggerIndex_(triggerIndex),
      sourceAttribute_(channelIndexName(triggerIndex), &kEmpty),
      triggerTerminalLink_(&compileResolver_),
      synchronisationControlLink_(&compileResolver_),
      ownTerminal_(std::move(ownTerminal)) {}

void StartTriggerSource::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&sourceAttribute_);
}

void StartTriggerSource::commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                                    atat::AttributeRegistry* registry) {
  wireSignal(compileRoot, routingDeployResolver, compileResolver_);
  wireInput(compileResolver_, sourceAttribute_);
  triggerTerminalLink_.link(*registry, kMoskStartTriggerTerminal, "");
  synchronisationControlLink_.link(*registry, kMoskApiControlEnabled,
                                   channelIndexName(triggerIndex_));
}

void StartTriggerSource::compile() {
  const bool enabled = synchronisationControlLink_.isLinked() &&
                       synchronisationControlLink_.attribute()->getCoerced();
  if (!triggerTerminalLink_.isLinked()) qverr::throwError(qverr::kInternalError);
  const std::string terminal = triggerTerminalLink_.attribute()->getCoerced();
  // The substitution stays after Mosk control is switched off, until the source is set again.
  if (enabled && !terminal.empty()) sourceAttribute_.setCoerced(terminal);
  setting_.setDestinations(ownTerminal_);
  setting_.setSource(sourceAttribute_.getCoerced());
}

SyncPulseInput::SyncPulseInput(rocout::RoCoSession* client, const std::string& deviceName)
    : SignalBuilder(client, deviceName),
      compileResolver_(this),
      attribute12196_(kSyncPulseSource12196, "", &kEmpty),
      attribute8545_(kSyncPulseSource8545, "", &kEmpty),
      attribute12195_(kSyncPulseSelect12195, "", &kFalse) {
  setting_.setDestinations(kDestinationSyncPulse);
}

void SyncPulseInput::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&attribute12196_);
  registry->addAttribute(&attribute8545_);
  registry->addAttribute(&attribute12195_);
}

void SyncPulseInput::commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                                atat::AttributeRegistry*) {
  wireSignal(compileRoot, routingDeployResolver, compileResolver_);
  wireInput(compileResolver_, attribute12196_);
  wireInput(compileResolver_, attribute8545_);
  wireInput(compileResolver_, attribute12195_);
}

void SyncPulseInput::compile() {
  setting_.setSource(attribute12195_.getDesired() ? attribute12196_.getDesired()
                                                  : attribute8545_.getDesired());
}

RoutingAPI::RoutingAPI(const std::string& deviceName,
                       const qvvandrelbrenmooru::TerminalAliasInfo& aliases)
    : deviceName_(deviceName), deployResolver_(this), syncPulseInput_(&client_, deviceName_) {
  signals_.emplace_back(&client_, deviceName_, kMoskDestinations, "", true, kMosk);
  signals_.emplace_back(&client_, deviceName_, kSyncPulseDestinations, "", true, kSourceSyncPulse);

  using Builder = void (RoutingAPI::*)(const char*, unsigned);
  static constexpr struct {
    const char* base;
    Builder build;
  } kAliasBases[] = {
      {"StartTrigger", &RoutingAPI::addStartTriggerSource},
      {"StartTriggerForExport", &RoutingAPI::addExportSignal},
      {"StartTriggerForMosk", &RoutingAPI::addMoskExportSignal},
      {"DspReset", &RoutingAPI::addDspResetSignal},
      {"SourceDspReset", &RoutingAPI::addDspResetSendingTerminal},
  };
  for (const auto& base : kAliasBases) {
    // A walk that builds nothing first, so an ambiguous base fails before any of its objects
    // exists.
    aliases.forEachIndexedAlias(
        base.base, [](const char*, unsigned) {}, kAliasIndexCount);
    aliases.forEachIndexedAlias(
        base.base, [&](const char* alias, unsigned index) { (this->*base.build)(alias, index); },
        kAliasIndexCount);
  }

  addTerminalAttribute(kTerminal8623, "", "");
  addTerminalAttribute(kTerminal8550, "", kSourceSyncPulse);
}

RoutingAPI::~RoutingAPI() = default;

void RoutingAPI::addTerminalAttribute(std::uint32_t id, const char* channelName,
                                      const std::string& defaultTerminal) {
  terminalAttributes_.push_back(
      makeTerminalAttribute(id, channelName, deviceName_, defaultTerminal));
}

void RoutingAPI::addStartTriggerSource(const char* alias, unsigned index) {
  sources_.emplace_back(&client_, deviceName_, index, alias);
}

void RoutingAPI::addExportSignal(const char* alias, unsigned index) {
  signals_.emplace_back(&client_, deviceName_, kStartTriggerOutputTerminal, channelIndexName(index),
                        true, alias);
}

void RoutingAPI::addMoskExportSignal(const char* alias, unsigned index) {
  signals_.emplace_back(&client_, deviceName_, kStartTriggerForMoskOutputTerminal,
                        channelIndexName(index), true, alias);
  addTerminalAttribute(kMoskStartTriggerTerm, channelIndexName(index), alias);
}

void RoutingAPI::addDspResetSignal(const char* alias, unsigned index) {
  signals_.emplace_back(&client_, deviceName_, kDspResetSource, channelIndexName(index), false,
                        alias);
}

void RoutingAPI::addDspResetSendingTerminal(const char* alias, unsigned index) {
  addDspResetTerminalAttribute(terminalAttributes_, deviceName_, alias, index);
}

void RoutingAPI::registerAttributes(atat::AttributeRegistry* registry) {
  for (RoutingSignal& signal : signals_) signal.registerAttributes(registry);
  for (StartTriggerSource& source : sources_) source.registerAttributes(registry);
  syncPulseInput_.registerAttributes(registry);
  for (const auto& attribute : terminalAttributes_) registry->addAttribute(attribute.get());
}

void RoutingAPI::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  // No compile resolver of its own: the deploy resolver is dirtied by those of the signals.
  wireDeployResolver(*roots, deployResolver_);
  for (RoutingSignal& signal : signals_)
    signal.commission(roots->compileRoot, &deployResolver_, registry);
  for (StartTriggerSource& source : sources_)
    source.commission(roots->compileRoot, &deployResolver_, registry);
  syncPulseInput_.commission(roots->compileRoot, &deployResolver_, registry);
}

template <typename Operation>
void RoutingAPI::forEachSignal(Operation operation) {
  for (RoutingSignal& signal : signals_) (signal.*operation)();
  for (StartTriggerSource& source : sources_) (source.*operation)();
  (syncPulseInput_.*operation)();
}

void RoutingAPI::deploy(bool force) {
  if (force) forEachSignal(&SignalBuilder::releaseAllRoutes);
  forEachSignal(&SignalBuilder::releaseStaleRoutes);
  forEachSignal(&SignalBuilder::establishRoutes);
}

}  // namespace qvvandrel
