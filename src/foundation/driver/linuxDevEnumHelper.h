#pragma once
// Reading the small files the kernel driver publishes for each device interface.

#include <cstddef>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// The most bytes read from one entry file.
constexpr size_t kEntryFileMaxBytes = 4096;

// An entry does not fit the caller's room (or there is no room).
inline constexpr qverr::StatusLocation kEntryTooLargeLocation{"linuxDevEnumHelper", 72,
                                                              qverr::kComponent};

// Opens `path` (mode "re", up to 10 tries in a row, since the driver may be rewriting the
// entry) and reads at most kEntryFileMaxBytes into `buffer`. -52006 when it cannot be opened,
// -52024 on a read error; false then and *count is untouched.
bool readEntryFile(const char* path, char (&buffer)[kEntryFileMaxBytes], size_t* count,
                   nQVVUSKS100::tStatus* status);

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
