#include "discovery/AliasConflicter.h"

#include "devkit/XmlValues.h"
#include "discovery/IAliasStorage.h"
#include "discovery/IAliasVisibility.h"
#include "discovery/IDeviceDiscoverer.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace {

// Letters and digits as the C locale classifies them, whatever locale the host has set.
bool isAliasCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

}  // namespace

void checkAlias(const std::string& alias) {
  for (char c : alias) {
    if (!isAliasCharacter(c)) qverr::throwError(kInvalidAlias);
  }
  if (equalsIgnoringAsciiCase(alias, "HOST") || equalsIgnoringAsciiCase(alias, "NULL")) {
    qverr::throwError(kInvalidAlias);
  }
}

std::string AliasConflicterComposite::findConflict(IAliasStorageData& data,
                                                   const std::string& alias) {
  for (IAliasConflicter* conflicter : conflicters_) {
    std::string token = conflicter->findConflict(data, alias);
    if (!token.empty()) return token;
  }
  return {};
}

std::string AliasConflicterAliasesInStorage::findConflict(IAliasStorageData& data,
                                                          const std::string& alias) {
  if (visibility_ == nullptr) return data.findTokenByAlias(alias);
  return data.findTokenByAlias(alias, [this](const std::string& token) { return hidden(token); });
}

bool AliasConflicterAliasesInStorage::hidden(const std::string& token) {
  // Only a present module that can be asked may give its name up; an absent one, or one whose
  // driver cannot be reached, keeps it reserved rather than failing another module's set.
  std::uint64_t generation = 0;
  for (const std::shared_ptr<const DeviceInfo>& device : devices_->getDevices(generation)) {
    if (device->token != token) continue;
    try {
      return !visibility_->showsAlias(*device);
    } catch (const qverr::Exception&) {
      return false;
    }
  }
  return false;
}

AliasConflicterDefaultAliases::AliasConflicterDefaultAliases(IDeviceDiscoverer& devices)
    : source_(devices) {
  devices_ = source_.getDevices(generation_);
}

std::string AliasConflicterDefaultAliases::findConflict(IAliasStorageData&,
                                                        const std::string& alias) {
  if (source_.hasChanged(generation_)) {
    std::uint64_t generation = 0;
    std::vector<std::shared_ptr<const DeviceInfo>> devices = source_.getDevices(generation);
    devices_ = std::move(devices);
    generation_ = generation;
  }
  for (const std::shared_ptr<const DeviceInfo>& device : devices_) {
    if (equalsIgnoringAsciiCase(device->pxiName, alias)) return device->token;
  }
  return {};
}

AliasConflicterCommon::AliasConflicterCommon(IDeviceDiscoverer& devices,
                                             IAliasVisibility* visibility)
    : aliasesInStorage_(devices, visibility), defaultAliases_(devices) {
  add(aliasesInStorage_);
  add(defaultAliases_);
}

}  // namespace qvkel
