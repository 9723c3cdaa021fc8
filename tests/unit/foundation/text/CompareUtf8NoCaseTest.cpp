#include "foundation/text/CompareUtf8NoCase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

int compare(const std::string& lhs, const std::string& rhs) {
  return compareUtf8NoCase(lhs.data(), lhs.data() + lhs.size(), rhs.data(),
                           rhs.data() + rhs.size());
}

TEST(CompareUtf8NoCase, AsciiOrder) {
  EXPECT_EQ(compare("Channel", "CHANNEL"), 0);
  EXPECT_EQ(compare("abc", "ABD"), -1);
  EXPECT_EQ(compare("ABD", "abc"), 1);
  EXPECT_EQ(compare("ab", "ABC"), -1);
  EXPECT_EQ(compare("ABC", "ab"), 1);
  EXPECT_EQ(compare("", ""), 0);
  EXPECT_EQ(compare("", "a"), -1);
  EXPECT_EQ(compare("a", ""), 1);
  // Folding happens before ordering: '_' (0x5F) lies between 'Z' and 'a'.
  EXPECT_EQ(compare("A", "_"), 1);
}

TEST(CompareUtf8NoCase, FullFoldingExpandsCodePoints) {
  EXPECT_EQ(compare("STRASSE",
                    "STRA\xC3\x9F"
                    "E"),
            0);
  EXPECT_EQ(compare("stra\xC3\x9F"
                    "e",
                    "STRASSE"),
            0);
  EXPECT_EQ(compare("\xEF\xAC\x81le", "FILE"), 0);  // fi ligature
  EXPECT_EQ(compare("\xEF\xAC\x83", "ffi"), 0);     // ffi ligature
  EXPECT_EQ(compare("\xEF\xAC\x83", "ff"), 1);
  EXPECT_EQ(compare("\xC4\xB0", "i\xCC\x87"), 0);         // U+0130 and i + U+0307
  EXPECT_EQ(compare("\xE2\x85\xA0", "\xE2\x85\xB0"), 0);  // Roman numeral one
  EXPECT_EQ(compare("\xEF\xBC\xA1", "\xEF\xBD\x81"), 0);  // full-width A and a
  EXPECT_EQ(compare("\xE2\x92\xB6", "\xE2\x93\x90"), 0);  // circled A and a
  EXPECT_EQ(compare("\xC3\x80", "\xC3\xA0"), 0);          // A grave
}

TEST(CompareUtf8NoCase, OtherScriptsCompareExactly) {
  // Greek alpha: capital U+0391, small U+03B1.
  EXPECT_EQ(compare("\xCE\x91", "\xCE\xB1"), -1);
  EXPECT_EQ(compare("\xCE\xB1", "\xCE\x91"), 1);
  // Cyrillic A: capital U+0410, small U+0430.
  EXPECT_NE(compare("\xD0\x90", "\xD0\xB0"), 0);
}

TEST(CompareUtf8NoCase, OrdersByFoldedCodePoint) {
  // U+00E9 (e acute) folds to itself and sorts after 'z'.
  EXPECT_EQ(compare("\xC3\xA9", "Z"), 1);
  // A sharp s folds to "ss", which sorts before "st".
  EXPECT_EQ(compare("\xC3\x9F", "ST"), -1);
}

TEST(CompareUtf8NoCase, NeverReadsPastTheRange) {
  // The ranges end inside a multi-byte sequence; the byte after the range differs
  // between the two buffers, so any read past the end would change the result.
  const char lhs[] = {'a', '\xC3', '\x9F'};
  const char rhs[] = {'A', '\xC3', '\x80'};
  EXPECT_EQ(compareUtf8NoCase(lhs, lhs + 2, rhs, rhs + 2), 0);
  // A cut-off lead byte stands for itself: 0xC3 sorts after 'z'.
  const char cut[] = {'\xC3'};
  const char z[] = {'z'};
  EXPECT_EQ(compareUtf8NoCase(cut, cut + 1, z, z + 1), 1);
}

TEST(CompareUtf8NoCase, StringViewHelpers) {
  EXPECT_TRUE(equalUtf8NoCase("ai0", "AI0"));
  EXPECT_FALSE(equalUtf8NoCase("ai0", "AI1"));
  LessUtf8NoCase less;
  EXPECT_TRUE(less("ai0", "AI1"));
  EXPECT_FALSE(less("AI1", "ai0"));
  EXPECT_FALSE(less("ai0", "AI0"));
}

}  // namespace

namespace {

// Random texts mixing ASCII letters, folded and unfolded multi-byte letters, stray bytes and
// cut-off sequences, each in a heap block of exactly its own size, so that the sanitizer
// sees any read past a range.
std::string randomText(std::mt19937& random) {
  static const char* const kPieces[] = {"a",        "A",        "s",
                                        "S",        "\xC3\x9F", "\xEF\xAC\x81",
                                        "fi",       "\xCE\x91", "\xCE\xB1",
                                        "\x80",     "\xFF",     "\xC3",
                                        "\xE2\x85", "0",        "\xF0\x9F\x98\x80"};
  std::uniform_int_distribution<std::size_t> count(0, 6);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) - 1);
  std::string text;
  for (std::size_t n = count(random); n > 0; --n) text += kPieces[pick(random)];
  return text;
}

int compareExact(const std::string& lhs, const std::string& rhs) {
  auto left = std::make_unique<char[]>(lhs.size());
  auto right = std::make_unique<char[]>(rhs.size());
  std::memcpy(left.get(), lhs.data(), lhs.size());
  std::memcpy(right.get(), rhs.data(), rhs.size());
  return compareUtf8NoCase(left.get(), left.get() + lhs.size(), right.get(),
                           right.get() + rhs.size());
}

TEST(CompareUtf8NoCase, IsAConsistentOrder) {
  std::mt19937 random(1234);
  std::vector<std::string> texts;
  for (int i = 0; i < 60; ++i) texts.push_back(randomText(random));
  for (const std::string& a : texts) {
    EXPECT_EQ(compareExact(a, a), 0);
    for (const std::string& b : texts) {
      const int ab = compareExact(a, b);
      ASSERT_EQ(ab, -compareExact(b, a)) << a << " / " << b;
      for (const std::string& c : texts) {
        // Transitivity of the order and of equality.
        if (ab <= 0 && compareExact(b, c) <= 0) {
          ASSERT_LE(compareExact(a, c), 0) << a << " / " << b << " / " << c;
        }
      }
    }
  }
}

}  // namespace
