#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "foundation/system/FileLock.h"

namespace {

namespace fs = std::filesystem;

// Waits up to ms for a byte on fd.
bool byteArrives(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) == 1;
}

TEST(FileLock, BlocksAnotherProcessUntilReleased) {
  const std::string path =
      fs::temp_directory_path().string() + "/qvafa-lock-" + std::to_string(getpid());
  FILE* mine = std::fopen(path.c_str(), "w+");
  ASSERT_NE(mine, nullptr);
  qvafa::FileLock lock(mine);
  lock.lock();

  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ends[0]);
    FILE* theirs = std::fopen(path.c_str(), "r+");
    if (theirs == nullptr) _exit(2);
    qvafa::FileLock other(theirs);
    // Not free while the parent holds it.
    const char busy = other.tryLock() ? 'T' : 'F';
    if (write(ends[1], &busy, 1) != 1) _exit(3);
    other.lock();
    const char got = 'L';
    if (write(ends[1], &got, 1) != 1) _exit(3);
    other.unlock();
    _exit(0);
  }
  close(ends[1]);
  char c = 0;
  ASSERT_TRUE(byteArrives(ends[0], 5000));
  ASSERT_EQ(read(ends[0], &c, 1), 1);
  EXPECT_EQ(c, 'F');
  // The child is blocked in lock while the parent holds it.
  EXPECT_FALSE(byteArrives(ends[0], 300));
  lock.unlock();
  ASSERT_TRUE(byteArrives(ends[0], 5000));
  ASSERT_EQ(read(ends[0], &c, 1), 1);
  EXPECT_EQ(c, 'L');
  int wstatus = 0;
  ASSERT_EQ(waitpid(child, &wstatus, 0), child);
  EXPECT_TRUE(WIFEXITED(wstatus));
  EXPECT_EQ(WEXITSTATUS(wstatus), 0);
  close(ends[0]);
  std::fclose(mine);
  fs::remove(path);
}

TEST(FileLock, LockOnABadDescriptorIsOsFault) {
  qvafa::FileLockImpl impl(-1);
  qverr::Status status;
  impl.lock(status);
  EXPECT_EQ(status.code, -52008);
  impl.unlock();  // ignored
}

}  // namespace
