#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "sim/device/CommandTable.h"
#include "sim/kernel/DeviceNode.h"

namespace sim {

class Module;
class Interface;

// One request-descriptor command as a handler sees it. The input record is a copy of the
// caller's; the output record starts zeroed and is copied back to the caller after the
// handler, with `status` written at the command's status offset.
struct Call {
  Interface& iface;
  uint32_t command;
  std::span<const uint8_t> in;
  std::span<uint8_t> out;
  int32_t status = 0;                  // driver status for the output record
  std::optional<uint32_t> resultWord;  // request descriptor's result word (default: status)

  uint8_t u8(size_t offset) const { return get<uint8_t>(offset); }
  uint16_t u16(size_t offset) const { return get<uint16_t>(offset); }
  uint32_t u32(size_t offset) const { return get<uint32_t>(offset); }
  int32_t i32(size_t offset) const { return get<int32_t>(offset); }
  uint64_t u64(size_t offset) const { return get<uint64_t>(offset); }
  void putU8(size_t offset, uint8_t v) { put(offset, v); }
  void putU16(size_t offset, uint16_t v) { put(offset, v); }
  void putU32(size_t offset, uint32_t v) { put(offset, v); }
  void putU64(size_t offset, uint64_t v) { put(offset, v); }

  // Bounds-checked little-endian field access (throws std::out_of_range: a handler bug).
  template <typename T>
  T get(size_t offset) const {
    T v{};
    check(offset, sizeof(T), in.size());
    std::memcpy(&v, in.data() + offset, sizeof(T));
    return v;
  }
  template <typename T>
  void put(size_t offset, T v) {
    check(offset, sizeof(T), out.size());
    std::memcpy(out.data() + offset, &v, sizeof(T));
  }

 private:
  static void check(size_t offset, size_t size, size_t limit);
};

// Serves one command; returns 0, or an errno that makes the ioctl fail (output not written).
using Handler = std::function<int(Call&)>;

// A command outside the request-descriptor convention (its size field is not 32), such as one
// whose argument is a pointer to a record of its own or a plain number.
struct RawCall {
  Interface& iface;
  uint32_t command;
  unsigned long arg;
  int fd = -1;  // the descriptor the command came through
};
// Returns the ioctl's result (>= 0) or a negated errno.
using RawHandler = std::function<long(RawCall&)>;

// A scripted answer to a command, served instead of its handler.
struct Reply {
  std::vector<uint8_t> output;         // copied to the start of the output record
  std::optional<int32_t> status;       // driver status at the status offset
  std::optional<uint32_t> resultWord;  // descriptor result word (default: the status)
  int err = 0;                         // non-zero: the ioctl fails with this errno
  std::chrono::milliseconds delay{0};  // before answering
  bool once = true;                    // false: answers every later call too
};

// One command as the model received it.
struct LogEntry {
  uint32_t command;
  std::vector<uint8_t> input;  // input record (descriptor commands) or the argument's record
  uint32_t inLen = 0;          // lengths named by the request descriptor
  uint32_t outLen = 0;
  unsigned long arg = 0;  // raw commands: the argument as passed
  bool raw = false;
  int err = 0;         // errno the ioctl failed with (0: success)
  int32_t status = 0;  // driver status written
  // When the command reached the model and when it answered (a wait answers late).
  std::chrono::steady_clock::time_point received{};
  std::chrono::steady_clock::time_point answered{};
};

// One mmap through the node.
struct MapRecord {
  void* addr = nullptr;
  size_t length = 0;
  off_t offset = 0;
  int prot = 0;
  int flags = 0;
  bool unmapped = false;
};

// A mappable region of the node, backed by a memfd; `data()` is the model's own view.
class Region {
 public:
  Region(uint32_t number, size_t size);
  ~Region();
  Region(const Region&) = delete;
  Region& operator=(const Region&) = delete;
  uint32_t number() const { return number_; }
  size_t size() const { return size_; }
  uint8_t* data() const { return data_; }
  int fd() const { return fd_; }

 private:
  uint32_t number_;
  size_t size_;
  int fd_ = -1;
  uint8_t* data_ = nullptr;
};

// One device interface of a module instance, served behind its node file. Handlers are
// registered per full command code (type, number and direction); scripted replies take
// precedence; a command with neither gives ENOTTY. Record lengths are checked against the
// registered layout (EINVAL on mismatch).
class Interface : public DeviceNode {
 public:
  Interface(Module& module, std::string name, std::string suffix, std::string nodeName);
  ~Interface() override;

  Module& module() const { return module_; }
  const std::string& name() const { return name_; }
  const std::string& suffix() const { return suffix_; }
  const std::string& nodeName() const { return nodeName_; }
  std::string nodePath() const { return "/dev/qv/" + nodeName_; }

  // Registers a handler; the first form takes the lengths from the command table and throws
  // std::invalid_argument when the code is not in it.
  void handle(uint32_t code, Handler handler);
  void handle(uint32_t code, const CommandSpec& layout, Handler handler);
  void handleRaw(uint32_t code, RawHandler handler);
  void removeHandler(uint32_t code);

  // Scripted replies, consumed in the order given (a persistent one stays at the front).
  void script(uint32_t code, Reply reply);
  void clearScripts();
  // The descriptor command `index` places after this call (0: the next one) gets `reply`
  // instead of its handler: a failure injected at one point of a sequence.
  void failCommandAt(size_t index, Reply reply);

  std::vector<LogEntry> log() const;
  void clearLog();
  // Logging is on by default; a benchmark or a long run turns it off so that neither the log
  // nor the record of mappings grows (it then keeps only the mappings in place).
  void setLogging(bool enabled);
  size_t count(uint32_t code) const;  // commands with that code in the log

  // Regions reachable by mmap at offset region * page size.
  Region& addRegion(uint32_t region, size_t size);
  Region* findRegion(uint32_t region);
  std::vector<MapRecord> maps() const;
  void failNextMap(int err);  // the next mmap fails with err

  // read and write on a bound descriptor; without a function they fail with EINVAL.
  void onRead(std::function<ssize_t(void*, size_t)> fn);
  void onWrite(std::function<ssize_t(const void*, size_t)> fn);

  void failOpen(int err);  // later opens fail with err (0: open again)
  int openCount() const;   // descriptors currently open

  // The module is going away: handlers and scripts are dropped and every later call on a
  // descriptor still open fails with ENODEV, as for a device that was removed.
  void detach();
  bool detached() const;

  // DeviceNode
  int onOpen(int fd) override;
  long ioctl(int fd, unsigned long request, void* arg) override;
  void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset,
             int* err) override;
  ssize_t read(int fd, void* buffer, size_t count) override;
  ssize_t write(int fd, const void* buffer, size_t count) override;
  void onUnmap(void* addr, size_t length) override;
  void onClose(int fd) override;

 private:
  struct Registered {
    CommandSpec layout;
    Handler handler;
  };
  long descriptorCall(uint32_t command, void* arg);
  long rawCall(int fd, uint32_t command, unsigned long arg);
  // The next scripted reply for the command (a once-only reply is consumed); mutex_ held.
  std::optional<Reply> takeScriptedReply(uint32_t command);
  void append(LogEntry entry);

  Module& module_;
  std::string name_, suffix_, nodeName_;
  mutable std::mutex mutex_;
  std::map<uint32_t, Registered> handlers_;
  std::map<uint32_t, RawHandler> rawHandlers_;
  std::map<uint32_t, std::deque<Reply>> scripts_;
  std::optional<std::pair<size_t, Reply>> indexedFault_;
  std::vector<LogEntry> log_;
  std::map<uint32_t, std::unique_ptr<Region>> regions_;
  std::vector<MapRecord> maps_;
  int nextMapErr_ = 0;
  std::function<ssize_t(void*, size_t)> readFn_;
  std::function<ssize_t(const void*, size_t)> writeFn_;
  int openErr_ = 0;
  int openCount_ = 0;
  bool detached_ = false;
  bool logging_ = true;
};

}  // namespace sim
