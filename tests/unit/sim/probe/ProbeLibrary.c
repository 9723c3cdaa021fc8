/* A library the tests load with dlopen: its calls of the C library must reach the wrappers of
 * the executable that loaded it. */
#include <fcntl.h>
#include <glob.h>
#include <string.h>
#include <unistd.h>

/* Reads up to size - 1 bytes of the file and terminates them; -1 when it cannot open it. */
int simprobe_read_file(const char* path, char* buffer, int size) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  ssize_t n = read(fd, buffer, (size_t)(size - 1));
  close(fd);
  if (n < 0) return -1;
  buffer[n] = '\0';
  return (int)n;
}

/* Copies the first glob match of the pattern; the number of matches, or -1. */
int simprobe_first_match(const char* pattern, char* buffer, int size) {
  glob_t g;
  memset(&g, 0, sizeof g);
  int r = glob(pattern, 0, NULL, &g);
  if (r != 0) return r == GLOB_NOMATCH ? 0 : -1;
  strncpy(buffer, g.gl_pathv[0], (size_t)size - 1);
  buffer[size - 1] = '\0';
  int count = (int)g.gl_pathc;
  globfree(&g);
  return count;
}

int simprobe_version(void) {
  return 1;
}
