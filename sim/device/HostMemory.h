#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

// The device node's host-memory regions and the device-kit request that goes with them
// (0x83 0x10): region 8192 the dynamic buffer (up to 4 MiB), 12286 the low-latency page
// (4 KiB), 12287 the low-latency buffer (1 MiB), each backed by a memfd whose model view
// `data()` reaches what the host maps. A request with selector words 0, 3 and a 16-byte input
// and no output is a fixed-block registration {u8 index, u8 baggage, 6 reserved, u64 address};
// every other request is kept as it came and answered with the scripted output bytes.
class HostMemory {
 public:
  static constexpr uint32_t kDynamicRegion = 8192;
  static constexpr uint32_t kLlbPageRegion = 12286;
  static constexpr uint32_t kLlbBufferRegion = 12287;
  static constexpr size_t kDynamicSize = 0x400000;
  static constexpr size_t kLlbPageSize = 4096;
  static constexpr size_t kLlbBufferSize = 0x100000;

  struct Registration {
    uint8_t index;
    uint8_t baggage;
    std::array<uint8_t, 6> reserved;
    uint64_t address;
  };
  struct Request {
    uint32_t selector;
    uint32_t kind;
    std::vector<uint8_t> input;
    uint64_t outputAddress;
    uint64_t outputSize;
  };

  explicit HostMemory(Interface& iface);
  ~HostMemory();
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;

  // The regions as the interface holds them now (a test may replace one with addRegion).
  Region& dynamicBuffer() { return *iface_.findRegion(kDynamicRegion); }
  Region& llbPage() { return *iface_.findRegion(kLlbPageRegion); }
  Region& llbBuffer() { return *iface_.findRegion(kLlbBufferRegion); }

  std::vector<Registration> registrations() const;
  std::vector<Request> requests() const;
  // Written to the start of the output of every later pass-through request.
  void setAnswer(std::vector<uint8_t> output);

 private:
  int serve(Call& call);

  Interface& iface_;
  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
  std::vector<Request> requests_;
  std::vector<uint8_t> answer_;
};

}  // namespace sim
