#include "sim/device/DmaFifos.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

constexpr uint32_t kDrop = commandCode(kDirWrite, 0x83, 0x28);
constexpr uint32_t kStart = commandCode(kDirWrite, 0x83, 0x29);
constexpr uint32_t kStop = commandCode(kDirWrite, 0x83, 0x2A);
constexpr uint32_t kWait = commandCode(kDirWrite, 0x83, 0x2B);
constexpr uint32_t kRelease = commandCode(kDirWrite, 0x83, 0x2C);
constexpr uint32_t kFree = commandCode(kDirWrite, 0x83, 0x2D);
constexpr uint32_t kSetBuffer = commandCode(kDirWrite, 0x83, 0x2E);
constexpr uint32_t kCommands[] = {kDrop, kStart, kStop, kWait, kRelease, kFree, kSetBuffer};

constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// Every FIFO command's input starts {u64 session handle, u32 channel}.
std::pair<uint64_t, uint32_t> keyOf(const Call& call) {
  return {call.u64(0), call.u32(8)};
}

}  // namespace

DmaFifos::DmaFifos(Interface& iface) : iface_(iface) {
  iface.handle(kSetBuffer, [this](Call& c) { return serve(c, &DmaFifos::setBuffer, true); });
  iface.handle(kDrop, [this](Call& c) { return serve(c, &DmaFifos::dropBuffer, true); });
  iface.handle(kStart, [this](Call& c) { return serve(c, &DmaFifos::start, true); });
  iface.handle(kStop, [this](Call& c) { return serve(c, &DmaFifos::stop, false); });
  iface.handle(kWait, [this](Call& c) { return serve(c, &DmaFifos::wait, false); });
  iface.handle(kRelease, [this](Call& c) { return serve(c, &DmaFifos::release, false); });
  iface.handle(kFree, [this](Call& c) { return serve(c, &DmaFifos::free, true); });
}

DmaFifos::~DmaFifos() {
  for (uint32_t code : kCommands) iface_.removeHandler(code);
  std::unique_lock lock(mutex_);
  closing_ = true;
  changed_.notify_all();
  changed_.wait(lock, [this] { return inFlight_ == 0; });
}

void DmaFifos::setDirectionSource(DirectionSource source) {
  std::lock_guard lock(mutex_);
  directionSource_ = std::move(source);
}

void DmaFifos::setDirection(uint32_t channel, Direction direction) {
  std::lock_guard lock(mutex_);
  directions_[channel] = direction;
  for (auto& [key, fifo] : fifos_)
    if (key.second == channel) fifo.direction = direction;
}

void DmaFifos::setFreeRunning(uint32_t channel, bool freeRunning) {
  std::lock_guard lock(mutex_);
  freeRunning_[channel] = freeRunning;
  for (auto& [key, fifo] : fifos_)
    if (key.second == channel) fifo.freeRunning = freeRunning;
  changed_.notify_all();
}

int DmaFifos::serve(Call& call,
                    int (DmaFifos::*command)(Call&, Fifo*, std::unique_lock<std::mutex>&),
                    bool movesTheRing) {
  std::unique_lock lock(mutex_);
  if (closing_) {
    call.status = kGone;
    return 0;
  }
  ++inFlight_;
  // A command that moves, restarts or frees the ring waits for a device copy into it.
  if (movesTheRing) changed_.wait(lock, [&] { return copying_ != keyOf(call); });
  auto found = fifos_.find(keyOf(call));
  const int err = (this->*command)(call, found == fifos_.end() ? nullptr : &found->second, lock);
  --inFlight_;
  changed_.notify_all();
  return err;
}

// {u64 handle, u32 channel, pad, u64 address, u64 size, u64 mirror bytes, u32 buffer type,
// u32 flow control, i32 status, pad}
int DmaFifos::setBuffer(Call& call, Fifo* fifo, std::unique_lock<std::mutex>&) {
  const uint64_t address = call.u64(16);
  const uint64_t size = call.u64(24);
  const uint64_t mirrorSize = call.u64(32);
  const uint32_t bufferType = call.u32(40);
  const uint32_t flowControl = call.u32(44);
  if (address == 0 || size == 0 || mirrorSize > size || (bufferType != 1 && bufferType != 2) ||
      (flowControl != 1 && flowControl != 2) || (fifo != nullptr && fifo->started)) {
    call.status = kBadRequest;
    return 0;
  }
  if (fifo == nullptr) {
    const uint32_t channel = call.u32(8);
    fifo = &fifos_[keyOf(call)];
    if (auto d = directions_.find(channel); d != directions_.end())
      fifo->direction = d->second;
    else if (directionSource_)
      fifo->direction = directionSource_(channel).value_or(Direction::TargetToHost);
    if (auto f = freeRunning_.find(channel); f != freeRunning_.end()) fifo->freeRunning = f->second;
  }
  fifo->address = address;
  fifo->size = size;
  fifo->mirrorSize = mirrorSize;
  fifo->bufferType = bufferType;
  fifo->flowControl = flowControl;
  fifo->hasBuffer = true;
  return 0;
}

int DmaFifos::dropBuffer(Call&, Fifo* fifo, std::unique_lock<std::mutex>&) {
  if (fifo != nullptr) fifo->hasBuffer = fifo->started = false;
  return 0;
}

int DmaFifos::start(Call& call, Fifo* fifo, std::unique_lock<std::mutex>&) {
  if (fifo == nullptr || !fifo->hasBuffer) {
    call.status = kBadRequest;
    return 0;
  }
  fifo->started = true;
  fifo->deviceBytes = fifo->hostBytes = 0;
  ++fifo->starts;
  return 0;
}

int DmaFifos::stop(Call&, Fifo* fifo, std::unique_lock<std::mutex>&) {
  if (fifo != nullptr) fifo->started = false;
  return 0;
}

int DmaFifos::free(Call& call, Fifo*, std::unique_lock<std::mutex>&) {
  fifos_.erase(keyOf(call));
  return 0;
}

uint64_t DmaFifos::available(const Fifo& fifo) {
  return fifo.direction == Direction::TargetToHost ? fifo.deviceBytes
                                                   : fifo.deviceBytes + fifo.size;
}

// {u64 handle, u32 channel, pad, u64 target bytes, u32 timeout ms, i32 status} ->
// {u64 available bytes, u8 timed out, pad, i32 status}
int DmaFifos::wait(Call& call, Fifo*, std::unique_lock<std::mutex>& lock) {
  const auto key = keyOf(call);
  const uint64_t target = call.u64(16);
  const uint32_t timeoutMs = call.u32(24);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  ++waiters_[key.second];
  changed_.notify_all();
  for (;;) {
    auto found = fifos_.find(key);
    if (closing_ || found == fifos_.end() || !found->second.hasBuffer || !found->second.started) {
      call.status = kGone;
      break;
    }
    Fifo& fifo = found->second;
    if (fifo.freeRunning)
      fifo.deviceBytes =
          fifo.direction == Direction::TargetToHost ? fifo.hostBytes + fifo.size : fifo.hostBytes;
    call.putU64(0, available(fifo));
    if (available(fifo) >= target) break;
    if (timeoutMs != kWaitForever && std::chrono::steady_clock::now() >= deadline) {
      call.putU8(8, 1);
      break;
    }
    if (timeoutMs == kWaitForever)
      changed_.wait(lock);
    else
      changed_.wait_until(lock, deadline);
  }
  --waiters_[key.second];
  return 0;
}

// {u64 handle, u32 channel, pad, u64 bytes, i32 status, pad}
int DmaFifos::release(Call& call, Fifo* fifo, std::unique_lock<std::mutex>&) {
  if (fifo == nullptr || !fifo->started) {
    call.status = kGone;
    return 0;
  }
  const uint64_t bytes = call.u64(16);
  if (fifo->hostBytes + bytes < fifo->hostBytes || fifo->hostBytes + bytes > available(*fifo)) {
    call.status = kBadRequest;
    return 0;
  }
  fifo->hostBytes += bytes;
  if (fifo->freeRunning && fifo->direction == Direction::HostToTarget)
    fifo->deviceBytes = fifo->hostBytes;
  return 0;
}

std::map<DmaFifos::Key, DmaFifos::Fifo>::iterator DmaFifos::startedFifo(uint32_t channel) {
  auto match = fifos_.end();
  for (auto it = fifos_.begin(); it != fifos_.end(); ++it) {
    if (it->first.second != channel) continue;
    if (match != fifos_.end()) throw std::logic_error("several sessions have this channel");
    match = it;
  }
  if (match == fifos_.end() || !match->second.started || !match->second.hasBuffer)
    throw std::out_of_range("no started FIFO on this channel");
  return match;
}

void DmaFifos::copyRing(const Fifo& fifo, uint64_t position, uint8_t* outside, size_t bytes,
                        bool intoRing) {
  auto* ring = reinterpret_cast<uint8_t*>(fifo.address);
  size_t index = static_cast<size_t>(position % fifo.size);
  while (bytes != 0) {
    const size_t piece = std::min<size_t>(bytes, fifo.size - index);
    if (intoRing)
      std::memcpy(ring + index, outside, piece);
    else
      std::memcpy(outside, ring + index, piece);
    outside += piece;
    bytes -= piece;
    index = 0;
  }
}

size_t DmaFifos::push(uint32_t channel, const void* data, size_t bytes) {
  return deviceCopy(channel, Direction::TargetToHost,
                    static_cast<uint8_t*>(const_cast<void*>(data)), bytes);
}

size_t DmaFifos::pull(uint32_t channel, void* data, size_t bytes) {
  return deviceCopy(channel, Direction::HostToTarget, static_cast<uint8_t*>(data), bytes);
}

size_t DmaFifos::deviceCopy(uint32_t channel, Direction direction, uint8_t* outside, size_t bytes) {
  std::lock_guard device(deviceMutex_);
  std::unique_lock lock(mutex_);
  const auto found = startedFifo(channel);
  Fifo& fifo = found->second;
  if (fifo.direction != direction)
    throw std::logic_error("the device moves data the other way on this channel");
  // Into free space, or out of what the host handed over.
  const uint64_t room = direction == Direction::TargetToHost
                            ? fifo.size - (fifo.deviceBytes - fifo.hostBytes)
                            : fifo.hostBytes - fifo.deviceBytes;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes, room));
  // The copy runs without the engine's lock, as a DMA transfer runs beside the driver; a
  // command that would move or free the ring waits for it (awaitDeviceCopy).
  const Fifo snapshot = fifo;
  copying_ = found->first;
  lock.unlock();
  copyRing(snapshot, snapshot.deviceBytes, outside, n, direction == Direction::TargetToHost);
  lock.lock();
  fifo.deviceBytes += n;
  copying_.reset();
  changed_.notify_all();
  return n;
}

bool DmaFifos::awaitWaiter(uint32_t channel, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return waiters_[channel] > 0; });
}

std::optional<DmaFifos::State> DmaFifos::state(uint64_t handle, uint32_t channel) const {
  std::lock_guard lock(mutex_);
  auto found = fifos_.find({handle, channel});
  if (found == fifos_.end()) return std::nullopt;
  return static_cast<const State&>(found->second);
}

std::optional<DmaFifos::State> DmaFifos::state(uint32_t channel) const {
  std::lock_guard lock(mutex_);
  for (const auto& [key, fifo] : fifos_)
    if (key.second == channel) return static_cast<const State&>(fifo);
  return std::nullopt;
}

}  // namespace sim
