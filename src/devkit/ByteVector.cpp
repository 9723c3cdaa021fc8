#include "devkit/ByteVector.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "foundation/errors/ErrorCodes.h"

namespace qvhtl {
namespace {

constexpr qverr::StatusLocation kGrowFailed{"qvhtl/ByteVector", 61, qverr::kComponent,
                                            qverr::constant::kMemoryFull};

}  // namespace

ByteVector::~ByteVector() {
  clear();
}

ByteVector::ByteVector(ByteVector&& other) noexcept
    : capacity_(std::exchange(other.capacity_, 0)),
      size_(std::exchange(other.size_, 0)),
      data_(std::exchange(other.data_, nullptr)) {}

ByteVector& ByteVector::operator=(ByteVector&& other) noexcept {
  if (this != &other) {
    clear();
    capacity_ = std::exchange(other.capacity_, 0);
    size_ = std::exchange(other.size_, 0);
    data_ = std::exchange(other.data_, nullptr);
  }
  return *this;
}

void ByteVector::clear() {
  std::free(data_);
  data_ = nullptr;
  capacity_ = 0;
  size_ = 0;
}

bool ByteVector::append(const void* bytes, size_t count, qverr::Status& status) {
  if (status.isError()) return false;
  if (count == 0) return true;
  if (count > std::numeric_limits<uint64_t>::max() - size_) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, kGrowFailed);
    return false;
  }
  const uint64_t needed = size_ + count;
  if (needed > capacity_) {
    uint64_t grown = capacity_ + capacity_ / 2;
    if (grown < 8) grown = 8;
    if (grown < needed) grown = needed;
    void* moved = grown > std::numeric_limits<size_t>::max() ? nullptr : std::realloc(data_, grown);
    if (moved == nullptr) {
      status.setCodeWithErrorConstant(qverr::kMemoryFull, kGrowFailed);
      return false;
    }
    data_ = static_cast<uint8_t*>(moved);
    capacity_ = grown;
  }
  std::memcpy(data_ + size_, bytes, count);
  size_ = needed;
  return true;
}

bool ByteVector::appendU8(uint8_t value, qverr::Status& status) {
  return append(&value, 1, status);
}

// Items go in host byte order, which is what the driver on the same machine reads.
bool ByteVector::appendU32(uint32_t value, qverr::Status& status) {
  return append(&value, sizeof value, status);
}

bool ByteVector::appendI32(int32_t value, qverr::Status& status) {
  return append(&value, sizeof value, status);
}

}  // namespace qvhtl
