#include "devkit/IoAccessor.h"

#include <cstring>
#include <limits>
#include <vector>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel::user {
namespace {

constexpr qverr::StatusLocation kOddOffset{"atomickelddk/user/session/IoAccessorIoctl", 41,
                                           qverr::kComponent};
constexpr qverr::StatusLocation kBlockTooLarge{"atomickelddk/user/session/IoAccessorIoctl", 49,
                                               qverr::kComponent,
                                               qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kBusErrorBit{"atomickelddk/user/session/ReadWriteBlockHelpers", 62,
                                             qverr::kComponent};

constexpr uint32_t kBusErrorMask = 0x10;
constexpr uint32_t kWordAccess = 4;
// Elements of a 64-bit block write reordered on the stack; larger blocks take the heap.
constexpr size_t kStackPairs = 32;

// The offset the kernel gets: odd offsets are refused, the two low bits cleared.
uint32_t kernelOffset(uint32_t offset) {
  if ((offset & 1) != 0) qverr::raise(kOddRegisterOffset, kOddOffset);
  return offset & ~3u;
}

uint32_t kernelByteCount(uint64_t bytes) {
  if (bytes > std::numeric_limits<uint32_t>::max())
    qverr::raise(qverr::kInvalidParameter, kBlockTooLarge);
  return static_cast<uint32_t>(bytes);
}

// The register order of a 64-bit value (high word first) and the host's: the halves swapped.
uint64_t swapHalves(uint64_t v) {
  return v << 32 | v >> 32;
}

}  // namespace

uint32_t IoAccessorIoctl::read32(uint32_t offset) {
  uint32_t at = kernelOffset(offset);
  qverr::ThrowingStatusRecord status;
  return io_->command8316(at, &status);
}

void IoAccessorIoctl::write32(uint32_t offset, uint32_t value) {
  uint32_t at = kernelOffset(offset);
  qverr::ThrowingStatusRecord status;
  io_->command8317(at, value, &status);
}

void IoAccessorIoctl::readBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t accessWidth,
                                uint32_t flags) {
  uint32_t at = kernelOffset(offset);
  uint32_t count = kernelByteCount(bytes);
  qverr::ThrowingStatusRecord status;
  io_->command8314(at, reinterpret_cast<uint64_t>(buffer), count, accessWidth, flags, &status);
}

void IoAccessorIoctl::writeBlock(uint32_t offset, const void* buffer, uint64_t bytes,
                                 uint32_t accessWidth, uint32_t flags) {
  uint32_t at = kernelOffset(offset);
  uint32_t count = kernelByteCount(bytes);
  qverr::ThrowingStatusRecord status;
  io_->command8315(at, reinterpret_cast<uint64_t>(buffer), count, accessWidth, flags, &status);
}

uint32_t ReadWriteBlockHelpers::checkAccessStatus() const {
  uint32_t word = accessor_->read32(controlRegister_);
  if ((word & kBusErrorMask) != 0) qverr::raise(kBusError, kBusErrorBit);
  return word;
}

void ReadWriteBlockHelpers::readWords(uint32_t offset, void* words, size_t count,
                                      bool check) const {
  if (count == 1) {
    uint32_t value = accessor_->read32(offset);
    std::memcpy(words, &value, sizeof value);
  } else {
    accessor_->readBlock(offset, words, uint64_t{count} * 4, kWordAccess, 0);
  }
  if (check) checkAccessStatus();
}

void ReadWriteBlockHelpers::writeWords(uint32_t offset, const void* words, size_t count,
                                       bool check) const {
  if (count == 1) {
    uint32_t value;
    std::memcpy(&value, words, sizeof value);
    accessor_->write32(offset, value);
  } else {
    accessor_->writeBlock(offset, words, uint64_t{count} * 4, kWordAccess, 0);
  }
  if (check) checkAccessStatus();
}

void ReadWriteBlockHelpers::readPairs(uint32_t offset, void* pairs, size_t count,
                                      bool check) const {
  accessor_->readBlock(offset, pairs, uint64_t{count} * 8, kWordAccess, 0);
  auto* bytes = static_cast<unsigned char*>(pairs);
  for (size_t i = 0; i < count; ++i) {
    uint64_t v;
    std::memcpy(&v, bytes + i * 8, 8);
    v = swapHalves(v);
    std::memcpy(bytes + i * 8, &v, 8);
  }
  if (check) checkAccessStatus();
}

void ReadWriteBlockHelpers::writePairs(uint32_t offset, const void* pairs, size_t count,
                                       bool check) const {
  uint64_t onStack[kStackPairs];
  std::vector<uint64_t> onHeap;
  uint64_t* swapped = onStack;
  if (count > kStackPairs) {
    onHeap.resize(count);
    swapped = onHeap.data();
  }
  if (count != 0) std::memcpy(swapped, pairs, count * 8);  // an empty array may have no address
  for (size_t i = 0; i < count; ++i) swapped[i] = swapHalves(swapped[i]);
  accessor_->writeBlock(offset, swapped, uint64_t{count} * 8, kWordAccess, 0);
  if (check) checkAccessStatus();
}

}  // namespace qvkel::user
