#pragma once
// The maker's PXI query library "libqvqpxi.so.1", loaded at run time: which chassis and slot hold
// a module, with chassis, slot, device and trigger-bridge items. The library may be absent; the
// plug-in then runs without PXI descriptors.

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/PxiQuery.h"
#include "foundation/errors/Status.h"

namespace qvqpxi {

// Opaque library handles, containers and iterator positions; 0 means none.
using Handle = uint64_t;
using PciAddress = qvkel::PxiPciAddress;
static_assert(sizeof(PciAddress) == 16);

// Containing-item kinds and container kinds the system uses.
inline constexpr uint32_t kContainingChassis = 1;
inline constexpr uint32_t kContainingSlot = 2;
inline constexpr uint32_t kChassisOfSession = 0;
inline constexpr uint32_t kSlotsOfChassis = 0x1000;
inline constexpr uint32_t kTriggerBridgesOfChassis = 0x1001;
inline constexpr uint32_t kDevicesOfSlot = 0x2000;

// Device-item attributes beyond those of qvkel::IPxiQuery.
inline constexpr uint32_t kPciBusNumber = 12288;
inline constexpr uint32_t kPciDeviceNumber = 12289;
inline constexpr uint32_t kPciFunctionNumber = 12290;

// The library's interface: its 17 entry points in table order. `status` is always last; the
// library writes its code (and may write a detail) into it.
class QPXILibrary {
 public:
  virtual ~QPXILibrary() = default;
  virtual Handle openPXISession(uint32_t flags, qverr::Status* status) const = 0;
  virtual Handle openChassisByNumber(Handle session, uint32_t number,
                                     qverr::Status* status) const = 0;
  virtual Handle openSlotByNumber(Handle handle, uint32_t number, qverr::Status* status) const = 0;
  virtual Handle openDeviceByAddr(Handle session, const PciAddress* address,
                                  qverr::Status* status) const = 0;
  virtual Handle openContainingItem(Handle item, uint32_t kind, qverr::Status* status) const = 0;
  virtual uint32_t getU32Attribute(Handle item, uint32_t id, qverr::Status* status) const = 0;
  virtual const char* getStringAttribute(Handle item, uint32_t id, qverr::Status* status) const = 0;
  virtual Handle getItemContainer(Handle item, uint32_t kind, qverr::Status* status) const = 0;
  virtual Handle duplicateItemContainer(Handle container, qverr::Status* status) const = 0;
  virtual Handle iteratorBegin(Handle container, qverr::Status* status) const = 0;
  virtual Handle iteratorNextItem(Handle container, Handle* position,
                                  qverr::Status* status) const = 0;
  virtual Handle iteratorEnd(Handle container, qverr::Status* status) const = 0;
  virtual void destroyItemContainer(Handle container) const = 0;
  virtual Handle duplicate(Handle item, qverr::Status* status) const = 0;
  virtual void close(Handle item) const = 0;
  virtual uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                              qverr::Status* status) const = 0;
  virtual void cancelWaitForInvalidation(Handle session) const = 0;
};

// Loads the library and resolves its entry points. A failure is left in the caller's status
// (-52005 with the loader's detail); the entry points not resolved stay null, and a call to one
// of them answers -52010 instead of jumping to nothing.
class DynamicQPXILibrary : public QPXILibrary {
 public:
  static constexpr const char* kLibraryName = "libqvqpxi.so.1";
  static constexpr size_t kEntryCount = 17;
  // The symbols in table order.
  static const char* const kEntryNames[kEntryCount];

  explicit DynamicQPXILibrary(qverr::Status& status);
  ~DynamicQPXILibrary() override;
  DynamicQPXILibrary(const DynamicQPXILibrary&) = delete;
  DynamicQPXILibrary& operator=(const DynamicQPXILibrary&) = delete;

  // The resolved address of entry `index` (null when not resolved).
  void* entry(size_t index) const { return entries_[index]; }

  Handle openPXISession(uint32_t flags, qverr::Status* status) const override;
  Handle openChassisByNumber(Handle session, uint32_t number, qverr::Status* status) const override;
  Handle openSlotByNumber(Handle handle, uint32_t number, qverr::Status* status) const override;
  Handle openDeviceByAddr(Handle session, const PciAddress* address,
                          qverr::Status* status) const override;
  Handle openContainingItem(Handle item, uint32_t kind, qverr::Status* status) const override;
  uint32_t getU32Attribute(Handle item, uint32_t id, qverr::Status* status) const override;
  const char* getStringAttribute(Handle item, uint32_t id, qverr::Status* status) const override;
  Handle getItemContainer(Handle item, uint32_t kind, qverr::Status* status) const override;
  Handle duplicateItemContainer(Handle container, qverr::Status* status) const override;
  Handle iteratorBegin(Handle container, qverr::Status* status) const override;
  Handle iteratorNextItem(Handle container, Handle* position, qverr::Status* status) const override;
  Handle iteratorEnd(Handle container, qverr::Status* status) const override;
  void destroyItemContainer(Handle container) const override;
  Handle duplicate(Handle item, qverr::Status* status) const override;
  void close(Handle item) const override;
  uint32_t waitForSessionInvalidation(Handle session, uint32_t value,
                                      qverr::Status* status) const override;
  void cancelWaitForInvalidation(Handle session) const override;

 private:
  template <typename R, typename... A>
  R forward(size_t index, qverr::Status* status, A... args) const;
  template <typename... A>
  void forwardVoid(size_t index, A... args) const;

  void* library_ = nullptr;
  void* entries_[kEntryCount] = {};
};

// One library item: the library (not owned) and one handle (owned: closed on destruction,
// duplicated on copy). Every operation raises the library's failure as qverr::Exception.
class Item {
 public:
  Item(const QPXILibrary& library, Handle handle) : library_(&library), handle_(handle) {}
  Item(const Item& other);
  Item(Item&& other) noexcept;
  Item& operator=(const Item&) = delete;
  Item& operator=(Item&&) = delete;
  virtual ~Item();

  virtual uint32_t getU32Attribute(uint32_t id) const;
  virtual std::string getStringAttribute(uint32_t id) const;
  virtual std::vector<Item> getItems(uint32_t containerKind) const;

  Handle handle() const { return handle_; }
  const QPXILibrary& library() const { return *library_; }

 protected:
  // The items of one of this item's containers, each wrapped as T.
  template <typename T>
  std::vector<T> list(uint32_t containerKind) const;
  // The item that contains this one (chassis or slot).
  Handle containing(uint32_t kind) const;

 private:
  const QPXILibrary* library_;
  Handle handle_;
  bool owned_ = true;  // false once moved from
};

class Chassis;
class Slot;
class TriggerBridge;

class Device : public Item {
 public:
  using Item::Item;
  Slot getSlot() const;
  Chassis getChassis() const;
  // {0, bus, device, function} from the device attributes 12290, 12289 and 12288.
  PciAddress getPciAddress() const;
};

class Slot : public Item {
 public:
  using Item::Item;
  std::vector<Device> getDevices() const;
  Chassis getChassis() const;
};

class Chassis : public Item {
 public:
  using Item::Item;
  std::vector<Slot> getSlots() const;
  std::vector<TriggerBridge> getTriggerBridges() const;
};

class TriggerBridge : public Item {
 public:
  using Item::Item;
  Chassis getChassis() const;
};

class Session : public Item {
 public:
  using Item::Item;
  Device openDeviceByAddr(const PciAddress& address) const;
  Chassis openChassisByNumber(uint32_t number) const;
  std::vector<Chassis> getChassisList() const;
  uint32_t waitForInvalidation(uint32_t value) const;
  void cancelWaitForInvalidation() const;
};

Session openPXISession(uint32_t flags, const QPXILibrary& library);

}  // namespace qvqpxi

namespace qvkel {

// The plug-in's one wrapper of the PXI query library. `loaded` tells whether the load status
// was not negative; nothing is called through a wrapper that is not loaded.
class QPxiLibrary : public qvqpxi::DynamicQPXILibrary, public IPxiQuery {
 public:
  // Loads the library; a failure stays in `status` and leaves `loaded` false.
  explicit QPxiLibrary(qverr::Status& status);

  bool isLoaded() const override { return loaded; }
  std::unique_ptr<IPxiQuery::Session> openPxiSession(uint32_t flags) const override;

  bool loaded = false;
};

}  // namespace qvkel
