#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class Module;

// The stream logic a design implements behind the registers of one stream number N, as the
// FPGA would run it. The unit finds its registers by name in the design
// ("stream.request state N", "stream.state N", ...); a register the design lacks is simply not
// there.
//
// State machine: a write of RequestState 0, 1, 2 or 6 moves State to 0, 1, 2 or 3 (idle,
// armed finite, armed continuous, running), by default at once, or after a configurable number
// of further State reads, or never. Arming clears SamplesTransferred. A running finite stream
// goes to 5 (done) once SamplesTransferred reaches NumSamples. Metadata holds the granularity
// in its low byte. Loop buffer: a constant size, and a written count that advances as the unit
// consumes the stream's host-to-target FIFO (on every read of the count, unless frozen); a
// write of 1 to its reset register zeroes the count.
//
// 64-bit registers occupy two words, the high word first (as the register file serves them);
// a read of the high word takes the snapshot that the low word then completes.
class StreamUnit {
 public:
  static constexpr int kNever = -1;
  enum : uint8_t { kIdle = 0, kArmedFinite = 1, kArmedContinuous = 2, kRunning = 3, kDone = 5 };

  // Where a register of the design lives; none when the design lacks it.
  using AddressOf = std::function<std::optional<uint32_t>(const std::string& name)>;
  StreamUnit(Module& module, uint32_t stream, const AddressOf& addressOf);
  ~StreamUnit();
  StreamUnit(const StreamUnit&) = delete;
  StreamUnit& operator=(const StreamUnit&) = delete;

  // After a write of `request`, State shows the request's state once `reads` further State
  // reads have seen the old one (0: at once; kNever: the state never moves).
  void setReadsBeforeSettling(uint8_t request, int reads);
  // Forces State (4: the stream's error state); a pending move is dropped.
  void setState(uint8_t state);
  void setMetadata(uint64_t value);
  // Device side: `samples` more samples moved.
  void transfer(uint64_t samples);

  // Loop buffer.
  void setLoopSize(uint64_t elements);
  // The count follows what the unit takes from host-to-target DMA channel `channel`, at most
  // `elementsPerRead` elements of `elementBytes` bytes on each read of the count.
  void feedLoopFrom(uint32_t channel, uint32_t elementBytes, uint64_t elementsPerRead);
  void freezeLoop(bool frozen);

  uint8_t state() const;
  uint64_t numSamples() const;
  uint64_t samplesTransferred() const;
  uint64_t loopWritten() const;
  size_t loopResets() const;
  // Every value written to RequestState, in order.
  std::vector<uint8_t> requests() const;
  // The stored value of one of the unit's registers (base name, "vandrel.stream.channels
  // enabled"); none when the design lacks it.
  std::optional<uint64_t> value(const std::string& baseName) const;

  // The register accesses of the device interface's log that hit this unit's registers, with
  // their width on the wire (a single access 32 bits, a block its byte count x 8).
  struct Access {
    std::string name;  // base name
    bool write;
    uint32_t bits;
    bool operator==(const Access&) const = default;
  };
  std::vector<Access> accesses() const;

 private:
  struct Register {
    uint32_t address;
    bool wide;
  };
  const Register* find(const std::string& baseName) const;
  void hook8(const std::string& baseName, std::function<uint32_t()> onRead,
             std::function<void(uint32_t)> onWrite);
  void hook64(const std::string& baseName, std::function<uint64_t()> onRead);
  uint64_t stored64(const Register& reg) const;
  uint8_t readState();
  void request(uint8_t value);
  uint64_t readWritten();
  void resetLoop(uint32_t value);

  Module& module_;
  std::map<std::string, Register> registers_;
  std::vector<uint32_t> hooked_;

  mutable std::mutex mutex_;
  uint8_t state_ = kIdle;
  bool finite_ = true;
  std::optional<uint8_t> pending_;
  int readsLeft_ = 0;
  std::map<uint8_t, int> readsBeforeSettling_;
  uint64_t transferred_ = 0;
  std::vector<uint8_t> requests_;
  uint64_t written_ = 0;
  bool frozen_ = false;
  size_t resets_ = 0;
  std::optional<uint32_t> loopChannel_;
  uint32_t loopElementBytes_ = 4;
  uint64_t loopElementsPerRead_ = 0;
  // Snapshots of the 64-bit registers between their high and low word.
  std::map<uint32_t, uint64_t> snapshots_;
};

}  // namespace sim
