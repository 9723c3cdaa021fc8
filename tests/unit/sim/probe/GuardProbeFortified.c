/* Built with fortification: the read below becomes the checked form __read_chk, which reads
 * the descriptor without passing through the interposer's read. */
#include <unistd.h>

int sim_guard_probe_fortified(int fd, unsigned count) {
  char buffer[16];
  ssize_t n = read(fd, buffer, count);
  return n > 0 ? buffer[0] : -1;
}
