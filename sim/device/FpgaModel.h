#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace sim {

class Module;
class Interface;
struct Call;

// The FPGA of a module as its driver serves it: personality configuration (0x830A with a
// bitstream, 0x40200907 from a flash image), download (0x830C), the session close (0x830B),
// reset (0x830D, 0x830E), abort (0x830F), interrupt enable, disable and wait (0x831E, 0x831F,
// 0x8320), and two registers of the design: the control register with the run-state machine and
// the interrupt status register, whose writes acknowledge interrupts. Records are decoded from
// the driver's layouts.
//
// The control register sits at the "WexControl" address of the last personality (or where a
// test puts it); the interrupt status register at the "InterruptEnable" address + 12 unless a
// test moves it. A control-register read gives the run state in bits 0-1 (0 idle, 1 invalid,
// 2 running, 3 stopped) with the error bits set by the test, or 0xFFFFFFFF when the FPGA is
// gone. Writing 4, 0, 2 starts the FPGA: it is idle until it runs, after a configurable number
// of further reads.
class FpgaModel {
 public:
  static constexpr uint32_t kIdle = 0, kInvalid = 1, kRunning = 2, kStopped = 3;
  static constexpr uint32_t kBusErrorBit = 0x10;
  static constexpr int kNeverRuns = -1;
  static constexpr uint32_t kInterruptStatusDistance = 12;

  // One 37-byte DMA channel record of the personality.
  struct FifoRecord {
    uint8_t kind, subKind, elementType;
    uint32_t wordLength, size;
    uint8_t isSigned;
    int32_t integerWordLength;
    uint32_t channel, address, depth;
    uint8_t userVisible;
    uint32_t writeWindowAddress, writeWindowSize;
  };
  // What 0x830A delivered.
  struct Personality {
    std::array<uint32_t, 12> common{};  // the twelve words of the 48-byte common data
    std::vector<uint8_t> commonBytes;
    std::vector<FifoRecord> fifos;
    std::vector<uint8_t> bitstream;      // empty when none came with it
    std::optional<uint32_t> flashImage;  // 0x40200907: the image the FPGA is loaded from
    bool downloaded = false;
  };
  // When 0x830A with a bitstream reports a download.
  enum class DownloadPolicy { Always, WhenSignatureDiffers, Never };

  // Installs the handlers on the module's device interface.
  explicit FpgaModel(Module& module);
  ~FpgaModel();
  FpgaModel(const FpgaModel&) = delete;
  FpgaModel& operator=(const FpgaModel&) = delete;

  // Behaviour.
  void setDownloadPolicy(DownloadPolicy policy);
  // After a download or reset the FPGA runs by itself (else it is idle).
  void setAutoRun(bool autoRun);
  // Control-register reads after the start sequence before the FPGA reports running
  // (0: at once; kNeverRuns: never).
  void setReadsBeforeRunning(int reads);
  // The state an abort leaves (idle or stopped).
  void setStateAfterAbort(uint32_t state);
  // Bits ORed into every control-register read (4 bus error, 6, 7).
  void setErrorBits(uint32_t bits);
  void setGone(bool gone);
  void setState(uint32_t state);
  // The design finishes: running becomes stopped.
  void finish();
  void setControlRegister(uint32_t address);
  void setInterruptStatusRegister(uint32_t address);
  // The result word of the next session closes.
  void setCloseResult(uint32_t result);

  // Interrupts: pending bits, raised by the test from any thread; a write of the interrupt
  // status register clears the bits written.
  void raiseInterrupts(uint32_t bits);
  uint32_t pendingInterrupts() const;
  // Blocks until the driver has received `count` interrupt waits in all; false when that did
  // not happen within `timeout`.
  bool awaitInterruptWaits(size_t count,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // Observations.
  uint32_t state() const;
  std::optional<uint32_t> controlRegister() const;
  std::optional<uint32_t> interruptStatusRegister() const;
  std::vector<uint32_t> controlWrites() const;
  std::optional<Personality> personality() const;
  size_t downloads() const;  // bitstreams loaded, by 0x830A or 0x830C
  std::vector<uint8_t> lastBitstream() const;
  struct Close {
    uint64_t token;
    uint8_t closeFlag;
  };
  std::vector<Close> closes() const;

 private:
  int configurePersonality(Call& call);
  int download(Call& call);
  int waitForInterrupts(Call& call);
  // Installs the register hooks at the addresses now known (never under mutex_).
  void placeRegisters(std::optional<uint32_t> control, std::optional<uint32_t> status);
  uint32_t readControl();
  uint32_t writeControl(uint32_t value);
  // The state after a bitstream load or a reset. mutex_ held.
  void restart();
  template <typename T, typename V>
  void assign(T& field, V value) {
    std::lock_guard lock(mutex_);
    field = value;
  }
  template <typename T>
  T read(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }

  Module& module_;
  Interface& device_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  DownloadPolicy policy_ = DownloadPolicy::Always;
  bool autoRun_ = false;
  int readsBeforeRunning_ = 0;
  int readsLeft_ = -1;  // counting down after the start sequence; -1 when not starting
  uint32_t stateAfterAbort_ = kIdle;
  uint32_t errorBits_ = 0;
  bool gone_ = false;
  uint32_t state_ = kIdle;
  std::vector<uint32_t> controlWrites_;
  std::optional<uint32_t> control_;
  std::optional<uint32_t> interruptStatus_;
  uint32_t closeResult_ = 0;
  uint32_t pending_ = 0;
  size_t interruptWaits_ = 0;
  bool shuttingDown_ = false;
  size_t waiting_ = 0;
  std::optional<Personality> personality_;
  size_t downloads_ = 0;
  std::vector<uint8_t> bitstream_;
  std::vector<Close> closes_;
};

}  // namespace sim
