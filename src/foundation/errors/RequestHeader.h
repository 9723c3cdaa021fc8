#pragma once
// The versioned header that starts every request record.

#include <cstddef>
#include <cstdint>

namespace qvkel {

struct RequestHeader {
  uint32_t group;
  uint32_t reserved;
  uint32_t version;
  uint32_t oldestCompatibleVersion;
};

static_assert(sizeof(RequestHeader) == 16);
static_assert(offsetof(RequestHeader, group) == 0);
static_assert(offsetof(RequestHeader, reserved) == 4);
static_assert(offsetof(RequestHeader, version) == 8);
static_assert(offsetof(RequestHeader, oldestCompatibleVersion) == 12);

// Sets `group` and zeroes the other words.
void initRequestHeader(RequestHeader* header, uint32_t group);
// True when the header's oldest compatible version is at most `current` and its version at least
// `required`.
bool isVersionCompatible(const RequestHeader& header, uint32_t current, uint32_t required);

}  // namespace qvkel
