#include "discovery/QPxiLibrary.h"

#include <dlfcn.h>

#include <cstddef>
#include <exception>
#include <utility>

#include "foundation/errors/Exception.h"
#include "foundation/system/dynload.h"

namespace qvqpxi {

// The library writes through this layout.
static_assert(offsetof(qverr::Status, code) == 0);
static_assert(offsetof(qverr::Status, capacity) == 4);
static_assert(offsetof(qverr::Status, grow) == 8);
static_assert(offsetof(qverr::Status, detail) == 16);
static_assert(sizeof(qverr::Status) == 24);

namespace {

// What a call of an entry point that was never resolved answers.
constexpr int32_t kEntryNotResolved = -52010;

enum Entry : size_t {
  kOpenPXISession,
  kOpenChassisByNumber,
  kOpenSlotByNumber,
  kOpenDeviceByAddr,
  kOpenContainingItem,
  kGetU32Attribute,
  kGetStringAttribute,
  kGetItemContainer,
  kDuplicateItemContainer,
  kIteratorBegin,
  kIteratorNextItem,
  kIteratorEnd,
  kDestroyItemContainer,
  kDuplicate,
  kClose,
  kWaitForSessionInvalidation,
  kCancelWaitForInvalidation,
};

// Raises the status of a library call that failed; otherwise its detail is dropped with it.
template <typename R>
R checked(R result, qverr::Status& status) {
  if (status.code < 0 && std::uncaught_exceptions() == 0) throw qverr::Exception(std::move(status));
  return result;
}

}  // namespace

const char* const DynamicQPXILibrary::kEntryNames[kEntryCount] = {
    "qvqpxi_openPXISession",
    "qvqpxi_openChassisByNumber",
    "qvqpxi_openSlotByNumber",
    "qvqpxi_openDeviceByAddr",
    "qvqpxi_openContainingItem",
    "qvqpxi_getU32Attribute",
    "qvqpxi_getStringAttribute",
    "qvqpxi_getItemContainer",
    "qvqpxi_duplicateItemContainer",
    "qvqpxi_ItemIterator_begin",
    "qvqpxi_ItemIterator_nextItem",
    "qvqpxi_ItemIterator_end",
    "qvqpxi_destroyItemContainer",
    "qvqpxi_duplicate",
    "qvqpxi_close",
    "qvqpxi_waitForSessionInvalidation",
    "qvqpxi_cancelWaitForInvalidation",
};

DynamicQPXILibrary::DynamicQPXILibrary(qverr::Status& status) {
  if (status.isError()) return;
  library_ = qvdynlib_load(kLibraryName, RTLD_NOW | RTLD_GLOBAL, status);
  if (status.isError()) return;
  // After the first missing symbol every later look-up returns null at once.
  for (size_t i = 0; i < kEntryCount; ++i)
    entries_[i] = qvdynlib_getSymbol(library_, kEntryNames[i], status);
}

DynamicQPXILibrary::~DynamicQPXILibrary() {
  if (library_ != nullptr) dlclose(library_);
}

template <typename R, typename... A>
R DynamicQPXILibrary::forward(size_t index, qverr::Status* status, A... args) const {
  if (entries_[index] == nullptr) {
    if (status != nullptr) status->setCode(kEntryNotResolved);
    return R{};
  }
  return reinterpret_cast<R (*)(A..., qverr::Status*)>(entries_[index])(args..., status);
}

template <typename... A>
void DynamicQPXILibrary::forwardVoid(size_t index, A... args) const {
  if (entries_[index] != nullptr) reinterpret_cast<void (*)(A...)>(entries_[index])(args...);
}

Handle DynamicQPXILibrary::openPXISession(uint32_t flags, qverr::Status* status) const {
  return forward<Handle>(kOpenPXISession, status, flags);
}
Handle DynamicQPXILibrary::openChassisByNumber(Handle session, uint32_t number,
                                               qverr::Status* status) const {
  return forward<Handle>(kOpenChassisByNumber, status, session, number);
}
Handle DynamicQPXILibrary::openSlotByNumber(Handle handle, uint32_t number,
                                            qverr::Status* status) const {
  return forward<Handle>(kOpenSlotByNumber, status, handle, number);
}
Handle DynamicQPXILibrary::openDeviceByAddr(Handle session, const PciAddress* address,
                                            qverr::Status* status) const {
  return forward<Handle>(kOpenDeviceByAddr, status, session, address);
}
Handle DynamicQPXILibrary::openContainingItem(Handle item, uint32_t kind,
                                              qverr::Status* status) const {
  return forward<Handle>(kOpenContainingItem, status, item, kind);
}
uint32_t DynamicQPXILibrary::getU32Attribute(Handle item, uint32_t id,
                                             qverr::Status* status) const {
  return forward<uint32_t>(kGetU32Attribute, status, item, id);
}
const char* DynamicQPXILibrary::getStringAttribute(Handle item, uint32_t id,
                                                   qverr::Status* status) const {
  return forward<const char*>(kGetStringAttribute, status, item, id);
}
Handle DynamicQPXILibrary::getItemContainer(Handle item, uint32_t kind,
                                            qverr::Status* status) const {
  return forward<Handle>(kGetItemContainer, status, item, kind);
}
Handle DynamicQPXILibrary::duplicateItemContainer(Handle container, qverr::Status* status) const {
  return forward<Handle>(kDuplicateItemContainer, status, container);
}
Handle DynamicQPXILibrary::iteratorBegin(Handle container, qverr::Status* status) const {
  return forward<Handle>(kIteratorBegin, status, container);
}
Handle DynamicQPXILibrary::iteratorNextItem(Handle container, Handle* position,
                                            qverr::Status* status) const {
  return forward<Handle>(kIteratorNextItem, status, container, position);
}
Handle DynamicQPXILibrary::iteratorEnd(Handle container, qverr::Status* status) const {
  return forward<Handle>(kIteratorEnd, status, container);
}
void DynamicQPXILibrary::destroyItemContainer(Handle container) const {
  forwardVoid(kDestroyItemContainer, container);
}
Handle DynamicQPXILibrary::duplicate(Handle item, qverr::Status* status) const {
  return forward<Handle>(kDuplicate, status, item);
}
void DynamicQPXILibrary::close(Handle item) const {
  forwardVoid(kClose, item);
}
uint32_t DynamicQPXILibrary::waitForSessionInvalidation(Handle session, uint32_t value,
                                                        qverr::Status* status) const {
  return forward<uint32_t>(kWaitForSessionInvalidation, status, session, value);
}
void DynamicQPXILibrary::cancelWaitForInvalidation(Handle session) const {
  forwardVoid(kCancelWaitForInvalidation, session);
}

Item::Item(const Item& other) : library_(other.library_), handle_(0) {
  if (other.handle_ != 0) {
    qverr::Status status;
    handle_ = checked(library_->duplicate(other.handle_, &status), status);
  }
}

Item::Item(Item&& other) noexcept
    : library_(other.library_), handle_(other.handle_), owned_(other.owned_) {
  other.owned_ = false;
}

Item::~Item() {
  if (owned_) library_->close(handle_);
}

uint32_t Item::getU32Attribute(uint32_t id) const {
  qverr::Status status;
  return checked(library_->getU32Attribute(handle_, id, &status), status);
}

std::string Item::getStringAttribute(uint32_t id) const {
  qverr::Status status;
  const char* text = checked(library_->getStringAttribute(handle_, id, &status), status);
  return text != nullptr ? text : "";
}

std::vector<Item> Item::getItems(uint32_t containerKind) const {
  return list<Item>(containerKind);
}

template <typename T>
std::vector<T> Item::list(uint32_t containerKind) const {
  qverr::Status status;
  Handle container = checked(library_->getItemContainer(handle_, containerKind, &status), status);
  struct Destroy {
    const QPXILibrary* library;
    Handle container;
    ~Destroy() { library->destroyItemContainer(container); }
  } destroy{library_, container};
  std::vector<T> items;
  Handle position = checked(library_->iteratorBegin(container, &status), status);
  while (position != checked(library_->iteratorEnd(container, &status), status)) {
    T wrapper(*library_,
              checked(library_->iteratorNextItem(container, &position, &status), status));
    items.push_back(static_cast<const T&>(wrapper));
  }
  return items;
}

Handle Item::containing(uint32_t kind) const {
  qverr::Status status;
  return checked(library_->openContainingItem(handle_, kind, &status), status);
}

Slot Device::getSlot() const {
  return Slot(library(), containing(kContainingSlot));
}

Chassis Device::getChassis() const {
  return Chassis(library(), containing(kContainingChassis));
}

PciAddress Device::getPciAddress() const {
  PciAddress address;
  address.function = getU32Attribute(kPciFunctionNumber);
  address.device = getU32Attribute(kPciDeviceNumber);
  address.bus = getU32Attribute(kPciBusNumber);
  return address;
}

std::vector<Device> Slot::getDevices() const {
  return list<Device>(kDevicesOfSlot);
}

Chassis Slot::getChassis() const {
  return Chassis(library(), containing(kContainingChassis));
}

std::vector<Slot> Chassis::getSlots() const {
  return list<Slot>(kSlotsOfChassis);
}

std::vector<TriggerBridge> Chassis::getTriggerBridges() const {
  return list<TriggerBridge>(kTriggerBridgesOfChassis);
}

Chassis TriggerBridge::getChassis() const {
  return Chassis(library(), containing(kContainingChassis));
}

Device Session::openDeviceByAddr(const PciAddress& address) const {
  qverr::Status status;
  return Device(library(),
                checked(library().openDeviceByAddr(handle(), &address, &status), status));
}

Chassis Session::openChassisByNumber(uint32_t number) const {
  qverr::Status status;
  return Chassis(library(),
                 checked(library().openChassisByNumber(handle(), number, &status), status));
}

std::vector<Chassis> Session::getChassisList() const {
  return list<Chassis>(kChassisOfSession);
}

uint32_t Session::waitForInvalidation(uint32_t value) const {
  qverr::Status status;
  return checked(library().waitForSessionInvalidation(handle(), value, &status), status);
}

void Session::cancelWaitForInvalidation() const {
  library().cancelWaitForInvalidation(handle());
}

Session openPXISession(uint32_t flags, const QPXILibrary& library) {
  qverr::Status status;
  return Session(library, checked(library.openPXISession(flags, &status), status));
}

}  // namespace qvqpxi

namespace qvkel {
namespace {

// The device kit's view of an item.
template <typename View, typename Wrapped>
class PxiView : public View {
 public:
  explicit PxiView(Wrapped wrapped) : wrapped_(std::move(wrapped)) {}
  uint32_t getU32Attribute(uint32_t id) const override { return wrapped_.getU32Attribute(id); }

 protected:
  Wrapped wrapped_;
};

using PxiItem = PxiView<IPxiQuery::Item, qvqpxi::Item>;

class PxiDevice : public PxiView<IPxiQuery::Device, qvqpxi::Device> {
 public:
  using PxiView::PxiView;
  std::unique_ptr<IPxiQuery::Item> getSlot() const override {
    return std::make_unique<PxiItem>(wrapped_.getSlot());
  }
};

class PxiSession : public PxiView<IPxiQuery::Session, qvqpxi::Session> {
 public:
  using PxiView::PxiView;
  std::unique_ptr<IPxiQuery::Device> openDeviceByAddr(const PxiPciAddress& address) const override {
    return std::make_unique<PxiDevice>(wrapped_.openDeviceByAddr(address));
  }
};

}  // namespace

QPxiLibrary::QPxiLibrary(qverr::Status& status) : DynamicQPXILibrary(status) {
  loaded = !status.isError();
}

std::unique_ptr<IPxiQuery::Session> QPxiLibrary::openPxiSession(uint32_t flags) const {
  return std::make_unique<PxiSession>(qvqpxi::openPXISession(flags, *this));
}

}  // namespace qvkel
