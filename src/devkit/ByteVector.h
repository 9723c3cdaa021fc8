#pragma once
// Growable byte buffer that serialized records are built in before they go to the driver.

#include <cstddef>
#include <cstdint>

#include "foundation/errors/Status.h"

namespace qvhtl {

class ByteVector {
 public:
  ByteVector() = default;
  ~ByteVector();
  ByteVector(const ByteVector&) = delete;
  ByteVector& operator=(const ByteVector&) = delete;
  ByteVector(ByteVector&& other) noexcept;
  ByteVector& operator=(ByteVector&& other) noexcept;

  uint64_t capacity() const { return capacity_; }
  uint64_t size() const { return size_; }
  const uint8_t* data() const { return data_; }

  // Appends `count` bytes. Nothing happens when `status` already holds an error; when the buffer
  // cannot grow the status takes -52000 and nothing is appended. Returns whether it appended.
  bool append(const void* bytes, size_t count, qverr::Status& status);
  bool appendU8(uint8_t value, qverr::Status& status);
  bool appendU32(uint32_t value, qverr::Status& status);
  bool appendI32(int32_t value, qverr::Status& status);

  // Frees the storage; the buffer is empty afterwards.
  void clear();

 private:
  uint64_t capacity_ = 0;
  uint64_t size_ = 0;
  uint8_t* data_ = nullptr;
};

}  // namespace qvhtl
