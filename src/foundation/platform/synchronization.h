#pragma once
// The library's mutex (recursive, priority inheritance) and event (a condition on the
// monotonic clock with auto or manual reset). Both are small value types that their owners
// embed; a failed creation leaves an object whose destruction is harmless.

#include <pthread.h>

#include <cstdint>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

class tMutex {
 public:
  tMutex() = default;
  ~tMutex() { destroy(); }
  tMutex(const tMutex&) = delete;
  tMutex& operator=(const tMutex&) = delete;

  // Creates the mutex; -52003 when the attributes or the mutex cannot be set up.
  void create(nQVVUSKS100::tStatus* status);
  // Only a created mutex is destroyed.
  void destroy();

  void lock() { pthread_mutex_lock(&mutex_); }
  void unlock() { pthread_mutex_unlock(&mutex_); }
  bool tryLock() { return pthread_mutex_trylock(&mutex_) == 0; }

  bool isInitialized() const { return initialized_; }
  pthread_mutex_t* native() { return &mutex_; }

 private:
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
  bool initialized_ = false;
};

// Locks a tMutex for one scope.
class tMutexLock {
 public:
  explicit tMutexLock(tMutex& mutex) : mutex_(mutex) { mutex_.lock(); }
  ~tMutexLock() { mutex_.unlock(); }
  tMutexLock(const tMutexLock&) = delete;
  tMutexLock& operator=(const tMutexLock&) = delete;

 private:
  tMutex& mutex_;
};

class tEvent {
 public:
  // A wait that has no deadline.
  static constexpr uint32_t kWaitForever = 0xFFFFFFFF;

  tEvent() = default;
  ~tEvent() { destroy(); }
  tEvent(const tEvent&) = delete;
  tEvent& operator=(const tEvent&) = delete;

  // Unsignaled at creation. -52008 when the condition variable cannot be created.
  void create(bool autoReset, nQVVUSKS100::tStatus* status);
  void destroy();

  // Signals; wakes one waiter (auto-reset) or all of them (manual reset).
  void set();
  void reset();
  // Waits up to timeoutMs milliseconds (0 polls, kWaitForever has no deadline) for the event;
  // -52007 when it stays unsignaled. A successful wait of an auto-reset event clears it.
  // Returns whether the event was seen signaled.
  bool wait(uint32_t timeoutMs, nQVVUSKS100::tStatus* status);

  bool isSignaled();
  bool isAutoReset() const { return autoReset_; }

 private:
  pthread_cond_t condition_ = PTHREAD_COND_INITIALIZER;
  // The clock the condition variable measures deadlines on.
  clockid_t clock_ = CLOCK_REALTIME;
  bool conditionCreated_ = false;
  tMutex mutex_;
  bool autoReset_ = false;
  bool signaled_ = false;
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
