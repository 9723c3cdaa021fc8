#pragma once
// The snapshot and listener side of the device manager: what the alias rules and the device list
// read of it. The device manager implements it; it raises qverr::Exception on failure.

#include <cstdint>
#include <memory>
#include <vector>

#include "discovery/DeviceInfo.h"
#include "qvkel/IChangeNotificationHandler.h"

namespace qvkel {

class IDeviceDiscoverer {
 public:
  virtual ~IDeviceDiscoverer() = default;
  // Whether a caller that last saw `generation` must take a new snapshot.
  virtual bool hasChanged(std::uint64_t generation) = 0;
  // One description per module in table order; `generation` receives the table's generation.
  virtual std::vector<std::shared_ptr<const DeviceInfo>> getDevices(std::uint64_t& generation) = 0;
  // Listeners are told after every notified rescan; a null listener is ignored.
  virtual void addListener(IChangeNotificationHandler* listener) = 0;
  virtual void removeListener(IChangeNotificationHandler* listener) = 0;
};

}  // namespace qvkel
