#include "foundation/platform/formatUnsigned.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

// Digits of value in radix (2..36), most significant first.
char* writeDigits(char* out, uint64_t value, uint32_t radix) {
  char reversed[64];
  int count = 0;
  do {
    const uint32_t digit = static_cast<uint32_t>(value % radix);
    reversed[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + (digit - 10));
    value /= radix;
  } while (value != 0);
  while (count > 0) *out++ = reversed[--count];
  *out = '\0';
  return out;
}

}  // namespace

char* formatUnsigned(char* buffer, uint64_t value, uint32_t radix) {
  char* out = buffer;
  if (radix == 16) {
    *out++ = '0';
    *out++ = 'x';
  } else if (radix != 10) {
    out = writeDigits(out, radix, 10);
    *out++ = '#';
  }
  *out = '\0';
  if (radix < 2 || radix > 36) return out;
  return writeDigits(out, value, radix);
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
