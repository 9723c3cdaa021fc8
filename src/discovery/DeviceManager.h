#pragma once
// The plug-in's one registry of this generation's modules: a table with one entry per device
// interface the driver serves, rescanned on request and on every device-node change, handed out
// as snapshots with a generation number; and the shared opening of modules: while a module's
// kernel-interface proxy lives and is valid, every open returns that proxy and the same FPGA
// object. The manager holds both only weakly.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devkit/AutoOpenCloseInterfaceProxy.h"
#include "devkit/Fpga.h"
#include "discovery/DeviceNotificationObserver.h"
#include "discovery/IDeviceDiscoverer.h"
#include "discovery/IPciModelNameIdentifier.h"
#include "discovery/QPxiLibrary.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

// What an open hands out: the module's kernel-interface proxy and the FPGA object over it.
template <typename P>
struct DeviceHandles {
  std::shared_ptr<AutoOpenCloseInterfaceProxy<P>> proxy;
  std::shared_ptr<user::Fpga> fpga;
};

// The snapshot side and the opening of modules. Every operation raises qverr::Exception on
// failure.
template <typename P>
class IDeviceManager : public IDeviceDiscoverer {
 public:
  // The proxy part of openDevice.
  virtual std::shared_ptr<AutoOpenCloseInterfaceProxy<P>> openInterfaceProxy(
      const std::string& interfacePath) = 0;
  // -52006 for a path the table does not hold.
  virtual DeviceHandles<P> openDevice(const std::string& interfacePath) = 0;
  // Rescans, then tells every listener.
  virtual void refreshAndNotify() = 0;
};

template <typename P>
class DeviceManagerTemplate : public IDeviceManager<P>, public ICallbackVoid {
 public:
  struct DeviceEntry {
    DeviceInfo info;
    std::weak_ptr<AutoOpenCloseInterfaceProxy<P>> proxy;
    std::weak_ptr<user::Fpga> fpga;
  };

  // The name is borrowed (a static text). Creates the mutexes and the observer, not started.
  explicit DeviceManagerTemplate(const char* interfaceName);
  // Stops the observer first, so that no rescan runs while the manager is dismantled.
  ~DeviceManagerTemplate() override;
  DeviceManagerTemplate(const DeviceManagerTemplate&) = delete;
  DeviceManagerTemplate& operator=(const DeviceManagerTemplate&) = delete;

  bool hasChanged(std::uint64_t generation) override;
  std::vector<std::shared_ptr<const DeviceInfo>> getDevices(std::uint64_t& generation) override;
  void addListener(IChangeNotificationHandler* listener) override;
  void removeListener(IChangeNotificationHandler* listener) override;
  std::shared_ptr<AutoOpenCloseInterfaceProxy<P>> openInterfaceProxy(
      const std::string& interfacePath) override;
  DeviceHandles<P> openDevice(const std::string& interfacePath) override;
  void refreshAndNotify() override;
  // The scan behind every rescan: one entry per device interface found, in driver order.
  virtual std::vector<std::shared_ptr<DeviceEntry>> enumerateDevices() = 0;

  // The observer's listener operation: rescan and notify.
  void callback() override { refreshAndNotify(); }

  // Starts watching device nodes (once); raises when the thread cannot start.
  void startObserver();
  const char* interfaceName() const { return interfaceName_; }

 protected:
  // Rescan without notifying; under the device mutex.
  void refresh();
  // Stops and joins the observer; a derived class calls it before it takes anything down.
  void stopObserver();

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex deviceMutex_;
  std::uint64_t generation_ = 0;

 private:
  // A new proxy and a new FPGA object over it, both remembered in the entry.
  DeviceHandles<P> openFresh(DeviceEntry& entry);

  const char* interfaceName_;
  std::map<std::string, DeviceEntry> table_;
  std::unique_ptr<DeviceNotificationObserver> observer_;
  std::vector<IChangeNotificationHandler*> listeners_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex listenerMutex_;
};

// The manager the plug-in instantiates: modules named through the model-name table and placed
// through the PXI query library (when it is loaded).
template <typename P>
class DeviceManagerPxiTemplate : public DeviceManagerTemplate<P> {
 public:
  using DeviceEntry = typename DeviceManagerTemplate<P>::DeviceEntry;

  // All three are borrowed. Opens no PXI session yet.
  DeviceManagerPxiTemplate(const char* interfaceName, const IPciModelNameIdentifier& models,
                           const QPxiLibrary& pxi);
  ~DeviceManagerPxiTemplate() override;

  // Opens the manager's first PXI query session when the library is loaded; raises when that
  // fails.
  void openPxiSession();

  bool hasChanged(std::uint64_t generation) override;
  std::vector<std::shared_ptr<const DeviceInfo>> getDevices(std::uint64_t& generation) override;
  std::vector<std::shared_ptr<DeviceEntry>> enumerateDevices() override;

 private:
  struct PxiDescriptor {
    std::string token;
    std::string pxiName;
  };
  // True when there is no session or its validity word reads 0; a failed read raises.
  bool pxiSessionStale() const;
  // Where the library places the module; none on any failure.
  std::optional<PxiDescriptor> describe(std::uint32_t bus, std::uint32_t device,
                                        std::uint32_t function, const std::string& model);

  const IPciModelNameIdentifier& models_;
  const QPxiLibrary& pxi_;
  std::unique_ptr<qvqpxi::Session> pxiSession_;
};

using VandrelProxy = nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor;
using DeviceManager = DeviceManagerPxiTemplate<VandrelProxy>;

extern template class DeviceManagerTemplate<VandrelProxy>;
extern template class DeviceManagerPxiTemplate<VandrelProxy>;

}  // namespace qvkel
