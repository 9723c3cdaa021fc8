#pragma once
// A 64-bit register moved as two single 32-bit accesses, the high word (at the register's
// offset) first and the low word (offset + 4) second, where the session's own 64-bit
// primitives move one element in a block transfer.

#include <cstdint>

#include "devkit/Session.h"

namespace qvkel::user {

// Under the session's shared lock with the run check; bit 31 of the address asks for one
// bus-status check after both words. Failures are raised.
int64_t readI64(Session& session, uint32_t address);
void writeI64(Session& session, uint32_t address, int64_t value);

}  // namespace qvkel::user
