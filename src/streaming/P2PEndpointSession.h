#pragma once
// One peer-to-peer FIFO of a design as the maker's peer-to-peer library sees it: an endpoint
// that registers itself with the library (libqvp2p.so, loaded at first use) for as long as it
// lives, answers the library's query and describe from any of its threads, and maps the
// FIFO's sink window into memory for its session.

#include <cstdint>
#include <memory>
#include <mutex>

#include "devkit/DmaChannels.h"
#include "devkit/Fpga.h"

// The endpoint interface the library calls; its slot order is the library's ABI.
namespace nQVP2P {
class iEndpointSession {
 public:
  // The FIFO's 32-bit value; returns a status code.
  virtual int32_t query(uint32_t* value) = 0;
  // Four u32 into `record` (element bits, bit count, width, signedness) and the record version.
  virtual int32_t describe(uint32_t* record, uint32_t* version) = 0;
  // Operations this system does not offer: -63193.
  virtual int32_t reserved2() = 0;
  virtual int32_t reserved3() = 0;
  virtual int32_t reserved4() = 0;
  virtual ~iEndpointSession() = default;
};
}  // namespace nQVP2P

namespace qvkel {

// The peer-to-peer library or one of its two entry points is missing.
inline constexpr int32_t kP2PLibraryMissing = -308001;
// The sink window is mapped already.
inline constexpr int32_t kSinkMapped = -63082;

// The FIFO value of DMA channel `channel`, asked of the kernel proxy; a failure is raised.
uint32_t queryFifoValue(user::Fpga::Proxy& proxy, uint32_t channel);

class P2PEndpointSession final : public nQVP2P::iEndpointSession {
 public:
  static constexpr uint32_t kDescribeVersion = 1;

  // Registers with the library; its status (-308001 when the library or an entry point is
  // missing) is raised when negative. The endpoint keeps its own share of the kernel proxy,
  // through which it queries and maps: it may outlive the session that made it (a clone or a
  // host's cleanup object holds it, and the library may query it from its thread meanwhile).
  P2PEndpointSession(const NamedFifo& fifo, std::shared_ptr<user::Fpga::Proxy> proxy);
  // Unregisters (the result is dropped) and unmaps a sink window still mapped.
  ~P2PEndpointSession() override;
  P2PEndpointSession(const P2PEndpointSession&) = delete;
  P2PEndpointSession& operator=(const P2PEndpointSession&) = delete;

  int32_t query(uint32_t* value) override;
  int32_t describe(uint32_t* record, uint32_t* version) override;
  int32_t reserved2() override;
  int32_t reserved3() override;
  int32_t reserved4() override;

  uint32_t channel() const { return channel_; }
  uint32_t identifier() const { return identifier_; }
  const FifoDescriptor& descriptor() const { return descriptor_; }

  // Maps the write window read-write at region 0x4000 | channel: -52005 for a missing out
  // place or a window of 0 bytes, -63082 when mapped already, -52003 without a proxy or for a
  // channel with any of bits 12 to 15 set; a failed mapping is raised.
  void mapSink(uint64_t* size, uint64_t* address);
  // Unmaps a mapped window; nothing when none is mapped.
  void unmapSink() noexcept;

 private:
  FifoDescriptor descriptor_;
  uint32_t channel_;
  uint32_t writeWindowSize_;
  uint32_t identifier_ = 0;
  std::shared_ptr<user::Fpga::Proxy> proxy_;
  // The host may map and unmap from several threads; the library's calls do not touch these.
  std::mutex sinkMutex_;
  uint64_t mappedAddress_ = 0;
  std::unique_ptr<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping> mapping_;
};

namespace user {

class IMappedP2PSinkCleanup {
 public:
  virtual ~IMappedP2PSinkCleanup() = default;
};

// Handed to the caller of a sink mapping: unmaps the endpoint's window when destroyed.
class MappedP2PSinkCleanup final : public IMappedP2PSinkCleanup {
 public:
  MappedP2PSinkCleanup(std::shared_ptr<P2PEndpointSession> endpoint, std::shared_ptr<Fpga> fpga)
      : endpoint_(std::move(endpoint)), fpga_(std::move(fpga)) {}
  ~MappedP2PSinkCleanup() override { endpoint_->unmapSink(); }
  MappedP2PSinkCleanup(const MappedP2PSinkCleanup&) = delete;
  MappedP2PSinkCleanup& operator=(const MappedP2PSinkCleanup&) = delete;

 private:
  std::shared_ptr<P2PEndpointSession> endpoint_;
  std::shared_ptr<Fpga> fpga_;
};

}  // namespace user
}  // namespace qvkel
