#include "features/StartTrigger.h"

#include "attributes/Ranges.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ClipCapabilityRange.h"

namespace qvvandrel {

namespace {

using oobx::attribute::StartTriggerSync;
using oobx::attribute::TriggerSensitivity;
using oobx::attribute::TriggerType;

constexpr std::int32_t kRisingEdge = 0x7FFFFFFF;
constexpr std::int32_t kFallingEdge = 0x7FFFFFFD;

// Metadata bits 0..3 announce the types 2..5; 0 and 1 are always there.
constexpr std::int32_t kFirstAnnouncedType = 2;
constexpr unsigned kAnnouncedTypeCount = 4;

constexpr const char* kTriggerNameTag = "kUsageTypeTriggerName";

// The attribute's coerced value when `allowed` lists it; otherwise -304408 with the possible
// values, the attribute and the trigger (the channel text the host used, else the index).
template <typename T>
T coerceTo(DependencyAttribute<T>& attribute, const std::vector<std::int32_t>& allowed) {
  atat::EnumRange<T> range(attribute.getId(), qverr::kInvalidAttributeValue);
  for (std::int32_t value : allowed) range.addValue(static_cast<T>(value));
  try {
    return range.coerce(attribute.getCoerced());
  } catch (qverr::ExceptionBase& error) {
    nameAttributeInError(error, attribute.getId(), attribute.label(), attribute.getChannelName(),
                         kTriggerNameTag);
    throw;
  }
}

std::uint16_t typeBits(TriggerType type) {
  switch (type) {
    case 1:
      return 0x04;
    case 2:
      return 0x08;
    case 3:
      return 0x10;
    case 4:
      return 0x20;
    case 5:
      return 0x80;
    default:
      return 0;
  }
}

std::uint16_t synchronizerBits(StartTriggerSync sync) {
  switch (sync) {
    case 1:
      return StartTrigger::kSyncBit1;
    case 2:
      return StartTrigger::kSyncBit2;
    default:
      return 0;
  }
}

}  // namespace

StartTrigger::Instance::Instance(SessionTransportInterface& transport, std::uint32_t index,
                                 StartTriggerAttributes& record)
    : compileResolver_(this),
      deployResolver_(this),
      index_(index),
      configRegister_(
          &transport,
          qvisl::RegisterName("vandrel.trigger.start.cfg %d", static_cast<int>(index)).text,
          &configStatus_),
      metadataRegister_(
          &transport,
          qvisl::RegisterName("vandrel.trigger.start.metadata %d", static_cast<int>(index)).text,
          &metadataStatus_),
      metadataPending_(metadataRegister_.isResolved()),
      record_(&record) {
  if (configurable() && metadataPending_) readSupportedTriggerTypes();
}

void StartTrigger::Instance::readSupportedTriggerTypes() {
  nQVVUSKS100::tStatus status;
  std::uint16_t metadata = 0;
  try {
    metadata = metadataRegister_.read(&status);
  } catch (const qverr::ExceptionBase&) {
    return;
  }
  metadataPending_ = false;
  supportedTypes_ = {0, 1};
  for (unsigned bit = 0; bit < kAnnouncedTypeCount; ++bit) {
    if (metadata & (1u << bit))
      supportedTypes_.push_back(kFirstAnnouncedType + static_cast<std::int32_t>(bit));
  }
}

TriggerType StartTrigger::Instance::coerceTriggerType() {
  return coerceTo(record_->type, supportedTypes_);
}

TriggerSensitivity StartTrigger::Instance::coerceSensitivity() {
  return coerceTo(record_->sensitivity, {kRisingEdge, kFallingEdge});
}

StartTriggerSync StartTrigger::Instance::coerceSynchronizer() {
  return coerceTo(record_->synchronizer, {0, 1, 2});
}

void StartTrigger::Instance::compile() {
  if (metadataPending_) readSupportedTriggerTypes();
  std::uint16_t word = typeBits(coerceTriggerType());
  if (coerceSensitivity() == kFallingEdge) word |= kFallingSensitivityBit;
  word |= synchronizerBits(coerceSynchronizer());
  word_ = word;
}

void StartTrigger::Instance::deploy(bool force) {
  if (!force && !forceWrite_ && word_ == lastWritten_) return;
  // Cleared before the write: a failed first write is still repeated, because the redeploy
  // root stays dirty after a failed deploy.
  forceWrite_ = false;
  nQVVUSKS100::tStatus status;
  configRegister_.write(word_, &status);
  lastWritten_ = word_;
}

StartTrigger::StartTrigger(SessionTransportInterface& transport, const IndexedAliasWalk& aliases,
                           const std::string& deviceName)
    : mosk_(records_, aliases, deviceName) {
  for (std::uint32_t index = 0; index < kTriggerCount; ++index) {
    records_.emplace_back(index);
    instances_.emplace_back(transport, index, records_.back());
    if (!instances_.back().configurable()) {
      instances_.pop_back();
      records_.pop_back();
      continue;
    }
    mosk_.addTriggerLink(index);
  }
}

void StartTrigger::registerAttributes(atat::AttributeRegistry* registry) {
  for (StartTriggerAttributes& record : records_) {
    registry->addAttribute(&record.type);
    registry->addAttribute(&record.sensitivity);
    registry->addAttribute(&record.synchronizer);
    registry->addAttribute(&record.moskControl);
  }
  mosk_.registerAttributes(registry);
}

void StartTrigger::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  for (Instance& instance : instances_) {
    wireResolvers(*roots, instance.compileResolver(), instance.deployResolver());
    wireInput(instance.compileResolver(), instance.record().type);
    wireInput(instance.compileResolver(), instance.record().sensitivity);
    wireInput(instance.compileResolver(), instance.record().synchronizer);
  }
  mosk_.commission(*roots, registry);
}

}  // namespace qvvandrel
