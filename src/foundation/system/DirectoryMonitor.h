#pragma once
// Blocks a thread until something changes in a watched directory; another thread can wake it.

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/errors/Status.h"

namespace qvafa {

class DirectoryMonitorImpl {
 public:
  // Watches each of the `count` paths; failures go into the status.
  DirectoryMonitorImpl(const char* const* paths, uint32_t count, qverr::Status& status);
  ~DirectoryMonitorImpl();
  DirectoryMonitorImpl(const DirectoryMonitorImpl&) = delete;
  DirectoryMonitorImpl& operator=(const DirectoryMonitorImpl&) = delete;

  // Waits up to timeoutMs (-1: no limit). True on a change (watchIndex, when given, receives
  // the position of the path that changed); false when interrupted, timed out (-52007) or
  // failed.
  bool wait(int32_t timeoutMs, uint32_t* watchIndex, qverr::Status& status);
  // Wakes a waiting thread; every later wait returns at once too.
  void interrupt();

 private:
  int inotify_ = -1;
  std::vector<int> watches_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

class DirectoryMonitor {
 public:
  // Throws qverr::Exception when the directory cannot be watched.
  explicit DirectoryMonitor(const char* path);
  ~DirectoryMonitor();

  // Waits without time-out: true on a change, false when interrupted. Throws on failure.
  bool waitForChanges();
  void interrupt();
  DirectoryMonitorImpl& impl() { return *impl_; }

 private:
  std::unique_ptr<DirectoryMonitorImpl> impl_;
};

}  // namespace qvafa
