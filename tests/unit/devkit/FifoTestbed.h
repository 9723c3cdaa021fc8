#pragma once
// A simulated module with its device node opened through the generated proxy, for the tests of
// the DMA FIFOs and host memory buffers.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devkit/DmaChannels.h"
#include "devkit/ElementType.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace devkit_test {

// The FIFO commands of the device interface.
inline constexpr uint32_t kDropBuffer = 0x40208328;
inline constexpr uint32_t kStartFifo = 0x40208329;
inline constexpr uint32_t kStopFifo = 0x4020832A;
inline constexpr uint32_t kWaitFifo = 0x4020832B;
inline constexpr uint32_t kReleaseFifo = 0x4020832C;
inline constexpr uint32_t kFreeFifo = 0x4020832D;
inline constexpr uint32_t kSetBuffer = 0x4020832E;
inline constexpr uint32_t kDeviceKitRequest = 0x40208310;

// What the FIFOs of the tests hand to every kernel call.
inline constexpr uint64_t kSessionHandle = 0x00000A5A00C0FFEEull;

struct FifoTestbed {
  sim::Testbed testbed;
  sim::Module module{testbed, "qvdev0"};
  sim::Interface& iface = module.deviceInterface();
  sim::DmaFifos& dma = module.dmaFifos();
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor> proxy =
      std::make_shared<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor>();

  FifoTestbed() {
    nQVVUSKS100::tStatus status;
    proxy->open(iface.nodePath().c_str(), &status);
  }

  // The logged commands with that code.
  std::vector<sim::LogEntry> logOf(uint32_t command) const {
    std::vector<sim::LogEntry> entries;
    for (sim::LogEntry& entry : iface.log())
      if (entry.command == command) entries.push_back(std::move(entry));
    return entries;
  }
  size_t countOf(uint32_t command) const { return iface.count(command); }
};

inline qvkel::NamedFifo channel(uint8_t kind, const qvkel::Type& type, uint32_t number = 0,
                                uint32_t depth = 1024, bool userVisible = true) {
  return qvkel::NamedFifo("fifo" + std::to_string(number), qvkel::FifoDescriptor(kind, type),
                          number, depth, userVisible, "tag" + std::to_string(number));
}

// A scripted answer: the driver status, and output bytes from the record's start.
inline sim::Reply statusReply(int32_t status, std::vector<uint8_t> output = {}) {
  sim::Reply reply;
  reply.output = std::move(output);
  reply.status = status;
  return reply;
}

// Little-endian field of a logged record.
template <typename T>
T fieldOf(const std::vector<uint8_t>& record, size_t offset) {
  T value{};
  std::memcpy(&value, record.data() + offset, sizeof value);
  return value;
}

}  // namespace devkit_test
