#pragma once
// Holds the thread that passes it, once armed, until the test opens it; every wait gives up
// after ten seconds, so a case whose thread never comes fails instead of hanging.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace unittest {

class Gate {
 public:
  static constexpr std::chrono::seconds kLimit{10};

  void arm() {
    std::lock_guard lock(mutex_);
    armed_ = true;
  }
  void pass() {
    std::unique_lock lock(mutex_);
    if (!armed_) return;
    armed_ = false;
    reached_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kLimit, [&] { return open_; });
  }
  // False when no thread came within the limit.
  bool awaitReached() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit, [&] { return reached_; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool armed_ = false, reached_ = false, open_ = false;
};

}  // namespace unittest
