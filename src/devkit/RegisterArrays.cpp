#include "devkit/RegisterArrays.h"

#include <limits>
#include <memory>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel::user {
namespace {

constexpr qverr::StatusLocation kTooLong{"atomickelddk/user/session/FpgaSession", 1630,
                                         qverr::kComponent, qverr::constant::kInvalidParameter};
constexpr uint32_t kWordBits = 32;
constexpr uint32_t kWordAccess = 4;
// Packed words kept on the stack; longer arrays take the heap.
constexpr size_t kStackWords = 64;

uint64_t packedWords(uint64_t count, uint32_t perWord) {
  return count <= perWord ? 1 : (count + perWord - 1) / perWord;
}

// The words of one packed transfer.
class Scratch {
 public:
  explicit Scratch(size_t words) {
    if (words > kStackWords) {
      heap_.reset(new uint32_t[words]());
      words_ = heap_.get();
    }
  }
  uint32_t* data() { return words_; }

 private:
  uint32_t stack_[kStackWords] = {};
  std::unique_ptr<uint32_t[]> heap_;
  uint32_t* words_ = stack_;
};

// Bit position of element `index` of `count` elements `bits` wide.
uint32_t position(uint32_t index, uint32_t count, uint32_t bits) {
  const uint32_t perWord = kWordBits / bits;
  if (count <= perWord) return (count - 1 - index) * bits;
  return (perWord - 1 - index % perWord) * bits;
}

template <typename E>
void readPacked(const ReadWriteBlockHelpers& blocks, uint32_t offset, E* elements, uint32_t count,
                uint32_t bits) {
  if (count == 0) return;
  const uint32_t perWord = kWordBits / bits;
  const uint32_t mask = (1u << bits) - 1;
  if (count <= perWord) {
    const uint32_t word = blocks.accessor()->read32(offset);
    for (uint32_t i = 0; i < count; ++i)
      elements[i] = static_cast<E>((word >> position(i, count, bits)) & mask);
    return;
  }
  const uint64_t words = packedWords(count, perWord);
  Scratch scratch(words);
  blocks.accessor()->readBlock(offset, scratch.data(), words * 4, kWordAccess, 0);
  for (uint32_t i = 0; i < count; ++i)
    elements[i] = static_cast<E>((scratch.data()[i / perWord] >> position(i, count, bits)) & mask);
}

template <typename E>
void writePacked(const ReadWriteBlockHelpers& blocks, uint32_t offset, const E* elements,
                 uint32_t count, uint32_t bits) {
  if (count == 0) return;
  const uint32_t perWord = kWordBits / bits;
  const uint32_t mask = (1u << bits) - 1;
  if (count <= perWord) {
    uint32_t word = 0;
    for (uint32_t i = 0; i < count; ++i)
      word |= (static_cast<uint32_t>(elements[i]) & mask) << position(i, count, bits);
    blocks.accessor()->write32(offset, word);
    return;
  }
  const uint64_t words = packedWords(count, perWord);
  Scratch scratch(words);
  for (uint32_t i = 0; i < count; ++i)
    scratch.data()[i / perWord] |= (static_cast<uint32_t>(elements[i]) & mask)
                                   << position(i, count, bits);
  blocks.accessor()->writeBlock(offset, scratch.data(), words * 4, kWordAccess, 0);
}

}  // namespace

void checkArrayTransfer(uint64_t count, uint32_t bits) {
  constexpr uint64_t kMax = std::numeric_limits<uint32_t>::max();
  if (count > kMax) qverr::raise(kArrayTooLong, kTooLong);
  const uint64_t bytes =
      bits >= kWordBits ? count * (bits / 8) : packedWords(count, kWordBits / bits) * 4;
  if (bytes > kMax) qverr::raise(kArrayTooLong, kTooLong);
}

void readPackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, uint8_t* elements,
                     uint32_t count, Packing packing) {
  readPacked(blocks, offset, elements, count, static_cast<uint32_t>(packing));
}

void readPackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, uint16_t* elements,
                     uint32_t count, Packing packing) {
  readPacked(blocks, offset, elements, count, static_cast<uint32_t>(packing));
}

void writePackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset, const uint8_t* elements,
                      uint32_t count, Packing packing) {
  writePacked(blocks, offset, elements, count, static_cast<uint32_t>(packing));
}

void writePackedArray(const ReadWriteBlockHelpers& blocks, uint32_t offset,
                      const uint16_t* elements, uint32_t count, Packing packing) {
  writePacked(blocks, offset, elements, count, static_cast<uint32_t>(packing));
}

}  // namespace qvkel::user
