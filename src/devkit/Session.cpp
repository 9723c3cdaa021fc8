#include "devkit/Session.h"

#include <limits>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel::user {
namespace {

constexpr const char* kSource = "atomickelddk/user/session/Session";
constexpr qverr::StatusLocation kCopyRefused{kSource, 88, qverr::kComponent};
constexpr qverr::StatusLocation kNotRunning{kSource, 104, qverr::kComponent};
constexpr qverr::StatusLocation kDownloadTooLarge{kSource, 131, qverr::kComponent,
                                                  qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kPeerToPeer{kSource, 150, qverr::kComponent};
constexpr qverr::StatusLocation kNoResultPlace{kSource, 158, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kPropertyType{kSource, 196, qverr::kComponent};
constexpr qverr::StatusLocation kShortSignature{kSource, 236, qverr::kComponent,
                                                qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kBadDefault{kSource, 249, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kCloseFlagImplicit{kSource, 272, qverr::kComponent};
constexpr qverr::StatusLocation kCloseFlagReset{kSource, 274, qverr::kComponent};
constexpr qverr::StatusLocation kNoIrqRegister{kSource, 291, qverr::kComponent};

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kOffsetMask = 0x7FFFFFFF;
constexpr uint32_t kPointerProperty = 0;
constexpr uint32_t kLastPropertyType = 4;

// Every result needs a place before anything is opened.
template <typename... T>
void requirePlaces(T*... results) {
  if (((results == nullptr) || ...)) qverr::raise(qverr::kInvalidParameter, kNoResultPlace);
}

}  // namespace

Session::Session(std::shared_ptr<Fpga> fpga, std::shared_ptr<Fpga::Proxy> interface,
                 IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
                 std::shared_ptr<IAttributeHandler> attributeHandler,
                 std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
                 const char* name, uint32_t options)
    : fpga_(std::move(fpga)),
      interface_(std::move(interface)),
      restricted_((options & kRestricted) != 0),
      lock_(&fpga_->lock()),
      fpgaRunning_(&fpga_->stateWord()) {
  kernelSession_.configuration = interface_;
  kernelSession_.token = token();
  try {
    bitfileState_ =
        fpga_->attachSession(kernelSession_, std::move(ioAccessor), std::move(attributeHandler),
                             bitfile, configurer, checker, name, options);
    Fpga::Attachment attached = fpga_->attachment();
    accessor_ = std::move(attached.accessor);
    blocks_ = ReadWriteBlockHelpers(accessor_.get(), attached.state.controlRegister);
    std::shared_ptr<HMBVirtualMemoryManager> hmb = fpga_->getHmbManager();
    hmbPresent_ = hmb->parseHmbSection(bitfile->getXml(), bitfile->getSignature());
    if (hmbPresent_) hmb->acquire();
  } catch (...) {
    hmbPresent_ = false;
    teardown();
    throw;
  }
}

Session::Session(const Session& other)
    : fpga_(other.fpga_),
      interface_(other.interface_),
      isCopy_(true),
      restricted_(other.restricted_),
      lock_(other.lock_),
      bitfileState_(other.bitfileState_),
      hmbPresent_(false),
      fpgaRunning_(other.fpgaRunning_),
      accessor_(other.accessor_),
      blocks_(other.blocks_) {
  kernelSession_.configuration = interface_;
  kernelSession_.token = token();
}

Session::~Session() {
  teardown();
}

void Session::teardown() noexcept {
  fpga_->detachUserFromAllFifos(token());
  if (hmbPresent_) {
    // The manager's failures are dropped: this runs from the destructor.
    try {
      fpga_->getHmbManager()->release();
    } catch (...) {
    }
  }
  if (kernelSession_.open) {
    kernelSession_.configuration->command830B(kernelSession_.token, kernelSession_.closeFlag);
    kernelSession_.open = false;
  }
}

void Session::refuseOnCopy() const {
  if (isCopy_) qverr::raise(kNotSupported, kCopyRefused);
}

void Session::ensureFpgaRunning() {
  if (!bitfileState_->allowImplicitEnableRemoval || fpgaRunning_->load() != Fpga::kIdle) return;
  fpga_->checkFpgaState();
  if (fpgaRunning_->load() == Fpga::kIdle) qverr::raise(kFpgaNotRunning, kNotRunning);
}

std::unique_ptr<Session> Session::clone() {
  refuseOnCopy();
  return std::unique_ptr<Session>(new Session(*this));
}

bool Session::download(const uint8_t* bytes, size_t size) {
  refuseOnCopy();
  if (size > std::numeric_limits<uint32_t>::max())
    qverr::raise(qverr::kInvalidParameter, kDownloadTooLarge);
  ExclusiveLock exclusive(*lock_);
  {
    qverr::ThrowingStatusRecord status;
    interface_->command830C(reinterpret_cast<uint64_t>(bytes), static_cast<uint32_t>(size),
                            &status);
  }
  fpga_->markAllFifosStopped();
  return fpga_->checkFpgaState();
}

void Session::reset() {
  refuseOnCopy();
  fpga_->reset();
}

void Session::getP2PEndpointId(uint32_t, uint32_t*) {
  qverr::raise(kNotSupported, kPeerToPeer);
}

uint32_t Session::queryFifoValue(uint32_t) {
  qverr::raise(kNotSupported, kPeerToPeer);
}

void Session::mapP2PSink(uint32_t, uint64_t*, uint64_t*, void**, PeerToPeerCleanup*) {
  qverr::raise(kNotSupported, kPeerToPeer);
}

void Session::getHmbRegion(const char* name, uint64_t* size, void** address, void** context,
                           HmbCleanup* cleanup) {
  requirePlaces(size, address, context, cleanup);
  SharedLock shared(*lock_);
  HMBVirtualMemoryManager::Access region = fpga_->getHmbManager()->getRegion(name);
  *size = region.size;
  *address = region.address;
  *context = region.context;
  *cleanup = region.cleanup;
}

void Session::openHmbLlb(const char* name, uint64_t* bufferSize, void** bufferAddress,
                         void** bufferContext, HmbCleanup* bufferCleanup, uint64_t* pageSize,
                         void** pageAddress, void** pageContext, HmbCleanup* pageCleanup) {
  requirePlaces(bufferSize, bufferAddress, bufferContext, bufferCleanup, pageSize, pageAddress,
                pageContext, pageCleanup);
  SharedLock shared(*lock_);
  HMBVirtualMemoryManager::LlbAccess llb = fpga_->getHmbManager()->openLlb(name);
  *bufferSize = llb.buffer.size;
  *bufferAddress = llb.buffer.address;
  *bufferContext = llb.buffer.context;
  *bufferCleanup = llb.buffer.cleanup;
  *pageSize = llb.page.size;
  *pageAddress = llb.page.address;
  *pageContext = llb.page.context;
  *pageCleanup = llb.page.cleanup;
}

void Session::invoke(uint32_t kind, uint32_t code, uint64_t arg1, uint64_t arg2, uint64_t arg3,
                     uint64_t arg4) {
  SharedLock shared(*lock_);
  fpga_->getHmbManager()->request(kind, reinterpret_cast<const void*>(arg1), arg2,
                                  reinterpret_cast<void*>(arg3), arg4, static_cast<int8_t>(code));
}

template <typename F>
decltype(auto) Session::registerAccess(uint32_t address, F&& body) {
  SharedLock shared(*lock_);
  ensureFpgaRunning();
  uint32_t offset = address & kOffsetMask;
  bool check = (address & kCheckBit) != 0;
  return body(offset, check);
}

uint8_t Session::readU8(uint32_t address) {
  return static_cast<uint8_t>(readU32(address));
}

uint16_t Session::readU16(uint32_t address) {
  return static_cast<uint16_t>(readU32(address));
}

uint32_t Session::readU32(uint32_t address) {
  return registerAccess(address, [&](uint32_t offset, bool check) {
    uint32_t value = 0;
    blocks_.readBlock32(offset, &value, 1, check);
    return value;
  });
}

uint64_t Session::readU64(uint32_t address) {
  return registerAccess(
      address, [&](uint32_t offset, bool check) { return blocks_.readU64(offset, check); });
}

int64_t Session::readI64(uint32_t address) {
  return registerAccess(
      address, [&](uint32_t offset, bool check) { return blocks_.readI64(offset, check); });
}

void Session::writeU8(uint32_t address, uint8_t value) {
  writeU32(address, value);
}

void Session::writeU16(uint32_t address, uint16_t value) {
  writeU32(address, value);
}

void Session::writeU32(uint32_t address, uint32_t value) {
  registerAccess(address, [&](uint32_t offset, bool check) {
    blocks_.writeBlock32(offset, &value, 1, check);
  });
}

void Session::writeU64(uint32_t address, uint64_t value) {
  registerAccess(address,
                 [&](uint32_t offset, bool check) { blocks_.writeU64(offset, value, check); });
}

void Session::writeI64(uint32_t address, int64_t value) {
  registerAccess(address,
                 [&](uint32_t offset, bool check) { blocks_.writeI64(offset, value, check); });
}

uint32_t Session::accessorRead32(uint32_t offset) {
  return fpga_->getIoAccessor()->read32(offset);
}

void Session::accessorWrite32(uint32_t offset, uint32_t value) {
  fpga_->getIoAccessor()->write32(offset, value);
}

void Session::accessorReadBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t accessWidth,
                                uint32_t flags) {
  fpga_->getIoAccessor()->readBlock(offset, buffer, bytes, accessWidth, flags);
}

void Session::accessorWriteBlock(uint32_t offset, const void* buffer, uint64_t bytes,
                                 uint32_t accessWidth, uint32_t flags) {
  fpga_->getIoAccessor()->writeBlock(offset, buffer, bytes, accessWidth, flags);
}

void Session::run(uint32_t flags, bool* alreadyRunning) {
  refuseOnCopy();
  fpga_->runWithFlags(flags, alreadyRunning);
}

void Session::abort() {
  refuseOnCopy();
  fpga_->abort();
}

bool Session::downloadFromBitfile() {
  // Held for the download: another session may attach another design meanwhile.
  const std::shared_ptr<const Bitfile> bitfile = fpga_->attachment().state.bitfile;
  const std::vector<uint8_t>& bitstream = bitfile->getBitstream();
  return download(bitstream.data(), bitstream.size());
}

uint32_t Session::getFpgaState() {
  fpga_->checkFpgaState();
  return fpgaRunning_->load();
}

const char* Session::getBitfileXml() const {
  return fpga_->attachment().state.bitfile->getXmlWithoutBitstream().c_str();
}

void Session::getSignature(uint32_t* words, uint64_t* count) const {
  if (*count < 4) {
    *count = 4;
    qverr::raise(qverr::kInvalidParameter, kShortSignature);
  }
  const std::array<uint32_t, 4> signature = fpga_->attachment().state.signature.getWords();
  std::copy(signature.begin(), signature.end(), words);
  *count = 4;
}

void Session::findRegisterOffset(const char* name, uint32_t defaultValue, uint32_t* out) const {
  if (defaultValue != kNone) {
    *out = 0;
    qverr::raise(qverr::kInvalidParameter, kBadDefault);
  }
  const Fpga::Attachment attached = fpga_->attachment();
  const NamedRegister* found = attached.state.bitfile->findRegister(name);
  *out = found != nullptr ? found->getOffset() : kNone;
}

void Session::findFifoNumber(const char* name, uint32_t defaultValue, uint32_t* out) const {
  if (defaultValue != kNone) {
    *out = 0;
    qverr::raise(qverr::kInvalidParameter, kBadDefault);
  }
  const Fpga::Attachment attached = fpga_->attachment();
  const NamedFifo* found = attached.state.bitfile->findFifo(name);
  *out = found != nullptr ? found->getNumber() : kNone;
}

void Session::setCloseFlag(bool closeFlag) {
  if (closeFlag) {
    const Fpga::BitfileState attached = fpga_->attachment().state;
    if (attached.allowImplicitEnableRemoval)
      qverr::raise(kCloseFlagWithImplicitEnable, kCloseFlagImplicit);
    if (!attached.resetSupported) qverr::raise(kCloseFlagResetUnsupported, kCloseFlagReset);
  }
  kernelSession_.closeFlag = closeFlag;
}

template <typename F>
void Session::withFifo(uint32_t fifo, F&& body) {
  underSharedLock(true, [&] { body(fpga_->getFifo(fifo)); });
}

void Session::configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth) {
  withFifo(fifo, [&](Fifo& f) { f.configure(requestedDepth, actualDepth, 0); });
}

void Session::commitFifo(uint32_t fifo) {
  withFifo(fifo, [&](Fifo& f) { f.commitProperties(token()); });
}

void Session::startFifo(uint32_t fifo) {
  withFifo(fifo, [&](Fifo& f) { f.start(token()); });
}

void Session::stopFifo(uint32_t fifo) {
  withFifo(fifo, [&](Fifo& f) { f.stop(); });
}

void Session::unconfigureFifo(uint32_t fifo) {
  withFifo(fifo, [&](Fifo& f) { f.unconfigure(); });
}

void Session::readFifo(const Type& type, uint32_t fifo, void* elements, uint64_t count,
                       uint32_t timeoutMs, bool* timedOut, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.read(type, elements, count, timeoutMs, timedOut, remaining, token(), lock_);
  });
}

void Session::writeFifo(const Type& type, uint32_t fifo, const void* elements, uint64_t count,
                        uint32_t timeoutMs, bool* timedOut, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.write(type, elements, count, timeoutMs, timedOut, remaining, token(), lock_);
  });
}

void Session::acquireFifoReadElements(const Type& type, uint32_t fifo, void** elements,
                                      uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                      uint64_t* acquired, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.acquireRead(type, elements, count, timeoutMs, timedOut, acquired, remaining, token(), lock_);
  });
}

void Session::acquireFifoWriteElements(const Type& type, uint32_t fifo, void** elements,
                                       uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                       uint64_t* acquired, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.acquireWrite(type, elements, count, timeoutMs, timedOut, acquired, remaining, token(), lock_);
  });
}

void Session::acquireFifoReadRegion(const Type& type, uint32_t fifo, uint64_t* region,
                                    void** elements, uint64_t count, uint32_t timeoutMs,
                                    bool* timedOut, uint64_t* acquired, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.acquireReadRegion(type, region, elements, count, timeoutMs, timedOut, acquired, remaining,
                        token(), lock_);
  });
}

void Session::acquireFifoWriteRegion(const Type& type, uint32_t fifo, uint64_t* region,
                                     void** elements, uint64_t count, uint32_t timeoutMs,
                                     bool* timedOut, uint64_t* acquired, uint64_t* remaining) {
  if (remaining != nullptr) *remaining = 0;
  withFifo(fifo, [&](Fifo& f) {
    f.acquireWriteRegion(type, region, elements, count, timeoutMs, timedOut, acquired, remaining,
                         token(), lock_);
  });
}

void Session::releaseFifoElements(uint32_t fifo, uint64_t count) {
  withFifo(fifo, [&](Fifo& f) { f.releaseElements(count); });
}

void Session::releaseFifoRegion(uint32_t fifo, uint64_t region) {
  withFifo(fifo, [&](Fifo& f) { f.releaseRegion(region); });
}

FifoPropertyValueType Session::propertyType(uint32_t typeCode) const {
  if (typeCode > kLastPropertyType || (typeCode == kPointerProperty && restricted_))
    qverr::raise(kNotSupported, kPropertyType);
  return static_cast<FifoPropertyValueType>(typeCode);
}

void Session::setFifoProperty(uint32_t fifo, uint32_t id, uint32_t typeCode, const void* value) {
  FifoPropertyValueType type = propertyType(typeCode);
  withFifo(fifo, [&](Fifo& f) { f.setProperty(id, type, value); });
}

void Session::getFifoProperty(uint32_t fifo, uint32_t id, uint32_t typeCode, void* value) {
  FifoPropertyValueType type = propertyType(typeCode);
  withFifo(fifo, [&](Fifo& f) { f.getProperty(id, type, value); });
}

void Session::acknowledgeIrq(uint32_t irqs) {
  refuseOnCopy();
  underSharedLock(true, [&] {
    uint32_t at = bitfileState_->interruptStatusRegister;
    if (at == kNone) qverr::raise(kNoInterruptRegister, kNoIrqRegister);
    fpga_->getIoAccessor()->write32(at, irqs);
  });
}

uint32_t Session::waitOnIrq(uint32_t irqs, uint32_t timeoutMs, bool* timedOut) {
  refuseOnCopy();
  return underSharedLock(true, [&] {
    // Held across every call: parked, it lets the register write that makes the design raise
    // the interrupt pass a queued writer, and still keeps that writer out.
    ParkedReader parked(*lock_);
    bool expired = false;
    uint32_t asserted = 0;
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_irq& irq = *interface_;
    do {
      qverr::ThrowingStatusRecord status;
      asserted = irq.command8320(irqs, timeoutMs == kWaitForever ? kIrqSliceMs : timeoutMs,
                                 &expired, &status);
    } while (timeoutMs == kWaitForever && expired);
    if (timedOut != nullptr) *timedOut = expired;
    return asserted;
  });
}

void Session::sendIrqCommand831E() {
  refuseOnCopy();
  qverr::ThrowingStatusRecord status;
  static_cast<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_irq&>(*interface_)
      .command831E(&status);
}

void Session::sendIrqCommand831F() {
  refuseOnCopy();
  qverr::ThrowingStatusRecord status;
  static_cast<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_irq&>(*interface_)
      .command831F(&status);
}

}  // namespace qvkel::user
