#pragma once
// The plug-in's aliases as the device objects and the device list use them. Failures are
// raised as qverr::Exception.

#include <cstdint>
#include <string>

#include "discovery/DeviceInfo.h"
#include "qvkel/IChangeNotificationHandler.h"

namespace qvkel {

class IAliasManager {
 public:
  // `mode` of setAlias: what to do when another module already answers to the name.
  static constexpr std::uint32_t kRefuseConflict = 0;
  static constexpr std::uint32_t kTakeOver = 1;

  virtual ~IAliasManager() = default;
  // Listeners are told after any process changed an alias, on the configuration-change thread.
  virtual void addChangeListener(IChangeNotificationHandler* listener) = 0;
  virtual void removeChangeListener(IChangeNotificationHandler* listener) = 0;
  // The module's alias (by its token); empty when it has none. Reads no file.
  virtual std::string getAlias(const DeviceInfo& device) = 0;
  // Stores `alias` for the module; the empty alias, or the module's own device name, clears it.
  // When another module answers to the name, `conflictingToken` receives its token: with mode
  // 1 that module loses its alias to this one in the same commit; with any other mode nothing
  // changes. -63180 for a malformed or reserved alias; file failures pass.
  virtual void setAlias(const DeviceInfo& device, const std::string& alias, std::uint32_t mode,
                        std::string& conflictingToken) = 0;
};

}  // namespace qvkel
