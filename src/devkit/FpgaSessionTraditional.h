#pragma once
// The legacy register-protocol session. It starts answering numbered attributes through the
// device's attribute handlers and the flash manager (mode 0); once it has seen the legacy
// host's download call sequence it answers that host's download protocol itself (mode 1); the
// start command then builds a full session from the bitfile text the host stored, and register,
// FIFO and interrupt calls go to it (mode 2).
//
// Only the call-sequence detector is locked: calls that change the mode, the stored text or the
// owned session must not overlap other calls on the same session.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "devkit/AttributeHandlers.h"
#include "devkit/FlashManager.h"
#include "devkit/Session.h"
#include "devkit/SessionServices.h"
#include "foundation/platform/synchronization.h"
#include "qvkel/IFpgaSessionTraditional.h"

namespace qvkel {

class DeviceInfo;

// Recognises the legacy host's download sequence: getString 6, getString 4 (any number),
// setU32 23 = 2, getString 1, getU32 58, getU32 48, with getU32 82 allowed in between from the
// second step on. State 5 is final.
class CallSequenceDetector {
 public:
  static constexpr uint32_t kComplete = 5;

  // The mutex's creation failure is raised (-52003).
  CallSequenceDetector();
  CallSequenceDetector(const CallSequenceDetector&) = delete;
  CallSequenceDetector& operator=(const CallSequenceDetector&) = delete;

  void onGetString(uint32_t attribute);
  void onSetU32(uint32_t attribute, uint32_t value);
  void onGetU32(uint32_t attribute);
  bool isComplete() const { return state_.load() == kComplete; }
  uint32_t state() const { return state_.load(); }

 private:
  enum class Input : uint8_t { GetString, SetU32, GetU32 };
  void advance(Input input, uint32_t attribute, uint32_t value);

  std::atomic<uint32_t> state_{0};
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
};

// Block transfers of another kind, chosen by block flags above 32.
class IBlockAccessExtension {
 public:
  virtual ~IBlockAccessExtension() = default;
  virtual void writeBlock(uint32_t offset, uint32_t count, const void* buffer, uint32_t flags) = 0;
  virtual void readBlock(uint32_t offset, uint32_t count, void* buffer, uint32_t flags) = 0;
};

class FpgaSessionTraditional final : public IFpgaSessionTraditional {
 public:
  enum Mode : uint32_t { kAttributeMode = 0, kDownloadProtocolMode = 1, kSessionMode = 2 };
  // Added to the open flags of the owned session: no signature check, restricted.
  static constexpr uint32_t kOwnedSessionFlags = 0x81000000;

  FpgaSessionTraditional(std::shared_ptr<const DeviceInfo> device, ISessionFactory* factory,
                         std::shared_ptr<IAttributeHandler> attributeHandler,
                         std::shared_ptr<IFlashManager> flashManager,
                         std::unique_ptr<IBlockAccessExtension> extension = nullptr);
  ~FpgaSessionTraditional() override;
  FpgaSessionTraditional(const FpgaSessionTraditional&) = delete;
  FpgaSessionTraditional& operator=(const FpgaSessionTraditional&) = delete;

  uint32_t mode() const { return mode_; }
  user::Session* ownedSession() const { return ownedSession_.get(); }
  uint32_t openFlags() const { return openFlags_; }

  uint32_t getAttributeU32(uint32_t attribute, tStatus* s) override;
  void getAttributeString(uint32_t attribute, char* buffer, uint32_t bufferSize, uint32_t* length,
                          tStatus* s) override;
  void setAttributeU32(uint32_t attribute, uint32_t value, tStatus* s) override;
  void setAttributeString(uint32_t attribute, const char* text, tStatus* s) override;
  void download(const void* data, uint32_t size, const char* name, uint32_t nameLength,
                uint32_t kind, tStatus* s) override;
  void reset(tStatus* s) override;
  void noOperation6(tStatus*) override {}
  void noOperation7(tStatus*) override {}
  void noOperation8(tStatus*) override {}
  void unsupported9(tStatus* s) override { unsupported(501, s); }
  void unsupported10(tStatus* s) override { unsupported(507, s); }
  void unsupported11(tStatus* s) override { unsupported(516, s); }
  void configureFifo(uint32_t fifo, uint32_t requestedDepth, uint32_t* actualDepth, uint32_t unused,
                     tStatus* s) override;
  void startFifo(uint32_t fifo, tStatus* s) override;
  void stopFifo(uint32_t fifo, tStatus* s) override;
  void readFifo(uint32_t fifo, void* buffer, uint32_t count, uint32_t elementType,
                uint32_t timeoutMs, uint32_t* countRead, uint32_t* remaining, tStatus* s) override;
  void writeFifo(uint32_t fifo, const void* buffer, uint32_t count, uint32_t elementType,
                 uint32_t timeoutMs, uint32_t* emptyRemaining, tStatus* s) override;
  void acquireFifoElements(uint32_t fifo, void** elements, uint32_t count, uint32_t elementType,
                           bool forWriting, uint32_t timeoutMs, uint32_t* acquired,
                           uint32_t* remaining, tStatus* s) override;
  void releaseFifoElements(uint32_t fifo, uint32_t count, tStatus* s) override;
  void noOperation19(tStatus*) override {}
  void unsupported20(tStatus* s) override { unsupported(770, s); }
  void writeBlock(uint32_t offset, uint32_t count, const void* buffer, uint32_t flags,
                  tStatus* s) override;
  void readBlock(uint32_t offset, uint32_t count, void* buffer, uint32_t flags,
                 tStatus* s) override;
  int32_t unsupported23(tStatus* s) override {
    unsupported(855, s);
    return -1;
  }
  uint32_t readU32(uint32_t offset, tStatus* s) override;
  uint32_t unsupported25(tStatus* s) override {
    unsupported(886, s);
    return 0xFFFFFFFF;
  }
  uint32_t unsupported26(tStatus* s) override {
    unsupported(893, s);
    return 0xFFFFFFFF;
  }
  void unsupported27(tStatus* s) override { unsupported(901, s); }
  void writeU32(uint32_t offset, uint32_t value, tStatus* s) override;
  void unsupported29(tStatus* s) override { unsupported(932, s); }
  void unsupported30(tStatus* s) override { unsupported(939, s); }
  uint32_t query31(tStatus*) override { return 0; }
  uint32_t unsupported32(tStatus* s) override {
    unsupported(953, s);
    return 0;
  }
  void callIrqMethod1E(tStatus* s) override;
  void callIrqMethod1F(tStatus* s) override;
  uint32_t waitOnIrqs(uint32_t irqs, uint32_t timeoutMs, tStatus* s) override;
  void release() override;
  void unsupported37(tStatus* s) override { unsupported(1068, s); }
  void unsupported38(tStatus* s) override { unsupported(1075, s); }

 private:
  // Runs `body` under the boundary map located at `line` unless the status already holds an
  // error; returns `failed` then, or when the body raised.
  template <typename R, typename F>
  R guarded(uint64_t line, tStatus* status, R failed, F&& body);
  template <typename F>
  void guarded(uint64_t line, tStatus* status, F&& body);
  void unsupported(uint64_t line, tStatus* status);
  uint32_t answerInDownloadProtocol(uint32_t attribute, tStatus& status);
  void startOwnedSession();
  // The owned session, or -63032 recorded at `line` (null).
  user::Session* requireOwnedSession(uint64_t line, tStatus& status);
  // The block element size of `flags` (-52005 recorded, 0, for an unknown one).
  uint32_t blockElementSize(uint32_t flags, tStatus& status);

  std::shared_ptr<const DeviceInfo> device_;
  CallSequenceDetector sequenceDetector_;
  uint32_t mode_ = kAttributeMode;
  std::unique_ptr<user::Session> ownedSession_;
  ISessionFactory* sessionFactory_;
  std::shared_ptr<IAttributeHandler> attributeHandler_;
  std::shared_ptr<IFlashManager> flashManager_;
  uint32_t attribute45_ = 0xFFFFFFFF;
  std::string storedBitfileText_;
  uint32_t openFlags_ = 0;
  std::unique_ptr<IBlockAccessExtension> blockAccessExtension_;
};

// Destroys a legacy session; nothing for null.
void releaseFpgaSessionTraditional(IFpgaSessionTraditional* session);

}  // namespace qvkel
