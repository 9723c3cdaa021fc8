#include "session/BlobCodec.h"

#include <lz4.h>

#include <climits>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr const char* kFile = "qvvandrelbrenmooru/source/BlobCodec";
constexpr qverr::StatusLocation kUnknownTag{kFile, 31, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kCannotCompress{kFile, 44, qverr::kComponent};
constexpr qverr::StatusLocation kBadBlock{kFile, 67, qverr::kComponent};

constexpr uint64_t kLengthField = 4;
// Each byte of an LZ4 block expands to at most 255 bytes; the rest allows for its last token.
constexpr uint64_t kMaxExpansion = 255;
constexpr uint64_t kExpansionSlack = 16;

uint32_t readLength(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

void writeLength(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> copyOf(const uint8_t* bytes, uint64_t length) {
  return length == 0 ? std::vector<uint8_t>{} : std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace

std::vector<uint8_t> encodeBlob(const uint8_t* data, uint64_t length, uint16_t tag) {
  if (tag == kBlobRaw) return copyOf(data, length);
  if (tag != kBlobLz4) qverr::raise(qverr::kInvalidParameter, kUnknownTag);
  // A blob holding only its length field would pass for the data and lose it.
  if (length > kMaxLz4Input) qverr::raise(qverr::kInternalError, kCannotCompress);
  const int input = static_cast<int>(length);
  std::vector<uint8_t> blob(kLengthField + LZ4_compressBound(input));
  writeLength(blob.data(), static_cast<uint32_t>(length));
  const int packed = LZ4_compress_default(reinterpret_cast<const char*>(data),
                                          reinterpret_cast<char*>(blob.data() + kLengthField),
                                          input, static_cast<int>(blob.size() - kLengthField));
  if (packed <= 0) qverr::raise(qverr::kInternalError, kCannotCompress);
  blob.resize(kLengthField + static_cast<uint64_t>(packed));
  return blob;
}

std::vector<uint8_t> decodeBlob(const uint8_t* blob, uint64_t length, uint16_t tag) {
  if (tag == kBlobRaw) return copyOf(blob, length);
  if (tag != kBlobLz4) qverr::raise(qverr::kInvalidParameter, kUnknownTag);
  if (length < kLengthField || length - kLengthField > INT_MAX)
    qverr::raise(qverr::kInternalError, kBadBlock);
  const uint64_t packed = length - kLengthField;
  const uint64_t declared = readLength(blob);
  // The declared length comes from storage: never allocate more than the block can expand to.
  if (declared > kMaxExpansion * packed + kExpansionSlack || declared > INT_MAX)
    qverr::raise(qverr::kInternalError, kBadBlock);
  std::vector<uint8_t> data(declared);
  const int unpacked = LZ4_decompress_safe(reinterpret_cast<const char*>(blob + kLengthField),
                                           reinterpret_cast<char*>(data.data()),
                                           static_cast<int>(packed), static_cast<int>(declared));
  if (unpacked < 1) qverr::raise(qverr::kInternalError, kBadBlock);
  data.resize(static_cast<uint64_t>(unpacked));
  return data;
}

}  // namespace qvvandrelbrenmooru
