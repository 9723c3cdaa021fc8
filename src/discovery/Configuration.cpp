#include "discovery/Configuration.h"

#include <boost/numeric/conversion/converter_policies.hpp>
#include <exception>

#include "attributes/Elaboration.h"
#include "attributes/RaiseWithDetails.h"
#include "discovery/AliasAttributeProvider.h"
#include "discovery/DeviceIterator.h"
#include "discovery/LockableFile.h"
#include "foundation/errors/Debug.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvjsonconfig {

namespace {

constexpr const char* kSource = "Configuration";
constexpr const char* kVersion = "version";
constexpr const char* kOldestCompatibleVersion = "oldest_compatible_version";
constexpr const char* kDevices = "devices";

constexpr qverr::StatusLocation kEntryNotFound{kSource, 88, qverr::kComponent,
                                               qverr::constant::kDeviceEntryNotFound};
constexpr qverr::StatusLocation kEntryExists{kSource, 104, qverr::kComponent,
                                             qverr::constant::kObjectNameCollision};
constexpr qverr::StatusLocation kSoftwareTooNew{kSource, 243, qverr::kComponent,
                                                qverr::constant::kSoftwareTooNewForFile};
constexpr qverr::StatusLocation kFileTooNew{kSource, 251, qverr::kComponent,
                                            qverr::constant::kFileTooNewForSoftware};

constexpr std::int32_t kFatalErrorLevel = 16384;
const qvsdbg_VarLine kFatalErrorLine("Configuration", 301);

[[noreturn]] void raiseForToken(std::int32_t code, const qverr::StatusLocation& where,
                                const std::string& token) {
  atat::detail::raiseWithDetails(code, where, [&](atat::elaboration::Cursor cursor) {
    atat::elaboration::appendUsageString(cursor, "kUsageTypeToken", token.c_str());
  });
}

[[noreturn]] void raiseVersion(std::int32_t code, const qverr::StatusLocation& where,
                               std::uint32_t fileVersion) {
  atat::detail::raiseWithDetails(code, where, [&](atat::elaboration::Cursor cursor) {
    cursor = atat::elaboration::appendUsageUInt32(cursor, "kUsageTypeFileVersion", fileVersion);
    cursor = atat::elaboration::appendUsageUInt32(cursor, "kUsageTypeSupportedVersion",
                                                  Configuration::kSupportedVersion);
    atat::elaboration::appendUsageUInt32(cursor, "kUsageTypeOldestCompatibleVersion",
                                         Configuration::kOldestCompatibleVersion);
  });
}

// A version number as unsigned 32 bits, truncated toward zero; out of range (NaN included) is
// a bad numeric conversion.
std::uint32_t versionOf(const cJSON* node) {
  qvjsonlh::requireNumber(node);
  const double value = node->valuedouble;
  if (value != value) throw boost::numeric::bad_numeric_cast();
  if (value <= -1.0) throw boost::numeric::negative_overflow();
  if (value >= 4294967296.0) throw boost::numeric::positive_overflow();
  return static_cast<std::uint32_t>(value);
}

void checkVersions(const cJSON* document) {
  const std::uint32_t version = versionOf(qvjsonlh::getObjectItem(document, kVersion));
  const cJSON* oldestItem = cJSON_GetObjectItem(document, kOldestCompatibleVersion);
  const std::uint32_t oldest = oldestItem != nullptr ? versionOf(oldestItem) : version;
  if (version < Configuration::kOldestCompatibleVersion) {
    raiseVersion(qverr::kSoftwareTooNewForFile, kSoftwareTooNew, version);
  }
  if (oldest > Configuration::kSupportedVersion) {
    raiseVersion(qverr::kFileTooNewForSoftware, kFileTooNew, version);
  }
}

}  // namespace

bool DeviceEntry::operator==(const DeviceEntry& other) const {
  return std::strcmp(token_.c_str(), other.token_.c_str()) == 0 &&
         qvjsonlh::print(runtime_) == qvjsonlh::print(other.runtime_) &&
         qvjsonlh::print(persisted_) == qvjsonlh::print(other.persisted_);
}

ConfigurationData::ConfigurationData() {
  qvjsonlh::JsonPtr document = qvjsonlh::createObject();
  qvjsonlh::addItemToObject(document.get(), kVersion,
                            qvjsonlh::createNumber(Configuration::kSupportedVersion));
  qvjsonlh::addItemToObject(document.get(), kOldestCompatibleVersion,
                            qvjsonlh::createNumber(Configuration::kOldestCompatibleVersion));
  qvjsonlh::addItemToObject(document.get(), kDevices, qvjsonlh::createObject());
  runtime_ = qvjsonlh::createObject();
  document_ = std::move(document);
}

ConfigurationData::ConfigurationData(const ConfigurationData& other)
    : document_(qvjsonlh::duplicate(other.document_.get())),
      runtime_(qvjsonlh::duplicate(other.runtime_.get())) {
  cJSON* devices = getRoot(kPersistedAttributes);
  for (const auto& [token, entry] : other.entries_) {
    entries_.emplace(token, std::make_shared<DeviceEntry>(
                                token, cJSON_GetObjectItemCaseSensitive(devices, token.c_str()),
                                cJSON_GetObjectItemCaseSensitive(runtime_.get(), token.c_str())));
  }
}

ConfigurationData& ConfigurationData::operator=(const ConfigurationData& other) {
  if (this != &other) {
    ConfigurationData copy(other);
    document_ = std::move(copy.document_);
    runtime_ = std::move(copy.runtime_);
    entries_ = std::move(copy.entries_);
  }
  return *this;
}

ConfigurationData::~ConfigurationData() = default;

cJSON* ConfigurationData::getRoot(AttributeSelector selector) const {
  return selector == kPersistedAttributes ? cJSON_GetObjectItem(document_.get(), kDevices)
                                          : runtime_.get();
}

std::shared_ptr<DeviceEntry> ConfigurationData::findEntry(const std::string& token) const {
  const auto found = entries_.find(token);
  return found != entries_.end() ? found->second : nullptr;
}

std::shared_ptr<DeviceEntry> ConfigurationData::getEntry(const std::string& token) const {
  std::shared_ptr<DeviceEntry> entry = findEntry(token);
  if (entry == nullptr) raiseForToken(qverr::kDeviceEntryNotFound, kEntryNotFound, token);
  return entry;
}

void ConfigurationData::addEntry(const std::string& token, qvjsonlh::JsonPtr persisted,
                                 qvjsonlh::JsonPtr runtime) {
  if (findEntry(token) != nullptr) raiseForToken(qverr::kObjectNameCollision, kEntryExists, token);
  auto entry = std::make_shared<DeviceEntry>(token, persisted.get(), runtime.get());
  cJSON* devices = getRoot(kPersistedAttributes);
  qvjsonlh::addItemToObject(devices, token.c_str(), std::move(persisted));
  try {
    qvjsonlh::addItemToObject(runtime_.get(), token.c_str(), std::move(runtime));
    try {
      entries_.emplace(token, std::move(entry));
    } catch (...) {
      cJSON_DeleteItemFromObjectCaseSensitive(runtime_.get(), token.c_str());
      throw;
    }
  } catch (...) {
    cJSON_DeleteItemFromObjectCaseSensitive(devices, token.c_str());
    throw;
  }
}

void ConfigurationData::removeEntry(const std::string& token) {
  if (entries_.erase(token) == 0) {
    raiseForToken(qverr::kDeviceEntryNotFound, kEntryNotFound, token);
  }
  cJSON_DeleteItemFromObjectCaseSensitive(getRoot(kPersistedAttributes), token.c_str());
  cJSON_DeleteItemFromObjectCaseSensitive(runtime_.get(), token.c_str());
}

Configuration::Configuration(LockableFile& file, DeviceIteratorInterface& devices,
                             AttributeProviderInterface& provider, UpdateableInterface* target)
    : file_(file), target_(target) {
  file_.lock();
  try {
    load(devices, provider);
  } catch (...) {
    file_.unlock();
    throw;
  }
}

Configuration::~Configuration() {
  pristine_.reset();
  file_.unlock();
}

void Configuration::load(DeviceIteratorInterface& devices, AttributeProviderInterface& provider) {
  try {
    std::string text;
    file_.readAll(text);

    // An empty file stands for one without devices, and leaves no pristine copy.
    qvjsonlh::JsonPtr parsed;
    const cJSON* stored = nullptr;
    if (!text.empty()) {
      parsed = qvjsonlh::parse(text.c_str());
      checkVersions(parsed.get());
      pristine_ = qvjsonlh::duplicate(parsed.get());
      stored = qvjsonlh::getObjectItem(parsed.get(), kDevices);
      qvjsonlh::requireObject(stored);
    }

    // Entries of the file first, in file order; their modules may be absent.
    for (const cJSON* member = stored != nullptr ? stored->child : nullptr; member != nullptr;
         member = member->next) {
      qvjsonlh::JsonPtr persisted = qvjsonlh::duplicate(member);
      qvjsonlh::JsonPtr runtime = qvjsonlh::createObject();
      provider.provideAttributes(nullptr, data_, persisted.get(), runtime.get());
      data_.addEntry(member->string, std::move(persisted), std::move(runtime));
    }

    // Then the present modules, in enumeration order, each moved behind the absent ones.
    for (; !devices.isEnd(); devices.next()) {
      std::string token;
      try {
        token = devices.getKey();
      } catch (const qverr::ExceptionBase&) {
        // A module whose token cannot be built is left out, as enumeration leaves it out.
        continue;
      }
      qvjsonlh::JsonPtr persisted;
      if (const std::shared_ptr<DeviceEntry> entry = data_.findEntry(token)) {
        // Tokens match byte for byte. A token met twice in this walk has no member in the file.
        const cJSON* member = cJSON_GetObjectItemCaseSensitive(stored, token.c_str());
        persisted = qvjsonlh::duplicate(
            member != nullptr ? member : entry->getAttributes(kPersistedAttributes));
      } else {
        persisted = qvjsonlh::createObject();
      }
      qvjsonlh::JsonPtr runtime = qvjsonlh::createObject();
      provider.provideAttributes(&devices, data_, persisted.get(), runtime.get());
      if (data_.findEntry(token) != nullptr) data_.removeEntry(token);
      data_.addEntry(token, std::move(persisted), std::move(runtime));
    }

    commit();
  } catch (const std::exception& failure) {
    qvsdbg_printf(kFatalErrorLevel, kFatalErrorLine, "Fatal configuration error! %s",
                  failure.what());
    throw;
  }
}

void Configuration::commit() {
  const cJSON* document = data_.getDocument();
  if (pristine_.get() != nullptr && qvjsonlh::equals(pristine_.get(), document)) return;
  const std::string text = qvjsonlh::print(document);
  file_.writeAll(text.data(), text.data() + text.size());
  pristine_ = qvjsonlh::duplicate(document);
  if (target_ != nullptr) target_->update(data_);
}

}  // namespace qvjsonconfig
