#pragma once
// The plug-in's alias machinery for this generation, built at initialisation and torn down at
// the last finalisation: the shared alias file "<local-state>/qv-vandrel/qvvandrelbrenmoor.config",
// its process-wide copy, the two threads that follow its changes, the alias rules and the alias
// manager that the device lists and the session factory use.

#include <string>

#include "discovery/AliasAttributeProvider.h"
#include "discovery/AliasConflicter.h"
#include "discovery/AliasManagerCommon.h"
#include "discovery/AliasStorageJsonconfig.h"
#include "discovery/DeviceIteratorCustomPersistentToken.h"
#include "discovery/IDeviceDiscoverer.h"
#include "discovery/LockableFile.h"
#include "discovery/PersistentTokenGenerator.h"
#include "discovery/SynchronizedConfiguration.h"
#include "session/AliasFactoryBrenmoor.h"

namespace qvkel {

class PluginAliasComponents {
 public:
  static constexpr const char* kDirectoryName = "/qv-vandrel";
  static constexpr const char* kFileName = "/qvvandrelbrenmoor.config";
  // The only family the alias file's walk covers. A module's routing interface belongs to the
  // same driver instance and gives the same token: walking it too would visit each module twice,
  // and fix an empty alias for good on a module whose routing interface shows up before its
  // device interface (the driver's alias query is the device interface's).
  static constexpr const char* kInterfaceName = "qvvandrelbrenmoork_vandrelbrenmoor";

  // "<local-state directory>/qv-vandrel".
  static std::string configurationDirectory();

  // All three are borrowed for the object's life. Creates the alias file when it is missing
  // (its folder must exist), reads it and starts both threads. A failure is raised after what
  // was built has been torn down.
  PluginAliasComponents(IDeviceDiscoverer& devices, const IPciModelNameIdentifier& models,
                        const QPxiLibrary& pxi);
  // Stops the manager, then the directory-monitor thread, then the configuration-change thread.
  ~PluginAliasComponents();
  PluginAliasComponents(const PluginAliasComponents&) = delete;
  PluginAliasComponents& operator=(const PluginAliasComponents&) = delete;

  AliasManagerCommon& aliasManager() { return manager_; }

 private:
  // Members in construction order; destroyed in the reverse.
  qvvandrelbrenmooru::AliasFactoryBrenmoor aliasFactory_;
  qvjsonconfig::LockableFile file_;
  PersistentTokenGeneratorPxi tokens_;
  DeviceIteratorFactoryCustomPersistentToken deviceIterators_;
  qvjsonconfig::AliasAttributeProvider attributes_;
  qvjsonconfig::SynchronizedConfiguration configuration_;
  AliasManagerCommon::NotificationThread notificationThread_;
  AliasManagerCommon::DirectoryMonitorThread directoryMonitorThread_;
  AliasStorageJsonconfig storage_;
  AliasConflicterCommon conflicter_;
  AliasManagerCommon manager_;
};

}  // namespace qvkel
