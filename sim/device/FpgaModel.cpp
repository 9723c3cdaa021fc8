#include "sim/device/FpgaModel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "sim/device/Module.h"

namespace sim {

namespace {

constexpr uint32_t kConfigurePersonality = commandCode(kDirWrite, 0x83, 0x0A);
constexpr uint32_t kCloseSession = commandCode(kDirWrite, 0x83, 0x0B);
constexpr uint32_t kDownload = commandCode(kDirWrite, 0x83, 0x0C);
constexpr uint32_t kPrepareReset = commandCode(kDirWrite, 0x83, 0x0D);
constexpr uint32_t kReset = commandCode(kDirWrite, 0x83, 0x0E);
constexpr uint32_t kAbort = commandCode(kDirWrite, 0x83, 0x0F);
constexpr uint32_t kEnableInterrupts = commandCode(kDirWrite, 0x83, 0x1E);
constexpr uint32_t kDisableInterrupts = commandCode(kDirWrite, 0x83, 0x1F);
constexpr uint32_t kWaitInterrupts = commandCode(kDirWrite, 0x83, 0x20);
constexpr uint32_t kConfigureFromFlash = commandCode(kDirWrite, 0x09, 0x07);
constexpr uint32_t kCommands[] = {
    kConfigurePersonality, kCloseSession,      kDownload,       kPrepareReset,      kReset, kAbort,
    kEnableInterrupts,     kDisableInterrupts, kWaitInterrupts, kConfigureFromFlash};

constexpr uint32_t kCommonDataSize = 48;
constexpr uint32_t kFifoRecordSize = 37;
constexpr int32_t kInvalidParameter = -52005;
constexpr uint32_t kGone = 0xFFFFFFFF;
constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// Copies `length` bytes from a caller's address; false for a null address with a length.
bool copyIn(uint64_t address, uint64_t length, std::vector<uint8_t>& out) {
  if (length != 0 && address == 0) return false;
  out.resize(length);
  if (length != 0) std::memcpy(out.data(), reinterpret_cast<const void*>(address), length);
  return true;
}

template <typename T>
T field(const uint8_t* at) {
  T v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

FpgaModel::FifoRecord decodeFifo(const uint8_t* r) {
  FpgaModel::FifoRecord f{};
  f.kind = r[0];
  f.subKind = r[1];
  f.elementType = r[2];
  f.wordLength = field<uint32_t>(r + 3);
  f.size = field<uint32_t>(r + 7);
  f.isSigned = r[11];
  f.integerWordLength = field<int32_t>(r + 12);
  f.channel = field<uint32_t>(r + 16);
  f.address = field<uint32_t>(r + 20);
  f.depth = field<uint32_t>(r + 24);
  f.userVisible = r[28];
  f.writeWindowAddress = field<uint32_t>(r + 29);
  f.writeWindowSize = field<uint32_t>(r + 33);
  return f;
}

}  // namespace

FpgaModel::FpgaModel(Module& module) : module_(module), device_(module.deviceInterface()) {
  device_.handle(kConfigurePersonality, [this](Call& c) { return configurePersonality(c); });
  device_.handle(kConfigureFromFlash, [this](Call& c) { return configurePersonality(c); });
  device_.handle(kCloseSession, [this](Call& c) {
    std::lock_guard lock(mutex_);
    closes_.push_back(Close{c.u64(0), c.u8(8)});
    c.resultWord = closeResult_;
    return 0;
  });
  device_.handle(kDownload, [this](Call& c) { return download(c); });
  device_.handle(kPrepareReset, [](Call&) { return 0; });
  device_.handle(kReset, [this](Call&) {
    std::lock_guard lock(mutex_);
    restart();
    return 0;
  });
  device_.handle(kAbort, [this](Call&) {
    std::lock_guard lock(mutex_);
    state_ = stateAfterAbort_;
    readsLeft_ = -1;
    return 0;
  });
  device_.handle(kEnableInterrupts, [](Call&) { return 0; });
  device_.handle(kDisableInterrupts, [](Call&) { return 0; });
  device_.handle(kWaitInterrupts, [this](Call& c) { return waitForInterrupts(c); });
}

FpgaModel::~FpgaModel() {
  for (uint32_t code : kCommands) device_.removeHandler(code);
  std::optional<uint32_t> control, status;
  {
    std::unique_lock lock(mutex_);
    shuttingDown_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return waiting_ == 0; });
    control = control_;
    status = interruptStatus_;
  }
  if (control) module_.registers().clearHooks(*control);
  if (status) module_.registers().clearHooks(*status);
}

// Both configure methods start {u64 common data, u32 length, pad, u64 FIFO table, u32 length};
// 0x830A goes on {u64 bitstream, u32 length}, 0x0907 {u32 flash image}. Each answers the
// downloaded flag in its first output byte.
int FpgaModel::configurePersonality(Call& c) {
  Personality p;
  std::vector<uint8_t> fifoBytes;
  uint32_t commonLength = c.u32(8), fifoLength = c.u32(24);
  if (commonLength != kCommonDataSize || fifoLength % kFifoRecordSize != 0) {
    c.status = kInvalidParameter;
    return 0;
  }
  if (!copyIn(c.u64(0), commonLength, p.commonBytes) || !copyIn(c.u64(16), fifoLength, fifoBytes))
    return EFAULT;
  if (c.command == kConfigureFromFlash) {
    p.flashImage = c.u32(28);
  } else if (uint64_t bitstream = c.u64(32);
             bitstream != 0 && !copyIn(bitstream, c.u32(40), p.bitstream)) {
    return EFAULT;
  }
  for (size_t i = 0; i < p.common.size(); ++i)
    p.common[i] = field<uint32_t>(p.commonBytes.data() + i * 4);
  for (size_t at = 0; at < fifoBytes.size(); at += kFifoRecordSize)
    p.fifos.push_back(decodeFifo(fifoBytes.data() + at));

  std::optional<uint32_t> control, status;
  {
    std::lock_guard lock(mutex_);
    bool withBitstream = !p.bitstream.empty() || p.flashImage.has_value();
    bool signatureDiffers = !personality_ || !std::equal(p.common.begin() + 8, p.common.end(),
                                                         personality_->common.begin() + 8);
    p.downloaded =
        withBitstream && (policy_ == DownloadPolicy::Always ||
                          (policy_ == DownloadPolicy::WhenSignatureDiffers && signatureDiffers));
    if (p.downloaded) {
      bitstream_ = p.bitstream;
      ++downloads_;
      restart();
    }
    c.putU8(0, p.downloaded ? 1 : 0);
    control = p.common[0];
    status = p.common[2] + kInterruptStatusDistance;
    personality_ = std::move(p);
  }
  placeRegisters(control, status);
  return 0;
}

int FpgaModel::download(Call& c) {
  std::vector<uint8_t> bytes;
  if (!copyIn(c.u64(0), c.u32(8), bytes)) return EFAULT;
  std::lock_guard lock(mutex_);
  bitstream_ = std::move(bytes);
  ++downloads_;
  restart();
  return 0;
}

int FpgaModel::waitForInterrupts(Call& c) {
  uint32_t mask = c.u32(0), timeoutMs = c.u32(4);
  std::unique_lock lock(mutex_);
  ++interruptWaits_;
  ++waiting_;
  changed_.notify_all();
  auto seen = [&] { return (pending_ & mask) != 0 || shuttingDown_; };
  if (timeoutMs == kWaitForever)
    changed_.wait(lock, seen);
  else
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), seen);
  uint32_t asserted = pending_ & mask;
  c.putU32(0, asserted);
  c.putU8(4, asserted == 0 ? 1 : 0);
  --waiting_;
  changed_.notify_all();
  return 0;
}

void FpgaModel::restart() {
  state_ = autoRun_ ? kRunning : kIdle;
  readsLeft_ = -1;
}

void FpgaModel::placeRegisters(std::optional<uint32_t> control, std::optional<uint32_t> status) {
  RegisterFile& registers = module_.registers();
  std::optional<uint32_t> oldControl, oldStatus;
  {
    std::lock_guard lock(mutex_);
    oldControl = std::exchange(control_, control);
    oldStatus = std::exchange(interruptStatus_, status);
  }
  if (oldControl && oldControl != control) registers.clearHooks(*oldControl);
  if (oldStatus && oldStatus != status) registers.clearHooks(*oldStatus);
  if (control) {
    registers.setHooks(
        *control, [this](uint32_t) { return readControl(); },
        [this](uint32_t, uint32_t value) { return writeControl(value); });
  }
  if (status) {
    registers.setHooks(
        *status,
        [this](uint32_t) {
          std::lock_guard lock(mutex_);
          return pending_;
        },
        [this](uint32_t, uint32_t value) {
          std::lock_guard lock(mutex_);
          pending_ &= ~value;
          return pending_;
        });
  }
}

uint32_t FpgaModel::readControl() {
  std::lock_guard lock(mutex_);
  if (gone_) return kGone;
  if (readsLeft_ > 0) {
    --readsLeft_;
  } else if (readsLeft_ == 0) {
    state_ = kRunning;
    readsLeft_ = -1;
  }
  return state_ | errorBits_;
}

uint32_t FpgaModel::writeControl(uint32_t value) {
  std::lock_guard lock(mutex_);
  controlWrites_.push_back(value);
  size_t n = controlWrites_.size();
  bool startSequence = n >= 3 && controlWrites_[n - 3] == 4 && controlWrites_[n - 2] == 0 &&
                       controlWrites_[n - 1] == 2;
  if (startSequence) {
    // Starting: idle until it runs.
    state_ = readsBeforeRunning_ == 0 ? kRunning : kIdle;
    readsLeft_ = readsBeforeRunning_ > 0 ? readsBeforeRunning_ : -1;
  }
  return value;
}

void FpgaModel::setDownloadPolicy(DownloadPolicy policy) {
  assign(policy_, policy);
}

void FpgaModel::setAutoRun(bool autoRun) {
  assign(autoRun_, autoRun);
}

void FpgaModel::setReadsBeforeRunning(int reads) {
  assign(readsBeforeRunning_, reads);
}

void FpgaModel::setStateAfterAbort(uint32_t state) {
  assign(stateAfterAbort_, state);
}

void FpgaModel::setErrorBits(uint32_t bits) {
  assign(errorBits_, bits);
}

void FpgaModel::setGone(bool gone) {
  assign(gone_, gone);
}

void FpgaModel::setState(uint32_t state) {
  std::lock_guard lock(mutex_);
  state_ = state;
  readsLeft_ = -1;
}

void FpgaModel::finish() {
  std::lock_guard lock(mutex_);
  if (state_ == kRunning) state_ = kStopped;
}

void FpgaModel::setControlRegister(uint32_t address) {
  std::optional<uint32_t> status;
  {
    std::lock_guard lock(mutex_);
    status = interruptStatus_;
  }
  placeRegisters(address, status);
}

void FpgaModel::setInterruptStatusRegister(uint32_t address) {
  std::optional<uint32_t> control;
  {
    std::lock_guard lock(mutex_);
    control = control_;
  }
  placeRegisters(control, address);
}

void FpgaModel::setCloseResult(uint32_t result) {
  assign(closeResult_, result);
}

void FpgaModel::raiseInterrupts(uint32_t bits) {
  std::lock_guard lock(mutex_);
  pending_ |= bits;
  changed_.notify_all();
}

uint32_t FpgaModel::pendingInterrupts() const {
  return read(pending_);
}

bool FpgaModel::awaitInterruptWaits(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return interruptWaits_ >= count; });
}

uint32_t FpgaModel::state() const {
  return read(state_);
}

std::optional<uint32_t> FpgaModel::controlRegister() const {
  return read(control_);
}

std::optional<uint32_t> FpgaModel::interruptStatusRegister() const {
  return read(interruptStatus_);
}

std::vector<uint32_t> FpgaModel::controlWrites() const {
  return read(controlWrites_);
}

std::optional<FpgaModel::Personality> FpgaModel::personality() const {
  return read(personality_);
}

size_t FpgaModel::downloads() const {
  return read(downloads_);
}

std::vector<uint8_t> FpgaModel::lastBitstream() const {
  return read(bitstream_);
}

std::vector<FpgaModel::Close> FpgaModel::closes() const {
  return read(closes_);
}

}  // namespace sim
