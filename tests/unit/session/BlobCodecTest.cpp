// Stored blobs: raw and LZ4 blocks behind their length, against blocks written by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "foundation/errors/Exception.h"
#include "session/BlobCodec.h"

namespace {

using qvvandrelbrenmooru::decodeBlob;
using qvvandrelbrenmooru::encodeBlob;
using Bytes = std::vector<uint8_t>;

int32_t codeOf(void (*f)()) {
  try {
    f();
  } catch (const qverr::Exception& e) {
    return e.code();
  }
  return 0;
}

// 1000 zero bytes as one LZ4 block: a literal 0, a match at offset 1 of 994 bytes (4 + 15 + 255
// x 3 + 210), then the five literals every block ends with.
const Bytes kThousandZeros = {0xE8, 0x03, 0x00, 0x00, 0x1F, 0x00, 0x01, 0x00, 0xFF,
                              0xFF, 0xFF, 0xD2, 0x50, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(BlobCodec, LengthThenOneLz4Block) {
  const Bytes zeros(1000, 0);
  EXPECT_EQ(decodeBlob(kThousandZeros.data(), kThousandZeros.size(), 1), zeros);

  const Bytes blob = encodeBlob(zeros.data(), zeros.size(), 1);
  ASSERT_GT(blob.size(), 4u);
  EXPECT_EQ(Bytes(blob.begin(), blob.begin() + 4), (Bytes{0xE8, 0x03, 0x00, 0x00}));
  EXPECT_LT(blob.size(), 40u);
  EXPECT_EQ(decodeBlob(blob.data(), blob.size(), 1), zeros);

  const Bytes text = {'<', 'B', 'i', 't', 'f', 'i', 'l', 'e', '/', '>'};
  EXPECT_EQ(encodeBlob(text.data(), text.size(), 0), text);
  EXPECT_EQ(decodeBlob(text.data(), text.size(), 0), text);
  EXPECT_EQ(decodeBlob(nullptr, 0, 0), Bytes{});
}

TEST(BlobCodec, RefusalsOfTagsAndBlocks) {
  struct Row {
    const char* what;
    void (*call)();
    int32_t code;
  };
  static const Bytes kZeroLength = {0, 0, 0, 0, 0x00};
  static const Bytes kTooLong = {0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0x00, 0x01, 0x00};
  static const Bytes kBroken = {0xE8, 0x03, 0x00, 0x00, 0x1F, 0x00, 0x09, 0x00, 0xFF};
  static const uint8_t kByte = 0;
  const Row rows[] = {
      {"unknown tag to encode", [] { encodeBlob(&kByte, 1, 2); }, -52005},
      {"unknown tag to decode", [] { decodeBlob(&kByte, 1, 7); }, -52005},
      // Nothing is read: the length alone refuses.
      {"more than one block takes", [] { encodeBlob(&kByte, 0x7E000001, 1); }, -52003},
      {"shorter than the length", [] { decodeBlob(kZeroLength.data(), 3, 1); }, -52003},
      {"decompresses to nothing", [] { decodeBlob(kZeroLength.data(), kZeroLength.size(), 1); },
       -52003},
      // 0xFFFFFFFF declared for a 4-byte block: refused before anything is allocated.
      {"declares more than it holds", [] { decodeBlob(kTooLong.data(), kTooLong.size(), 1); },
       -52003},
      {"a broken block", [] { decodeBlob(kBroken.data(), kBroken.size(), 1); }, -52003},
  };
  for (const Row& row : rows) EXPECT_EQ(codeOf(row.call), row.code) << row.what;
}

}  // namespace
