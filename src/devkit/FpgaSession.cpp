#include "devkit/FpgaSession.h"

#include <type_traits>

#include "devkit/DevkitCodes.h"
#include "devkit/RegisterArrays.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "qvkel/IFpgaSessionTraditional.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/user/session/FpgaSession";
// A slot's boundary line: slot 0 at line 200, ten lines a slot.
constexpr uint64_t kFirstBoundaryLine = 200;
constexpr uint64_t kLinesPerSlot = 10;

constexpr qverr::StatusLocation kFlashImageKeepingAttachment{kSource, 1612, qverr::kComponent,
                                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNullArgument{kSource, 1620, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kUnsupported{kSource, 1640, qverr::kComponent};
constexpr qverr::StatusLocation kLegacyVersion{kSource, 1650, qverr::kComponent};
constexpr qverr::StatusLocation kInvokeOnCopy{kSource, 1660, qverr::kComponent};
constexpr qverr::StatusLocation kNameNotFound{kSource, 1670, qverr::kComponent,
                                              qverr::constant::kResourceNotFound};

constexpr uint32_t kNone = 0xFFFFFFFF;

// The slots that do not take a status record still find one here.
nQVVUSKS100::tStatus* orLocal(nQVVUSKS100::tStatus* status, nQVVUSKS100::tStatus& local) {
  return status != nullptr ? status : &local;
}

void requireArgument(const void* pointer) {
  if (pointer == nullptr) qverr::raise(qverr::kInvalidParameter, kNullArgument);
}

// The descriptor of in-place elements of a given size and signedness.
Type sizedType(uint32_t bytes, bool isSigned) {
  ElementType code = ElementType::Composite;
  switch (bytes) {
    case 1:
      code = isSigned ? ElementType::I8 : ElementType::U8;
      break;
    case 2:
      code = isSigned ? ElementType::I16 : ElementType::U16;
      break;
    case 4:
      code = isSigned ? ElementType::I32 : ElementType::U32;
      break;
    case 8:
      code = isSigned ? ElementType::I64 : ElementType::U64;
      break;
    default:
      break;
  }
  return Type(code, bytes * 8u, bytes, isSigned, static_cast<int32_t>(bytes * 8u));
}

}  // namespace

qverr::StatusLocation FpgaSession::boundary(uint32_t slot) {
  return qverr::StatusLocation{kSource, kFirstBoundaryLine + kLinesPerSlot * slot,
                               qverr::kComponent};
}

void releaseFpgaSession(IFpgaSession* session) {
  if (session != nullptr) delete session;
}

FpgaSession::FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory)
    : device_(std::move(device)), factory_(factory) {}

FpgaSession::FpgaSession(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                         std::unique_ptr<user::Session> session)
    : device_(std::move(device)), factory_(factory), session_(std::move(session)) {}

FpgaSession::~FpgaSession() {
  session_.reset();
  device_.reset();
}

template <typename R, typename F>
R FpgaSession::framed(uint32_t slot, tStatus* status, R failed, F&& body) {
  if (status == nullptr) {
    tStatus local;
    return framed(slot, &local, failed, std::forward<F>(body));
  }
  if (!session_) {
    qverr::recordCode(*status, kNoSession, boundary(slot));
    return failed;
  }
  if (status->isError()) return failed;
  try {
    return body(*session_);
  } catch (...) {
    qverr::recordCurrentException(*status, boundary(slot));
  }
  return failed;
}

template <typename F>
void FpgaSession::framed(uint32_t slot, tStatus* status, F&& body) {
  framed(slot, status, false, [&](user::Session& session) {
    body(session);
    return true;
  });
}

IFpgaSessionTraditional* FpgaSession::openTraditionalSession(int32_t version, tStatus* status) {
  tStatus local;
  status = orLocal(status, local);
  if (status->isError()) return nullptr;
  IFpgaSessionTraditional* legacy = nullptr;
  qverr::runAtBoundary(status, boundary(1), [&] {
    if (version != 0) qverr::raise(user::kNotSupported, kLegacyVersion);
    legacy = factory_->createTraditionalSession(device_);
  });
  return legacy;
}

IFpgaSession* FpgaSession::clone(tStatus* status) {
  tStatus local;
  status = orLocal(status, local);
  if (!session_) {
    qverr::recordCode(*status, kNoSession, boundary(2));
    return nullptr;
  }
  IFpgaSession* copy = nullptr;
  qverr::runAtBoundary(status, boundary(2), [&] {
    std::unique_ptr<user::Session> copied = session_->clone();
    copy = new FpgaSession(device_, factory_, std::move(copied));
  });
  return copy;
}

void FpgaSession::open(const char* bitfile, const char* resource, uint32_t attributes,
                       tStatus* status) {
  tStatus local;
  status = orLocal(status, local);
  qverr::runAtBoundary(status, boundary(3), [&] {
    if ((attributes & (kOpenFlashImageBit | kOpenKeepAttachment)) ==
        (kOpenFlashImageBit | kOpenKeepAttachment))
      qverr::raise(qverr::kInvalidParameter, kFlashImageKeepingAttachment);
    if (status->isError()) return;
    // A path, or with bit 30 the text itself or a flash image's name: never null.
    requireArgument(bitfile);
    std::unique_ptr<char[]> text;
    const char* argument = bitfile;
    if ((attributes & kOpenFromFlash) == 0)
      argument = readWholeFile(true, bitfile, text, kBitfileReadError);
    std::unique_ptr<user::Session> opened =
        factory_->createSession(device_, argument, resource, attributes);
    session_ = std::move(opened);
  });
}

void FpgaSession::release() {
  releaseFpgaSession(this);
}

void FpgaSession::close(uint32_t attributes, tStatus* status) {
  tStatus local;
  status = orLocal(status, local);
  if (session_) {
    qverr::runAtBoundary(status, boundary(5), [&] {
      if ((attributes & kCloseKeepFlag) == 0) session_->setCloseFlag(true);
      session_->getFpgaState();
    });
  }
  releaseFpgaSession(this);
}

void FpgaSession::download(bool* failed, tStatus* status) {
  if (failed != nullptr) *failed = false;
  tStatus local;
  status = orLocal(status, local);
  const bool attempted = session_ && !status->isError();
  framed(50, status, [](user::Session& session) { session.downloadFromBitfile(); });
  if (attempted && failed != nullptr && status->isError()) *failed = true;
}

void FpgaSession::reset(tStatus* status) {
  framed(51, status, [](user::Session& session) { session.reset(); });
}

void FpgaSession::abort(tStatus* status) {
  framed(52, status, [](user::Session& session) { session.abort(); });
}

void FpgaSession::run(uint32_t attributes, bool* alreadyRunning, tStatus* status) {
  framed(53, status, [&](user::Session& session) { session.run(attributes, alreadyRunning); });
}

void FpgaSession::sendIrqCommand831E(tStatus* status) {
  framed(54, status, [](user::Session& session) { session.sendIrqCommand831E(); });
}

void FpgaSession::sendIrqCommand831F(tStatus* status) {
  framed(55, status, [](user::Session& session) { session.sendIrqCommand831F(); });
}

uint32_t FpgaSession::waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, bool* timedOut,
                                 tStatus* status) {
  return framed(56, status, uint32_t{0}, [&](user::Session& session) {
    return session.waitOnIrq(irqs, timeoutMs, timedOut);
  });
}

void FpgaSession::acknowledgeIrqs(uint32_t irqs, tStatus* status) {
  framed(57, status, [&](user::Session& session) { session.acknowledgeIrq(irqs); });
}

void FpgaSession::configureFifo(uint32_t fifo, uint64_t requestedDepth, uint64_t* actualDepth,
                                tStatus* status) {
  framed(58, status, [&](user::Session& session) {
    if (actualDepth != nullptr) *actualDepth = 0;
    session.configureFifo(fifo, requestedDepth, actualDepth);
  });
}

void FpgaSession::startFifo(uint32_t fifo, tStatus* status) {
  framed(59, status, [&](user::Session& session) { session.startFifo(fifo); });
}

void FpgaSession::stopFifo(uint32_t fifo, tStatus* status) {
  framed(60, status, [&](user::Session& session) { session.stopFifo(fifo); });
}

void FpgaSession::readFifo(uint32_t slot, const Type& type, uint32_t fifo, void* elements,
                           uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                           tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    if (remaining != nullptr) *remaining = 0;
    if (count != 0) requireArgument(elements);
    session.readFifo(type, fifo, elements, count, timeoutMs, timedOut, remaining);
  });
}

void FpgaSession::writeFifo(uint32_t slot, const Type& type, uint32_t fifo, const void* elements,
                            uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                            tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    if (remaining != nullptr) *remaining = 0;
    if (count != 0) requireArgument(elements);
    session.writeFifo(type, fifo, elements, count, timeoutMs, timedOut, remaining);
  });
}

void FpgaSession::acquire(uint32_t slot, bool forWriting, const Type& type, uint32_t fifo,
                          void** elements, uint64_t count, uint32_t timeoutMs, bool* timedOut,
                          uint64_t* acquired, uint64_t* remaining, tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    if (elements != nullptr) *elements = nullptr;
    if (acquired != nullptr) *acquired = 0;
    if (remaining != nullptr) *remaining = 0;
    requireArgument(elements);
    if (forWriting) {
      session.acquireFifoWriteElements(type, fifo, elements, count, timeoutMs, timedOut, acquired,
                                       remaining);
    } else {
      session.acquireFifoReadElements(type, fifo, elements, count, timeoutMs, timedOut, acquired,
                                      remaining);
    }
  });
}

void FpgaSession::releaseFifoElements(uint32_t fifo, uint64_t count, tStatus* status) {
  framed(105, status, [&](user::Session& session) { session.releaseFifoElements(fifo, count); });
}

const char* FpgaSession::getBitfileContents(tStatus* status) {
  return framed(106, status, static_cast<const char*>(nullptr),
                [](user::Session& session) { return session.getBitfileXml(); });
}

void FpgaSession::unsupportedRequest(uint64_t, uint64_t, uint64_t, tStatus* status) {
  if (status != nullptr) qverr::recordCode(*status, user::kNotSupported, kUnsupported);
}

void FpgaSession::getBitfileSignature(uint32_t* words, uint64_t* count, tStatus* status) {
  framed(108, status, [&](user::Session& session) {
    requireArgument(count);
    if (*count >= 4) requireArgument(words);
    session.getSignature(words, count);
  });
}

void FpgaSession::findRegister(const char* name, uint32_t defaultValue, uint32_t* offset,
                               tStatus* status) {
  framed(109, status, [&](user::Session& session) {
    requireArgument(offset);
    requireArgument(name);
    session.findRegisterOffset(name, defaultValue, offset);
    if (*offset == kNone) qverr::raise(qverr::kResourceNotFound, kNameNotFound);
  });
}

void FpgaSession::findFifo(const char* name, uint32_t defaultValue, uint32_t* number,
                           tStatus* status) {
  framed(110, status, [&](user::Session& session) {
    requireArgument(number);
    requireArgument(name);
    session.findFifoNumber(name, defaultValue, number);
    if (*number == kNone) qverr::raise(qverr::kResourceNotFound, kNameNotFound);
  });
}

void FpgaSession::getPeerToPeerEndpoint(uint32_t fifo, uint32_t* endpoint, tStatus* status) {
  framed(111, status, [&](user::Session& session) { session.getP2PEndpointId(fifo, endpoint); });
}

void FpgaSession::invoke(uint32_t kind, uint32_t code, uint64_t arg1, uint64_t arg2, uint64_t arg3,
                         uint64_t arg4, tStatus* status) {
  framed(112, status, [&](user::Session& session) {
    // A copy's session serves no requests of its own at this slot.
    if (session.isCopy()) qverr::raise(user::kNotSupported, kInvokeOnCopy);
    session.invoke(kind, code, arg1, arg2, arg3, arg4);
  });
}

void FpgaSession::setFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType,
                                  const void* value, uint64_t, tStatus* status) {
  framed(115, status, [&](user::Session& session) {
    session.setFifoProperty(fifo, property, valueType, value);
  });
}

void FpgaSession::getFifoProperty(uint32_t fifo, uint32_t property, uint32_t valueType, void* value,
                                  uint64_t, tStatus* status) {
  framed(116, status, [&](user::Session& session) {
    session.getFifoProperty(fifo, property, valueType, value);
  });
}

void FpgaSession::commitFifoConfiguration(uint32_t fifo, tStatus* status) {
  framed(117, status, [&](user::Session& session) { session.commitFifo(fifo); });
}

uint32_t FpgaSession::getFpgaState(tStatus* status) {
  return framed(118, status, uint32_t{user::Fpga::kInvalid},
                [](user::Session& session) { return session.getFpgaState(); });
}

void FpgaSession::readFifoComposite(uint32_t fifo, void* elements, uint32_t elementBytes,
                                    uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                    uint64_t* remaining, tStatus* status) {
  readFifo(119, Composite(elementBytes), fifo, elements, count, timeoutMs, timedOut, remaining,
           status);
}

void FpgaSession::writeFifoComposite(uint32_t fifo, const void* elements, uint32_t elementBytes,
                                     uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                     uint64_t* remaining, tStatus* status) {
  writeFifo(120, Composite(elementBytes), fifo, elements, count, timeoutMs, timedOut, remaining,
            status);
}

void FpgaSession::acquireFifoReadElementsComposite(uint32_t fifo, void** elements,
                                                   uint32_t elementBytes, uint64_t count,
                                                   uint32_t timeoutMs, bool* timedOut,
                                                   uint64_t* acquired, uint64_t* remaining,
                                                   tStatus* status) {
  acquire(121, false, Composite(elementBytes), fifo, elements, count, timeoutMs, timedOut, acquired,
          remaining, status);
}

void FpgaSession::acquireFifoWriteElementsComposite(uint32_t fifo, void** elements,
                                                    uint32_t elementBytes, uint64_t count,
                                                    uint32_t timeoutMs, bool* timedOut,
                                                    uint64_t* acquired, uint64_t* remaining,
                                                    tStatus* status) {
  acquire(122, true, Composite(elementBytes), fifo, elements, count, timeoutMs, timedOut, acquired,
          remaining, status);
}

void FpgaSession::acquireRegion(uint32_t slot, bool forWriting, uint32_t fifo, uint64_t* region,
                                void** elements, bool isSigned, uint32_t elementBytes,
                                uint64_t count, uint32_t timeoutMs, bool* timedOut,
                                uint64_t* acquired, uint64_t* remaining, tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    if (region != nullptr) *region = 0;
    if (elements != nullptr) *elements = nullptr;
    if (acquired != nullptr) *acquired = 0;
    if (remaining != nullptr) *remaining = 0;
    // The handle is the only way to release a region.
    requireArgument(region);
    requireArgument(elements);
    const Type type = sizedType(elementBytes, isSigned);
    if (forWriting) {
      session.acquireFifoWriteRegion(type, fifo, region, elements, count, timeoutMs, timedOut,
                                     acquired, remaining);
    } else {
      session.acquireFifoReadRegion(type, fifo, region, elements, count, timeoutMs, timedOut,
                                    acquired, remaining);
    }
  });
}

void FpgaSession::acquireFifoReadRegion(uint32_t fifo, uint64_t* region, void** elements,
                                        bool isSigned, uint32_t elementBytes, uint64_t count,
                                        uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                        uint64_t* remaining, tStatus* status) {
  acquireRegion(124, false, fifo, region, elements, isSigned, elementBytes, count, timeoutMs,
                timedOut, acquired, remaining, status);
}

void FpgaSession::acquireFifoWriteRegion(uint32_t fifo, uint64_t* region, void** elements,
                                         bool isSigned, uint32_t elementBytes, uint64_t count,
                                         uint32_t timeoutMs, bool* timedOut, uint64_t* acquired,
                                         uint64_t* remaining, tStatus* status) {
  acquireRegion(125, true, fifo, region, elements, isSigned, elementBytes, count, timeoutMs,
                timedOut, acquired, remaining, status);
}

void FpgaSession::releaseFifoRegion(uint32_t fifo, uint64_t region, tStatus* status) {
  framed(126, status, [&](user::Session& session) { session.releaseFifoRegion(fifo, region); });
}

void FpgaSession::unconfigureFifo(uint32_t fifo, tStatus* status) {
  framed(127, status, [&](user::Session& session) { session.unconfigureFifo(fifo); });
}

void FpgaSession::openPeerToPeerFifoBuffer(uint32_t fifo, uint64_t* first, uint64_t* second,
                                           void** context, PeerToPeerCleanupCallback* cleanup,
                                           tStatus* status) {
  framed(128, status, [&](user::Session& session) {
    session.mapP2PSink(fifo, first, second, context, cleanup);
  });
}

void FpgaSession::getHmbRegion(const char* name, uint64_t* size, void** address, void** context,
                               HmbCleanupCallback* cleanup, tStatus* status) {
  framed(129, status, [&](user::Session& session) {
    for (const void* out : {static_cast<const void*>(name), static_cast<const void*>(size),
                            static_cast<const void*>(address), static_cast<const void*>(context),
                            static_cast<const void*>(cleanup)})
      requireArgument(out);
    session.getHmbRegion(name, size, address, context, cleanup);
  });
}

void FpgaSession::openHmbLlb(const char* name, uint64_t* bufferSize, void** bufferAddress,
                             void** bufferContext, HmbCleanupCallback* bufferCleanup,
                             uint64_t* pageSize, void** pageAddress, void** pageContext,
                             HmbCleanupCallback* pageCleanup, tStatus* status) {
  framed(130, status, [&](user::Session& session) {
    for (const void* out :
         {static_cast<const void*>(name), static_cast<const void*>(bufferSize),
          static_cast<const void*>(bufferAddress), static_cast<const void*>(bufferContext),
          static_cast<const void*>(bufferCleanup), static_cast<const void*>(pageSize),
          static_cast<const void*>(pageAddress), static_cast<const void*>(pageContext),
          static_cast<const void*>(pageCleanup)})
      requireArgument(out);
    session.openHmbLlb(name, bufferSize, bufferAddress, bufferContext, bufferCleanup, pageSize,
                       pageAddress, pageContext, pageCleanup);
  });
}

template <typename T>
T FpgaSession::read(uint32_t slot, uint32_t offset, bool checkAccess, tStatus* status) {
  return framed(slot, status, T{}, [&](user::Session& session) {
    return session.underSharedLock(true, [&] {
      const user::ReadWriteBlockHelpers& blocks = session.blocks();
      const T value = user::readRegisterValue<T>(blocks, offset);
      if (checkAccess) blocks.checkAccessStatus();
      return value;
    });
  });
}

template <typename T>
void FpgaSession::write(uint32_t slot, uint32_t offset, T value, bool checkAccess,
                        tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    session.underSharedLock(true, [&] {
      const user::ReadWriteBlockHelpers& blocks = session.blocks();
      user::writeRegisterValue(blocks, offset, value);
      if (checkAccess) blocks.checkAccessStatus();
    });
  });
}

template <bool Write, typename T>
void FpgaSession::transferArray(uint32_t slot, ArrayKind kind, uint32_t offset,
                                ArrayPointer<Write, T> elements, uint64_t count, bool checkAccess,
                                tStatus* status) {
  framed(slot, status, [&](user::Session& session) {
    session.underSharedLock(true, [&] {
      const uint32_t bits = kind == kBool ? 1 : 8 * sizeof(T);
      user::checkArrayTransfer(count, bits);
      if (count != 0) requireArgument(elements);
      const auto n = static_cast<uint32_t>(count);
      const user::ReadWriteBlockHelpers& blocks = session.blocks();
      if constexpr (sizeof(T) == 4) {
        if constexpr (Write)
          blocks.writeBlock32(offset, elements, n, false);
        else
          blocks.readBlock32(offset, elements, n, false);
      } else if constexpr (sizeof(T) == 8) {
        if constexpr (Write)
          blocks.writeBlock64(offset, elements, n, false);
        else
          blocks.readBlock64(offset, elements, n, false);
      } else {
        using Bits = std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>;
        auto* packed = reinterpret_cast<ArrayPointer<Write, Bits>>(elements);
        const auto packing = static_cast<user::Packing>(bits);
        if constexpr (Write)
          user::writePackedArray(blocks, offset, packed, n, packing);
        else
          user::readPackedArray(blocks, offset, packed, n, packing);
      }
      // Packed arrays of no elements make no access at all.
      if (checkAccess && (count != 0 || bits >= 32)) blocks.checkAccessStatus();
    });
  });
}

// The typed slots are defined in the header; their bodies are made here once.
#define QVKEL_TYPED_ACCESS(T)                                                                     \
  template T FpgaSession::read<T>(uint32_t, uint32_t, bool, tStatus*);                            \
  template void FpgaSession::write<T>(uint32_t, uint32_t, T, bool, tStatus*);                     \
  template void FpgaSession::transferArray<false, T>(uint32_t, ArrayKind, uint32_t, T*, uint64_t, \
                                                     bool, tStatus*);                             \
  template void FpgaSession::transferArray<true, T>(uint32_t, ArrayKind, uint32_t, const T*,      \
                                                    uint64_t, bool, tStatus*);
QVKEL_TYPED_ACCESS(uint8_t)
QVKEL_TYPED_ACCESS(uint16_t)
QVKEL_TYPED_ACCESS(uint32_t)
QVKEL_TYPED_ACCESS(uint64_t)
QVKEL_TYPED_ACCESS(int8_t)
QVKEL_TYPED_ACCESS(int16_t)
QVKEL_TYPED_ACCESS(int32_t)
QVKEL_TYPED_ACCESS(int64_t)
QVKEL_TYPED_ACCESS(float)
QVKEL_TYPED_ACCESS(double)
#undef QVKEL_TYPED_ACCESS

}  // namespace qvkel
