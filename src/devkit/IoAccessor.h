#pragma once
// Register access by byte offset: the accessor over the kernel's register commands, and the
// block helper that moves 32- and 64-bit elements and checks the bus status after an access.
// Neither takes a lock: callers hold the FPGA's operation lock.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvkel::user {

// A register offset with its low bit set.
inline constexpr int32_t kOddRegisterOffset = -63084;
// The control register flags a bus error (bit 4) after a checked access.
inline constexpr int32_t kBusError = -61046;

class IIoAccessor {
 public:
  virtual ~IIoAccessor() = default;
  virtual uint32_t read32(uint32_t offset) = 0;
  virtual void write32(uint32_t offset, uint32_t value) = 0;
  virtual void readBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t accessWidth,
                         uint32_t flags) = 0;
  virtual void writeBlock(uint32_t offset, const void* buffer, uint64_t bytes, uint32_t accessWidth,
                          uint32_t flags) = 0;
};

// Each access is one kernel call; failures are raised.
class IoAccessorIoctl : public IIoAccessor {
 public:
  using IoInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_io;

  explicit IoAccessorIoctl(std::shared_ptr<IoInterface> io) : io_(std::move(io)) {}
  ~IoAccessorIoctl() override = default;

  uint32_t read32(uint32_t offset) override;
  void write32(uint32_t offset, uint32_t value) override;
  // The kernel takes the byte count as 32 bits: a larger count is refused (-52005).
  void readBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t accessWidth,
                 uint32_t flags) override;
  void writeBlock(uint32_t offset, const void* buffer, uint64_t bytes, uint32_t accessWidth,
                  uint32_t flags) override;

 private:
  std::shared_ptr<IoInterface> io_;
};

// Element blocks over an accessor. 64-bit elements move as two words, the high word at the
// lower address.
class ReadWriteBlockHelpers {
 public:
  ReadWriteBlockHelpers() = default;
  ReadWriteBlockHelpers(IIoAccessor* accessor, uint32_t controlRegister)
      : accessor_(accessor), controlRegister_(controlRegister) {}

  // Reads the control register; bit 4 raises kBusError, otherwise the word is returned.
  uint32_t checkAccessStatus() const;

  // 32-bit elements (unsigned, signed, single precision): one element is a single-word access.
  template <typename T>
  void readBlock32(uint32_t offset, T* buffer, size_t count, bool check) const {
    static_assert(sizeof(T) == 4);
    readWords(offset, buffer, count, check);
  }
  template <typename T>
  void writeBlock32(uint32_t offset, const T* buffer, size_t count, bool check) const {
    static_assert(sizeof(T) == 4);
    writeWords(offset, buffer, count, check);
  }
  // 64-bit elements (unsigned, signed, double precision): always one block transfer.
  template <typename T>
  void readBlock64(uint32_t offset, T* buffer, size_t count, bool check) const {
    static_assert(sizeof(T) == 8);
    readPairs(offset, buffer, count, check);
  }
  template <typename T>
  void writeBlock64(uint32_t offset, const T* buffer, size_t count, bool check) const {
    static_assert(sizeof(T) == 8);
    writePairs(offset, buffer, count, check);
  }

  uint64_t readU64(uint32_t offset, bool check) const { return read64<uint64_t>(offset, check); }
  int64_t readI64(uint32_t offset, bool check) const { return read64<int64_t>(offset, check); }
  double readDouble(uint32_t offset, bool check) const { return read64<double>(offset, check); }
  void writeU64(uint32_t offset, uint64_t value, bool check) const {
    writeBlock64(offset, &value, 1, check);
  }
  void writeI64(uint32_t offset, int64_t value, bool check) const {
    writeBlock64(offset, &value, 1, check);
  }
  void writeDouble(uint32_t offset, double value, bool check) const {
    writeBlock64(offset, &value, 1, check);
  }

  IIoAccessor* accessor() const { return accessor_; }
  uint32_t controlRegister() const { return controlRegister_; }

 private:
  template <typename T>
  T read64(uint32_t offset, bool check) const {
    T value;
    readBlock64(offset, &value, 1, check);
    return value;
  }
  // Element bytes are copied, never read through another type.
  void readWords(uint32_t offset, void* words, size_t count, bool check) const;
  void writeWords(uint32_t offset, const void* words, size_t count, bool check) const;
  void readPairs(uint32_t offset, void* pairs, size_t count, bool check) const;
  void writePairs(uint32_t offset, const void* pairs, size_t count, bool check) const;

  IIoAccessor* accessor_ = nullptr;
  uint32_t controlRegister_ = 0;
};

}  // namespace qvkel::user
