#include "foundation/platform/synchronization.h"

#include <cerrno>
#include <ctime>

#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

constexpr qverr::StatusLocation kMutexCreateFailed{"synchronization", 588, qverr::kComponent};
constexpr qverr::StatusLocation kConditionCreateFailed{"synchronization", 1352, qverr::kComponent};
constexpr qverr::StatusLocation kWaitTimedOut{"synchronization", 1692, qverr::kComponent};
constexpr qverr::StatusLocation kPollUnsignaled{"synchronization", 1725, qverr::kComponent};

constexpr long kNanosecondsPerSecond = 1000000000L;

}  // namespace

void tMutex::create(nQVVUSKS100::tStatus* status) {
  if (status->isError() || initialized_) return;
  pthread_mutexattr_t attributes;
  if (pthread_mutexattr_init(&attributes) != 0) {
    qverr::recordCode(*status, qverr::kInternalError, kMutexCreateFailed);
    return;
  }
  bool ok = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE) == 0;
  // Priority inheritance is asked for on every mutex; a system without it still gets a mutex.
  (void)pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  ok = ok && pthread_mutex_init(&mutex_, &attributes) == 0;
  pthread_mutexattr_destroy(&attributes);
  if (!ok) {
    qverr::recordCode(*status, qverr::kInternalError, kMutexCreateFailed);
    return;
  }
  initialized_ = true;
}

void tMutex::destroy() {
  if (!initialized_) return;
  pthread_mutex_destroy(&mutex_);
  initialized_ = false;
}

void tEvent::create(bool autoReset, nQVVUSKS100::tStatus* status) {
  if (status->isError() || conditionCreated_) return;
  autoReset_ = autoReset;
  signaled_ = false;
  pthread_condattr_t attributes;
  bool created = false;
  // Without the monotonic clock the condition variable keeps the default one, and the
  // deadlines of `wait` must then be on that clock too.
  clock_ = CLOCK_REALTIME;
  if (pthread_condattr_init(&attributes) == 0) {
    if (pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0) {
      created = pthread_cond_init(&condition_, &attributes) == 0;
      clock_ = CLOCK_MONOTONIC;
    } else {
      created = pthread_cond_init(&condition_, nullptr) == 0;
    }
    pthread_condattr_destroy(&attributes);
  } else {
    created = pthread_cond_init(&condition_, nullptr) == 0;
  }
  if (!created) {
    qverr::recordCode(*status, qverr::kOsFault, kConditionCreateFailed);
    return;
  }
  conditionCreated_ = true;
  mutex_.create(status);
}

void tEvent::destroy() {
  if (conditionCreated_) {
    pthread_cond_destroy(&condition_);
    conditionCreated_ = false;
  }
  mutex_.destroy();
}

void tEvent::set() {
  tMutexLock lock(mutex_);
  signaled_ = true;
  if (autoReset_) {
    pthread_cond_signal(&condition_);
  } else {
    pthread_cond_broadcast(&condition_);
  }
}

void tEvent::reset() {
  tMutexLock lock(mutex_);
  signaled_ = false;
}

bool tEvent::isSignaled() {
  tMutexLock lock(mutex_);
  return signaled_;
}

bool tEvent::wait(uint32_t timeoutMs, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return false;
  tMutexLock lock(mutex_);
  if (timeoutMs == 0) {
    if (!signaled_) {
      qverr::recordCode(*status, qverr::kTimeout, kPollUnsignaled);
      return false;
    }
  } else if (timeoutMs == kWaitForever) {
    while (!signaled_) pthread_cond_wait(&condition_, mutex_.native());
  } else {
    timespec deadline{};
    clock_gettime(clock_, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= kNanosecondsPerSecond) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= kNanosecondsPerSecond;
    }
    while (!signaled_) {
      if (pthread_cond_timedwait(&condition_, mutex_.native(), &deadline) == ETIMEDOUT) break;
    }
    if (!signaled_) {
      qverr::recordCode(*status, qverr::kTimeout, kWaitTimedOut);
      return false;
    }
  }
  if (autoReset_) signaled_ = false;
  return true;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
