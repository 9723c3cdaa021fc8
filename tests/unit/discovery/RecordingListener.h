#pragma once
// A change listener that records when it was told and on which thread, and can run a body
// (which may throw) each time.

#include <sys/prctl.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "qvkel/IChangeNotificationHandler.h"

namespace disctest {

class RecordingListener : public qvkel::IChangeNotificationHandler {
 public:
  using Clock = std::chrono::steady_clock;

  std::function<void()> body;

  void onChange() override {
    char name[16] = {};
    ::prctl(PR_GET_NAME, name);
    {
      std::lock_guard lock(mutex_);
      times_.push_back(Clock::now());
      thread_ = name;
    }
    changed_.notify_all();
    if (body) body();
  }
  size_t calls() {
    std::lock_guard lock(mutex_);
    return times_.size();
  }
  // Waits (up to ten seconds) until `n` calls were made.
  bool waitFor(size_t n) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return times_.size() >= n; });
  }
  std::chrono::milliseconds gap(size_t first, size_t second) {
    std::lock_guard lock(mutex_);
    return std::chrono::duration_cast<std::chrono::milliseconds>(times_[second] - times_[first]);
  }
  // The name of the thread of the last call.
  std::string thread() {
    std::lock_guard lock(mutex_);
    return thread_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Clock::time_point> times_;
  std::string thread_;
};

}  // namespace disctest
