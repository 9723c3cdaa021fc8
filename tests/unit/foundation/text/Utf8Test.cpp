#include "foundation/text/Utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::uint32_t decodeAt(const std::string& text, std::size_t* consumed) {
  const char* cursor = text.data();
  const std::uint32_t codePoint = decodeUtf8CodePoint(&cursor);
  *consumed = static_cast<std::size_t>(cursor - text.data());
  return codePoint;
}

TEST(DecodeUtf8CodePoint, DecodesOneToFourByteSequences) {
  std::size_t consumed = 0;
  EXPECT_EQ(decodeAt("A", &consumed), 0x41u);
  EXPECT_EQ(consumed, 1u);
  EXPECT_EQ(decodeAt("\xC3\x9F", &consumed), 0xDFu);  // sharp s
  EXPECT_EQ(consumed, 2u);
  EXPECT_EQ(decodeAt("\xE1\xBA\x96", &consumed), 0x1E96u);
  EXPECT_EQ(consumed, 3u);
  EXPECT_EQ(decodeAt("\xEF\xAC\x83", &consumed), 0xFB03u);
  EXPECT_EQ(consumed, 3u);
  EXPECT_EQ(decodeAt("\xF0\x9F\x98\x80", &consumed), 0x1F600u);
  EXPECT_EQ(consumed, 4u);
}

TEST(DecodeUtf8CodePoint, StrayBytesAreTheirOwnValue) {
  std::size_t consumed = 0;
  EXPECT_EQ(decodeAt("\x80z", &consumed), 0x80u);  // continuation byte without a lead
  EXPECT_EQ(consumed, 1u);
  EXPECT_EQ(decodeAt("\xBFz", &consumed), 0xBFu);
  EXPECT_EQ(consumed, 1u);
  EXPECT_EQ(decodeAt("\xF8z", &consumed), 0xF8u);
  EXPECT_EQ(consumed, 1u);
  EXPECT_EQ(decodeAt("\xFFz", &consumed), 0xFFu);
  EXPECT_EQ(consumed, 1u);
}

TEST(DecodeUtf8CodePoint, ContinuationBytesAreNotChecked) {
  std::size_t consumed = 0;
  // 0xC3 then 'A' (0x41): low six bits of 0x41 are 0x01 -> (0x03 << 6) | 0x01.
  EXPECT_EQ(decodeAt("\xC3"
                     "A",
                     &consumed),
            0xC1u);
  EXPECT_EQ(consumed, 2u);
}

TEST(DecodeUtf8CodePoint, WalksATextSequenceBySequence) {
  const std::string text = "a\xC3\xA9\xE2\x85\xA0z";
  const char* cursor = text.data();
  EXPECT_EQ(decodeUtf8CodePoint(&cursor), 0x61u);
  EXPECT_EQ(decodeUtf8CodePoint(&cursor), 0xE9u);
  EXPECT_EQ(decodeUtf8CodePoint(&cursor), 0x2160u);
  EXPECT_EQ(decodeUtf8CodePoint(&cursor), 0x7Au);
  EXPECT_EQ(cursor, text.data() + text.size());
}

TEST(Utf8SequenceLength, FollowsTheLeadByte) {
  EXPECT_EQ(utf8SequenceLength(0x00), 1u);
  EXPECT_EQ(utf8SequenceLength(0x7F), 1u);
  EXPECT_EQ(utf8SequenceLength(0x80), 1u);
  EXPECT_EQ(utf8SequenceLength(0xC0), 2u);
  EXPECT_EQ(utf8SequenceLength(0xDF), 2u);
  EXPECT_EQ(utf8SequenceLength(0xE0), 3u);
  EXPECT_EQ(utf8SequenceLength(0xEF), 3u);
  EXPECT_EQ(utf8SequenceLength(0xF0), 4u);
  EXPECT_EQ(utf8SequenceLength(0xF7), 4u);
  EXPECT_EQ(utf8SequenceLength(0xF8), 1u);
}

}  // namespace
