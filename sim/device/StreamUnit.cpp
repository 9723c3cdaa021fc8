#include "sim/device/StreamUnit.h"

#include <cstring>
#include <stdexcept>

#include "sim/device/Module.h"

namespace sim {
namespace {

// The register accessor's commands: single 32-bit accesses and blocks.
constexpr uint32_t kRead32 = 0x80208316, kWrite32 = 0x40208317;
constexpr uint32_t kReadBlock = 0x80208314, kWriteBlock = 0x40208315;

struct Layout {
  const char* name;
  bool wide;
};
constexpr Layout kRegisters[] = {
    {"stream.request state", false},
    {"stream.num samples", true},
    {"stream.state", false},
    {"stream.samples transferred", true},
    {"stream.metadata", true},
    {"vandrel.stream.channels enabled", true},
    {"vandrel.trigger.start.linked", false},
    {"vandrel.buffer.fifo.reset", false},
    {"vandrel.buffer.circular.size", true},
    {"vandrel.buffer.circular.written", true},
    {"vandrel.buffer.circular.reset", false},
};

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  if (bytes.size() >= offset + 4) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

}  // namespace

StreamUnit::StreamUnit(Module& module, uint32_t stream, const AddressOf& addressOf)
    : module_(module) {
  for (const Layout& layout : kRegisters) {
    if (std::optional<uint32_t> address =
            addressOf(std::string(layout.name) + " " + std::to_string(stream)))
      registers_.emplace(layout.name, Register{*address, layout.wide});
  }
  hook8("stream.request state", nullptr, [this](uint32_t value) { request(value & 0xFF); });
  hook8(
      "stream.state", [this] { return readState(); }, nullptr);
  hook64("stream.samples transferred", [this] {
    std::lock_guard lock(mutex_);
    return transferred_;
  });
  hook64("vandrel.buffer.circular.written", [this] { return readWritten(); });
  hook8("vandrel.buffer.circular.reset", nullptr, [this](uint32_t value) { resetLoop(value); });
}

StreamUnit::~StreamUnit() {
  for (uint32_t address : hooked_) module_.registers().clearHooks(address);
}

const StreamUnit::Register* StreamUnit::find(const std::string& baseName) const {
  auto it = registers_.find(baseName);
  return it == registers_.end() ? nullptr : &it->second;
}

void StreamUnit::hook8(const std::string& baseName, std::function<uint32_t()> onRead,
                       std::function<void(uint32_t)> onWrite) {
  const Register* reg = find(baseName);
  if (reg == nullptr) return;
  RegisterFile::ReadHook read = nullptr;
  if (onRead) read = [onRead](uint32_t) { return onRead(); };
  RegisterFile::WriteHook write = nullptr;
  if (onWrite) {
    write = [onWrite](uint32_t, uint32_t value) {
      onWrite(value);
      return value;
    };
  }
  module_.registers().setHooks(reg->address, std::move(read), std::move(write));
  hooked_.push_back(reg->address);
}

void StreamUnit::hook64(const std::string& baseName, std::function<uint64_t()> onRead) {
  const Register* reg = find(baseName);
  if (reg == nullptr) return;
  const uint32_t address = reg->address;
  module_.registers().setHooks(
      address,
      [this, address, onRead](uint32_t) {
        const uint64_t value = onRead();
        std::lock_guard lock(mutex_);
        snapshots_[address] = value;
        return static_cast<uint32_t>(value >> 32);
      },
      nullptr);
  module_.registers().setHooks(
      address + 4,
      [this, address, onRead](uint32_t) {
        std::unique_lock lock(mutex_);
        auto it = snapshots_.find(address);
        if (it == snapshots_.end()) {
          lock.unlock();
          return static_cast<uint32_t>(onRead());
        }
        const auto low = static_cast<uint32_t>(it->second);
        snapshots_.erase(it);
        return low;
      },
      nullptr);
  hooked_.push_back(address);
  hooked_.push_back(address + 4);
}

uint64_t StreamUnit::stored64(const Register& reg) const {
  const RegisterFile& file = module_.registers();
  return static_cast<uint64_t>(file.peek(reg.address)) << 32 | file.peek(reg.address + 4);
}

void StreamUnit::setReadsBeforeSettling(uint8_t request, int reads) {
  std::lock_guard lock(mutex_);
  readsBeforeSettling_[request] = reads;
}

void StreamUnit::setState(uint8_t state) {
  std::lock_guard lock(mutex_);
  state_ = state;
  pending_.reset();
}

void StreamUnit::setMetadata(uint64_t value) {
  if (const Register* reg = find("stream.metadata")) {
    module_.registers().poke(reg->address, static_cast<uint32_t>(value >> 32));
    module_.registers().poke(reg->address + 4, static_cast<uint32_t>(value));
  }
}

void StreamUnit::transfer(uint64_t samples) {
  const uint64_t count = numSamples();
  std::lock_guard lock(mutex_);
  transferred_ += samples;
  if (state_ == kRunning && finite_ && transferred_ >= count) state_ = kDone;
}

void StreamUnit::setLoopSize(uint64_t elements) {
  if (const Register* reg = find("vandrel.buffer.circular.size")) {
    module_.registers().poke(reg->address, static_cast<uint32_t>(elements >> 32));
    module_.registers().poke(reg->address + 4, static_cast<uint32_t>(elements));
  }
}

void StreamUnit::feedLoopFrom(uint32_t channel, uint32_t elementBytes, uint64_t elementsPerRead) {
  if (elementBytes == 0) throw std::invalid_argument("element size 0");
  std::lock_guard lock(mutex_);
  loopChannel_ = channel;
  loopElementBytes_ = elementBytes;
  loopElementsPerRead_ = elementsPerRead;
}

void StreamUnit::freezeLoop(bool frozen) {
  std::lock_guard lock(mutex_);
  frozen_ = frozen;
}

uint8_t StreamUnit::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

uint64_t StreamUnit::numSamples() const {
  const Register* reg = find("stream.num samples");
  return reg ? stored64(*reg) : 0;
}

uint64_t StreamUnit::samplesTransferred() const {
  std::lock_guard lock(mutex_);
  return transferred_;
}

uint64_t StreamUnit::loopWritten() const {
  std::lock_guard lock(mutex_);
  return written_;
}

size_t StreamUnit::loopResets() const {
  std::lock_guard lock(mutex_);
  return resets_;
}

std::vector<uint8_t> StreamUnit::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::optional<uint64_t> StreamUnit::value(const std::string& baseName) const {
  const Register* reg = find(baseName);
  if (reg == nullptr) return std::nullopt;
  return reg->wide ? stored64(*reg) : module_.registers().peek(reg->address);
}

std::vector<StreamUnit::Access> StreamUnit::accesses() const {
  std::vector<Access> out;
  const Interface* device = module_.findInterface(kDeviceInterfaceName);
  if (device == nullptr) return out;
  for (const LogEntry& entry : device->log()) {
    const bool single = entry.command == kRead32 || entry.command == kWrite32;
    const bool block = entry.command == kReadBlock || entry.command == kWriteBlock;
    if (!single && !block) continue;
    const uint32_t offset = u32At(entry.input, 0);
    for (const auto& [name, reg] : registers_) {
      if (offset != reg.address && !(reg.wide && offset == reg.address + 4)) continue;
      out.push_back(Access{name, entry.command == kWrite32 || entry.command == kWriteBlock,
                           single ? 32 : u32At(entry.input, 16) * 8});
    }
  }
  return out;
}

uint8_t StreamUnit::readState() {
  std::lock_guard lock(mutex_);
  if (pending_) {
    if (readsLeft_ == 0) {
      state_ = *pending_;
      pending_.reset();
    } else if (readsLeft_ > 0) {
      --readsLeft_;
    }
  }
  return state_;
}

void StreamUnit::request(uint8_t value) {
  std::lock_guard lock(mutex_);
  requests_.push_back(value);
  uint8_t target;
  switch (value) {
    case 0:
      target = kIdle;
      break;
    case 1:
      target = kArmedFinite;
      break;
    case 2:
      target = kArmedContinuous;
      break;
    case 6:
      target = kRunning;
      break;
    default:
      return;
  }
  if (value == 1 || value == 2) {
    finite_ = value == 1;
    transferred_ = 0;
  }
  auto reads = readsBeforeSettling_.find(value);
  readsLeft_ = reads == readsBeforeSettling_.end() ? 0 : reads->second;
  if (readsLeft_ == 0) {
    state_ = target;
    pending_.reset();
  } else {
    pending_ = target;
  }
}

uint64_t StreamUnit::readWritten() {
  std::lock_guard lock(mutex_);
  if (frozen_ || !loopChannel_) return written_;
  std::vector<uint8_t> chunk(4096 * loopElementBytes_);
  uint64_t left = loopElementsPerRead_ == 0 ? UINT64_MAX : loopElementsPerRead_;
  while (left > 0) {
    const size_t elements = static_cast<size_t>(std::min<uint64_t>(left, 4096));
    size_t got = 0;
    try {
      got = module_.dmaFifos().pull(*loopChannel_, chunk.data(), elements * loopElementBytes_);
    } catch (const std::exception&) {
      break;  // the FIFO is not running: nothing arrives
    }
    written_ += got / loopElementBytes_;
    left -= got / loopElementBytes_;
    if (got < elements * loopElementBytes_) break;
  }
  return written_;
}

void StreamUnit::resetLoop(uint32_t value) {
  if ((value & 0xFF) == 0) return;
  std::lock_guard lock(mutex_);
  written_ = 0;
  ++resets_;
}

}  // namespace sim
