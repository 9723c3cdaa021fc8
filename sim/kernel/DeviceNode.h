#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace sim {

// What a descriptor opened on a bound device-node file talks to. The interposer hands every
// ioctl, mmap, read, write and close on such a descriptor to its node instead of the kernel.
// Results follow the kernel's convention: a value >= 0, or a negated errno.
class DeviceNode {
 public:
  virtual ~DeviceNode() = default;

  // Called after the node file was opened; a non-zero errno refuses the open (the descriptor
  // is closed again and open fails with that errno).
  virtual int onOpen(int fd) = 0;
  virtual long ioctl(int fd, unsigned long request, void* arg) = 0;
  // Returns the mapped address, or nullptr with *err set.
  virtual void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset,
                     int* err) = 0;
  virtual ssize_t read(int fd, void* buffer, size_t count) = 0;
  virtual ssize_t write(int fd, const void* buffer, size_t count) = 0;
  // A mapping made through this node is being removed (before the real munmap).
  virtual void onUnmap(void* addr, size_t length) = 0;
  // The descriptor is being closed (before the real close).
  virtual void onClose(int fd) = 0;
};

}  // namespace sim
