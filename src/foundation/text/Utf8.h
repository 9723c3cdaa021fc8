#pragma once

#include <cstdint>

// Reads one UTF-8 sequence at *cursor and moves the cursor past it. A lead byte 110xxxxx
// takes one continuation byte, 1110xxxx two, 11110xxx three; continuation bytes give their
// low six bits and are not checked. Any other byte is a code point of its own value and
// the cursor moves by one. The end of the text is not checked: callers that hold a range
// use utf8SequenceLength first.
std::uint32_t decodeUtf8CodePoint(const char** cursor);

// Number of bytes decodeUtf8CodePoint consumes for a sequence starting with this byte.
inline unsigned utf8SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}
