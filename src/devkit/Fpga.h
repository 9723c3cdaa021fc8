#pragma once
// The FPGA of one module, shared by every session of the module: its operation lock, the last
// run state read from its control register, the bitfile attached to it, the run-time DMA FIFO
// objects of that bitfile, the host-memory-buffer manager and a registry of handler objects.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "devkit/Bitfile.h"
#include "devkit/FifoTable.h"
#include "devkit/FpgaSignature.h"
#include "devkit/HMBVirtualMemoryManager.h"
#include "devkit/ReaderWriterLock.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

class IAttributeHandler;
class IPersonalityConfigurer;
class ITargetClassChecker;

namespace user {

class IIoAccessor;
struct KernelSession;

// Status codes of the FPGA object.
inline constexpr int32_t kFpgaGone = -63036;
inline constexpr int32_t kControlBit6 = -61083;
inline constexpr int32_t kControlBit7 = -61216;
inline constexpr int32_t kInvalidRunState = -63150;
inline constexpr int32_t kRestartNeedsImplicitEnable = -61215;
inline constexpr int32_t kRestartRestricted = -61254;
inline constexpr int32_t kNotRunningInTime = -61499;
inline constexpr int32_t kResetWithImplicitEnable = -61211;
inline constexpr int32_t kAbortWithImplicitEnable = -61212;
inline constexpr int32_t kNotSupported = -63193;
inline constexpr int32_t kSignatureMismatch = -63106;
inline constexpr int32_t kTargetClassMismatch = -61024;
inline constexpr int32_t kNoBitfile = -52010;

class Fpga {
 public:
  enum RunState : uint32_t { kIdle = 0, kInvalid = 1, kRunning = 2, kStopped = 3 };

  // Attach flags.
  static constexpr uint32_t kNoRun = 0x00000001;
  static constexpr uint32_t kKeepAttachment = 0x02000000;
  static constexpr uint32_t kSkipSignatureCheck = 0x80000000;
  // Run flags: wait until the FPGA no longer runs.
  static constexpr uint32_t kWaitUntilDone = 0x00000001;

  // What the FPGA object keeps of the attached bitfile.
  struct BitfileState {
    std::shared_ptr<const Bitfile> bitfile;
    FpgaSignature signature;
    uint32_t controlRegister = 0;
    uint32_t interruptStatusRegister = 0;
    bool allowImplicitEnableRemoval = false;
    bool resetSupported = true;
    bool abortSupported = true;
    bool rerunRestricted = false;
    bool autoRunWhenDownloaded = false;
  };

  // The attached bitfile's state with the accessor attached with it, copied together.
  struct Attachment {
    std::shared_ptr<IIoAccessor> accessor;
    BitfileState state;
  };

  // Any object the peer-to-peer layer registers; the registry destroys it.
  class RegisteredHandler {
   public:
    virtual ~RegisteredHandler() = default;
  };
  // The context handed out with unregisterHandlerCallback: it keeps the FPGA object alive.
  struct HandlerContext {
    Fpga* fpga;
    std::shared_ptr<Fpga> keepAlive;
  };

  using Proxy = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk;

  // The lock's creation failure is raised.
  explicit Fpga(std::shared_ptr<Proxy> proxy);
  virtual ~Fpga();
  Fpga(const Fpga&) = delete;
  Fpga& operator=(const Fpga&) = delete;

  // Resets the FPGA through the driver: 0x830D, then 0x830E under the exclusive lock.
  virtual void reset();
  // As reset with 0x830F.
  void abort();

  // Reads the control register and updates the run state; true when running. Raises the
  // control register's error bits, and -63150 for the invalid state.
  bool checkFpgaState();
  // Starts the FPGA and waits up to 50 ms until it runs or has stopped.
  void run(bool* alreadyRunning = nullptr);
  // run; with kWaitUntilDone then waits, without a time limit, until it no longer runs.
  void runWithFlags(uint32_t flags, bool* alreadyRunning = nullptr);

  // Attaches a session's bitfile: signature and target-class checks, then under the exclusive
  // lock the personality, the attach decision, the FIFO objects, the start and a state check.
  // Returns the state of the attached bitfile.
  const BitfileState* attachSession(KernelSession& downloadState,
                                    std::shared_ptr<IIoAccessor> accessor,
                                    std::shared_ptr<IAttributeHandler> handler,
                                    std::shared_ptr<const Bitfile> bitfile,
                                    IPersonalityConfigurer& configurer,
                                    ITargetClassChecker& checker, const char* expectedSignature,
                                    uint32_t flags);
  void attachBitfile(std::shared_ptr<const Bitfile> bitfile, std::shared_ptr<IIoAccessor> accessor,
                     std::shared_ptr<IAttributeHandler> handler, bool buildFifos);
  void createFifos();

  // The FIFO table: entry n belongs to DMA channel n; -52005 for a channel without an object.
  Fifo& getFifo(uint32_t channel);
  size_t fifoCount() const { return fifos_.size(); }
  bool fifosBuilt() const { return fifosBuilt_; }
  void markAllFifosStopped();
  // Under the shared side of the operation lock. Never raises.
  void detachUserFromAllFifos(uint64_t token) noexcept;

  // A key already registered raises -61499 and changes nothing; otherwise the registry takes
  // the handler and the caller's holder is left empty. Registration (on a session's thread) and
  // unregistration (from the host's cleanup callback, on any thread) take the registry's mutex.
  void exchangeRegisteredHandler(uint32_t key, std::unique_ptr<RegisteredHandler>& handler);
  // -52006 when nothing was registered under the key. The handler is destroyed after the
  // registry's mutex is released.
  void unregisterHandler(uint32_t key);
  // A cleanup callback of the peer-to-peer layer: never raises. After a successful
  // unregistration it frees the context (a HandlerContext made with new).
  static void unregisterHandlerCallback(void* context, uint32_t key);
  size_t handlerCount() const;

  ReaderWriterLock& lock() { return lock_; }
  uint32_t state() const { return state_.load(); }
  const std::atomic<uint32_t>& stateWord() const { return state_; }
  const std::optional<BitfileState>& bitfileState() const { return bitfileState_; }
  std::shared_ptr<IIoAccessor> getIoAccessor() const;
  // A copy of the attachment; -52010 when nothing is attached. Callers that run without the
  // operation lock (run, state checks, bitfile queries) read through it: another session's
  // attachment may replace the accessor and the state at any moment.
  Attachment attachment() const;
  std::shared_ptr<IAttributeHandler> getAttributeHandler() const { return attributeHandler_; }
  std::shared_ptr<HMBVirtualMemoryManager> getHmbManager() const { return hmbManager_; }
  const std::shared_ptr<Proxy>& proxy() const { return proxy_; }

 private:
  Fpga(std::shared_ptr<Proxy> proxy, nQVVUSKS100::tStatus&& lockCreation);
  void storeState(uint32_t state);
  // The attached bitfile's state; -52010 when none is attached.
  const BitfileState& attached() const;
  // Reset and abort: the checks, 0x830D, then `command` under the exclusive lock.
  using Configuration = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_configuration;
  void stopThroughDriver(bool (Configuration::*command)(nQVVUSKS100::tStatus*),
                         bool BitfileState::*supported, int32_t implicitEnableCode,
                         const qverr::StatusLocation& implicitEnableAt,
                         const qverr::StatusLocation& unsupportedAt);

  ReaderWriterLock lock_;
  // Guards the replacement and the copying of `ioAccessor_` and `bitfileState_`; taken alone,
  // never around anything else.
  mutable nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex attachmentMutex_;
  std::atomic<uint32_t> state_{kInvalid};
  std::shared_ptr<Proxy> proxy_;
  std::shared_ptr<IAttributeHandler> attributeHandler_;
  std::shared_ptr<IIoAccessor> ioAccessor_;
  std::optional<BitfileState> bitfileState_;
  FifoTable fifos_;
  bool fifosBuilt_ = false;
  std::shared_ptr<HMBVirtualMemoryManager> hmbManager_;
  // Guards `handlers_`; taken alone.
  mutable nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex handlersMutex_;
  std::map<uint32_t, std::unique_ptr<RegisteredHandler>> handlers_;
};

}  // namespace user
}  // namespace qvkel
