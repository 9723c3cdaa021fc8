#pragma once
// The check every request group applies to the header of its record.

#include <cstdint>
#include <cstring>

#include "foundation/errors/RequestHeader.h"

namespace qvvandrel {

inline constexpr std::int32_t kRequestVersionRefused = -304502;

// Accepts only a record whose oldest compatible version is 0 (any version): -304502 otherwise.
void checkRequestHeader(const qvkel::RequestHeader& header);

// The same for a record that starts with its header (at least 16 bytes).
inline void checkRequestHeader(const void* record) {
  qvkel::RequestHeader header;
  std::memcpy(&header, record, sizeof header);
  checkRequestHeader(header);
}

}  // namespace qvvandrel
