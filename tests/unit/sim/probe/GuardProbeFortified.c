/* Stands for a library built with fortification, where the C library's headers turn read into
 * its checked form __read_chk, which reads the descriptor without passing through the
 * interposer's read. The checked form is called by name so that every compiler emits it:
 * clang 14 ignores the C library's inline fortified read and calls plain read. */
#include <stddef.h>
#include <sys/types.h>

extern ssize_t __read_chk(int fd, void* buffer, size_t count, size_t bufferSize);

int sim_guard_probe_fortified(int fd, unsigned count) {
  char buffer[16];
  ssize_t n = __read_chk(fd, buffer, count, sizeof buffer);
  return n > 0 ? buffer[0] : -1;
}
