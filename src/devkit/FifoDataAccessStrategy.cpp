#include "devkit/FifoDataAccessStrategy.h"

#include <cstring>

#include "devkit/FifoCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/user/fifo/FifoDataAccessStrategyKestin";
constexpr qverr::StatusLocation kAcquireAboveDepth{kSource, 118, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kAcquireBeyondFree{kSource, 124, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTransferWhileHeld{kSource, 162, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTransferAboveDepth{kSource, 168, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kReleaseAboveAcquired{kSource, 214, qverr::kComponent, nullptr};

void fail(nQVVUSKS100::tStatus* status, int32_t code, const qverr::StatusLocation& where) {
  qverr::recordCode(*status, code, where);
}

}  // namespace

uint64_t FifoAcquirerReleaserInterfaceProxy::waitForBytes(uint64_t bytes, uint32_t timeoutMs,
                                                          bool* timedOut,
                                                          nQVVUSKS100::tStatus* status) {
  return interface_->command832B(sessionHandle_, channel_, bytes, timeoutMs, timedOut, status);
}

void FifoAcquirerReleaserInterfaceProxy::releaseBytes(uint64_t bytes,
                                                      nQVVUSKS100::tStatus* status) {
  interface_->command832C(sessionHandle_, channel_, bytes, status);
}

void FifoDataAccessStrategyKestin::configure(void* buffer, uint64_t depth, uint64_t mirror) {
  buffer_ = static_cast<uint8_t*>(buffer);
  depth_ = depth;
  mirror_ = mirror;
  acquired_ = position_ = available_ = 0;
}

uint64_t FifoDataAccessStrategyKestin::waitFor(uint64_t count, bool allowPartial,
                                               uint32_t timeoutMs, bool& timedOut,
                                               uint64_t* remaining, nQVVUSKS100::tStatus* status) {
  timedOut = false;
  if (status->isError()) return 0;
  const uint64_t n = allowPartial && contiguous() <= count ? contiguous() : count;
  const uint64_t target = position_ + n;
  if (target <= available_ && remaining == nullptr) return n;
  const uint64_t bytes =
      acquirerReleaser_->waitForBytes(target * elementSize_, timeoutMs, &timedOut, status);
  if (status->isError()) return 0;
  available_ = bytes / elementSize_;
  if (remaining != nullptr) *remaining = available_ > position_ ? available_ - position_ : 0;
  return timedOut ? 0 : n;
}

void FifoDataAccessStrategyKestin::acquire(void** elements, uint64_t count, uint32_t timeoutMs,
                                           bool* timedOut, uint64_t* acquired, uint64_t* remaining,
                                           nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (elements != nullptr) *elements = nullptr;
  if (timedOut != nullptr) *timedOut = false;
  if (acquired != nullptr) *acquired = 0;
  if (remaining != nullptr) *remaining = 0;
  if (count > depth_) return fail(status, kFifoCountAboveDepth, kAcquireAboveDepth);
  if (count + acquired_ > depth_) return fail(status, kFifoElementsHeld, kAcquireBeyondFree);

  bool expired = false;
  const uint64_t n = waitFor(count, true, timeoutMs, expired, remaining, status);
  if (timedOut != nullptr) *timedOut = expired;
  if (n == 0) return;
  if (elements != nullptr) *elements = address();
  if (acquired != nullptr) *acquired = n;
  acquired_ += n;
  position_ += n;
  if (remaining != nullptr) *remaining = *remaining > n ? *remaining - n : 0;
}

void FifoDataAccessStrategyKestin::read(void* buffer, uint64_t count, uint32_t timeoutMs,
                                        bool* timedOut, uint64_t* remaining,
                                        nQVVUSKS100::tStatus* status) {
  transfer(Direction::Read, static_cast<uint8_t*>(buffer), count, timeoutMs, timedOut, remaining,
           status);
}

void FifoDataAccessStrategyKestin::write(const void* buffer, uint64_t count, uint32_t timeoutMs,
                                         bool* timedOut, uint64_t* remaining,
                                         nQVVUSKS100::tStatus* status) {
  // The caller's buffer is only read from on this path.
  transfer(Direction::Write, static_cast<uint8_t*>(const_cast<void*>(buffer)), count, timeoutMs,
           timedOut, remaining, status);
}

void FifoDataAccessStrategyKestin::transfer(Direction direction, uint8_t* caller, uint64_t count,
                                            uint32_t timeoutMs, bool* timedOut, uint64_t* remaining,
                                            nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (timedOut != nullptr) *timedOut = false;
  if (remaining != nullptr) *remaining = 0;
  if (acquired_ != 0) return fail(status, kFifoElementsInUse, kTransferWhileHeld);
  if (count > depth_) return fail(status, kFifoCountAboveDepth, kTransferAboveDepth);

  bool expired = false;
  const uint64_t n = waitFor(count, false, timeoutMs, expired, remaining, status);
  if (timedOut != nullptr) *timedOut = expired;
  if (n == 0) return;

  // At most two pieces: up to the end of the ring (and its mirror), then from its start.
  for (uint64_t left = count; left != 0;) {
    const uint64_t chunk = left < contiguous() ? left : contiguous();
    const size_t bytes = chunk * elementSize_;
    if (direction == Direction::Read)
      std::memcpy(caller, address(), bytes);
    else
      std::memcpy(address(), caller, bytes);
    caller += bytes;
    position_ += chunk;
    left -= chunk;
  }
  if (remaining != nullptr) *remaining = *remaining > count ? *remaining - count : 0;
  acquired_ += count;
  release(count, status);
}

void FifoDataAccessStrategyKestin::release(uint64_t count, nQVVUSKS100::tStatus* status) {
  if (status->isError() || count == 0) return;
  if (count > acquired_) return fail(status, kFifoCountAboveDepth, kReleaseAboveAcquired);
  acquirerReleaser_->releaseBytes(count * elementSize_, status);
  if (!status->isError()) acquired_ -= count;
}

}  // namespace qvkel
