#pragma once
// What a stream's compile step derives from its attributes and its deploy step programs: the
// FIFOs that carry the enabled channels, per-channel scaling, timing, FIFO depth, channel mask,
// the write path's completion tracker and the linked start. A stream keeps a desired and a
// deployed copy; reads and writes use the deployed one.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvkel {
class NamedFifo;
}  // namespace qvkel

namespace qvvandrel {

inline constexpr std::size_t kStreamChannels = 64;

struct ReadSettings {
  std::vector<double> gains = std::vector<double>(kStreamChannels, 1.0);
  std::vector<double> offsets = std::vector<double>(kStreamChannels, 0.0);
  // Records of the session's bitfile, in channel order.
  std::vector<const qvkel::NamedFifo*> fifos;
  double samplePeriod = 1.0;
  double dataDelay = 0.0;
  bool interleaved = false;
};

struct WriteSettings {
  // Tells the write path when the elements it wrote have arrived on the device.
  class SampleCompletion {
   public:
    // The position the device's count reaches once `count` more elements have arrived.
    // `request` is the write request being served (not used by the loop buffer).
    virtual std::uint64_t targetPosition(std::uint64_t count, const void* request) = 0;
    // Returns once the device's count has reached `target`; raises when it does not in time.
    virtual void waitForPosition(std::uint64_t target) = 0;

   protected:
    ~SampleCompletion() = default;
  };

  std::vector<const qvkel::NamedFifo*> fifos;
  SampleCompletion* sampleCompletion = nullptr;  // none: writes do not wait
};

struct StreamSettings {
  std::uint64_t fifoDepth = 4096;  // elements
  ReadSettings read;
  WriteSettings write;
  std::uint64_t channelMask = 0;
  bool linkedStart = false;
};

// Whether deploying `a` after `b` would program the same thing: doubles compare as doubles
// (a NaN is never equal), the data delay bit for bit, FIFOs and the completion by identity.
bool sameSettings(const StreamSettings& a, const StreamSettings& b);

// 64 per-channel sample counters of a stream. A stop clears them on its thread while a read
// on another thread advances them under the session mutex, which the stop does not take:
// every counter is an atomic 64-bit value, so a clear that meets a read lands before or after
// it. Relaxed order suffices: nothing else is published through them.
class ChannelCounters {
 public:
  ChannelCounters() = default;
  ChannelCounters(const ChannelCounters&) = delete;
  ChannelCounters& operator=(const ChannelCounters&) = delete;

  std::uint64_t get(std::size_t channel) const {
    return counts_[channel].load(std::memory_order_relaxed);
  }
  void set(std::size_t channel, std::uint64_t value) {
    counts_[channel].store(value, std::memory_order_relaxed);
  }
  void add(std::size_t channel, std::uint64_t count) {
    counts_[channel].fetch_add(count, std::memory_order_relaxed);
  }
  void clear() {
    for (std::atomic<std::uint64_t>& count : counts_) count.store(0, std::memory_order_relaxed);
  }

 private:
  std::array<std::atomic<std::uint64_t>, kStreamChannels> counts_{};
};

}  // namespace qvvandrel
