#include "sim/device/HostMemory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr uint32_t kRequest = commandCode(kDirWrite, 0x83, 0x10);
constexpr uint32_t kRegisterSelector = 0;
constexpr uint32_t kRegisterKind = 3;
constexpr uint64_t kRegistrationSize = 16;
// A larger record than this is a caller's mistake, not a request of this driver.
constexpr uint64_t kMaxRecord = 1u << 20;

}  // namespace

HostMemory::HostMemory(Interface& iface) : iface_(iface) {
  iface.addRegion(kDynamicRegion, kDynamicSize);
  iface.addRegion(kLlbPageRegion, kLlbPageSize);
  iface.addRegion(kLlbBufferRegion, kLlbBufferSize);
  iface.handle(kRequest, [this](Call& c) { return serve(c); });
}

HostMemory::~HostMemory() {
  iface_.removeHandler(kRequest);
}

// {u32 selector, u32 kind, u64 input address, u64 input size, u64 output address, u64 output
// size, i32 status, pad} -> {i32 status}
int HostMemory::serve(Call& call) {
  Request request{call.u32(0), call.u32(4), {}, call.u64(24), call.u64(32)};
  const uint64_t inputAddress = call.u64(8);
  const uint64_t inputSize = call.u64(16);
  if (inputSize > kMaxRecord || request.outputSize > kMaxRecord ||
      (inputSize != 0 && inputAddress == 0) ||
      (request.outputSize != 0 && request.outputAddress == 0))
    return EFAULT;
  const auto* input = reinterpret_cast<const uint8_t*>(inputAddress);
  request.input.assign(input, input + inputSize);

  std::lock_guard lock(mutex_);
  if (request.selector == kRegisterSelector && request.kind == kRegisterKind &&
      inputSize == kRegistrationSize && request.outputSize == 0) {
    Registration r{input[0], input[1], {}, 0};
    std::memcpy(r.reserved.data(), input + 2, r.reserved.size());
    std::memcpy(&r.address, input + 8, 8);
    registrations_.push_back(r);
  } else if (request.outputSize != 0 && !answer_.empty()) {
    std::memcpy(reinterpret_cast<void*>(request.outputAddress), answer_.data(),
                std::min<uint64_t>(answer_.size(), request.outputSize));
  }
  requests_.push_back(std::move(request));
  return 0;
}

std::vector<HostMemory::Registration> HostMemory::registrations() const {
  std::lock_guard lock(mutex_);
  return registrations_;
}

std::vector<HostMemory::Request> HostMemory::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void HostMemory::setAnswer(std::vector<uint8_t> output) {
  std::lock_guard lock(mutex_);
  answer_ = std::move(output);
}

}  // namespace sim
