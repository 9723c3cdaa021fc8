#include "discovery/DeviceManager.h"

#include <algorithm>
#include <set>

#include "discovery/DeviceIterator.h"
#include "discovery/PersistentTokenGenerator.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace vusk = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

namespace {

constexpr std::uint32_t kNotPlaced = 0xFFFFFFFF;

std::uint32_t deviceNumberOf(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
  return 0x10000000u | (bus << 16) | ((255u - device) << 8) | function;
}

}  // namespace

template <typename P>
DeviceManagerTemplate<P>::DeviceManagerTemplate(const char* interfaceName)
    : interfaceName_(interfaceName) {
  {
    qverr::ThrowingStatusRecord status;
    deviceMutex_.create(&status);
    listenerMutex_.create(&status);
  }
  observer_ = std::make_unique<DeviceNotificationObserver>(interfaceName);
}

template <typename P>
DeviceManagerTemplate<P>::~DeviceManagerTemplate() {
  stopObserver();
}

template <typename P>
void DeviceManagerTemplate<P>::startObserver() {
  observer_->start(this);
}

template <typename P>
void DeviceManagerTemplate<P>::stopObserver() {
  observer_.reset();
}

template <typename P>
void DeviceManagerTemplate<P>::refresh() {
  vusk::tMutexLock lock(deviceMutex_);
  const std::vector<std::shared_ptr<DeviceEntry>> scanned = enumerateDevices();
  std::set<std::string> tokens;
  std::set<std::string> paths;
  for (const auto& entry : scanned) {
    tokens.insert(entry->info.token);
    paths.insert(entry->info.interfacePath);
  }
  // An entry stays only while a scanned module carries its token under its path: a module
  // that moved to another path is listed once, under the new one.
  std::erase_if(table_, [&](const auto& item) {
    return tokens.count(item.second.info.token) == 0 || paths.count(item.first) == 0;
  });
  for (const auto& entry : scanned) {
    auto found = table_.find(entry->info.interfacePath);
    if (found == table_.end()) {
      table_.emplace(entry->info.interfacePath, *entry);
    } else {
      found->second.info = entry->info;
    }
  }
  ++generation_;
}

template <typename P>
void DeviceManagerTemplate<P>::refreshAndNotify() {
  refresh();
  vusk::tMutexLock lock(listenerMutex_);
  // A listener may add or remove listeners while it is told: the walk follows a copy and
  // skips whoever was removed meanwhile; listeners added now are told from the next change.
  const std::vector<IChangeNotificationHandler*> walk = listeners_;
  for (IChangeNotificationHandler* listener : walk) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    listener->onChange();
  }
}

template <typename P>
bool DeviceManagerTemplate<P>::hasChanged(std::uint64_t generation) {
  vusk::tMutexLock lock(deviceMutex_);
  return generation != generation_;
}

template <typename P>
std::vector<std::shared_ptr<const DeviceInfo>> DeviceManagerTemplate<P>::getDevices(
    std::uint64_t& generation) {
  vusk::tMutexLock lock(deviceMutex_);
  std::vector<std::shared_ptr<const DeviceInfo>> devices;
  devices.reserve(table_.size());
  for (const auto& item : table_) devices.push_back(std::make_shared<DeviceInfo>(item.second.info));
  generation = generation_;
  return devices;
}

template <typename P>
void DeviceManagerTemplate<P>::addListener(IChangeNotificationHandler* listener) {
  if (listener == nullptr) return;
  vusk::tMutexLock lock(listenerMutex_);
  listeners_.push_back(listener);
}

template <typename P>
void DeviceManagerTemplate<P>::removeListener(IChangeNotificationHandler* listener) {
  vusk::tMutexLock lock(listenerMutex_);
  std::erase(listeners_, listener);
}

template <typename P>
DeviceHandles<P> DeviceManagerTemplate<P>::openFresh(DeviceEntry& entry) {
  DeviceHandles<P> handles;
  handles.proxy =
      std::make_shared<AutoOpenCloseInterfaceProxy<P>>(entry.info.interfacePath.c_str());
  entry.proxy = handles.proxy;
  handles.fpga = std::make_shared<user::Fpga>(handles.proxy);
  entry.fpga = handles.fpga;
  return handles;
}

template <typename P>
DeviceHandles<P> DeviceManagerTemplate<P>::openDevice(const std::string& interfacePath) {
  vusk::tMutexLock lock(deviceMutex_);
  auto found = table_.find(interfacePath);
  if (found == table_.end()) qverr::throwError(qverr::kResourceNotFound);
  DeviceEntry& entry = found->second;
  DeviceHandles<P> handles{entry.proxy.lock(), entry.fpga.lock()};
  if (handles.proxy == nullptr) return openFresh(entry);
  nQVVUSKS100::tStatus status;
  const bool valid = handles.proxy->command8302(&status);
  // An invalid proxy stays with its holders; new openers get a new one.
  if (!valid || status.isError()) return openFresh(entry);
  if (handles.fpga == nullptr) {
    handles.fpga = std::make_shared<user::Fpga>(handles.proxy);
    entry.fpga = handles.fpga;
  }
  return handles;
}

template <typename P>
std::shared_ptr<AutoOpenCloseInterfaceProxy<P>> DeviceManagerTemplate<P>::openInterfaceProxy(
    const std::string& interfacePath) {
  return openDevice(interfacePath).proxy;
}

template <typename P>
DeviceManagerPxiTemplate<P>::DeviceManagerPxiTemplate(const char* interfaceName,
                                                      const IPciModelNameIdentifier& models,
                                                      const QPxiLibrary& pxi)
    : DeviceManagerTemplate<P>(interfaceName), models_(models), pxi_(pxi) {}

template <typename P>
DeviceManagerPxiTemplate<P>::~DeviceManagerPxiTemplate() {
  // A rescan on the observer thread uses the PXI session: the thread ends first.
  this->stopObserver();
  pxiSession_.reset();
}

template <typename P>
void DeviceManagerPxiTemplate<P>::openPxiSession() {
  if (!pxi_.loaded) return;
  auto session = std::make_unique<qvqpxi::Session>(qvqpxi::openPXISession(0, pxi_));
  vusk::tMutexLock lock(this->deviceMutex_);
  pxiSession_ = std::move(session);
}

template <typename P>
bool DeviceManagerPxiTemplate<P>::pxiSessionStale() const {
  return pxiSession_ == nullptr || pxiSession_->getU32Attribute(IPxiQuery::kSessionValidity) == 0;
}

template <typename P>
bool DeviceManagerPxiTemplate<P>::hasChanged(std::uint64_t generation) {
  vusk::tMutexLock lock(this->deviceMutex_);
  if (generation != this->generation_) return true;
  if (!pxi_.loaded) return false;
  return pxiSessionStale();
}

template <typename P>
std::vector<std::shared_ptr<const DeviceInfo>> DeviceManagerPxiTemplate<P>::getDevices(
    std::uint64_t& generation) {
  vusk::tMutexLock lock(this->deviceMutex_);
  if (pxi_.loaded && pxiSessionStale()) this->refresh();
  return DeviceManagerTemplate<P>::getDevices(generation);
}

template <typename P>
std::optional<typename DeviceManagerPxiTemplate<P>::PxiDescriptor>
DeviceManagerPxiTemplate<P>::describe(std::uint32_t bus, std::uint32_t device,
                                      std::uint32_t function, const std::string& model) {
  if (!pxi_.loaded) return std::nullopt;
  try {
    if (pxiSessionStale()) {
      // A failed open keeps the previous session.
      auto fresh = std::make_unique<qvqpxi::Session>(qvqpxi::openPXISession(0, pxi_));
      pxiSession_ = std::move(fresh);
    }
    std::uint32_t chassis = 0;
    std::uint32_t slot = 0;
    {
      const qvqpxi::Device item = pxiSession_->openDeviceByAddr({0, bus, device, function});
      chassis = item.getU32Attribute(IPxiQuery::kChassisNumber);
      slot = item.getU32Attribute(IPxiQuery::kSlotNumber);
    }
    if (chassis == kNotPlaced || slot == kNotPlaced) return std::nullopt;
    return PxiDescriptor{makePxiToken(model, chassis, slot),
                         "PXI" + std::to_string(chassis) + "Slot" + std::to_string(slot)};
  } catch (...) {
    // Any failure of the library means the module is described by its PCI slot path.
    return std::nullopt;
  }
}

template <typename P>
std::vector<std::shared_ptr<typename DeviceManagerPxiTemplate<P>::DeviceEntry>>
DeviceManagerPxiTemplate<P>::enumerateDevices() {
  qvjsonconfig::VUSKDeviceIterator modules(this->interfaceName());
  std::vector<std::shared_ptr<DeviceEntry>> result;
  for (; !modules.isEnd(); modules.next()) {
    try {
      std::uint32_t bus = 0, device = 0, function = 0, vendor = 0, deviceId = 0, subsystem = 0;
      modules.getBusPropertyU32("pciBusNumber", bus);
      modules.getBusPropertyU32("pciDeviceNumber", device);
      modules.getBusPropertyU32("pciFunctionNumber", function);
      modules.getBusPropertyU32("pciVendorID", vendor);
      modules.getBusPropertyU32("pciDeviceID", deviceId);
      modules.getBusPropertyU32("pciSubsystemID", subsystem);
      const std::string model = models_.getModelName(static_cast<std::int32_t>(vendor),
                                                     static_cast<std::int32_t>(deviceId),
                                                     static_cast<std::int32_t>(subsystem));
      auto entry = std::make_shared<DeviceEntry>();
      if (std::optional<PxiDescriptor> pxi = describe(bus, device, function, model)) {
        entry->info.token = std::move(pxi->token);
        entry->info.pxiName = std::move(pxi->pxiName);
      } else {
        std::string slotPath;
        modules.getBusPropertyString("pciSlotPath", slotPath);
        entry->info.token = makePciToken(model, slotPath);
      }
      entry->info.deviceNumber = deviceNumberOf(bus, device, function);
      entry->info.interfacePath = modules.getInterfacePath();
      entry->info.interfaceName = this->interfaceName();
      result.push_back(std::move(entry));
    } catch (...) {
      // A module that cannot be described is left out of this scan; the others are listed.
    }
  }
  return result;
}

template class DeviceManagerTemplate<VandrelProxy>;
template class DeviceManagerPxiTemplate<VandrelProxy>;

}  // namespace qvkel
