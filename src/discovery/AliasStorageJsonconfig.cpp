#include "discovery/AliasStorageJsonconfig.h"

#include <cjson/cJSON.h>

#include <new>

#include "devkit/XmlValues.h"
#include "discovery/DeviceIterator.h"
#include "discovery/JsonValueWrapper.h"
#include "discovery/SynchronizedConfiguration.h"

namespace qvkel {

namespace {

constexpr const char* kAlias = "alias";

// The entry's stored alias member (looked up as the file's other readers do, without regard to
// case), or null when there is none.
const cJSON* aliasMember(const qvjsonconfig::DeviceEntry& entry) {
  return cJSON_GetObjectItem(entry.getAttributes(qvjsonconfig::kPersistedAttributes), kAlias);
}

}  // namespace

AliasStorageDataJsonconfig::AliasStorageDataJsonconfig(
    std::unique_ptr<qvjsonconfig::ConfigurationData> data)
    : data_(data.release()), owned_(true) {}

AliasStorageDataJsonconfig::AliasStorageDataJsonconfig(qvjsonconfig::ConfigurationData& data)
    : data_(&data), owned_(false) {}

AliasStorageDataJsonconfig::~AliasStorageDataJsonconfig() {
  if (owned_) delete data_;
}

std::string AliasStorageDataJsonconfig::getAlias(const std::string& token) const {
  const std::shared_ptr<qvjsonconfig::DeviceEntry> entry = data_->findEntry(token);
  if (entry == nullptr) return {};
  const cJSON* alias = aliasMember(*entry);
  if (alias == nullptr) return {};
  return qvjsonlh::getString(alias);
}

std::string AliasStorageDataJsonconfig::findTokenByAlias(const std::string& alias,
                                                         const TokenFilter& passOver) const {
  for (const auto& [token, entry] : data_->getEntries()) {
    const cJSON* stored = aliasMember(*entry);
    if (stored == nullptr) continue;
    if (!equalsIgnoringAsciiCase(qvjsonlh::getCString(stored), alias)) continue;
    if (!passOver || !passOver(token)) return token;
  }
  return {};
}

void AliasStorageDataJsonconfig::setAlias(const std::string& token, const std::string& alias) {
  cJSON* persisted = data_->getEntry(token)->getAttributes(qvjsonconfig::kPersistedAttributes);
  qvjsonlh::getObjectItem(persisted, kAlias);
  qvjsonlh::JsonPtr replacement = qvjsonlh::createString(alias);
  if (!cJSON_ReplaceItemInObject(persisted, kAlias, replacement.get())) throw std::bad_alloc();
  replacement.release();
}

std::shared_ptr<IAliasStorageData> AliasStorageDataJsonconfig::clone() const {
  return std::make_shared<AliasStorageDataJsonconfig>(
      std::make_unique<qvjsonconfig::ConfigurationData>(*data_));
}

AutoLockingAliasStorageDataCommitterJsonconfig::AutoLockingAliasStorageDataCommitterJsonconfig(
    qvjsonconfig::LockableFile& file, qvjsonconfig::DeviceIteratorInterface& devices,
    qvjsonconfig::AttributeProviderInterface& provider, qvjsonconfig::UpdateableInterface* target)
    : configuration_(file, devices, provider, target),
      data_(std::make_shared<AliasStorageDataJsonconfig>(configuration_.getData())) {}

AutoLockingAliasStorageDataCommitterJsonconfig::~AutoLockingAliasStorageDataCommitterJsonconfig() {
  data_.reset();
}

void AliasStorageJsonconfig::addChangeListener(IChangeNotificationHandler* listener) {
  listeners_.addListener(listener);
}

void AliasStorageJsonconfig::removeChangeListener(IChangeNotificationHandler* listener) {
  listeners_.removeListener(listener);
}

std::shared_ptr<IAliasStorageData> AliasStorageJsonconfig::getSnapshot() {
  return std::make_shared<AliasStorageDataJsonconfig>(configuration_.getSnapshot());
}

std::shared_ptr<IAutoLockingAliasStorageDataCommitter> AliasStorageJsonconfig::beginEdit() {
  std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> devices = devices_.create();
  return std::make_shared<AutoLockingAliasStorageDataCommitterJsonconfig>(
      file_, *devices, provider_, &configuration_);
}

}  // namespace qvkel
