// Stand-in for the maker's PXI query library "libqvqpxi.so.1": sessions, chassis, slots,
// devices and trigger bridges with the numeric attributes the plug-in reads, answered from a
// table that tests fill through the qvsim_qpxi_* entry points. Every call is logged; any entry
// point can be made to fail once; open sessions can be invalidated. Handles are numbers the
// library hands out and takes back with qvqpxi_close.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/libs/StandInLog.h"

namespace {

// The caller's status object: i32 code, u32 detail capacity, the grow callback, the detail.
struct CallerStatus {
  int32_t code;
  uint32_t capacity;
  bool (*grow)(CallerStatus& status, uint32_t needed);
  char* detail;
};
static_assert(sizeof(CallerStatus) == 24);

struct PciAddress {
  uint32_t reserved, bus, device, function;
};

enum class Kind { Session, Chassis, Slot, Device, TriggerBridge };

struct DeviceEntry {
  uint32_t bus, device, function, chassis, slot, slotValue;
};

struct Item {
  Kind kind;
  uint32_t chassis = 0;  // chassis number (chassis, slot, device, bridge)
  uint32_t slot = 0;     // slot number (slot, device)
  size_t device = 0;     // index into the device table (device)
  uint32_t bridge = 0;   // bridge index (bridge)
};

struct Container {
  std::vector<Item> items;
};

constexpr int32_t kNotFound = -52006;
constexpr int32_t kInvalidArgument = -52005;
constexpr int32_t kSessionInvalid = -52010;
constexpr uint32_t kNone = 0xFFFFFFFF;

std::mutex gMutex;
std::condition_variable gInvalidated;
std::vector<DeviceEntry> gDevices;
std::map<uint32_t, uint32_t> gBridges;  // chassis -> number of trigger bridges
std::map<uint64_t, Item> gItems;
std::map<uint64_t, Container> gContainers;
std::set<uint64_t> gInvalidSessions;
std::map<std::string, int32_t> gFailures;  // entry point -> code of its next call
std::vector<std::string> gCalls;
uint64_t gNextHandle = 0x1000;
uint64_t gCancelled = 0;

// Records the call; true when the call is to go on, false when a failure was injected.
bool enter(const char* name, CallerStatus* status) {
  gCalls.emplace_back(name);
  auto f = gFailures.find(name);
  if (f == gFailures.end()) return true;
  int32_t code = f->second;
  gFailures.erase(f);
  if (status != nullptr && status->code >= 0) status->code = code;
  return false;
}

// Sets an error with a small detail naming the entry point (written through the caller's own
// grow callback, as the library does).
void fail(CallerStatus* status, int32_t code, const char* name) {
  if (status == nullptr || status->code < 0) return;
  status->code = code;
  std::string text = std::string("{\"qvqpxi\":{\"call\":\"") + name + "\"}}";
  if (status->grow != nullptr && status->grow(*status, static_cast<uint32_t>(text.size() + 1)) &&
      status->detail != nullptr && status->capacity >= text.size() + 1)
    std::memcpy(status->detail, text.c_str(), text.size() + 1);
}

uint64_t open(const Item& item) {
  uint64_t handle = gNextHandle++;
  gItems[handle] = item;
  return handle;
}

const Item* find(uint64_t handle) {
  auto it = gItems.find(handle);
  return it == gItems.end() ? nullptr : &it->second;
}

// The container behind a handle; an unknown one fails the call.
Container* findContainer(uint64_t container, CallerStatus* status, const char* name) {
  auto it = gContainers.find(container);
  if (it != gContainers.end()) return &it->second;
  fail(status, kInvalidArgument, name);
  return nullptr;
}

bool chassisExists(uint32_t chassis) {
  for (const DeviceEntry& d : gDevices)
    if (d.chassis == chassis) return true;
  return false;
}

bool slotExists(uint32_t chassis, uint32_t slot) {
  for (const DeviceEntry& d : gDevices)
    if (d.chassis == chassis && d.slot == slot) return true;
  return false;
}

uint32_t slotValue(uint32_t chassis, uint32_t slot) {
  for (const DeviceEntry& d : gDevices)
    if (d.chassis == chassis && d.slot == slot) return d.slotValue;
  return kNone;
}

// A handle that must name a live, valid session.
bool checkSession(uint64_t handle, CallerStatus* status, const char* name) {
  const Item* item = find(handle);
  if (item == nullptr || item->kind != Kind::Session) {
    fail(status, kInvalidArgument, name);
    return false;
  }
  if (gInvalidSessions.count(handle) != 0) {
    fail(status, kSessionInvalid, name);
    return false;
  }
  return true;
}

// The numeric attributes of an item as {id, value} pairs.
std::vector<std::pair<uint32_t, uint32_t>> attributes(const Item& item, uint64_t handle) {
  switch (item.kind) {
    case Kind::Session:
      return {{0, gInvalidSessions.count(handle) != 0 ? 0u : 1u}};
    case Kind::Chassis:
    case Kind::TriggerBridge:
      return {{0x1000, item.chassis}};
    case Kind::Slot:
      return {{0x1000, item.chassis},
              {0x2008, item.slot},
              {0x2005, slotValue(item.chassis, item.slot)}};
    case Kind::Device: {
      const DeviceEntry& d = gDevices[item.device];
      return {{0x1000, d.chassis},
              {0x2008, d.slot},
              {0x3000, d.bus},
              {0x3001, d.device},
              {0x3002, d.function}};
    }
  }
  return {};
}

bool readU32(const Item& item, uint64_t handle, uint32_t id, uint32_t& value) {
  for (const auto& [key, v] : attributes(item, handle)) {
    if (key == id) {
      value = v;
      return true;
    }
  }
  return false;
}

}  // namespace

#define QPXI_EXPORT extern "C" __attribute__((visibility("default")))

QPXI_EXPORT uint64_t qvqpxi_openPXISession(uint32_t, CallerStatus* status) {
  std::lock_guard lock(gMutex);
  if (!enter("qvqpxi_openPXISession", status) || status == nullptr || status->code < 0) return 0;
  return open(Item{Kind::Session});
}

QPXI_EXPORT uint64_t qvqpxi_openChassisByNumber(uint64_t session, uint32_t number,
                                                CallerStatus* status) {
  const char* name = "qvqpxi_openChassisByNumber";
  std::lock_guard lock(gMutex);
  if (!enter(name, status) || !checkSession(session, status, name)) return 0;
  if (!chassisExists(number)) {
    fail(status, kNotFound, name);
    return 0;
  }
  return open(Item{Kind::Chassis, number});
}

QPXI_EXPORT uint64_t qvqpxi_openSlotByNumber(uint64_t handle, uint32_t number,
                                             CallerStatus* status) {
  const char* name = "qvqpxi_openSlotByNumber";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* chassis = find(handle);
  if (chassis == nullptr || chassis->kind != Kind::Chassis ||
      !slotExists(chassis->chassis, number)) {
    fail(status, kNotFound, name);
    return 0;
  }
  return open(Item{Kind::Slot, chassis->chassis, number});
}

QPXI_EXPORT uint64_t qvqpxi_openDeviceByAddr(uint64_t session, const PciAddress* address,
                                             CallerStatus* status) {
  const char* name = "qvqpxi_openDeviceByAddr";
  std::lock_guard lock(gMutex);
  if (!enter(name, status) || !checkSession(session, status, name)) return 0;
  if (address == nullptr) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  for (size_t i = 0; i < gDevices.size(); ++i) {
    const DeviceEntry& d = gDevices[i];
    if (d.bus == address->bus && d.device == address->device && d.function == address->function)
      return open(Item{Kind::Device, d.chassis, d.slot, i});
  }
  fail(status, kNotFound, name);
  return 0;
}

QPXI_EXPORT uint64_t qvqpxi_openContainingItem(uint64_t handle, uint32_t kind,
                                               CallerStatus* status) {
  const char* name = "qvqpxi_openContainingItem";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* item = find(handle);
  if (item == nullptr || item->kind == Kind::Session || item->kind == Kind::Chassis ||
      (kind != 1 && kind != 2) || (kind == 2 && item->kind != Kind::Device)) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  if (kind == 1) return open(Item{Kind::Chassis, item->chassis});
  return open(Item{Kind::Slot, item->chassis, item->slot});
}

QPXI_EXPORT uint32_t qvqpxi_getU32Attribute(uint64_t handle, uint32_t id, CallerStatus* status) {
  const char* name = "qvqpxi_getU32Attribute";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* item = find(handle);
  uint32_t value = 0;
  if (item == nullptr || !readU32(*item, handle, id, value)) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  return value;
}

QPXI_EXPORT const char* qvqpxi_getStringAttribute(uint64_t handle, uint32_t, CallerStatus* status) {
  const char* name = "qvqpxi_getStringAttribute";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return nullptr;
  // No text attributes are modelled.
  (void)handle;
  fail(status, kInvalidArgument, name);
  return nullptr;
}

QPXI_EXPORT uint64_t qvqpxi_getItemContainer(uint64_t handle, uint32_t kind, CallerStatus* status) {
  const char* name = "qvqpxi_getItemContainer";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* item = find(handle);
  if (item == nullptr) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  Container c;
  if (item->kind == Kind::Session && kind == 0) {
    std::set<uint32_t> numbers;
    for (const DeviceEntry& d : gDevices)
      if (d.chassis != kNone) numbers.insert(d.chassis);
    for (uint32_t n : numbers) c.items.push_back(Item{Kind::Chassis, n});
  } else if (item->kind == Kind::Chassis && kind == 0x1000) {
    std::set<uint32_t> slots;
    for (const DeviceEntry& d : gDevices)
      if (d.chassis == item->chassis) slots.insert(d.slot);
    for (uint32_t s : slots) c.items.push_back(Item{Kind::Slot, item->chassis, s});
  } else if (item->kind == Kind::Chassis && kind == 0x1001) {
    auto b = gBridges.find(item->chassis);
    for (uint32_t i = 0; b != gBridges.end() && i < b->second; ++i)
      c.items.push_back(Item{Kind::TriggerBridge, item->chassis, 0, 0, i});
  } else if (item->kind == Kind::Slot && kind == 0x2000) {
    for (size_t i = 0; i < gDevices.size(); ++i)
      if (gDevices[i].chassis == item->chassis && gDevices[i].slot == item->slot)
        c.items.push_back(Item{Kind::Device, item->chassis, item->slot, i});
  } else {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  uint64_t container = gNextHandle++;
  gContainers[container] = std::move(c);
  return container;
}

QPXI_EXPORT uint64_t qvqpxi_duplicateItemContainer(uint64_t container, CallerStatus* status) {
  const char* name = "qvqpxi_duplicateItemContainer";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Container* c = findContainer(container, status, name);
  if (c == nullptr) return 0;
  uint64_t copy = gNextHandle++;
  gContainers[copy] = *c;
  return copy;
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_begin(uint64_t container, CallerStatus* status) {
  const char* name = "qvqpxi_ItemIterator_begin";
  std::lock_guard lock(gMutex);
  if (enter(name, status)) findContainer(container, status, name);
  return 0;
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_nextItem(uint64_t container, uint64_t* position,
                                                  CallerStatus* status) {
  const char* name = "qvqpxi_ItemIterator_nextItem";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Container* c = findContainer(container, status, name);
  if (c == nullptr) return 0;
  if (position == nullptr || *position >= c->items.size()) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  return open(c->items[(*position)++]);
}

QPXI_EXPORT uint64_t qvqpxi_ItemIterator_end(uint64_t container, CallerStatus* status) {
  const char* name = "qvqpxi_ItemIterator_end";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Container* c = findContainer(container, status, name);
  return c == nullptr ? 0 : c->items.size();
}

QPXI_EXPORT void qvqpxi_destroyItemContainer(uint64_t container) {
  std::lock_guard lock(gMutex);
  enter("qvqpxi_destroyItemContainer", nullptr);
  gContainers.erase(container);
}

QPXI_EXPORT uint64_t qvqpxi_duplicate(uint64_t handle, CallerStatus* status) {
  const char* name = "qvqpxi_duplicate";
  std::lock_guard lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* item = find(handle);
  if (item == nullptr) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  Item copy = *item;
  uint64_t duplicate = open(copy);
  if (gInvalidSessions.count(handle) != 0) gInvalidSessions.insert(duplicate);
  return duplicate;
}

QPXI_EXPORT void qvqpxi_close(uint64_t handle) {
  std::lock_guard lock(gMutex);
  enter("qvqpxi_close", nullptr);
  gItems.erase(handle);
  gInvalidSessions.erase(handle);
}

QPXI_EXPORT uint32_t qvqpxi_waitForSessionInvalidation(uint64_t session, uint32_t timeoutMs,
                                                       CallerStatus* status) {
  const char* name = "qvqpxi_waitForSessionInvalidation";
  std::unique_lock lock(gMutex);
  if (!enter(name, status)) return 0;
  const Item* item = find(session);
  if (item == nullptr || item->kind != Kind::Session) {
    fail(status, kInvalidArgument, name);
    return 0;
  }
  uint64_t cancelled = gCancelled;
  auto done = [&] { return gInvalidSessions.count(session) != 0 || gCancelled != cancelled; };
  if (timeoutMs == 0xFFFFFFFF)
    gInvalidated.wait(lock, done);
  else
    gInvalidated.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  return gInvalidSessions.count(session) != 0 ? 1 : 0;
}

#ifndef QVSIM_QPXI_WITHOUT_CANCEL
QPXI_EXPORT void qvqpxi_cancelWaitForInvalidation(uint64_t) {
  std::lock_guard lock(gMutex);
  enter("qvqpxi_cancelWaitForInvalidation", nullptr);
  ++gCancelled;
  gInvalidated.notify_all();
}
#endif

// Test controls.

QPXI_EXPORT void qvsim_qpxi_reset(void) {
  std::lock_guard lock(gMutex);
  gDevices.clear();
  gBridges.clear();
  gItems.clear();
  gContainers.clear();
  gInvalidSessions.clear();
  gFailures.clear();
  gCalls.clear();
}

// A module at a PCI location placed in a chassis slot (chassis 0xFFFFFFFF: known to the
// library but in no chassis); slotValue is the slot item's attribute 8197.
QPXI_EXPORT void qvsim_qpxi_addDevice(uint32_t bus, uint32_t device, uint32_t function,
                                      uint32_t chassis, uint32_t slot, uint32_t slotValue) {
  std::lock_guard lock(gMutex);
  gDevices.push_back(DeviceEntry{bus, device, function, chassis, slot, slotValue});
}

QPXI_EXPORT void qvsim_qpxi_setTriggerBridges(uint32_t chassis, uint32_t count) {
  std::lock_guard lock(gMutex);
  gBridges[chassis] = count;
}

// Every session open now reads validity 0 and refuses further queries with -52010; sessions
// opened later are valid.
QPXI_EXPORT void qvsim_qpxi_invalidateSessions(void) {
  std::lock_guard lock(gMutex);
  for (const auto& [handle, item] : gItems)
    if (item.kind == Kind::Session) gInvalidSessions.insert(handle);
  gInvalidated.notify_all();
}

// The next call of the named entry point fails with `code` and does nothing else.
QPXI_EXPORT void qvsim_qpxi_failNext(const char* entry, int32_t code) {
  std::lock_guard lock(gMutex);
  gFailures[entry] = code;
}

QPXI_EXPORT int qvsim_qpxi_callCount(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gCalls.size());
}

QPXI_EXPORT int qvsim_qpxi_callName(int index, char* buffer, int size) {
  std::lock_guard lock(gMutex);
  return sim::libs::copyLoggedCall(gCalls, index, buffer, size);
}

// Item handles handed out and not yet closed.
QPXI_EXPORT int qvsim_qpxi_openHandles(void) {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gItems.size());
}
