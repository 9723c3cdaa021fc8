#pragma once
// Typed register values and arrays on the 32-bit register bus. 8- and 16-bit values sit in the
// low bits of one word; 64-bit values take two words, the high word at the lower address.
// Arrays of 1-bit (Bool), 8- and 16-bit elements are packed into words: as many as fit in one
// word are right-aligned in it (the last element lowest); longer arrays fill words from the
// most significant end, a partial last word holding its elements at the top. Nothing here
// takes a lock: the caller holds the FPGA's operation lock.

#include <bit>
#include <cstdint>
#include <type_traits>

#include "devkit/IoAccessor.h"

namespace qvkel::user {

// An array count above 32 bits, or a transfer the kernel cannot take in one call.
inline constexpr int32_t kArrayTooLong = -52005;

template <typename T>
T readRegisterValue(const ReadWriteBlockHelpers& blocks, uint32_t offset) {
  if constexpr (sizeof(T) == 8) {
    T value;
    blocks.readBlock64(offset, &value, 1, false);
    return value;
  } else {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t,
                                    std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>;
    return std::bit_cast<T>(static_cast<Bits>(blocks.accessor()->read32(offset)));
  }
}

template <typename T>
void writeRegisterValue(const ReadWriteBlockHelpers& blocks, uint32_t offset, T value) {
  if constexpr (sizeof(T) == 8) {
    blocks.writeBlock64(offset, &value, 1, false);
  } else {
    using Bits = std::conditional_t<sizeof(T) == 4, uint32_t,
                                    std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>;
    blocks.accessor()->write32(offset, std::bit_cast<Bits>(value));
  }
}

// Element width on the bus of a packed array.
enum class Packing : uint8_t { Bits = 1, Bytes = 8, HalfWords = 16 };

// Raises kArrayTooLong when `count` needs more than 32 bits or the transfer of `count` elements
// `bits` wide (1, 8, 16 packed; 32, 64 whole words) more than 4 GiB.
void checkArrayTransfer(uint64_t count, uint32_t bits);

// Packed arrays; count 0 makes no access. Bool elements read back 0 or 1 and contribute bit 0
// on writing.
void readPackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, uint8_t* elements,
                     uint32_t count, Packing packing);
void readPackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, uint16_t* elements,
                     uint32_t count, Packing packing = Packing::HalfWords);
void writePackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, const uint8_t* elements,
                      uint32_t count, Packing packing);
void writePackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset,
                      const uint16_t* elements, uint32_t count,
                      Packing packing = Packing::HalfWords);

}  // namespace qvkel::user
