#pragma once
// Allocation that reports failure through a status record instead of throwing.

#include <cstddef>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// Single-object storage; release with ::operator delete. Null (and -52000 recorded) when the
// memory is not there; null without allocating when the status already holds an error.
void* allocate(size_t size, nQVVUSKS100::tStatus* status);

// Array storage; release with ::operator delete[].
void* allocateArray(size_t size, nQVVUSKS100::tStatus* status);

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
