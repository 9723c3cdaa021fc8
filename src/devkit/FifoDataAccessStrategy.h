#pragma once
// Element movement of a DMA FIFO: where the host is in the ring, how many elements it holds,
// and how far the hardware has come, asking the kernel only when that cached knowledge does not
// answer a request. Positions count elements since the last start and never wrap; the ring
// index is the position modulo the depth, and `mirror` elements after the ring's end show its
// beginning again. Errors are recorded in the status record, never thrown.

#include <cstdint>
#include <memory>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Status.h"

namespace qvkel {

class IFifoAcquirerReleaser {
 public:
  virtual ~IFifoAcquirerReleaser() = default;
  // Waits until `bytes` (counted from start) are available or the time-out passes; returns the
  // bytes available since start.
  virtual uint64_t waitForBytes(uint64_t bytes, uint32_t timeoutMs, bool* timedOut,
                                nQVVUSKS100::tStatus* status) = 0;
  virtual void releaseBytes(uint64_t bytes, nQVVUSKS100::tStatus* status) = 0;
};

// The kernel's FIFO interface bound to one session handle and channel.
class FifoAcquirerReleaserInterfaceProxy : public IFifoAcquirerReleaser {
 public:
  FifoAcquirerReleaserInterfaceProxy(
      std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface,
      uint64_t sessionHandle, uint32_t channel)
      : interface_(std::move(interface)), sessionHandle_(sessionHandle), channel_(channel) {}

  uint64_t waitForBytes(uint64_t bytes, uint32_t timeoutMs, bool* timedOut,
                        nQVVUSKS100::tStatus* status) override;
  void releaseBytes(uint64_t bytes, nQVVUSKS100::tStatus* status) override;

 private:
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface_;
  uint64_t sessionHandle_;
  uint32_t channel_;
};

class IFifoDataAccessStrategy {
 public:
  virtual ~IFifoDataAccessStrategy() = default;
  virtual void configure(void* buffer, uint64_t depth, uint64_t mirror) = 0;
  virtual uint64_t getAcquiredCount() const = 0;
  virtual void read(void* buffer, uint64_t count, uint32_t timeoutMs, bool* timedOut,
                    uint64_t* remaining, nQVVUSKS100::tStatus* status) = 0;
  virtual void write(const void* buffer, uint64_t count, uint32_t timeoutMs, bool* timedOut,
                     uint64_t* remaining, nQVVUSKS100::tStatus* status) = 0;
  virtual void acquire(void** elements, uint64_t count, uint32_t timeoutMs, bool* timedOut,
                       uint64_t* acquired, uint64_t* remaining, nQVVUSKS100::tStatus* status) = 0;
  virtual void release(uint64_t count, nQVVUSKS100::tStatus* status) = 0;
};

class FifoDataAccessStrategyKestin : public IFifoDataAccessStrategy {
 public:
  // The acquirer/releaser is borrowed and must outlive the strategy.
  FifoDataAccessStrategyKestin(IFifoAcquirerReleaser& acquirerReleaser, uint64_t elementSize)
      : acquirerReleaser_(&acquirerReleaser), elementSize_(elementSize) {}

  // Zeroes the acquired count and both positions.
  void configure(void* buffer, uint64_t depth, uint64_t mirror) override;
  uint64_t getAcquiredCount() const override { return acquired_; }
  // All or nothing: -63083 while elements are acquired, -61073 above the depth; a time-out
  // moves nothing. The space read or written goes back to the hardware at once.
  void read(void* buffer, uint64_t count, uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
            nQVVUSKS100::tStatus* status) override;
  void write(const void* buffer, uint64_t count, uint32_t timeoutMs, bool* timedOut,
             uint64_t* remaining, nQVVUSKS100::tStatus* status) override;
  // Hands out at most the contiguous part of `count` elements in place: -61073 above the depth,
  // -61219 when more than depth - acquired elements would be held.
  void acquire(void** elements, uint64_t count, uint32_t timeoutMs, bool* timedOut,
               uint64_t* acquired, uint64_t* remaining, nQVVUSKS100::tStatus* status) override;
  // -61073 for more than is acquired; 0 makes no kernel call.
  void release(uint64_t count, nQVVUSKS100::tStatus* status) override;

  uint64_t getPosition() const { return position_; }
  uint64_t getAvailable() const { return available_; }

 private:
  enum class Direction { Read, Write };

  // A stopped strategy has depth 0: its index stays 0 instead of dividing by zero.
  uint64_t index() const { return depth_ != 0 ? position_ % depth_ : 0; }
  uint64_t contiguous() const { return mirror_ + depth_ - index(); }
  uint8_t* address() const { return buffer_ + index() * elementSize_; }
  uint64_t waitFor(uint64_t count, bool allowPartial, uint32_t timeoutMs, bool& timedOut,
                   uint64_t* remaining, nQVVUSKS100::tStatus* status);
  void transfer(Direction direction, uint8_t* caller, uint64_t count, uint32_t timeoutMs,
                bool* timedOut, uint64_t* remaining, nQVVUSKS100::tStatus* status);

  IFifoAcquirerReleaser* acquirerReleaser_;
  uint64_t elementSize_;
  uint8_t* buffer_ = nullptr;
  uint64_t depth_ = 0;
  uint64_t mirror_ = 0;
  uint64_t acquired_ = 0;
  uint64_t position_ = 0;
  uint64_t available_ = 0;
};

}  // namespace qvkel
