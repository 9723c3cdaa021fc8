#include "devkit/Fpga.h"

#include <sched.h>

#include "devkit/AttributeHandlers.h"
#include "devkit/HostBuffer.h"
#include "devkit/IoAccessor.h"
#include "devkit/SessionServices.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/platform/timeBase.h"

namespace qvkel::user {
namespace {

namespace sync = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

constexpr const char* kSource = "Fpga";
// The control register's error bits, recorded in the merge rule's order.
constexpr qverr::StatusLocation kAllOnes{"Common", 285, qverr::kComponent};
constexpr qverr::StatusLocation kBit6{"Common", 287, qverr::kComponent};
constexpr qverr::StatusLocation kBit4{"Common", 289, qverr::kComponent};
constexpr qverr::StatusLocation kBit7{"Common", 291, qverr::kComponent};
constexpr qverr::StatusLocation kCallbackBoundary{kSource, 297, qverr::kComponent};
// Locations of our own choosing.
constexpr qverr::StatusLocation kNothingAttached{kSource, 120, qverr::kComponent};
constexpr qverr::StatusLocation kInvalidState{kSource, 141, qverr::kComponent};
constexpr qverr::StatusLocation kRestartImplicit{kSource, 163, qverr::kComponent};
constexpr qverr::StatusLocation kRestartRestrictedAt{kSource, 165, qverr::kComponent};
constexpr qverr::StatusLocation kStartTimedOut{kSource, 184, qverr::kComponent};
constexpr qverr::StatusLocation kResetImplicit{kSource, 205, qverr::kComponent};
constexpr qverr::StatusLocation kResetUnsupported{kSource, 207, qverr::kComponent};
constexpr qverr::StatusLocation kAbortImplicit{kSource, 225, qverr::kComponent};
constexpr qverr::StatusLocation kAbortUnsupported{kSource, 227, qverr::kComponent};
constexpr qverr::StatusLocation kNoSignature{kSource, 246, qverr::kComponent};
constexpr qverr::StatusLocation kSignatureDiffers{kSource, 250, qverr::kComponent};
constexpr qverr::StatusLocation kTargetClass{kSource, 254, qverr::kComponent};
constexpr qverr::StatusLocation kNoHandlerForFifos{kSource, 331, qverr::kComponent};
constexpr qverr::StatusLocation kKeyTaken{kSource, 371, qverr::kComponent};
constexpr qverr::StatusLocation kKeyUnknown{kSource, 384, qverr::kComponent,
                                            qverr::constant::kResourceNotFound};

constexpr uint32_t kAllBits = 0xFFFFFFFF;
constexpr uint32_t kStateMask = 0x3;
constexpr uint32_t kStartSequence[] = {4, 0, 2};
constexpr uint32_t kStartTimeoutMs = 50;
constexpr uint32_t kNumaNodeAttribute = 92;

uint64_t nowMs() {
  return nQVVANDRELBRENMOORU_22_8::nQVVUSK000::getMonotonicTimeNs() / 1000000;
}

}  // namespace

Fpga::Fpga(std::shared_ptr<Proxy> proxy) : Fpga(std::move(proxy), nQVVUSKS100::tStatus{}) {}

Fpga::Fpga(std::shared_ptr<Proxy> proxy, nQVVUSKS100::tStatus&& lockCreation)
    : lock_(&lockCreation), proxy_(std::move(proxy)) {
  if (lockCreation.isError()) qverr::throwRecord(lockCreation);
  hmbManager_ = std::make_shared<HMBVirtualMemoryManager>(proxy_);
}

Fpga::~Fpga() {
  handlers_.clear();
  hmbManager_.reset();
  fifos_.clear();
}

void Fpga::storeState(uint32_t state) {
  // A sequentially consistent exchange: the store and a full fence in one instruction, which
  // the thread checker also understands.
  state_.exchange(state);
}

const Fpga::BitfileState& Fpga::attached() const {
  if (!bitfileState_) qverr::raise(kNoBitfile, kNothingAttached);
  return *bitfileState_;
}

std::shared_ptr<IIoAccessor> Fpga::getIoAccessor() const {
  sync::tMutexLock lock(attachmentMutex_);
  return ioAccessor_;
}

Fpga::Attachment Fpga::attachment() const {
  sync::tMutexLock lock(attachmentMutex_);
  if (!bitfileState_) qverr::raise(kNoBitfile, kNothingAttached);
  return Attachment{ioAccessor_, *bitfileState_};
}

bool Fpga::checkFpgaState() {
  const Attachment attached = attachment();
  if (!attached.accessor) qverr::raise(kNoBitfile, kNothingAttached);
  uint32_t word = attached.accessor->read32(attached.state.controlRegister);
  {
    qverr::ThrowingStatusRecord status;
    if (word == kAllBits) qverr::recordCode(status, kFpgaGone, kAllOnes);
    if ((word & 0x40) != 0) qverr::recordCode(status, kControlBit6, kBit6);
    if ((word & 0x10) != 0) qverr::recordCode(status, kBusError, kBit4);
    if ((word & 0x80) != 0) qverr::recordCode(status, kControlBit7, kBit7);
  }
  uint32_t state = word & kStateMask;
  storeState(state);
  if (state == kInvalid) qverr::raise(kInvalidRunState, kInvalidState);
  return state == kRunning;
}

void Fpga::run(bool* alreadyRunning) {
  bool running = checkFpgaState();
  if (alreadyRunning != nullptr) *alreadyRunning = running;
  if (running) return;
  const Attachment attached = attachment();
  const BitfileState& s = attached.state;
  if (state() == kStopped) {
    if (s.allowImplicitEnableRemoval) qverr::raise(kRestartNeedsImplicitEnable, kRestartImplicit);
    if (s.rerunRestricted) qverr::raise(kRestartRestricted, kRestartRestrictedAt);
  }
  for (uint32_t value : kStartSequence) attached.accessor->write32(s.controlRegister, value);
  const uint64_t start = nowMs();
  for (;;) {
    // The clock is read before the state, so that the last look comes after the time is up
    // even when this thread was held up in between.
    const bool timeUp = static_cast<uint32_t>(nowMs() - start) >= kStartTimeoutMs;
    checkFpgaState();
    if (state() == kRunning || state() == kStopped) return;
    if (timeUp) qverr::raise(kNotRunningInTime, kStartTimedOut);
  }
}

void Fpga::runWithFlags(uint32_t flags, bool* alreadyRunning) {
  run(alreadyRunning);
  if ((flags & kWaitUntilDone) == 0) return;
  while (checkFpgaState()) sched_yield();
}

void Fpga::stopThroughDriver(bool (Configuration::*command)(nQVVUSKS100::tStatus*),
                             bool BitfileState::*supported, int32_t implicitEnableCode,
                             const qverr::StatusLocation& implicitEnableAt,
                             const qverr::StatusLocation& unsupportedAt) {
  const BitfileState s = attachment().state;
  if (s.allowImplicitEnableRemoval) qverr::raise(implicitEnableCode, implicitEnableAt);
  if (!(s.*supported)) qverr::raise(kNotSupported, unsupportedAt);
  Configuration* configuration = proxy_.get();
  {
    qverr::ThrowingStatusRecord status;
    configuration->command830D(&status);
  }
  ExclusiveLock exclusive(lock_);
  {
    qverr::ThrowingStatusRecord status;
    (configuration->*command)(&status);
  }
  markAllFifosStopped();
}

void Fpga::reset() {
  stopThroughDriver(&Configuration::command830E, &BitfileState::resetSupported,
                    kResetWithImplicitEnable, kResetImplicit, kResetUnsupported);
}

void Fpga::abort() {
  stopThroughDriver(&Configuration::command830F, &BitfileState::abortSupported,
                    kAbortWithImplicitEnable, kAbortImplicit, kAbortUnsupported);
}

const Fpga::BitfileState* Fpga::attachSession(KernelSession& downloadState,
                                              std::shared_ptr<IIoAccessor> accessor,
                                              std::shared_ptr<IAttributeHandler> handler,
                                              std::shared_ptr<const Bitfile> bitfile,
                                              IPersonalityConfigurer& configurer,
                                              ITargetClassChecker& checker,
                                              const char* expectedSignature, uint32_t flags) {
  if ((flags & kSkipSignatureCheck) == 0) {
    if (expectedSignature == nullptr) qverr::raise(kSignatureMismatch, kNoSignature);
    if (!(FpgaSignature(expectedSignature) == FpgaSignature(bitfile->getSignature())))
      qverr::raise(kSignatureMismatch, kSignatureDiffers);
  }
  if (!checker.isCompatible(*bitfile)) qverr::raise(kTargetClassMismatch, kTargetClass);

  ExclusiveLock exclusive(lock_);
  bool downloaded = false;
  configurer.configureAndMark(downloadState, &downloaded);
  bool keep = (flags & kKeepAttachment) != 0;
  bool keepPresent =
      bitfileState_ && !downloaded &&
      (keep || (bitfile->getSignature() == bitfileState_->bitfile->getSignature() && fifosBuilt_));
  if (!keepPresent)
    attachBitfile(std::move(bitfile), std::move(accessor), std::move(handler), !keep);
  if ((flags & kNoRun) == 0 && !(downloaded && bitfileState_->autoRunWhenDownloaded)) run();
  checkFpgaState();
  return bitfileState_ ? &*bitfileState_ : nullptr;
}

void Fpga::attachBitfile(std::shared_ptr<const Bitfile> bitfile,
                         std::shared_ptr<IIoAccessor> accessor,
                         std::shared_ptr<IAttributeHandler> handler, bool buildFifos) {
  BitfileState s;
  s.signature = FpgaSignature(bitfile->getSignature());
  uint32_t base = bitfile->getBaseAddress();
  s.controlRegister = base + bitfile->getWexControlOffset();
  s.interruptStatusRegister = base + bitfile->getInterruptStatusOffset();
  s.allowImplicitEnableRemoval = bitfile->getAllowImplicitEnableRemoval();
  s.resetSupported = !bitfile->isResetNotSupported();
  s.abortSupported = !bitfile->isAbortNotSupported();
  s.rerunRestricted = s.allowImplicitEnableRemoval || !s.resetSupported || !s.abortSupported;
  s.autoRunWhenDownloaded = bitfile->getAutoRunWhenDownloaded();
  s.bitfile = std::move(bitfile);
  fifos_.clear();
  attributeHandler_ = std::move(handler);
  // Sessions read these without the operation lock: they change only together, under their own
  // mutex, and what they replace goes after it is left.
  std::optional<BitfileState> replacedState(std::move(s));
  {
    sync::tMutexLock lock(attachmentMutex_);
    ioAccessor_.swap(accessor);
    bitfileState_.swap(replacedState);
  }
  fifosBuilt_ = false;
  if (buildFifos) {
    createFifos();
    fifosBuilt_ = true;
  }
}

void Fpga::createFifos() {
  const std::vector<NamedFifo>& channels = attached().bitfile->getFifos();
  if (channels.empty()) return;
  if (!attributeHandler_) qverr::raise(qverr::kInternalError, kNoHandlerForFifos);
  bool handled = false;
  uint32_t node = attributeHandler_->getU32(kNumaNodeAttribute, handled);
  int32_t numaNode = handled ? static_cast<int32_t>(node) : -1;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> fifoInterface =
      proxy_;
  fifos_ = qvkel::createFifos(channels, fifoInterface, reinterpret_cast<uint64_t>(this), numaNode,
                              getHighestNumaNode());
}

Fifo& Fpga::getFifo(uint32_t channel) {
  return qvkel::getFifo(fifos_, channel);
}

void Fpga::markAllFifosStopped() {
  qvkel::markAllFifosStopped(fifos_);
}

void Fpga::detachUserFromAllFifos(uint64_t token) noexcept {
  SharedLock shared(lock_);
  qvkel::detachUserFromAllFifos(fifos_, token);
}

void Fpga::exchangeRegisteredHandler(uint32_t key, std::unique_ptr<RegisteredHandler>& handler) {
  sync::tMutexLock lock(handlersMutex_);
  auto [entry, inserted] = handlers_.try_emplace(key);
  if (!inserted) qverr::raise(kNotRunningInTime, kKeyTaken);
  entry->second.swap(handler);
}

void Fpga::unregisterHandler(uint32_t key) {
  std::unique_ptr<RegisteredHandler> removed;
  {
    sync::tMutexLock lock(handlersMutex_);
    auto entry = handlers_.find(key);
    if (entry == handlers_.end()) qverr::raise(qverr::kResourceNotFound, kKeyUnknown);
    removed = std::move(entry->second);
    handlers_.erase(entry);
  }
}

size_t Fpga::handlerCount() const {
  sync::tMutexLock lock(handlersMutex_);
  return handlers_.size();
}

void Fpga::unregisterHandlerCallback(void* context, uint32_t key) {
  auto* c = static_cast<HandlerContext*>(context);
  if (c == nullptr) return;  // a cleanup never fails, also without a context
  nQVVUSKS100::tStatus dropped;
  if (qverr::runAtBoundary(&dropped, kCallbackBoundary, [&] { c->fpga->unregisterHandler(key); }))
    delete c;
}

}  // namespace qvkel::user
