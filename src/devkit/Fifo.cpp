#include "devkit/Fifo.h"

#include <algorithm>
#include <new>
#include <optional>

#include "devkit/FifoCodes.h"
#include "devkit/HostBuffer.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace sync = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

namespace {

constexpr const char* kSource = "atomickelddk/user/fifo/Fifo";
constexpr qverr::StatusLocation kNotAFifoChannel{kSource, 61, qverr::kComponent,
                                                 qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoElementSize{kSource, 70, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kZeroDepth{kSource, 118, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kConfigureWhileHeld{kSource, 121, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kDepthNotGiven{kSource, 130, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoRingMemory{kSource, 151, qverr::kComponent,
                                              qverr::constant::kMemoryFull};
constexpr qverr::StatusLocation kStopWhileHeld{kSource, 170, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kWrongDirection{kSource, 196, qverr::kComponent,
                                                qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kWrongType{kSource, 205, qverr::kComponent,
                                           qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoElements{kSource, 214, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kSessionGoneTwice{kSource, 251, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kPlainAcquireWithRegions{kSource, 318, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kRegionAcquireWhileHeld{kSource, 342, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kRingFull{kSource, 346, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadRegionCount{kSource, 361, qverr::kComponent,
                                                qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNullRegion{kSource, 380, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoRegionOutstanding{kSource, 384, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kRegionNotOutstanding{kSource, 392, qverr::kComponent,
                                                      qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kRegionReleasedTwice{kSource, 396, qverr::kComponent,
                                                     qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kSessionGone{kSource, 425, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kPropertiesWhileStarted{kSource, 447, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kUnknownValueType{kSource, 458, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNullValue{kSource, 462, qverr::kComponent,
                                           qverr::constant::kInvalidParameter};

constexpr uint64_t kRegionReleased = uint64_t{1} << 63;

// Raises the error a status record holds.
[[noreturn]] void raiseRecord(const nQVVUSKS100::tStatus& record) {
  qverr::Status status;
  qverr::mergeRecordIntoStatus(record, status);
  throw qverr::Exception(std::move(status));
}

// Fixed-point elements travel as 8 bytes whatever their width.
uint32_t elementSizeOf(const NamedFifo& channel) {
  const uint8_t kind = channel.getDescriptor().getSubKind();
  if (kind != FifoDescriptor::kTargetToHost && kind != FifoDescriptor::kHostToTarget)
    qverr::raise(qverr::kInvalidParameter, kNotAFifoChannel);
  const Type& type = channel.getDescriptor().getType();
  const uint32_t size = type.getElementType() == ElementType::Fxp ? 8 : type.getSize();
  if (type.getElementType() == ElementType::None || size == 0)
    qverr::raise(qverr::kInternalError, kNoElementSize);
  return size;
}

FifoPropertyDefaults propertyDefaults(const NamedFifo& channel, uint32_t elementSize,
                                      int32_t numaNode, int32_t highestNumaNode) {
  const uint64_t page = getPageSize();
  // Elements larger than a page still give a granularity of one element.
  const uint32_t perPage = static_cast<uint32_t>(std::max<uint64_t>(1, page / elementSize));
  const uint32_t depth = std::max<uint32_t>(16384, 2 * channel.getDepth());
  return FifoPropertyDefaults{elementSize, perPage,         depth,
                              numaNode,    highestNumaNode, Fifo::kDefaultRegionSlots};
}

class ReadOperation : public Fifo::IFifoAccessOperation {
 public:
  ReadOperation(void* elements, uint64_t count, uint64_t* remaining)
      : elements_(elements), count_(count), remaining_(remaining) {}
  void perform(IFifoDataAccessStrategy& strategy, uint32_t timeoutMs, bool* timedOut,
               nQVVUSKS100::tStatus* status) override {
    strategy.read(elements_, count_, timeoutMs, timedOut, remaining_, status);
  }

 private:
  void* elements_;
  uint64_t count_;
  uint64_t* remaining_;
};

class WriteOperation : public Fifo::IFifoAccessOperation {
 public:
  WriteOperation(const void* elements, uint64_t count, uint64_t* remaining)
      : elements_(elements), count_(count), remaining_(remaining) {}
  void perform(IFifoDataAccessStrategy& strategy, uint32_t timeoutMs, bool* timedOut,
               nQVVUSKS100::tStatus* status) override {
    strategy.write(elements_, count_, timeoutMs, timedOut, remaining_, status);
  }

 private:
  const void* elements_;
  uint64_t count_;
  uint64_t* remaining_;
};

class AcquireOperation : public Fifo::IFifoAccessOperation {
 public:
  AcquireOperation(void** elements, uint64_t count, uint64_t* acquired, uint64_t* remaining)
      : elements_(elements), count_(count), acquired_(acquired), remaining_(remaining) {}
  void perform(IFifoDataAccessStrategy& strategy, uint32_t timeoutMs, bool* timedOut,
               nQVVUSKS100::tStatus* status) override {
    strategy.acquire(elements_, count_, timeoutMs, timedOut, acquired_, remaining_, status);
  }

 private:
  void** elements_;
  uint64_t count_;
  uint64_t* acquired_;
  uint64_t* remaining_;
};

}  // namespace

// Regions outstanding in acquisition order: the ring is empty when head equals tail and full
// when the slot after tail is head, so it holds at most capacity - 1 regions. A slot holds the
// region's element count, with the top bit set once the region was released.
struct Fifo::RegionRing {
  std::unique_ptr<uint64_t[]> slots;
  uint32_t capacity = 0;
  uint32_t head = 0;
  uint32_t tail = 0;

  uint32_t next(uint32_t slot) const { return slot + 1 == capacity ? 0 : slot + 1; }
  bool empty() const { return head == tail; }
  bool full() const { return capacity == 0 || next(tail) == head; }
  // Inside the outstanding window [head, tail), taken cyclically.
  bool outstanding(uint32_t slot) const {
    return head <= tail ? slot >= head && slot < tail : slot >= head || slot < tail;
  }
};

Fifo::Fifo(const NamedFifo& channel,
           std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface,
           uint64_t sessionHandle, int32_t numaNode, int32_t highestNumaNode)
    : NamedFifo(channel),
      interface_(std::move(interface)),
      sessionHandle_(sessionHandle),
      elementSize_(elementSizeOf(channel)),
      acquirerReleaser_(interface_, sessionHandle, channel.getNumber()),
      strategy_(acquirerReleaser_, elementSize_),
      properties_(interface_, sessionHandle, channel.getNumber(), strategy_,
                  propertyDefaults(channel, elementSize_, numaNode, highestNumaNode)) {
  qverr::ThrowingStatusRecord status;
  opMutex_.create(&status);
  spaceEvent_.create(true, &status);
}

Fifo::~Fifo() {
  nQVVUSKS100::tStatus ignored;
  interface_->command832D(sessionHandle_, getNumber(), &ignored);
}

bool Fifo::isStarted() {
  sync::tMutexLock lock(opMutex_);
  return started_;
}

bool Fifo::hasUser(uint64_t token) {
  sync::tMutexLock lock(opMutex_);
  return users_.count(token) != 0;
}

void Fifo::noteUser(uint64_t token) {
  if (token != 0 && users_.find(token) == users_.end()) users_.insert(token);
}

void Fifo::checkAccess(Side side, const Type& type) const {
  const bool hostToTarget = getDescriptor().getSubKind() == FifoDescriptor::kHostToTarget;
  if ((side == Side::Read) == hostToTarget) qverr::raise(qverr::kInvalidParameter, kWrongDirection);
  const Type& own = getDescriptor().getType();
  if (type == own) return;
  switch (own.getElementType()) {
    case ElementType::Bool:
    case ElementType::Fxp:
    case ElementType::Sgl:
    case ElementType::Dbl:
      return;
    default:
      qverr::raise(qverr::kInvalidParameter, kWrongType);
  }
}

void Fifo::configure(uint64_t requestedDepth, uint64_t* actualDepth, uint64_t token) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  if (requestedDepth == 0) qverr::raise(kFifoDepthInvalid, kZeroDepth);
  if (strategy_.getAcquiredCount() != 0) qverr::raise(kFifoElementsInUse, kConfigureWhileHeld);
  if (started_) stopLocked();
  properties_.setU64(kFifoPropertyDepth, requestedDepth);
  const uint64_t depth = properties_.getU64(kFifoPropertyDepth);
  if (requestedDepth > depth) qverr::raise(kFifoDepthInvalid, kDepthNotGiven);
  properties_.commit();
  if (actualDepth != nullptr) *actualDepth = depth;
}

void Fifo::start(uint64_t token) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  if (!started_) startLocked();
}

void Fifo::startLocked() {
  properties_.commit();
  auto ring = std::make_unique<RegionRing>();
  ring->capacity = properties_.getU32(kFifoPropertyRegionSlots);
  if (ring->capacity != 0) {
    ring->slots.reset(new (std::nothrow) uint64_t[ring->capacity]());
    if (!ring->slots) qverr::raise(qverr::kMemoryFull, kNoRingMemory);
  }
  {
    qverr::ThrowingStatusRecord status;
    interface_->command8329(sessionHandle_, getNumber(), &status);
  }
  strategy_.configure(properties_.getVoidPtr(kFifoPropertyBufferAddress),
                      properties_.getU64(kFifoPropertyDepth),
                      properties_.getU64(kFifoPropertyMirror));
  regionRing_ = std::move(ring);
  started_ = true;
}

void Fifo::stop() {
  sync::tMutexLock lock(opMutex_);
  stopLocked();
}

void Fifo::stopLocked() {
  if (strategy_.getAcquiredCount() != 0) qverr::raise(kFifoElementsInUse, kStopWhileHeld);
  {
    qverr::ThrowingStatusRecord status;
    interface_->command832A(sessionHandle_, getNumber(), &status);
  }
  markStopped();
}

void Fifo::markStopped() {
  sync::tMutexLock lock(opMutex_);
  started_ = false;
  strategy_.configure(nullptr, 0, 0);
}

void Fifo::waitLoop(IFifoAccessOperation& operation, uint32_t timeoutMs, bool* timedOut,
                    ReaderWriterLockBase* held) {
  if (!started_) startLocked();
  const bool endless = timeoutMs == kWaitForever;
  const uint32_t slice = endless ? kEndlessWaitSliceMs : timeoutMs;
  // The shared side stays held across every slice: parked, it still keeps a queued writer out.
  std::optional<ParkedReader> parked;
  if (held != nullptr) parked.emplace(*held);
  bool expired = false;
  for (;;) {
    nQVVUSKS100::tStatus status;
    operation.perform(strategy_, slice, &expired, &status);
    if (status.code == kFifoGone) {
      markStopped();
      raiseRecord(status);
    }
    if (status.code == kFifoNoSession) {
      // The kernel forgot the session (the device was reset or reopened): one restart.
      markStopped();
      startLocked();
      status = nQVVUSKS100::tStatus();
      operation.perform(strategy_, slice, &expired, &status);
      if (status.code == kFifoNoSession || status.code == kFifoGone) markStopped();
      if (status.code == kFifoNoSession) qverr::raise(kFifoGone, kSessionGoneTwice);
    } else if (status.code == kFifoElementsHeld) {
      // Wait for another thread to release elements, without holding the FIFO meanwhile.
      spaceEvent_.reset();
      opMutex_.unlock();
      nQVVUSKS100::tStatus waitStatus;
      const bool released = spaceEvent_.wait(slice, &waitStatus);
      opMutex_.lock();
      if (released) {
        spaceEvent_.set();  // for any other waiter
        continue;
      }
      if (endless) continue;
    }
    if (status.isError()) raiseRecord(status);
    if (!endless || !expired) break;
  }
  if (timedOut != nullptr) *timedOut = expired;
}

void Fifo::read(const Type& type, void* elements, uint64_t count, uint32_t timeoutMs,
                bool* timedOut, uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  checkAccess(Side::Read, type);
  if (count != 0 && elements == nullptr) qverr::raise(qverr::kInvalidParameter, kNoElements);
  ReadOperation operation(elements, count, remaining);
  waitLoop(operation, timeoutMs, timedOut, held);
}

void Fifo::write(const Type& type, const void* elements, uint64_t count, uint32_t timeoutMs,
                 bool* timedOut, uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  checkAccess(Side::Write, type);
  if (count != 0 && elements == nullptr) qverr::raise(qverr::kInvalidParameter, kNoElements);
  WriteOperation operation(elements, count, remaining);
  waitLoop(operation, timeoutMs, timedOut, held);
}

void Fifo::acquireRead(const Type& type, void** elements, uint64_t count, uint32_t timeoutMs,
                       bool* timedOut, uint64_t* acquired, uint64_t* remaining, uint64_t token,
                       ReaderWriterLockBase* held) {
  acquirePlain(Side::Read, type, elements, count, timeoutMs, timedOut, acquired, remaining, token,
               held);
}

void Fifo::acquireWrite(const Type& type, void** elements, uint64_t count, uint32_t timeoutMs,
                        bool* timedOut, uint64_t* acquired, uint64_t* remaining, uint64_t token,
                        ReaderWriterLockBase* held) {
  acquirePlain(Side::Write, type, elements, count, timeoutMs, timedOut, acquired, remaining, token,
               held);
}

void Fifo::acquirePlain(Side side, const Type& type, void** elements, uint64_t count,
                        uint32_t timeoutMs, bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                        uint64_t token, ReaderWriterLockBase* held) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  checkAccess(side, type);
  if (regionRing_ && !regionRing_->empty())
    qverr::raise(kFifoElementsInUse, kPlainAcquireWithRegions);
  AcquireOperation operation(elements, count, acquired, remaining);
  waitLoop(operation, timeoutMs, timedOut, held);
}

void Fifo::acquireReadRegion(const Type& type, uint64_t* region, void** elements, uint64_t count,
                             uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                             uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held) {
  acquireRegion(Side::Read, type, region, elements, count, timeoutMs, timedOut, acquired, remaining,
                token, held);
}

void Fifo::acquireWriteRegion(const Type& type, uint64_t* region, void** elements, uint64_t count,
                              uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                              uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held) {
  acquireRegion(Side::Write, type, region, elements, count, timeoutMs, timedOut, acquired,
                remaining, token, held);
}

void Fifo::acquireRegion(Side side, const Type& type, uint64_t* region, void** elements,
                         uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                         uint64_t* remaining, uint64_t token, ReaderWriterLockBase* held) {
  sync::tMutexLock lock(opMutex_);
  noteUser(token);
  checkAccess(side, type);
  const bool regionsOutstanding = regionRing_ && !regionRing_->empty();
  if (strategy_.getAcquiredCount() != 0 && !regionsOutstanding)
    qverr::raise(kFifoElementsInUse, kRegionAcquireWhileHeld);
  if (count != 0 && regionRing_ && regionRing_->full())
    qverr::raise(kFifoRegionRingFull, kRingFull);

  uint64_t got = 0;
  bool expired = false;
  AcquireOperation operation(elements, count, &got, remaining);
  waitLoop(operation, timeoutMs, &expired, held);
  if (timedOut != nullptr) *timedOut = expired;
  if (acquired != nullptr) *acquired = got;
  if (expired || count == 0) return;

  RegionRing& ring = *regionRing_;
  if ((got & kRegionReleased) != 0) qverr::raise(qverr::kInvalidParameter, kBadRegionCount);
  if (ring.full()) qverr::raise(kFifoRegionRingFull, kRingFull);
  ring.slots[ring.tail] = got;
  if (region != nullptr) *region = reinterpret_cast<uint64_t>(&ring.slots[ring.tail]);
  ring.tail = ring.next(ring.tail);
}

void Fifo::releaseElements(uint64_t count) {
  sync::tMutexLock lock(opMutex_);
  releaseAndCheck(count);
}

void Fifo::releaseRegion(uint64_t region) {
  sync::tMutexLock lock(opMutex_);
  if (region == 0) qverr::raise(qverr::kInvalidParameter, kNullRegion);
  if (!regionRing_ || regionRing_->empty())
    qverr::raise(kFifoCountAboveDepth, kNoRegionOutstanding);
  RegionRing& ring = *regionRing_;
  const uint64_t first = reinterpret_cast<uint64_t>(ring.slots.get());
  const uint64_t offset = region - first;
  // Only a handle to a slot inside the outstanding window is a region; a stale handle to a
  // free slot must not release elements still in use.
  if (region < first || offset / sizeof(uint64_t) >= ring.capacity ||
      offset % sizeof(uint64_t) != 0 ||
      !ring.outstanding(static_cast<uint32_t>(offset / sizeof(uint64_t))))
    qverr::raise(qverr::kInvalidParameter, kRegionNotOutstanding);
  const uint32_t slot = static_cast<uint32_t>(offset / sizeof(uint64_t));
  if ((ring.slots[slot] & kRegionReleased) != 0)
    qverr::raise(qverr::kInvalidParameter, kRegionReleasedTwice);
  ring.slots[slot] |= kRegionReleased;
  if (slot != ring.head) return;

  uint64_t total = 0;
  do {
    total += ring.slots[ring.head] & ~kRegionReleased;
    ring.slots[ring.head] = 0;
    ring.head = ring.next(ring.head);
  } while (ring.head != ring.tail && (ring.slots[ring.head] & kRegionReleased) != 0);
  releaseAndCheck(total);
}

void Fifo::releaseAndCheck(uint64_t count) {
  nQVVUSKS100::tStatus status;
  strategy_.release(count, &status);
  spaceEvent_.set();
  if (status.code == kFifoNoSession) {
    markStopped();
    qverr::raise(kFifoGone, kSessionGone);
  }
  if (status.code == kFifoGone) markStopped();
  if (status.isError()) raiseRecord(status);
}

void Fifo::setProperty(uint32_t id, FifoPropertyValueType type, const void* value) {
  sync::tMutexLock lock(opMutex_);
  if (started_) qverr::raise(kFifoStarted, kPropertiesWhileStarted);
  if (value == nullptr) qverr::raise(qverr::kInvalidParameter, kNullValue);
  switch (type) {
    case FifoPropertyValueType::VoidPtr:
      return properties_.setVoidPtr(id, *static_cast<void* const*>(value));
    case FifoPropertyValueType::U32:
      return properties_.setU32(id, *static_cast<const uint32_t*>(value));
    case FifoPropertyValueType::U64:
      return properties_.setU64(id, *static_cast<const uint64_t*>(value));
    case FifoPropertyValueType::I32:
      return properties_.setI32(id, *static_cast<const int32_t*>(value));
    case FifoPropertyValueType::I64:
      return properties_.setI64(id, *static_cast<const int64_t*>(value));
  }
  qverr::raise(kFifoUnsupported, kUnknownValueType);
}

void Fifo::getProperty(uint32_t id, FifoPropertyValueType type, void* value) {
  sync::tMutexLock lock(opMutex_);
  if (value == nullptr) qverr::raise(qverr::kInvalidParameter, kNullValue);
  switch (type) {
    case FifoPropertyValueType::VoidPtr:
      *static_cast<void**>(value) = properties_.getVoidPtr(id);
      return;
    case FifoPropertyValueType::U32:
      *static_cast<uint32_t*>(value) = properties_.getU32(id);
      return;
    case FifoPropertyValueType::U64:
      *static_cast<uint64_t*>(value) = properties_.getU64(id);
      return;
    case FifoPropertyValueType::I32:
      *static_cast<int32_t*>(value) = properties_.getI32(id);
      return;
    case FifoPropertyValueType::I64:
      *static_cast<int64_t*>(value) = properties_.getI64(id);
      return;
  }
  qverr::raise(kFifoUnsupported, kUnknownValueType);
}

void Fifo::commitProperties(uint64_t token) {
  sync::tMutexLock lock(opMutex_);
  if (started_) qverr::raise(kFifoStarted, kPropertiesWhileStarted);
  properties_.commit();
  noteUser(token);
}

void Fifo::unconfigure() {
  sync::tMutexLock lock(opMutex_);
  stopLocked();
  properties_.reset();
  users_.clear();
  qverr::ThrowingStatusRecord status;
  interface_->command832D(sessionHandle_, getNumber(), &status);
}

void Fifo::detachUser(uint64_t token) noexcept {
  sync::tMutexLock lock(opMutex_);
  if (users_.erase(token) == 0 || !users_.empty()) return;
  // Nobody is left who could release held elements: the FIFO stops whatever it holds, so no
  // later access finds it running over a buffer that is about to be freed.
  nQVVUSKS100::tStatus ignored;
  interface_->command832A(sessionHandle_, getNumber(), &ignored);
  markStopped();
  try {
    properties_.reset();
  } catch (...) {
  }
  nQVVUSKS100::tStatus freeIgnored;
  interface_->command832D(sessionHandle_, getNumber(), &freeIgnored);
}

}  // namespace qvkel
