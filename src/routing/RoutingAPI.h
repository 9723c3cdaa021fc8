#pragma once
// The routing feature of a device session: its client of the route-configuration library and a
// fixed family of routing signals. Each signal ties one terminal of the device to terminals the
// host names through a string attribute; its compile step turns the attribute into the source
// and destinations of its route setting, and the routing interface's one deploy step releases
// and builds the library routes of all signals.

#include <cstdint>
#include <list>
#include <string>

#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"
#include "model/DependencyAttribute.h"
#include "model/Resolvers.h"
#include "routing/RoCoSession.h"
#include "routing/RouteSetting.h"
#include "routing/TerminalAliasInfo.h"
#include "session/TerminalNames.h"

namespace qvvandrel {

// What the routing interface does with every signal. Owners destroy the concrete signals
// directly, so there is no virtual destructor.
class SignalBuilder {
 public:
  SignalBuilder(const SignalBuilder&) = delete;
  SignalBuilder& operator=(const SignalBuilder&) = delete;

  virtual void registerAttributes(atat::AttributeRegistry* registry) = 0;
  // Hangs the signal's compile resolver under the compile root, with the routing interface's
  // deploy resolver downstream of it.
  virtual void commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                          atat::AttributeRegistry* registry) = 0;
  virtual void releaseStaleRoutes();
  virtual void releaseAllRoutes();
  virtual void establishRoutes();

  const rocout::RouteSetting& routeSetting() const { return setting_; }

 protected:
  SignalBuilder(rocout::RoCoSession* client, const std::string& deviceName);
  ~SignalBuilder() = default;

  rocout::RouteSetting setting_;
};

// A signal whose attribute names the other end of its routes: a comma-separated list of
// destinations when the device's own terminal is the source, else the one source terminal.
class RoutingSignal final : public SignalBuilder {
 public:
  RoutingSignal(rocout::RoCoSession* client, const std::string& deviceName,
                std::uint32_t attributeId, const char* channelName, bool isSource,
                std::string ownTerminal);

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                  atat::AttributeRegistry* registry) override;
  void compile();

  DependencyAttribute<std::string>& attribute() { return attribute_; }
  CompileResolver<RoutingSignal>& compileResolver() { return compileResolver_; }
  bool isSource() const { return isSource_; }
  const std::string& ownTerminal() const { return ownTerminal_; }

 private:
  CompileResolver<RoutingSignal> compileResolver_;
  DependencyAttribute<std::string> attribute_;
  bool isSource_;
  std::string ownTerminal_;
};

// Routes the terminal named by "Digital Start Trigger Source" of its trigger index to the
// start-trigger alias terminal. While the trigger's Mosk control ("Mosk API Control Enabled" of
// the index) is on, the Mosk start trigger's terminal (5127) takes the place of that source.
class StartTriggerSource final : public SignalBuilder {
 public:
  StartTriggerSource(rocout::RoCoSession* client, const std::string& deviceName,
                     std::uint32_t triggerIndex, std::string ownTerminal);

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // A second commission raises -52003 when a link was made the first time. A missing or
  // differently typed 5127 or 0x40000007 leaves its link unlinked.
  void commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                  atat::AttributeRegistry* registry) override;
  // -52003 when 5127 was never linked.
  void compile();

  std::uint32_t triggerIndex() const { return triggerIndex_; }
  CatalogueAttribute<0x30000000>& sourceAttribute() { return sourceAttribute_; }
  CompileResolver<StartTriggerSource>& compileResolver() { return compileResolver_; }
  const AttributeLink<std::string>& triggerTerminalLink() const { return triggerTerminalLink_; }
  const AttributeLink<bool>& synchronisationControlLink() const {
    return synchronisationControlLink_;
  }
  const std::string& ownTerminal() const { return ownTerminal_; }

 private:
  CompileResolver<StartTriggerSource> compileResolver_;
  std::uint32_t triggerIndex_;
  CatalogueAttribute<0x30000000> sourceAttribute_;
  AttributeLink<std::string> triggerTerminalLink_;
  AttributeLink<bool> synchronisationControlLink_;
  std::string ownTerminal_;
};

// Routes into the device's "DestinationSyncPulse" terminal from the terminal of 12196 when 12195
// is true, else from that of 8545.
class SyncPulseInput final : public SignalBuilder {
 public:
  SyncPulseInput(rocout::RoCoSession* client, const std::string& deviceName);

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(Dependency* compileRoot, Dependency* routingDeployResolver,
                  atat::AttributeRegistry* registry) override;
  void compile();

  DependencyAttribute<std::string>& attribute12196() { return attribute12196_; }
  DependencyAttribute<std::string>& attribute8545() { return attribute8545_; }
  DependencyAttribute<bool>& attribute12195() { return attribute12195_; }
  CompileResolver<SyncPulseInput>& compileResolver() { return compileResolver_; }

 private:
  CompileResolver<SyncPulseInput> compileResolver_;
  DependencyAttribute<std::string> attribute12196_;
  DependencyAttribute<std::string> attribute8545_;
  DependencyAttribute<bool> attribute12195_;
};

class RoutingAPI : public CommissionInterface {
 public:
  // Builds the fixed signals, then one signal per alias of the known bases (indices 0 to 31),
  // then the terminal attributes. Both a bare alias base and its index-0 form raise the alias
  // map's ambiguity error before anything of that base exists.
  RoutingAPI(const std::string& deviceName, const qvvandrelbrenmooru::TerminalAliasInfo& aliases);
  ~RoutingAPI() override;
  RoutingAPI(const RoutingAPI&) = delete;
  RoutingAPI& operator=(const RoutingAPI&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  // Releases every route first on a full redeploy, then the stale routes of every signal, then
  // builds the missing ones: nothing new is built before everything stale is gone.
  void deploy(bool force);

  // The device name and route client that the session's own route requests use.
  const std::string& deviceName() const { return deviceName_; }
  rocout::RoCoSession& routeClient() { return client_; }

  std::list<RoutingSignal>& signals() { return signals_; }
  std::list<StartTriggerSource>& startTriggerSources() { return sources_; }
  SyncPulseInput& syncPulseInput() { return syncPulseInput_; }
  const TerminalAttributeList& terminalAttributes() const { return terminalAttributes_; }
  DeployResolver<RoutingAPI>& deployResolver() { return deployResolver_; }

  // Appends the plain string attribute `id` on `channelName` whose value is the terminal path of
  // `defaultTerminal`.
  void addTerminalAttribute(std::uint32_t id, const char* channelName,
                            const std::string& defaultTerminal);

 private:
  void addStartTriggerSource(const char* alias, unsigned index);
  void addExportSignal(const char* alias, unsigned index);
  void addMoskExportSignal(const char* alias, unsigned index);
  void addDspResetSignal(const char* alias, unsigned index);
  void addDspResetSendingTerminal(const char* alias, unsigned index);
  template <typename Operation>
  void forEachSignal(Operation operation);

  std::string deviceName_;
  rocout::RoCoSession client_;
  DeployResolver<RoutingAPI> deployResolver_;
  std::list<RoutingSignal> signals_;
  std::list<StartTriggerSource> sources_;
  SyncPulseInput syncPulseInput_;
  TerminalAttributeList terminalAttributes_;
};

}  // namespace qvvandrel
