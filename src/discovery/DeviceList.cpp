#include "discovery/DeviceList.h"

#include "devkit/XmlValues.h"
#include "discovery/Device.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace {

constexpr qverr::StatusLocation at(std::uint64_t line) {
  return {"DeviceList", line, qverr::kComponent};
}

constexpr qverr::StatusLocation kRefreshFailed = at(42);
constexpr qverr::StatusLocation kIndexOutOfRange = at(62);
constexpr qverr::StatusLocation kKindRefused = at(64);
constexpr qverr::StatusLocation kNullListener = at(84);
constexpr qverr::StatusLocation kRegistrationFailed = at(93);

// The host's record, or one that nobody reads when the host gave none.
nQVVUSKS100::tStatus& recordOf(nQVVUSKS100::tStatus* status, nQVVUSKS100::tStatus& unread) {
  return status != nullptr ? *status : unread;
}

}  // namespace

DeviceList::DeviceList(IDeviceDiscoverer& manager, ISessionFactory& sessions,
                       IAliasManager& aliases)
    : manager_(manager), sessions_(sessions), aliases_(aliases) {}

DeviceList::~DeviceList() {
  clear();
}

void DeviceList::clear() {
  for (IDevice* device : devices_) delete device;
  devices_.clear();
}

bool DeviceList::hasChanged() {
  // A check that cannot be made (the PXI query library failing) asks for a refresh, whose
  // status tells the host what went wrong: this slot has no status, and nothing may be thrown
  // at the host.
  try {
    return manager_.hasChanged(generation_);
  } catch (...) {
    return true;
  }
}

void DeviceList::refresh(nQVVUSKS100::tStatus* status) {
  // Before anything can fail: a failed snapshot leaves the list empty.
  clear();
  std::uint64_t generation = 0;
  std::vector<std::shared_ptr<const DeviceInfo>> snapshot;
  if (!qverr::runAtBoundary(status, kRefreshFailed,
                            [&] { snapshot = manager_.getDevices(generation); }))
    return;
  const bool complete = qverr::runAtBoundary(status, kRefreshFailed, [&] {
    devices_.reserve(snapshot.size());
    for (const auto& info : snapshot)
      devices_.push_back(new Device(info, &sessions_, &aliases_, &resolver_));
  });
  if (complete) generation_ = generation;
}

IDevice* DeviceList::getDevice(std::uint32_t index, std::int32_t kind,
                               nQVVUSKS100::tStatus* hostStatus) {
  nQVVUSKS100::tStatus unread;
  nQVVUSKS100::tStatus& status = recordOf(hostStatus, unread);
  if (kind != 0) {
    qverr::runAtBoundary(&status, kKindRefused,
                         [] { qverr::throwError(qverr::kOperationNotSupported); });
    return nullptr;
  }
  if (index < devices_.size()) return devices_[index];
  qverr::recordCode(status, qverr::kInvalidParameter, kIndexOutOfRange);
  return nullptr;
}

void DeviceList::registerListener(IChangeNotificationHandler* listener,
                                  nQVVUSKS100::tStatus* hostStatus) {
  nQVVUSKS100::tStatus unread;
  nQVVUSKS100::tStatus& status = recordOf(hostStatus, unread);
  if (listener == nullptr) {
    qverr::recordCode(status, qverr::kInvalidParameter, kNullListener);
    return;
  }
  if (status.isError()) return;
  qverr::runAtBoundary(&status, kRegistrationFailed, [&] {
    manager_.addListener(listener);
    aliases_.addChangeListener(listener);
  });
  if (status.isError()) manager_.removeListener(listener);
}

void DeviceList::unregisterListener(IChangeNotificationHandler* listener) {
  if (listener == nullptr) return;
  try {
    manager_.removeListener(listener);
    aliases_.removeChangeListener(listener);
  } catch (...) {
    // Not reported: the host has nothing to do about it.
  }
}

IDevice* DeviceList::DeviceResolver::findDevice(const char* name) {
  if (name == nullptr) return nullptr;
  for (IDevice* device : devices_) {
    if (equalsIgnoringAsciiCase(device->getName(nullptr), name)) return device;
  }
  return nullptr;
}

}  // namespace qvkel
