#include "devkit/FpgaSessionTraditional.h"

#include <limits>
#include <vector>

#include "devkit/ElementType.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

using nQVVUSKS100::tStatus;

constexpr const char* kSource = "FpgaSessionTraditional";
constexpr qverr::StatusLocation kDetectorMutex{"synchronization", 588, qverr::kComponent};
constexpr qverr::StatusLocation kRemainingTooLarge{"Common", 763, qverr::kComponent,
                                                   qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kBlockElementSize{"ReadWriteBlockHelpers", 45, qverr::kComponent,
                                                  qverr::constant::kInvalidParameter};
// Lines of our own choosing: the start command without a stored bitfile text, a null
// argument.
constexpr qverr::StatusLocation kNoBitfileText{kSource, 271, qverr::kComponent};
constexpr qverr::StatusLocation kNullArgument{kSource, 1090, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};

constexpr int32_t kNotSupported = -63193;
constexpr int32_t kNotHandled = -63196;
constexpr int32_t kBadMode = -63032;
constexpr int32_t kBitfileTextMissing = -63038;
constexpr int32_t kAttribute45Refused = -63107;
constexpr int32_t kFifoTimedOut = -50400;
constexpr int32_t kIrqTimedOut = 63073;

// Attributes of the legacy protocol.
constexpr uint32_t kFlashValue = 65;
constexpr uint32_t kOpenFlagsAttribute = 87;
constexpr uint32_t kFlashSupport = 90;
constexpr uint32_t kBitfileText = 14;
constexpr uint32_t kStartCommand = 23;
constexpr uint32_t kStart = 4;
constexpr uint32_t kAttribute45 = 45;
constexpr uint32_t kCloseFlag = 40;
// Download-protocol commands 17 to 45; bit (attribute - 17) of the mask: ignored.
constexpr uint32_t kFirstCommand = 17, kLastCommand = 45;
constexpr uint32_t kIgnoredCommands = 0x740001;
constexpr uint32_t kFlashDownload = 2, kBitstreamDownload = 1;
constexpr uint32_t kExtensionFlags = 32;
constexpr uint32_t kElementSizeMask = 0xF;
constexpr uint32_t kAccessCheckBit = 0x10;

qverr::StatusLocation at(uint64_t line) {
  return qverr::StatusLocation{kSource, line, qverr::kComponent};
}

void record(tStatus& status, int32_t code, uint64_t line) {
  qverr::recordCode(status, code, at(line));
}

uint32_t narrow(uint64_t value) {
  if (value > std::numeric_limits<uint32_t>::max())
    qverr::raise(qverr::kInvalidParameter, kRemainingTooLarge);
  return static_cast<uint32_t>(value);
}

void require(const void* pointer) {
  if (pointer == nullptr) qverr::raise(qverr::kInvalidParameter, kNullArgument);
}

// The host's element-type codes: 1 I8, 2 I16, 3 I32, 4 I64, 5 U8, 6 U16, 7 U32, 8 U64.
std::optional<Type> hostElementType(uint32_t code) {
  switch (code) {
    case 1:
      return TypeI8();
    case 2:
      return TypeI16();
    case 3:
      return TypeI32();
    case 4:
      return TypeI64();
    case 5:
      return TypeU8();
    case 6:
      return TypeU16();
    case 7:
      return TypeU32();
    case 8:
      return TypeU64();
    default:
      return std::nullopt;
  }
}

}  // namespace

CallSequenceDetector::CallSequenceDetector() {
  tStatus status;
  mutex_.create(&status);
  if (status.isError()) qverr::raise(qverr::kInternalError, kDetectorMutex);
}

void CallSequenceDetector::onGetString(uint32_t attribute) {
  advance(Input::GetString, attribute, 0);
}

void CallSequenceDetector::onSetU32(uint32_t attribute, uint32_t value) {
  advance(Input::SetU32, attribute, value);
}

void CallSequenceDetector::onGetU32(uint32_t attribute) {
  advance(Input::GetU32, attribute, 0);
}

void CallSequenceDetector::advance(Input input, uint32_t a, uint32_t v) {
  // The final state and the numeric inputs in state 0 change nothing: no lock for them.
  const uint32_t seen = state_.load();
  if (seen == kComplete || (seen == 0 && input != Input::GetString)) return;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock lock(mutex_);
  const uint32_t state = state_.load();
  uint32_t next = 0;
  switch (input) {
    case Input::GetString:
      if (state == 0) next = a == 6 ? 1 : 0;
      if (state == 1) next = (a == 4 || a == 6) ? 1 : 0;
      if (state == 2) next = a == 1 ? 3 : a == 6 ? 2 : 0;
      if (state == 3) next = a == 1 ? 3 : 0;
      break;
    case Input::SetU32:
      if (state == 1) next = (a == kStartCommand && v == 2) ? 2 : 0;
      break;
    case Input::GetU32:
      if (a == 82 && state <= 4) next = state;
      if (state == 3 && a == 58) next = 4;
      if (state == 4 && a == 48) next = kComplete;
      break;
  }
  if (state == kComplete) next = kComplete;
  state_.store(next);
}

FpgaSessionTraditional::FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device,
                                               ISessionFactory* factory,
                                               std::shared_ptr<IAttributeHandler> attributeHandler,
                                               std::shared_ptr<IFlashManager> flashManager,
                                               std::unique_ptr<IBlockAccessExtension> extension)
    : device_(std::move(device)),
      sessionFactory_(factory),
      attributeHandler_(std::move(attributeHandler)),
      flashManager_(std::move(flashManager)),
      blockAccessExtension_(std::move(extension)) {}

FpgaSessionTraditional::~FpgaSessionTraditional() {
  blockAccessExtension_.reset();
  storedBitfileText_.clear();
  flashManager_.reset();
  attributeHandler_.reset();
  ownedSession_.reset();
}

void releaseFpgaSessionTraditional(IFpgaSessionTraditional* session) {
  if (session != nullptr) delete session;
}

void FpgaSessionTraditional::release() {
  releaseFpgaSessionTraditional(this);
}

template <typename R, typename F>
R FpgaSessionTraditional::guarded(uint64_t line, tStatus* status, R failed, F&& body) {
  tStatus local;
  tStatus& s = status != nullptr ? *status : local;
  if (s.isError()) return failed;
  R result = failed;
  if (!qverr::runAtBoundary(&s, at(line), [&] { result = body(s); })) return failed;
  return result;
}

template <typename F>
void FpgaSessionTraditional::guarded(uint64_t line, tStatus* status, F&& body) {
  guarded(line, status, false, [&](tStatus& s) {
    body(s);
    return true;
  });
}

void FpgaSessionTraditional::unsupported(uint64_t line, tStatus* status) {
  if (status != nullptr) record(*status, kNotSupported, line);
}

uint32_t FpgaSessionTraditional::answerInDownloadProtocol(uint32_t attribute, tStatus& status) {
  switch (attribute) {
    case 36:
    case 82:
      return 1;
    case kAttribute45:
      return attribute45_;
    case 48:
    case 81:
      return 0;
    default:
      record(status, kNotHandled, 135);
      return 0xFFFFFFFF;
  }
}

uint32_t FpgaSessionTraditional::getAttributeU32(uint32_t attribute, tStatus* status) {
  return guarded(146, status, uint32_t{0xFFFFFFFF}, [&](tStatus& s) -> uint32_t {
    sequenceDetector_.onGetU32(attribute);
    if (mode_ == kAttributeMode && sequenceDetector_.isComplete()) mode_ = kDownloadProtocolMode;
    bool handled = false;
    switch (mode_) {
      case kAttributeMode: {
        if (attribute == kFlashValue) {
          if (flashManager_->getFlashSupport() == 0) {
            record(s, kNotSupported, 66);
            return 0;
          }
          return flashManager_->getFlashValue();
        }
        if (attribute == kFlashSupport) return flashManager_->getFlashSupport();
        const uint32_t value = attributeHandler_->getU32(attribute, handled);
        if (!handled) record(s, kNotHandled, 81);
        return value;
      }
      case kDownloadProtocolMode:
        return answerInDownloadProtocol(attribute, s);
      case kSessionMode: {
        if (attribute == kAttribute45) return attribute45_;
        if (attribute == 48) return 0;
        const uint32_t value = attributeHandler_->getU32(attribute, handled);
        if (handled) return value;
        record(s, kNotHandled, 113);
        return answerInDownloadProtocol(attribute, s);
      }
      default:
        record(s, kBadMode, 142);
        return 0xFFFFFFFF;
    }
  });
}

void FpgaSessionTraditional::getAttributeString(uint32_t attribute, char* buffer,
                                                uint32_t bufferSize, uint32_t* length,
                                                tStatus* status) {
  guarded(188, status, [&](tStatus& s) {
    bool handled = false;
    switch (mode_) {
      case kAttributeMode:
        sequenceDetector_.onGetString(attribute);
        attributeHandler_->getString(attribute, buffer, bufferSize, length, handled);
        if (!handled) record(s, kNotHandled, 169);
        break;
      case kDownloadProtocolMode:
        break;
      case kSessionMode:
        attributeHandler_->getString(attribute, buffer, bufferSize, length, handled);
        if (!handled) record(s, kNotHandled, 177);
        break;
      default:
        record(s, kBadMode, 184);
    }
  });
}

void FpgaSessionTraditional::startOwnedSession() {
  openFlags_ |= kOwnedSessionFlags;
  if (storedBitfileText_.empty()) qverr::raise(kBitfileTextMissing, kNoBitfileText);
  std::unique_ptr<user::Session> session =
      sessionFactory_->createSession(device_, storedBitfileText_.c_str(), "", openFlags_);
  ownedSession_ = std::move(session);
  mode_ = kSessionMode;
  storedBitfileText_.clear();
}

void FpgaSessionTraditional::setAttributeU32(uint32_t attribute, uint32_t value, tStatus* status) {
  guarded(302, status, [&](tStatus& s) {
    bool handled = false;
    switch (mode_) {
      case kAttributeMode:
        if (attribute == kFlashValue) {
          flashManager_->setFlashValue(value);
        } else if (attribute == kOpenFlagsAttribute) {
          openFlags_ = value;
        } else {
          sequenceDetector_.onSetU32(attribute, value);
          attributeHandler_->setU32(attribute, value, handled);
          if (!handled) record(s, kNotHandled, 219);
        }
        break;
      case kDownloadProtocolMode:
        if (attribute < kFirstCommand || attribute > kLastCommand) {
          record(s, kNotHandled, 291);
        } else if ((kIgnoredCommands >> (attribute - kFirstCommand) & 1) != 0) {
        } else if (attribute == kStartCommand) {
          if (value == kStart) startOwnedSession();
        } else if (attribute == kAttribute45) {
          attribute45_ = value;
          if (value == 0 || value == 1) record(s, kAttribute45Refused, 259);
        } else {
          record(s, kNotHandled, 291);
        }
        break;
      case kSessionMode:
        if (attribute == kCloseFlag) {
          ownedSession_->setCloseFlag(value != 0);
        } else {
          attributeHandler_->setU32(attribute, value, handled);
          if (!handled) record(s, kNotHandled, 235);
        }
        break;
      default:
        record(s, kBadMode, 298);
    }
  });
}

void FpgaSessionTraditional::setAttributeString(uint32_t attribute, const char* text,
                                                tStatus* status) {
  guarded(371, status, [&](tStatus& s) {
    bool handled = false;
    switch (mode_) {
      case kAttributeMode:
        if (attribute == kBitfileText) {
          storedBitfileText_ = text != nullptr ? text : "";
        } else {
          attributeHandler_->setString(attribute, text, handled);
          if (!handled) record(s, kNotHandled, 329);
        }
        break;
      case kDownloadProtocolMode:
        if (attribute != 1 && attribute != 3) record(s, kNotHandled, 360);
        break;
      case kSessionMode:
        if (attribute == 1) break;
        attributeHandler_->setString(attribute, text, handled);
        if (!handled) record(s, kNotHandled, 344);
        break;
      default:
        record(s, kBadMode, 367);
    }
  });
}

void FpgaSessionTraditional::download(const void* data, uint32_t size, const char*, uint32_t,
                                      uint32_t kind, tStatus* status) {
  guarded(440, status, [&](tStatus& s) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    switch (mode_) {
      case kAttributeMode: {
        if (kind != kFlashDownload) return record(s, kNotSupported, 412);
        if (data == nullptr) {
          flashManager_->runFlashCommand();
          return;
        }
        // The driver's flash record has no name field: the name goes nowhere.
        flashManager_->writeFlash(std::vector<uint8_t>(bytes, bytes + size));
        return;
      }
      case kDownloadProtocolMode:
        return;
      case kSessionMode: {
        if (kind != kBitstreamDownload) return record(s, kNotSupported, 428);
        if (size != 0) require(data);
        const std::vector<uint8_t> bitstream(bytes, bytes + size);
        ownedSession_->download(bitstream.data(), bitstream.size());
        return;
      }
      default:
        record(s, kBadMode, 436);
    }
  });
}

void FpgaSessionTraditional::reset(tStatus* status) {
  guarded(453, status, [&](tStatus& s) {
    if (mode_ == kSessionMode) {
      ownedSession_->reset();
    } else {
      record(s, kBadMode, 453);
    }
  });
}

user::Session* FpgaSessionTraditional::requireOwnedSession(uint64_t line, tStatus& status) {
  if (!ownedSession_) record(status, kBadMode, line);
  return ownedSession_.get();
}

void FpgaSessionTraditional::configureFifo(uint32_t fifo, uint32_t requestedDepth,
                                           uint32_t* actualDepth, uint32_t, tStatus* status) {
  guarded(536, status, [&](tStatus& s) {
    user::Session* session = requireOwnedSession(526, s);
    if (session == nullptr) return;
    uint64_t actual = 0;
    session->configureFifo(fifo, requestedDepth, &actual);
    if (actualDepth != nullptr) *actualDepth = narrow(actual);
  });
}

void FpgaSessionTraditional::startFifo(uint32_t fifo, tStatus* status) {
  guarded(549, status, [&](tStatus& s) {
    if (user::Session* session = requireOwnedSession(542, s)) session->startFifo(fifo);
  });
}

void FpgaSessionTraditional::stopFifo(uint32_t fifo, tStatus* status) {
  guarded(562, status, [&](tStatus& s) {
    if (user::Session* session = requireOwnedSession(555, s)) session->stopFifo(fifo);
  });
}

void FpgaSessionTraditional::readFifo(uint32_t fifo, void* buffer, uint32_t count,
                                      uint32_t elementType, uint32_t timeoutMs, uint32_t* countRead,
                                      uint32_t* remaining, tStatus* status) {
  if (countRead != nullptr) *countRead = 0;
  guarded(628, status, [&](tStatus& s) {
    user::Session* session = requireOwnedSession(590, s);
    if (session == nullptr) return;
    const std::optional<Type> type = hostElementType(elementType);
    if (!type) return record(s, qverr::kInvalidParameter, 615);
    bool timedOut = false;
    uint64_t left = 0;
    session->readFifo(*type, fifo, buffer, count, timeoutMs, &timedOut, &left);
    if (remaining != nullptr) *remaining = narrow(left);
    if (timedOut) return record(s, kFifoTimedOut, 626);
    // Only elements that were read are reported.
    if (countRead != nullptr) *countRead = count;
  });
}

void FpgaSessionTraditional::writeFifo(uint32_t fifo, const void* buffer, uint32_t count,
                                       uint32_t elementType, uint32_t timeoutMs,
                                       uint32_t* emptyRemaining, tStatus* status) {
  guarded(674, status, [&](tStatus& s) {
    user::Session* session = requireOwnedSession(640, s);
    if (session == nullptr) return;
    const std::optional<Type> type = hostElementType(elementType);
    if (!type) return record(s, qverr::kInvalidParameter, 665);
    bool timedOut = false;
    uint64_t left = 0;
    session->writeFifo(*type, fifo, buffer, count, timeoutMs, &timedOut, &left);
    if (emptyRemaining != nullptr) *emptyRemaining = narrow(left);
    if (timedOut) record(s, kFifoTimedOut, 672);
  });
}

void FpgaSessionTraditional::acquireFifoElements(uint32_t fifo, void** elements, uint32_t count,
                                                 uint32_t elementType, bool forWriting,
                                                 uint32_t timeoutMs, uint32_t* acquired,
                                                 uint32_t* remaining, tStatus* status) {
  guarded(731, status, [&](tStatus& s) {
    user::Session* session = requireOwnedSession(688, s);
    if (session == nullptr) return;
    const std::optional<Type> type = hostElementType(elementType);
    if (!type) return record(s, qverr::kInvalidParameter, 725);
    require(elements);
    bool timedOut = false;
    uint64_t got = 0, left = 0;
    if (forWriting) {
      session->acquireFifoWriteElements(*type, fifo, elements, count, timeoutMs, &timedOut, &got,
                                        &left);
    } else {
      session->acquireFifoReadElements(*type, fifo, elements, count, timeoutMs, &timedOut, &got,
                                       &left);
    }
    if (acquired != nullptr) *acquired = narrow(got);
    if (remaining != nullptr) *remaining = narrow(left);
    if (timedOut) record(s, kFifoTimedOut, 729);
  });
}

void FpgaSessionTraditional::releaseFifoElements(uint32_t fifo, uint32_t count, tStatus* status) {
  guarded(746, status, [&](tStatus& s) {
    if (user::Session* session = requireOwnedSession(739, s))
      session->releaseFifoElements(fifo, count);
  });
}

uint32_t FpgaSessionTraditional::blockElementSize(uint32_t flags, tStatus& status) {
  const uint32_t size = flags & kElementSizeMask;
  if (size == 1 || size == 2 || size == 4 || size == 8) return size;
  qverr::recordCode(status, qverr::kInvalidParameter, kBlockElementSize);
  return 0;
}

void FpgaSessionTraditional::writeBlock(uint32_t offset, uint32_t count, const void* buffer,
                                        uint32_t flags, tStatus* status) {
  guarded(812, status, [&](tStatus& s) {
    const uint32_t size = blockElementSize(flags, s);
    if (size == 0) return;
    if (flags > kExtensionFlags && blockAccessExtension_)
      return blockAccessExtension_->writeBlock(offset, count, buffer, flags);
    switch (mode_) {
      case kSessionMode:
        ownedSession_->accessorWriteBlock(offset, buffer, uint64_t{count} * size, size,
                                          (flags & kAccessCheckBit) != 0 ? 1 : 0);
        break;
      case kAttributeMode:
        record(s, kNotSupported, 795);
        break;
      case kDownloadProtocolMode:
        record(s, kNotSupported, 803);
        break;
      default:
        record(s, kBadMode, 808);
    }
  });
}

void FpgaSessionTraditional::readBlock(uint32_t offset, uint32_t count, void* buffer,
                                       uint32_t flags, tStatus* status) {
  guarded(849, status, [&](tStatus& s) {
    const uint32_t size = blockElementSize(flags, s);
    if (size == 0) return;
    if (flags > kExtensionFlags && blockAccessExtension_)
      return blockAccessExtension_->readBlock(offset, count, buffer, flags);
    switch (mode_) {
      case kSessionMode:
        ownedSession_->accessorReadBlock(offset, buffer, uint64_t{count} * size, size,
                                         (flags & kAccessCheckBit) != 0 ? 1 : 0);
        break;
      case kDownloadProtocolMode:
        break;
      case kAttributeMode:
        record(s, kNotSupported, 835);
        break;
      default:
        record(s, kBadMode, 845);
    }
  });
}

uint32_t FpgaSessionTraditional::readU32(uint32_t offset, tStatus* status) {
  return guarded(879, status, uint32_t{0xFFFFFFFF}, [&](tStatus& s) -> uint32_t {
    switch (mode_) {
      case kSessionMode:
        return ownedSession_->accessorRead32(offset);
      case kDownloadProtocolMode:
        return 0xFFFFFFFF;
      case kAttributeMode:
        record(s, kNotSupported, 867);
        return 0xFFFFFFFF;
      default:
        record(s, kBadMode, 875);
        return 0xFFFFFFFF;
    }
  });
}

void FpgaSessionTraditional::writeU32(uint32_t offset, uint32_t value, tStatus* status) {
  guarded(925, status, [&](tStatus& s) {
    switch (mode_) {
      case kSessionMode:
        ownedSession_->accessorWrite32(offset, value);
        break;
      case kDownloadProtocolMode:
        break;
      case kAttributeMode:
        record(s, kNotSupported, 912);
        break;
      default:
        record(s, kBadMode, 921);
    }
  });
}

void FpgaSessionTraditional::callIrqMethod1E(tStatus* status) {
  guarded(976, status, [&](tStatus& s) {
    if (mode_ == kSessionMode) {
      ownedSession_->sendIrqCommand831E();
    } else if (mode_ != kAttributeMode && mode_ != kDownloadProtocolMode) {
      record(s, kBadMode, 972);
    }
  });
}

void FpgaSessionTraditional::callIrqMethod1F(tStatus* status) {
  guarded(998, status, [&](tStatus& s) {
    if (mode_ == kSessionMode) {
      ownedSession_->sendIrqCommand831F();
    } else if (mode_ != kAttributeMode && mode_ != kDownloadProtocolMode) {
      record(s, kBadMode, 994);
    }
  });
}

uint32_t FpgaSessionTraditional::waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, tStatus* status) {
  return guarded(1049, status, uint32_t{0}, [&](tStatus& s) -> uint32_t {
    if (mode_ == kAttributeMode || mode_ == kDownloadProtocolMode) return 0;
    if (mode_ != kSessionMode) {
      record(s, kBadMode, 1045);
      return 0;
    }
    bool timedOut = false;
    const uint32_t asserted = ownedSession_->waitOnIrq(irqs, timeoutMs, &timedOut);
    if (timedOut) record(s, kIrqTimedOut, 1038);
    return asserted;
  });
}

}  // namespace qvkel
