#pragma once
// The FPGA's start-trigger instances. For each trigger index the bitfile implements (at most
// 32) the host chooses type, edge sensitivity and synchroniser; the compile step checks them
// against what the instance supports and packs them into a 16-bit configuration word, the
// deploy step writes the word to the instance's configuration register. The Mosk start trigger
// is a member: it rewrites the records' type and synchroniser before the instances compile.

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "features/IndexedAliasWalk.h"
#include "features/MoskStartTrigger.h"
#include "features/StartTriggerAttributes.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

class StartTrigger : public CommissionInterface {
 public:
  static constexpr std::uint32_t kTriggerCount = 32;

  // Configuration word bits.
  static constexpr std::uint16_t kSyncBit1 = 0x01, kSyncBit2 = 0x02;
  static constexpr std::uint16_t kFallingSensitivityBit = 0x40;

  class Instance {
   public:
    using Register = qvisl::Register<std::uint16_t, SessionTransportInterface>;

    // Resolves "vandrel.trigger.start.cfg <index>" and "vandrel.trigger.start.metadata
    // <index>"; reads the metadata at once when both resolved.
    Instance(SessionTransportInterface& transport, std::uint32_t index,
             StartTriggerAttributes& record);
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Whether the configuration register resolved; an instance without it is not kept.
    bool configurable() const { return configRegister_.isResolved(); }

    // Reads which of the types 2..5 the instance supports; a failed read changes nothing and
    // is tried again at the next compile.
    void readSupportedTriggerTypes();
    // The record's coerced value when the instance supports it, else -304408 naming the
    // attribute and the trigger.
    oobx::attribute::TriggerType coerceTriggerType();
    oobx::attribute::TriggerSensitivity coerceSensitivity();
    oobx::attribute::StartTriggerSync coerceSynchronizer();

    void compile();
    // Writes the word when it changed since the last successful write, on the first deploy,
    // and whenever `force` is set.
    void deploy(bool force);

    std::uint32_t index() const { return index_; }
    StartTriggerAttributes& record() { return *record_; }
    const std::vector<std::int32_t>& supportedTriggerTypes() const { return supportedTypes_; }
    bool metadataPending() const { return metadataPending_; }
    std::uint16_t word() const { return word_; }
    CompileResolver<Instance>& compileResolver() { return compileResolver_; }
    DeployResolver<Instance>& deployResolver() { return deployResolver_; }

   private:
    CompileResolver<Instance> compileResolver_;
    DeployResolver<Instance> deployResolver_;
    std::uint32_t index_;
    nQVVUSKS100::tStatus configStatus_;
    Register configRegister_;
    nQVVUSKS100::tStatus metadataStatus_;
    Register metadataRegister_;
    std::vector<std::int32_t> supportedTypes_{0, 1, 2, 3, 4, 5};
    bool metadataPending_;
    StartTriggerAttributes* record_;
    bool forceWrite_ = true;
    std::uint16_t word_ = 0;
    std::uint16_t lastWritten_ = 0;
  };

  // Builds the Mosk start trigger, then a record and an instance for every index whose
  // configuration register the bitfile holds. The transport, aliases and device name are the
  // session's and outlive the feature.
  StartTrigger(SessionTransportInterface& transport, const IndexedAliasWalk& aliases,
               const std::string& deviceName);
  StartTrigger(const StartTrigger&) = delete;
  StartTrigger& operator=(const StartTrigger&) = delete;
  ~StartTrigger() override = default;

  // Each record's four attributes in instance order, then the Mosk start trigger's seven.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  std::list<StartTriggerAttributes>& records() { return records_; }
  std::list<Instance>& instances() { return instances_; }
  MoskStartTrigger& mosk() { return mosk_; }

 private:
  std::list<StartTriggerAttributes> records_;
  std::list<Instance> instances_;
  MoskStartTrigger mosk_;
};

}  // namespace qvvandrel
