#pragma once
// The device list handed to the host: the device manager's snapshot as host-facing devices in
// interface-path order, whether that snapshot is stale, and the host's change listeners carried
// to the device manager and the alias manager. Its resolver lets each device find its siblings
// by token. The list has no lock: a host serialises its own calls on one list.

#include <cstdint>
#include <vector>

#include "devkit/SessionServices.h"
#include "discovery/IAliasManager.h"
#include "discovery/IDeviceDiscoverer.h"
#include "qvkel/IDeviceList.h"
#include "qvkel/IDeviceResolver.h"

namespace qvkel {

class DeviceList : public IDeviceList {
 public:
  class DeviceResolver : public IDeviceResolver {
   public:
    explicit DeviceResolver(const std::vector<IDevice*>& devices) : devices_(devices) {}
    IDevice* findDevice(const char* name) override;

   private:
    const std::vector<IDevice*>& devices_;
  };

  // All three are borrowed from the plug-in. Empty until the first refresh.
  DeviceList(IDeviceDiscoverer& manager, ISessionFactory& sessions, IAliasManager& aliases);
  ~DeviceList() override;
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  std::int32_t reserved() override { return 0; }
  bool hasChanged() override;
  void refresh(nQVVUSKS100::tStatus* status) override;
  std::uint64_t getCount() override { return devices_.size(); }
  IDevice* getDevice(std::uint32_t index, std::int32_t kind, nQVVUSKS100::tStatus* status) override;
  void release() override { delete this; }
  void registerListener(IChangeNotificationHandler* listener,
                        nQVVUSKS100::tStatus* status) override;
  void unregisterListener(IChangeNotificationHandler* listener) override;

  IDeviceResolver& resolver() { return resolver_; }

 private:
  void clear();

  IDeviceDiscoverer& manager_;
  // The manager's generation at the last successful snapshot; all ones before the first.
  std::uint64_t generation_ = ~std::uint64_t{0};
  ISessionFactory& sessions_;
  IAliasManager& aliases_;
  std::vector<IDevice*> devices_;
  DeviceResolver resolver_{devices_};
};

}  // namespace qvkel
