#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "sim/device/Interface.h"

namespace sim {

// The module's DMA engine behind the FIFO commands of the device interface (0x83 0x28-0x2E),
// one FIFO per (session handle, channel). The host's ring lives in the caller's memory (the
// address of the set-buffer record), which the engine reads and writes directly, as the
// device's DMA would. Positions are bytes since the last start:
//   target-to-host: the device produces into free space (ring size - unreleased bytes); the
//     host's wait returns the bytes produced; its release frees space.
//   host-to-target: the host's release hands written bytes to the device; the host's wait
//     returns the bytes consumed + the ring size (the free space it may fill).
// A wait blocks until its target is reached or its time-out passes. Calls for a FIFO that
// has no buffer, is not started or does not exist answer driver status kGone. A device copy
// runs beside the host's commands (one at a time); set-buffer, drop, start and free wait for it.
// No command may be in flight when the engine is destroyed.
class DmaFifos {
 public:
  enum class Direction { TargetToHost, HostToTarget };
  static constexpr int32_t kGone = -50405;
  static constexpr int32_t kBadRequest = -52005;

  // What the driver knows of one FIFO.
  struct State {
    uint64_t address = 0;
    uint64_t size = 0;
    uint64_t mirrorSize = 0;
    uint32_t bufferType = 0;
    uint32_t flowControl = 0;
    bool hasBuffer = false;
    bool started = false;
    uint64_t deviceBytes = 0;  // produced (target-to-host) or consumed (host-to-target)
    uint64_t hostBytes = 0;    // released by the host
    uint32_t starts = 0;
  };

  explicit DmaFifos(Interface& iface);
  ~DmaFifos();
  DmaFifos(const DmaFifos&) = delete;
  DmaFifos& operator=(const DmaFifos&) = delete;

  // Where a channel's direction comes from when no test set one (the module's FPGA: the
  // channel records of the last personality); without an answer a channel is target-to-host.
  using DirectionSource = std::function<std::optional<Direction>(uint32_t channel)>;
  void setDirectionSource(DirectionSource source);
  void setDirection(uint32_t channel, Direction direction);
  // A free-running device keeps a target-to-host ring full (without writing data: what is in
  // the ring is what it delivers) and drains a host-to-target ring at once.
  void setFreeRunning(uint32_t channel, bool freeRunning);

  // Device side. A channel names the one FIFO of that channel (std::logic_error when several
  // session handles have it, std::out_of_range when none is started).
  // Writes up to the free space into a started target-to-host ring; returns the bytes written.
  size_t push(uint32_t channel, const void* data, size_t bytes);
  // Reads up to the bytes the host handed over from a host-to-target ring.
  size_t pull(uint32_t channel, void* data, size_t bytes);
  // Blocks until a host thread waits on the channel (and returns true) or the time-out passes.
  bool awaitWaiter(uint32_t channel, std::chrono::milliseconds timeout);

  std::optional<State> state(uint64_t handle, uint32_t channel) const;
  std::optional<State> state(uint32_t channel) const;

 private:
  using Key = std::pair<uint64_t, uint32_t>;
  struct Fifo : State {
    Direction direction = Direction::TargetToHost;
    bool freeRunning = false;
  };

  int serve(Call& call, int (DmaFifos::*command)(Call&, Fifo*, std::unique_lock<std::mutex>&),
            bool movesTheRing);
  int setBuffer(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int dropBuffer(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int start(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int stop(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int wait(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int release(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);
  int free(Call& call, Fifo* fifo, std::unique_lock<std::mutex>& lock);

  std::map<Key, Fifo>::iterator startedFifo(uint32_t channel);
  size_t deviceCopy(uint32_t channel, Direction direction, uint8_t* outside, size_t bytes);
  // The bytes the host may count on: produced, or consumed + ring size.
  static uint64_t available(const Fifo& fifo);
  static void copyRing(const Fifo& fifo, uint64_t position, uint8_t* outside, size_t bytes,
                       bool intoRing);

  Interface& iface_;
  // Serialises the device side: one copy at a time.
  std::mutex deviceMutex_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Key> copying_;  // the FIFO a device copy runs on
  std::map<Key, Fifo> fifos_;
  std::map<uint32_t, Direction> directions_;
  DirectionSource directionSource_;
  std::map<uint32_t, bool> freeRunning_;
  std::map<uint32_t, int> waiters_;
  bool closing_ = false;
  int inFlight_ = 0;
};

}  // namespace sim
