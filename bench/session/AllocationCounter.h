#pragma once
// Heap allocations (malloc, calloc, realloc, aligned_alloc, posix_memalign, and operator new
// through them) made by the calling thread since it started.

#include <cstdint>

extern "C" std::uint64_t qvbench_allocations();
