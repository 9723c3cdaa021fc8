#pragma once

#include <cstdint>

namespace qvkel {

// Full case folding (Unicode status C and F) of one code point, restricted to the blocks
// that user-typed names use: Latin up to U+0232, Latin Extended Additional up to U+1E9B,
// Roman numerals, circled letters, the fi/ff ligatures and full-width letters. Every other
// code point folds to itself. Writes 1 to 3 code points and returns how many.
unsigned foldCaseFull(std::uint32_t codePoint, std::uint32_t out[3]);

}  // namespace qvkel
