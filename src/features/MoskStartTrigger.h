#pragma once
// How each start trigger takes part in a synchronised start across modules (Mosk). The host
// sets the session-level attributes here; the compile step rewrites every start-trigger
// record's type and synchroniser from them and names the terminal of the primary instance.
// The start-trigger instances write the hardware from what it leaves; it writes nothing.

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "features/IndexedAliasWalk.h"
#include "features/StartTriggerAttributes.h"
#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"
#include "session/TerminalNames.h"

namespace qvvandrel {

class MoskStartTrigger {
 public:
  using RecordList = std::list<StartTriggerAttributes>;

  // A record's "Mosk API Control Enabled" and "Digital Start Trigger Source" as inputs of the
  // compile step, so that switching a trigger's Mosk control alone re-runs it.
  struct TriggerLink {
    TriggerLink(std::uint32_t triggerIndex, Dependency* resolver)
        : index(triggerIndex), enableLink(resolver), sourceLink(resolver) {}
    std::uint32_t index;
    AttributeLink<bool> enableLink;
    AttributeLink<std::string> sourceLink;
  };

  // The aliases "StartTriggerForMosk0".."StartTriggerForMosk31" (the bare name for index 0)
  // name the instances' terminals; a bitfile with both the bare and the index-0 alias fails
  // construction with the walk's error. The records and the device name are the owner's.
  MoskStartTrigger(RecordList& records, const IndexedAliasWalk& aliases,
                   const std::string& deviceName);
  MoskStartTrigger(const MoskStartTrigger&) = delete;
  MoskStartTrigger& operator=(const MoskStartTrigger&) = delete;

  // The owner appends a record for `index`: its inputs are linked at commission.
  void addTriggerLink(std::uint32_t index);

  // The seven attributes, in their fixed order.
  void registerAttributes(atat::AttributeRegistry* registry);
  // Run by the owner after its instances are wired; a second run raises -52003 at the first
  // trigger link made the first time.
  void commission(const ResolverRoots& roots, atat::AttributeRegistry* registry);

  // The compile step; never fails.
  void selectTerminal();
  void compile() { selectTerminal(); }
  void deploy(bool) {}

  const TerminalNameMap& terminalNames() const { return terminalNames_; }
  const std::vector<TriggerLink>& links() const { return links_; }
  CompileResolver<MoskStartTrigger>& compileResolver() { return compileResolver_; }

 private:
  CompileResolver<MoskStartTrigger> compileResolver_;
  DeployResolver<MoskStartTrigger> deployResolver_;
  RecordList* records_;
  std::vector<TriggerLink> links_;
  const std::string* deviceName_;
  TerminalNameMap terminalNames_;
  CatalogueAttribute<0x10000007> sessionReference_;  // compared with the Mosk identifier
  CatalogueAttribute<8633> moskIdentifier_;
  CatalogueAttribute<5011> triggerType_;
  CatalogueAttribute<5124> edge_;
  CatalogueAttribute<5127> sourceTerminal_;
  CatalogueAttribute<0x10000020> primaryInstance_;
  CatalogueAttribute<8622> primaryTerminal_;
};

}  // namespace qvvandrel
