#include "sim/device/Interface.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "sim/kernel/Real.h"

namespace sim {

namespace {

// Request descriptor: u64 input address, u64 output address, u32 input length, u32 output
// length, u32 result (written by the driver), u32 pad.
constexpr size_t kDescriptorSize = 32;
constexpr size_t kResultOffset = 24;
// Larger records than this are a caller's mistake, not a command of this driver.
constexpr uint32_t kMaxRecord = 1u << 20;

uint32_t sizeField(uint32_t command) {
  return (command >> 16) & 0x3FFF;
}
uint32_t directionField(uint32_t command) {
  return command >> 30;
}

}  // namespace

void Call::check(size_t offset, size_t size, size_t limit) {
  if (offset > limit || size > limit - offset)
    throw std::out_of_range("record field outside the record");
}

Region::Region(uint32_t number, size_t size) : number_(number), size_(size) {
  fd_ = ::memfd_create("qvsim-region", MFD_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "memfd_create");
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    int err = errno;
    real::close(fd_);
    throw std::system_error(err, std::generic_category(), "ftruncate");
  }
  void* p = real::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) {
    int err = errno;
    real::close(fd_);
    throw std::system_error(err, std::generic_category(), "mmap");
  }
  data_ = static_cast<uint8_t*>(p);
}

Region::~Region() {
  real::munmap(data_, size_);
  real::close(fd_);
}

Interface::Interface(Module& module, std::string name, std::string suffix, std::string nodeName)
    : module_(module),
      name_(std::move(name)),
      suffix_(std::move(suffix)),
      nodeName_(std::move(nodeName)) {}

Interface::~Interface() = default;

void Interface::handle(uint32_t code, Handler handler) {
  const CommandSpec* layout = findCommand(code);
  if (layout == nullptr) throw std::invalid_argument("command not in the driver's table");
  handle(code, *layout, std::move(handler));
}

void Interface::handle(uint32_t code, const CommandSpec& layout, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[code] = Registered{layout, std::move(handler)};
}

void Interface::handleRaw(uint32_t code, RawHandler handler) {
  std::lock_guard lock(mutex_);
  rawHandlers_[code] = std::move(handler);
}

void Interface::removeHandler(uint32_t code) {
  std::lock_guard lock(mutex_);
  handlers_.erase(code);
  rawHandlers_.erase(code);
}

void Interface::script(uint32_t code, Reply reply) {
  std::lock_guard lock(mutex_);
  scripts_[code].push_back(std::move(reply));
}

void Interface::clearScripts() {
  std::lock_guard lock(mutex_);
  scripts_.clear();
}

std::vector<LogEntry> Interface::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void Interface::clearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

size_t Interface::count(uint32_t code) const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const auto& e : log_)
    if (e.command == code) ++n;
  return n;
}

Region& Interface::addRegion(uint32_t region, size_t size) {
  auto r = std::make_unique<Region>(region, size);
  std::lock_guard lock(mutex_);
  auto& slot = regions_[region];
  slot = std::move(r);
  return *slot;
}

Region* Interface::findRegion(uint32_t region) {
  std::lock_guard lock(mutex_);
  auto it = regions_.find(region);
  return it == regions_.end() ? nullptr : it->second.get();
}

std::vector<MapRecord> Interface::maps() const {
  std::lock_guard lock(mutex_);
  return maps_;
}

void Interface::failNextMap(int err) {
  std::lock_guard lock(mutex_);
  nextMapErr_ = err;
}

void Interface::onRead(std::function<ssize_t(void*, size_t)> fn) {
  std::lock_guard lock(mutex_);
  readFn_ = std::move(fn);
}

void Interface::onWrite(std::function<ssize_t(const void*, size_t)> fn) {
  std::lock_guard lock(mutex_);
  writeFn_ = std::move(fn);
}

void Interface::failOpen(int err) {
  std::lock_guard lock(mutex_);
  openErr_ = err;
}

int Interface::openCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

void Interface::detach() {
  std::lock_guard lock(mutex_);
  detached_ = true;
  handlers_.clear();
  rawHandlers_.clear();
  scripts_.clear();
  readFn_ = nullptr;
  writeFn_ = nullptr;
}

bool Interface::detached() const {
  std::lock_guard lock(mutex_);
  return detached_;
}

int Interface::onOpen(int) {
  std::lock_guard lock(mutex_);
  if (detached_) return ENODEV;
  if (openErr_ != 0) return openErr_;
  ++openCount_;
  return 0;
}

void Interface::onClose(int) {
  std::lock_guard lock(mutex_);
  if (openCount_ > 0) --openCount_;
}

void Interface::setLogging(bool enabled) {
  std::lock_guard lock(mutex_);
  logging_ = enabled;
}

void Interface::append(LogEntry entry) {
  entry.answered = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  if (logging_) log_.push_back(std::move(entry));
}

long Interface::ioctl(int fd, unsigned long request, void* arg) {
  uint32_t command = static_cast<uint32_t>(request);
  bool raw;
  {
    std::lock_guard lock(mutex_);
    if (detached_) return -ENODEV;
    raw = rawHandlers_.count(command) != 0 || sizeField(command) != kDescriptorSize;
  }
  return raw ? rawCall(fd, command, reinterpret_cast<unsigned long>(arg))
             : descriptorCall(command, arg);
}

void Interface::failCommandAt(size_t index, Reply reply) {
  std::lock_guard lock(mutex_);
  indexedFault_.emplace(index, std::move(reply));
}

std::optional<Reply> Interface::takeScriptedReply(uint32_t command) {
  auto s = scripts_.find(command);
  if (s == scripts_.end() || s->second.empty()) return std::nullopt;
  Reply reply = s->second.front();
  if (reply.once) s->second.pop_front();
  return reply;
}

long Interface::descriptorCall(uint32_t command, void* arg) {
  LogEntry entry{};
  entry.received = std::chrono::steady_clock::now();
  entry.command = command;
  if (arg == nullptr) {
    entry.err = EFAULT;
    append(std::move(entry));
    return -EFAULT;
  }
  uint8_t descriptor[kDescriptorSize];
  std::memcpy(descriptor, arg, kDescriptorSize);
  uint64_t inAddr, outAddr;
  std::memcpy(&inAddr, descriptor + 0, 8);
  std::memcpy(&outAddr, descriptor + 8, 8);
  std::memcpy(&entry.inLen, descriptor + 16, 4);
  std::memcpy(&entry.outLen, descriptor + 20, 4);
  if (entry.inLen > kMaxRecord || entry.outLen > kMaxRecord || (entry.inLen != 0 && inAddr == 0) ||
      (entry.outLen != 0 && outAddr == 0)) {
    entry.err = EFAULT;
    append(std::move(entry));
    return -EFAULT;
  }
  entry.input.resize(entry.inLen);
  if (entry.inLen != 0)
    std::memcpy(entry.input.data(), reinterpret_cast<const void*>(inAddr), entry.inLen);

  std::optional<Reply> reply;
  std::optional<Registered> registered;
  {
    std::lock_guard lock(mutex_);
    if (indexedFault_ && indexedFault_->first-- == 0) {
      reply = std::move(indexedFault_->second);
      indexedFault_.reset();
    } else {
      reply = takeScriptedReply(command);
    }
    if (auto h = handlers_.find(command); !reply && h != handlers_.end()) registered = h->second;
  }
  if (!reply && !registered) {
    entry.err = ENOTTY;
    append(std::move(entry));
    return -ENOTTY;
  }

  const CommandSpec* layout = registered ? &registered->layout : findCommand(command);
  if (layout != nullptr && (entry.inLen != layout->inLen || entry.outLen != layout->outLen)) {
    std::fprintf(stderr,
                 "simulated driver: command 0x%08X with records of %u/%u bytes, expected %u/%u\n",
                 command, entry.inLen, entry.outLen, layout->inLen, layout->outLen);
    entry.err = EINVAL;
    append(std::move(entry));
    return -EINVAL;
  }
  int32_t statusOffset = layout != nullptr   ? layout->statusOffset
                         : entry.outLen >= 4 ? static_cast<int32_t>(entry.outLen - 4)
                                             : -1;

  std::vector<uint8_t> output(entry.outLen, 0);
  Call call{*this, command, entry.input, output, 0, std::nullopt};
  int err = 0;
  bool writeStatus = true;
  if (reply) {
    if (reply->delay.count() > 0) std::this_thread::sleep_for(reply->delay);
    err = reply->err;
    size_t n = std::min(output.size(), reply->output.size());
    if (n != 0) std::memcpy(output.data(), reply->output.data(), n);
    if (reply->status) {
      call.status = *reply->status;
    } else {
      writeStatus = false;  // the scripted bytes carry whatever status they hold
      if (statusOffset >= 0 && static_cast<size_t>(statusOffset) + 4 <= output.size())
        std::memcpy(&call.status, output.data() + statusOffset, 4);
    }
    call.resultWord = reply->resultWord;
  } else {
    try {
      err = registered->handler(call);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "simulated driver: handler of 0x%08X failed: %s\n", command, e.what());
      err = EIO;
    }
  }
  if (err != 0) {
    entry.err = err;
    append(std::move(entry));
    return -err;
  }
  if (writeStatus && statusOffset >= 0 && static_cast<size_t>(statusOffset) + 4 <= output.size())
    std::memcpy(output.data() + statusOffset, &call.status, 4);
  if (!output.empty()) std::memcpy(reinterpret_cast<void*>(outAddr), output.data(), output.size());
  uint32_t result = call.resultWord.value_or(static_cast<uint32_t>(call.status));
  std::memcpy(static_cast<uint8_t*>(arg) + kResultOffset, &result, 4);
  entry.status = call.status;
  append(std::move(entry));
  return 0;
}

long Interface::rawCall(int fd, uint32_t command, unsigned long arg) {
  LogEntry entry{};
  entry.received = std::chrono::steady_clock::now();
  entry.command = command;
  entry.raw = true;
  entry.arg = arg;
  uint32_t size = sizeField(command);
  if ((directionField(command) & kDirWrite) != 0 && size != 0 && arg != 0) {
    entry.input.resize(size);
    std::memcpy(entry.input.data(), reinterpret_cast<const void*>(arg), size);
  }
  std::optional<Reply> reply;
  RawHandler handler;
  {
    std::lock_guard lock(mutex_);
    reply = takeScriptedReply(command);
    if (auto h = rawHandlers_.find(command); !reply && h != rawHandlers_.end()) handler = h->second;
  }
  long result;
  if (reply) {
    if (reply->delay.count() > 0) std::this_thread::sleep_for(reply->delay);
    result = reply->err != 0 ? -reply->err : static_cast<long>(reply->resultWord.value_or(0));
  } else if (handler) {
    RawCall call{*this, command, arg, fd};
    try {
      result = handler(call);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "simulated driver: handler of 0x%08X failed: %s\n", command, e.what());
      result = -EIO;
    }
  } else {
    result = -ENOTTY;
  }
  entry.err = result < 0 ? static_cast<int>(-result) : 0;
  append(std::move(entry));
  return result;
}

void* Interface::mmap(void* addr, size_t length, int prot, int flags, int, off_t offset, int* err) {
  long page = ::sysconf(_SC_PAGESIZE);
  MapRecord record{nullptr, length, offset, prot, flags, false};
  int failure = 0;
  int regionFd = -1;
  {
    std::lock_guard lock(mutex_);
    if (detached_) {
      failure = ENODEV;
    } else if (nextMapErr_ != 0) {
      failure = nextMapErr_;
      nextMapErr_ = 0;
    } else if (offset < 0 || offset % page != 0) {
      failure = EINVAL;
    } else {
      auto it = regions_.find(static_cast<uint32_t>(offset / page));
      if (it == regions_.end() || length == 0 || length > it->second->size())
        failure = EINVAL;
      else
        regionFd = it->second->fd();
    }
  }
  if (failure == 0) {
    void* p = real::mmap(addr, length, prot, flags, regionFd, 0);
    if (p == MAP_FAILED)
      failure = errno;
    else
      record.addr = p;
  }
  std::lock_guard lock(mutex_);
  if (logging_ || failure == 0) maps_.push_back(record);
  *err = failure;
  return record.addr;
}

void Interface::onUnmap(void* addr, size_t) {
  std::lock_guard lock(mutex_);
  for (auto m = maps_.begin(); m != maps_.end(); ++m)
    if (m->addr == addr && !m->unmapped) {
      if (logging_)
        m->unmapped = true;
      else
        maps_.erase(m);
      break;
    }
}

ssize_t Interface::read(int, void* buffer, size_t count) {
  std::function<ssize_t(void*, size_t)> fn;
  {
    std::lock_guard lock(mutex_);
    if (detached_) return -ENODEV;
    fn = readFn_;
  }
  return fn ? fn(buffer, count) : -EINVAL;
}

ssize_t Interface::write(int, const void* buffer, size_t count) {
  std::function<ssize_t(const void*, size_t)> fn;
  {
    std::lock_guard lock(mutex_);
    if (detached_) return -ENODEV;
    fn = writeFn_;
  }
  return fn ? fn(buffer, count) : -EINVAL;
}

}  // namespace sim
