#include <fcntl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/errors/Exception.h"
#include "foundation/system/DirectoryMonitor.h"
#include "tests/unit/foundation/system/DetailReader.h"
#include "tests/unit/foundation/system/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using qvtest::detailNumber;
using qvtest::detailString;
using qvtest::TempDir;

TEST(DirectoryMonitor, QuietFolderTimesOut) {
  TempDir folder;
  const char* paths[] = {folder.path().c_str()};
  qverr::Status status;
  qvafa::DirectoryMonitorImpl monitor(paths, 1, status);
  ASSERT_EQ(status.code, 0);
  const auto start = Clock::now();
  EXPECT_FALSE(monitor.wait(200, nullptr, status));
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(190));
  EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
  EXPECT_EQ(status.code, -52007);
  EXPECT_EQ(detailString(status.detailText(), {"error_constant"}), "qvvuskerr_operationTimedOut");
  EXPECT_EQ(detailNumber(status.detailText(), {"qvafa_debug", "requested_timeout_ms"}), 200);
}

TEST(DirectoryMonitor, RewrittenFileWithLongNameWakesTheWaiter) {
  TempDir folder;
  // The alias file's name is far longer than 15 bytes: its event does not fit a small buffer.
  const std::string file = folder.path() + "/qvvandrelbrenmoor.config";
  std::ofstream(file) << "old";
  const char* paths[] = {folder.path().c_str()};
  qverr::Status status;
  qvafa::DirectoryMonitorImpl monitor(paths, 1, status);
  ASSERT_EQ(status.code, 0);
  auto writer = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ofstream(file) << "rewritten by another process";
  });
  uint32_t index = 99;
  EXPECT_TRUE(monitor.wait(5000, &index, status));
  EXPECT_EQ(status.code, 0) << status.detailText();
  EXPECT_EQ(index, 0u);
  writer.get();
}

TEST(DirectoryMonitor, WatchIndexNamesTheChangedPath) {
  TempDir a, b;
  const char* paths[] = {a.path().c_str(), b.path().c_str()};
  qverr::Status status;
  qvafa::DirectoryMonitorImpl monitor(paths, 2, status);
  ASSERT_EQ(status.code, 0);
  std::ofstream(b.path() + "/created-in-the-second-folder") << "x";
  uint32_t index = 99;
  EXPECT_TRUE(monitor.wait(5000, &index, status));
  EXPECT_EQ(status.code, 0) << status.detailText();
  EXPECT_EQ(index, 1u);
}

TEST(DirectoryMonitor, InterruptBeforeAndDuringWait) {
  TempDir folder;
  qvafa::DirectoryMonitor monitor(folder.path().c_str());
  auto waiter = std::async(std::launch::async, [&] { return monitor.waitForChanges(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  monitor.interrupt();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(waiter.get());
  // The wake bytes stay, so a later wait returns at once too.
  qverr::Status status;
  EXPECT_FALSE(monitor.impl().wait(-1, nullptr, status));
  EXPECT_EQ(status.code, 0);
}

// The descriptors open in this process now (without the listing's own).
std::set<int> openDescriptors() {
  std::set<int> listed;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    listed.insert(std::stoi(entry.path().filename().string()));
  }
  std::set<int> open;
  for (int fd : listed) {
    if (fcntl(fd, F_GETFD) != -1) open.insert(fd);
  }
  return open;
}

TEST(DirectoryMonitor, DescriptorsAreNotInheritedByExecutedPrograms) {
  TempDir folder;
  const char* paths[] = {folder.path().c_str()};
  const std::set<int> before = openDescriptors();
  qverr::Status status;
  qvafa::DirectoryMonitorImpl monitor(paths, 1, status);
  ASSERT_EQ(status.code, 0);
  int created = 0;
  for (int fd : openDescriptors()) {
    if (before.count(fd) != 0) continue;
    const int flags = fcntl(fd, F_GETFD);
    ++created;
    EXPECT_NE(flags & FD_CLOEXEC, 0) << "descriptor " << fd;
  }
  // inotify and the two ends of the wake pipe.
  EXPECT_EQ(created, 3);
}

TEST(DirectoryMonitor, MissingFolderFailsWithTheOsText) {
  try {
    qvafa::DirectoryMonitor monitor("/nonexistent/qvafa/folder");
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -52008);
    EXPECT_EQ(detailString(e.what(), {"internal_error", "api"}), "errno");
    EXPECT_EQ(detailNumber(e.what(), {"internal_error", "code"}), ENOENT);
    EXPECT_EQ(detailString(e.what(), {"internal_error", "string"}), "No such file or directory");
  }
}

}  // namespace
