#include "features/MoskStartTrigger.h"

#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr const char* kAliasBase = "StartTriggerForMosk";
constexpr unsigned kAliasCount = 32;
constexpr std::uint32_t kMoskControl = 0x40000007;
constexpr std::uint32_t kDigitalStartTriggerSource = 0x30000000;

using oobx::attribute::StartTriggerSync;
using oobx::attribute::TriggerType;

// The public trigger type a host-set type of the primary trigger stands for.
qvajel_TriggerType publicTriggerType(TriggerType type) {
  switch (type) {
    case 0:
      return qvajel_TriggerType{4};
    case 4:
    case 5:
      return qvajel_TriggerType{1};
    default:
      return qvajel_TriggerType{2};
  }
}

// The trigger type every synchronised trigger takes from the public type.
TriggerType synchronisedTriggerType(qvajel_TriggerType type) {
  switch (type) {
    case 1:
      return TriggerType{4};
    case 2:
      return TriggerType{1};
    default:
      return TriggerType{0};
  }
}

}  // namespace

MoskStartTrigger::MoskStartTrigger(RecordList& records, const IndexedAliasWalk& aliases,
                                   const std::string& deviceName)
    : compileResolver_(this),
      deployResolver_(this),
      records_(&records),
      deviceName_(&deviceName),
      sessionReference_(nullptr, initialValue(0)),
      moskIdentifier_(nullptr, initialValue(0u)),
      triggerType_(nullptr, initialValue(qvajel_TriggerType{4})),
      edge_(nullptr, initialValue(qvajel_Edge{0})),
      sourceTerminal_(nullptr, initialValue(std::string())),
      primaryInstance_(nullptr, initialValue(0)),
      primaryTerminal_(nullptr, initialValue(std::string())) {
  for (const StartTriggerAttributes& record : records) addTriggerLink(record.index);
  aliases.forEachIndexedAlias(
      kAliasBase,
      [this](const char* alias, unsigned index) {
        addTerminalNameEntry(terminalNames_, *deviceName_, alias, index);
      },
      kAliasCount);
}

void MoskStartTrigger::addTriggerLink(std::uint32_t index) {
  links_.emplace_back(index, &compileResolver_);
}

void MoskStartTrigger::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&sessionReference_);
  registry->addAttribute(&moskIdentifier_);
  registry->addAttribute(&triggerType_);
  registry->addAttribute(&edge_);
  registry->addAttribute(&sourceTerminal_);
  registry->addAttribute(&primaryInstance_);
  registry->addAttribute(&primaryTerminal_);
}

void MoskStartTrigger::commission(const ResolverRoots& roots, atat::AttributeRegistry* registry) {
  wireResolvers(roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, sessionReference_);
  wireOwnAttribute(compileResolver_, moskIdentifier_);
  wireOwnAttribute(compileResolver_, triggerType_);
  wireOwnAttribute(compileResolver_, edge_);
  wireInput(compileResolver_, sourceTerminal_);
  wireInput(compileResolver_, primaryInstance_);
  wireOwnAttribute(compileResolver_, primaryTerminal_);
  for (StartTriggerAttributes& record : *records_) {
    wireOwnAttribute(compileResolver_, record.type);
    wireOwnAttribute(compileResolver_, record.sensitivity);
    wireOwnAttribute(compileResolver_, record.synchronizer);
  }
  for (TriggerLink& link : links_) {
    const char* channel = channelIndexName(link.index);
    link.enableLink.link(*registry, kMoskControl, channel);
    link.sourceLink.link(*registry, kDigitalStartTriggerSource, channel);
  }
}

void MoskStartTrigger::selectTerminal() {
  // A negative primary index names no trigger.
  const std::uint32_t primary = static_cast<std::uint32_t>(primaryInstance_.getCoerced());
  const auto terminal = terminalNames_.find(primary);
  primaryTerminal_.setCoerced(terminal != terminalNames_.end() ? terminal->second : std::string());
  triggerType_.setCoerced(triggerType_.getDesired());

  // A host-set type of the primary trigger decides the public type before any trigger is
  // derived from it, also those listed before the primary one.
  for (const StartTriggerAttributes& record : *records_) {
    if (record.index == primary && record.moskControl.getCoerced() && record.type.wasSetByUser())
      triggerType_.setCoerced(publicTriggerType(record.type.getDesired()));
  }

  const std::uint32_t moskIdentifier = moskIdentifier_.getCoerced();
  const std::uint32_t sessionReference = static_cast<std::uint32_t>(sessionReference_.getCoerced());
  for (StartTriggerAttributes& record : *records_) {
    record.synchronizer.setCoerced(record.synchronizer.getDesired());
    record.type.setCoerced(record.type.getDesired());
    if (!record.moskControl.getCoerced()) continue;

    const bool isPrimary = record.index == primary;
    int sync;
    if (moskIdentifier == 0) {
      sync = 0;
    } else if (moskIdentifier == sessionReference) {
      sync = isPrimary ? 1 : 2;
    } else {
      record.type.setCoerced(synchronisedTriggerType(triggerType_.getCoerced()));
      sync = 2;
    }
    if (!record.synchronizer.wasSetByUser())
      record.synchronizer.setCoerced(static_cast<StartTriggerSync>(sync));
  }
}

}  // namespace qvvandrel
