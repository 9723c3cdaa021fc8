#pragma once
// Status codes of the device kit used by the bitfile readers and the records built from them.

#include <cstdint>

namespace qvkel {

// A bitfile element is missing, unreadable or out of range.
inline constexpr int32_t kBitfileCorrupt = -61070;
// The bitfile needs a newer reader or uses an unsupported encoding or element size.
inline constexpr int32_t kBitfileIncompatible = -63107;
// The bitfile file cannot be opened, sized or read.
inline constexpr int32_t kBitfileReadError = -63101;
// A caller's string buffer is too small.
inline constexpr int32_t kStringBufferTooSmall = -63080;
// A second host-memory-buffer design while one is held.
inline constexpr int32_t kHmbSignatureMismatch = -61499;

}  // namespace qvkel
