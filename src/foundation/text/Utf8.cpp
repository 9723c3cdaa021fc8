#include "foundation/text/Utf8.h"

std::uint32_t decodeUtf8CodePoint(const char** cursor) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(*cursor);
  const unsigned length = utf8SequenceLength(bytes[0]);
  // The lead byte keeps 5, 4 or 3 payload bits for sequences of 2, 3 or 4 bytes.
  std::uint32_t codePoint = length == 1 ? bytes[0] : bytes[0] & (0x7Fu >> length);
  for (unsigned i = 1; i < length; ++i) {
    codePoint = (codePoint << 6) | (bytes[i] & 0x3Fu);
  }
  *cursor += length;
  return codePoint;
}
