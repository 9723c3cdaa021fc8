#include "foundation/text/CaseFold.h"

#include <array>
#include <cstddef>

namespace qvkel {
namespace {

#include "foundation/text/CaseFoldTables.inc"

template <std::size_t Places>
unsigned copyFolded(const std::array<std::uint16_t, Places>& entry, std::uint32_t out[3]) {
  unsigned count = 0;
  for (std::size_t i = 0; i < Places; ++i) {
    if (entry[i] == 0) break;
    out[count++] = entry[i];
  }
  return count;
}

}  // namespace

unsigned foldCaseFull(std::uint32_t codePoint, std::uint32_t out[3]) {
  if (codePoint >= 0x0041 && codePoint <= 0x0232) {
    return copyFolded(kFoldLatin[codePoint - 0x0041], out);
  }
  if (codePoint >= 0x1E00 && codePoint <= 0x1E9B) {
    return copyFolded(kFoldLatinExtendedAdditional[codePoint - 0x1E00], out);
  }
  if (codePoint >= 0x2160 && codePoint <= 0x216F) {
    out[0] = kFoldRomanNumerals[codePoint - 0x2160];
    return 1;
  }
  if (codePoint >= 0x24B6 && codePoint <= 0x24CF) {
    out[0] = kFoldCircledLetters[codePoint - 0x24B6];
    return 1;
  }
  if (codePoint >= 0xFB00 && codePoint <= 0xFB06) {
    return copyFolded(kFoldLigatures[codePoint - 0xFB00], out);
  }
  if (codePoint >= 0xFF21 && codePoint <= 0xFF3A) {
    out[0] = kFoldFullwidthLetters[codePoint - 0xFF21];
    return 1;
  }
  out[0] = codePoint;
  return 1;
}

}  // namespace qvkel
