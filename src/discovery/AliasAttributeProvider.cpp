#include "discovery/AliasAttributeProvider.h"

#include <charconv>
#include <cstdint>
#include <vector>

#include "discovery/Configuration.h"
#include "discovery/JsonValueWrapper.h"
#include "foundation/text/CompareUtf8NoCase.h"

namespace qvjsonconfig {

namespace {

constexpr const char* kAlias = "alias";

}  // namespace

void AliasAttributeProvider::provideAttributes(DeviceIteratorInterface* device,
                                               ConfigurationData& data, cJSON* persisted,
                                               cJSON* /*runtime*/) {
  if (device == nullptr) return;
  // A hand-edited entry that is not an object cannot take an alias member: cJSON would hang it
  // where no print shows it, or append it to an array anew on every load.
  qvjsonlh::requireObject(persisted);
  if (cJSON_GetObjectItem(persisted, kAlias) != nullptr) return;
  const std::string alias = factory_.createAlias(*device, data);
  qvjsonlh::addItemToObject(persisted, kAlias, qvjsonlh::createString(alias));
}

std::string SimpleAliasFactory::createAlias(DeviceIteratorInterface& /*device*/,
                                            ConfigurationData& data) {
  return makeUniqueAlias(data);
}

std::string SimpleAliasFactory::makeUniqueAlias(ConfigurationData& data) {
  std::vector<std::string> taken;
  for (const auto& [token, entry] : data.getEntries()) {
    const cJSON* alias = cJSON_GetObjectItem(entry->getAttributes(kPersistedAttributes), kAlias);
    if (alias != nullptr) taken.push_back(qvjsonlh::getString(alias));
  }
  const std::string prefix = prefix_;
  for (std::uint64_t n = 1;; ++n) {
    // Plain decimal whatever the locale: a grouped "1,000" would break the alias rule.
    char digits[24];
    const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, n);
    const std::string candidate = prefix + std::string(digits, written.ptr);
    bool free = true;
    for (const std::string& alias : taken) {
      if (equalUtf8NoCase(candidate, alias)) {
        free = false;
        break;
      }
    }
    if (free) return candidate;
  }
}

}  // namespace qvjsonconfig
