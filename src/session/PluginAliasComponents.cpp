#include "session/PluginAliasComponents.h"

#include "foundation/system/stdpath.h"

namespace qvkel {

std::string PluginAliasComponents::configurationDirectory() {
  return qvsysq::SysqWrapper().getLocalStateDirectory() + kDirectoryName;
}

PluginAliasComponents::PluginAliasComponents(IDeviceDiscoverer& devices,
                                             const IPciModelNameIdentifier& models,
                                             const QPxiLibrary& pxi)
    : file_((configurationDirectory() + kFileName).c_str(), true),
      tokens_(models, pxi),
      deviceIterators_(kInterfaceName, tokens_),
      attributes_(aliasFactory_),
      configuration_(file_, deviceIterators_, attributes_),
      notificationThread_(configuration_),
      directoryMonitorThread_(configuration_, configurationDirectory()),
      storage_(file_, configuration_, deviceIterators_, attributes_, notificationThread_),
      conflicter_(devices, &aliasFactory_),
      manager_(storage_, conflicter_, &aliasFactory_) {}

PluginAliasComponents::~PluginAliasComponents() = default;

}  // namespace qvkel
