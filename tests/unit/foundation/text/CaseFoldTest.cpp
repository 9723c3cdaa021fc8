#include "foundation/text/CaseFold.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint32_t> fold(std::uint32_t codePoint) {
  std::uint32_t out[3] = {0xDEAD, 0xDEAD, 0xDEAD};
  const unsigned count = qvkel::foldCaseFull(codePoint, out);
  return std::vector<std::uint32_t>(out, out + count);
}

using V = std::vector<std::uint32_t>;

TEST(FoldCaseFull, LatinBlock) {
  EXPECT_EQ(fold('A'), V{'a'});
  EXPECT_EQ(fold('Z'), V{'z'});
  EXPECT_EQ(fold('a'), V{'a'});
  EXPECT_EQ(fold(0xC0), V{0xE0});           // A grave
  EXPECT_EQ(fold(0xDF), (V{'s', 's'}));     // sharp s, status F
  EXPECT_EQ(fold(0x130), (V{'i', 0x307}));  // capital I with dot above, status F
  EXPECT_EQ(fold(0x17F), V{'s'});           // long s, status C
  EXPECT_EQ(fold(0xB5), V{0x3BC});          // micro sign folds to Greek mu
  EXPECT_EQ(fold(0x149), (V{0x2BC, 'n'}));  // n preceded by apostrophe
  EXPECT_EQ(fold(0x232), V{0x233});         // last code point of the block
}

TEST(FoldCaseFull, LatinExtendedAdditional) {
  EXPECT_EQ(fold(0x1E00), V{0x1E01});
  EXPECT_EQ(fold(0x1E96), (V{'h', 0x331}));
  EXPECT_EQ(fold(0x1E9A), (V{'a', 0x2BE}));
  EXPECT_EQ(fold(0x1E9B), V{0x1E61});
  EXPECT_EQ(fold(0x1E9E), V{0x1E9E});  // capital sharp s lies past the block: unchanged
}

TEST(FoldCaseFull, SingleCodePointBlocks) {
  EXPECT_EQ(fold(0x2160), V{0x2170});
  EXPECT_EQ(fold(0x216F), V{0x217F});
  EXPECT_EQ(fold(0x24B6), V{0x24D0});
  EXPECT_EQ(fold(0x24CF), V{0x24E9});
  EXPECT_EQ(fold(0xFF21), V{0xFF41});
  EXPECT_EQ(fold(0xFF3A), V{0xFF5A});
}

TEST(FoldCaseFull, Ligatures) {
  EXPECT_EQ(fold(0xFB00), (V{'f', 'f'}));
  EXPECT_EQ(fold(0xFB01), (V{'f', 'i'}));
  EXPECT_EQ(fold(0xFB03), (V{'f', 'f', 'i'}));
  EXPECT_EQ(fold(0xFB04), (V{'f', 'f', 'l'}));
  EXPECT_EQ(fold(0xFB06), (V{'s', 't'}));
}

TEST(FoldCaseFull, OutsideTheBlocksIsUnchanged) {
  EXPECT_EQ(fold(0x391), V{0x391});  // Greek capital alpha
  EXPECT_EQ(fold(0x410), V{0x410});  // Cyrillic capital A
  EXPECT_EQ(fold(0x40), V{0x40});
  EXPECT_EQ(fold(0x5B), V{0x5B});
  EXPECT_EQ(fold(0x233), V{0x233});
  EXPECT_EQ(fold(0x1F600), V{0x1F600});
  EXPECT_EQ(fold(0xFF3B), V{0xFF3B});
}

}  // namespace
