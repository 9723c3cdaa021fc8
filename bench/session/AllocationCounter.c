// The C library's allocation entry points, defined in the executable so that every call from
// the code linked into it (the product's libraries, the simulation, the C++ runtime's operator
// new) comes here first; each call counts for the calling thread and goes on to the C library.

#include <errno.h>
#include <stddef.h>
#include <stdint.h>

void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

static _Thread_local uint64_t allocations;

uint64_t qvbench_allocations(void) {
  return allocations;
}

void* malloc(size_t size) {
  ++allocations;
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  ++allocations;
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) {
  ++allocations;
  return __libc_realloc(pointer, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  ++allocations;
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  ++allocations;
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == NULL) return ENOMEM;
  *out = pointer;
  return 0;
}
