#pragma once

#include <cstdint>

#include "features/Timeout.h"

namespace qvvandrel {

// The timeout of a stream wait, started now: the time-out converted from milliseconds to the
// clock's unit, plus one clock tick (the time-out alone when that sum would overflow). The
// waits poll back to back and compare it themselves; nothing sleeps.
Timeout startStreamTimeout(std::uint32_t timeoutMs);

}  // namespace qvvandrel
