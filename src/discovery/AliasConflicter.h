#pragma once
// The alias rule, and the conflicters that tell whether another module already answers to a
// name: through its stored alias, or through its own device name.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/DeviceInfo.h"

namespace qvkel {

class IAliasStorageData;
class IAliasVisibility;
class IDeviceDiscoverer;

// A malformed or reserved alias.
inline constexpr std::int32_t kInvalidAlias = -63180;

// Accepts only ASCII letters, digits, '_' and '-', and refuses "HOST" and "NULL" in any ASCII
// case: -63180 (the code alone) otherwise. The empty alias passes: it means no alias.
void checkAlias(const std::string& alias);

class IAliasConflicter {
 public:
  virtual ~IAliasConflicter() = default;
  // The token of a module that already answers to `alias`, or empty.
  virtual std::string findConflict(IAliasStorageData& data, const std::string& alias) = 0;
};

// Asks its conflicters (borrowed) in the order added; the first answer wins.
class AliasConflicterComposite : public IAliasConflicter {
 public:
  void add(IAliasConflicter& conflicter) { conflicters_.push_back(&conflicter); }
  std::string findConflict(IAliasStorageData& data, const std::string& alias) override;

 private:
  std::vector<IAliasConflicter*> conflicters_;
};

// A module whose stored alias is the name. With a visibility (both borrowed), a present module
// that does not show its stored alias is not found by it; one that cannot be asked still is.
class AliasConflicterAliasesInStorage : public IAliasConflicter {
 public:
  AliasConflicterAliasesInStorage() = default;
  AliasConflicterAliasesInStorage(IDeviceDiscoverer& devices, IAliasVisibility* visibility)
      : devices_(&devices), visibility_(visibility) {}

  std::string findConflict(IAliasStorageData& data, const std::string& alias) override;

 private:
  bool hidden(const std::string& token);

  IDeviceDiscoverer* devices_ = nullptr;
  IAliasVisibility* visibility_ = nullptr;
};

// A present module whose device name is the name. Keeps the device manager's last listing and
// takes a new one when the manager's table changed. Not safe for concurrent calls: the alias
// manager calls it only inside an edit session, which the file's lock serialises.
class AliasConflicterDefaultAliases : public IAliasConflicter {
 public:
  // Borrows the source and takes its listing now.
  explicit AliasConflicterDefaultAliases(IDeviceDiscoverer& devices);
  AliasConflicterDefaultAliases(const AliasConflicterDefaultAliases&) = delete;
  AliasConflicterDefaultAliases& operator=(const AliasConflicterDefaultAliases&) = delete;

  std::string findConflict(IAliasStorageData& data, const std::string& alias) override;

 private:
  IDeviceDiscoverer& source_;
  std::uint64_t generation_ = ~std::uint64_t{0};
  std::vector<std::shared_ptr<const DeviceInfo>> devices_;
};

// The plug-in's chain: stored aliases first, then device names.
class AliasConflicterCommon : public AliasConflicterComposite {
 public:
  // Both borrowed; the visibility may be null (every stored alias is shown).
  explicit AliasConflicterCommon(IDeviceDiscoverer& devices,
                                 IAliasVisibility* visibility = nullptr);
  AliasConflicterCommon(const AliasConflicterCommon&) = delete;
  AliasConflicterCommon& operator=(const AliasConflicterCommon&) = delete;

 private:
  AliasConflicterAliasesInStorage aliasesInStorage_;
  AliasConflicterDefaultAliases defaultAliases_;
};

}  // namespace qvkel
