#pragma once
// Polls until another thread's work shows, giving up after ten seconds: on a busy machine that
// thread may run late, and a test must fail, not hang, when it never does.

#include <chrono>
#include <thread>

namespace unittest {

template <typename F>
bool eventually(F done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  for (auto until = std::chrono::steady_clock::now() + limit; !done();) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace unittest
