#pragma once
// Byte blobs as the driver stores them (flash images, the bitfile data of session requests):
// raw, or one LZ4 block behind the length of the data it holds. A 16-bit tag kept beside the
// blob says which.

#include <cstdint>
#include <vector>

namespace qvvandrelbrenmooru {

enum BlobTag : uint16_t {
  kBlobRaw = 0,
  // u32 little-endian length of the data, then one LZ4 block (block format, no frame).
  kBlobLz4 = 1,
};

// The largest input one LZ4 block takes.
inline constexpr uint64_t kMaxLz4Input = 0x7E000000;

// An unknown tag raises -52005; data that cannot be packed (above kMaxLz4Input bytes, or a
// compressor failure) raises -52003.
std::vector<uint8_t> encodeBlob(const uint8_t* data, uint64_t length, uint16_t tag);

// An unknown tag raises -52005. An LZ4 blob that is shorter than its length field, declares
// more data than its block can hold, does not decompress or holds nothing raises -52003.
std::vector<uint8_t> decodeBlob(const uint8_t* blob, uint64_t length, uint16_t tag);

}  // namespace qvvandrelbrenmooru
