#pragma once
// The device list that qvkel_getPluginInterface (version 0) hands to the host: the modules of
// this generation that the driver serves, as host-facing devices. The host owns the list and
// ends it with release. The host calls by slot: the order below is the interface.
//
// Status records follow the merge rule: a call records its failure in the host's record and
// never replaces an error already there.

#include <cstdint>

#include "qvkel/IChangeNotificationHandler.h"

namespace nQVVUSKS100 {
struct tStatus;
}

namespace qvkel {

class IDevice;

class IDeviceList {
 public:
  // Slot 0: no operation of its own; answers 0.
  virtual std::int32_t reserved() = 0;
  // Slot 1: whether the modules changed since the last refresh (true before the first).
  virtual bool hasChanged() = 0;
  // Slot 2: replaces every device by the modules present now. Devices handed out before are
  // gone afterwards. A failed snapshot leaves the list empty.
  virtual void refresh(nQVVUSKS100::tStatus* status) = 0;
  // Slot 3
  virtual std::uint64_t getCount() = 0;
  // Slot 4: kind 0 asks for the device at `index` (-52005 past the end); any other kind gives
  // -63193. The device stays owned by the list until the next refresh or release.
  virtual IDevice* getDevice(std::uint32_t index, std::int32_t kind,
                             nQVVUSKS100::tStatus* status) = 0;
  // Slot 5: deletes the devices and the list.
  virtual void release() = 0;
  // Slots 6 and 7: the listener is told after every change of the modules present and of any
  // alias, on the library's thread that noticed it. Release does not unregister.
  virtual void registerListener(IChangeNotificationHandler* listener,
                                nQVVUSKS100::tStatus* status) = 0;
  virtual void unregisterListener(IChangeNotificationHandler* listener) = 0;
  // Slots 8 and 9.
  virtual ~IDeviceList() = default;
};

}  // namespace qvkel
