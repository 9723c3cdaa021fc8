#pragma once

// The C library's own entry points behind the interposer, for simulation code that must not
// go through the wrappers (a model mapping its own memory, the testbed writing its tree).
#include <sys/types.h>

#include <cstddef>

extern "C" {
int simk_real_open(const char* path, int flags, mode_t mode);
int simk_real_close(int fd);
ssize_t simk_real_read(int fd, void* buffer, size_t count);
ssize_t simk_real_write(int fd, const void* buffer, size_t count);
void* simk_real_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
int simk_real_munmap(void* addr, size_t length);
}

namespace sim::real {
inline int open(const char* path, int flags, mode_t mode = 0) {
  return simk_real_open(path, flags, mode);
}
inline int close(int fd) {
  return simk_real_close(fd);
}
inline ssize_t read(int fd, void* buffer, size_t count) {
  return simk_real_read(fd, buffer, count);
}
inline ssize_t write(int fd, const void* buffer, size_t count) {
  return simk_real_write(fd, buffer, count);
}
inline void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  return simk_real_mmap(addr, length, prot, flags, fd, offset);
}
inline int munmap(void* addr, size_t length) {
  return simk_real_munmap(addr, length);
}
}  // namespace sim::real
