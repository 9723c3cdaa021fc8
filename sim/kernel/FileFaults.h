#pragma once
/* Failures of file calls that cannot be provoked on demand otherwise (a full disk during an
 * fsync, a reservation refused): a test names a file and a call, and the wrappers of fsync,
 * fdatasync, ftruncate and fallocate fail on descriptors of that file. */

#ifdef __cplusplus
extern "C" {
#endif

enum { SIMK_CALL_FSYNC = 0, SIMK_CALL_FTRUNCATE = 1, SIMK_CALL_FALLOCATE = 2 };
/* The outcome of a call on fd: 0 to go ahead, an errno to fail with, or -1 for the process to
 * be killed on the spot. Keeps errno. */
int simk_file_fault(int fd, int call);

#ifdef __cplusplus
}

#include <memory>
#include <string>
#include <string_view>

namespace sim {

enum class FileCall {
  Fsync = SIMK_CALL_FSYNC,
  Ftruncate = SIMK_CALL_FTRUNCATE,
  Fallocate = SIMK_CALL_FALLOCATE
};

// While it lives, `call` on a descriptor of the file at `systemPath` (inside the active
// testbed, or the path itself when none is active) lets `skip` calls pass, then fails the
// next `count` with `err`. kKillProcess instead ends the calling process with SIGKILL, as a
// crash at that very point would.
class FileFault {
 public:
  static constexpr int kKillProcess = -1;

  FileFault(FileCall call, std::string_view systemPath, int err, unsigned count = 1,
            unsigned skip = 0);
  ~FileFault();
  FileFault(const FileFault&) = delete;
  FileFault& operator=(const FileFault&) = delete;

  // Calls that matched the file and the call so far, failed or not.
  unsigned matched() const;

  struct Rule;

 private:
  std::shared_ptr<Rule> rule_;
};

}  // namespace sim
#endif
