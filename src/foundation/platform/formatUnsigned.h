#pragma once
// Unsigned numbers as text without the C library's formatting.

#include <cstdint>

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// Writes `value` in `radix` (digits above 9 as A, B, ...) and returns a pointer to the
// terminating zero. Radix 16 writes "0x" first, radix 10 digits only, any other radix its own
// number in decimal and '#' first. A radix outside 2..36 has no digits: only its prefix is
// written. The caller provides room (at most 67 bytes for radix 2).
char* formatUnsigned(char* buffer, uint64_t value, uint32_t radix);

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
