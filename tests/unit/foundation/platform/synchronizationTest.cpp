#include "foundation/platform/synchronization.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "foundation/platform/timeBase.h"

// While set, the condition variable's clock cannot be chosen, as on a system without the
// monotonic clock for condition variables.
static std::atomic<bool> gRefuseConditionClock{false};

extern "C" int pthread_condattr_setclock(pthread_condattr_t* attributes, clockid_t clock) {
  if (gRefuseConditionClock) return EINVAL;
  using Real = int (*)(pthread_condattr_t*, clockid_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "pthread_condattr_setclock"));
  return real(attributes, clock);
}

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::getMonotonicTimeNs;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;
using nQVVUSKS100::tStatus;

// glibc keeps the mutex kind in __data.__kind: the type in the low bits and the
// priority-inheritance protocol as the flag 0x20.
constexpr int kGlibcPrioInheritFlag = 0x20;

bool otherThreadCanLock(tMutex& mutex) {
  std::atomic<bool> got{false};
  std::thread([&] {
    got = mutex.tryLock();
    if (got) mutex.unlock();
  }).join();
  return got;
}

TEST(Mutex, CreatedRecursiveWithPriorityInheritance) {
  tMutex mutex;
  EXPECT_FALSE(mutex.isInitialized());
  tStatus status;
  mutex.create(&status);
  EXPECT_EQ(status.code, 0);
  ASSERT_TRUE(mutex.isInitialized());
  const int kind = mutex.native()->__data.__kind;
  EXPECT_EQ(kind & 0x3, PTHREAD_MUTEX_RECURSIVE);
  EXPECT_NE(kind & kGlibcPrioInheritFlag, 0);

  // The owner may lock again; another thread cannot until every lock is undone.
  mutex.lock();
  mutex.lock();
  EXPECT_FALSE(otherThreadCanLock(mutex));
  mutex.unlock();
  EXPECT_FALSE(otherThreadCanLock(mutex));
  mutex.unlock();
  EXPECT_TRUE(otherThreadCanLock(mutex));
}

TEST(Mutex, ErrorStatusCreatesNothingAndDestroyIsHarmless) {
  tMutex mutex;
  tStatus status;
  status.code = -52005;
  mutex.create(&status);
  EXPECT_FALSE(mutex.isInitialized());
  EXPECT_EQ(status.code, -52005);
  mutex.destroy();
  mutex.destroy();
  EXPECT_FALSE(mutex.isInitialized());

  tStatus clean;
  mutex.create(&clean);
  EXPECT_TRUE(mutex.isInitialized());
  mutex.destroy();
  EXPECT_FALSE(mutex.isInitialized());
}

TEST(Event, PollOfUnsignaledEventTimesOut) {
  tEvent event;
  tStatus status;
  event.create(true, &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_FALSE(event.wait(0, &status));
  EXPECT_EQ(status.code, -52007);
  EXPECT_STREQ(status.file, "synchronization");
  EXPECT_EQ(status.line, 1725u);
}

TEST(Event, AutoResetPollSucceedsOnce) {
  tEvent event;
  tStatus status;
  event.create(true, &status);
  event.set();
  EXPECT_TRUE(event.wait(0, &status));
  EXPECT_EQ(status.code, 0);
  EXPECT_FALSE(event.wait(0, &status));
  EXPECT_EQ(status.code, -52007);
}

TEST(Event, ManualResetStaysSignaledUntilReset) {
  tEvent event;
  tStatus status;
  event.create(false, &status);
  event.set();
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(event.wait(0, &status));
    EXPECT_TRUE(event.wait(10, &status));
  }
  EXPECT_EQ(status.code, 0);
  event.reset();
  EXPECT_FALSE(event.wait(0, &status));
  EXPECT_EQ(status.code, -52007);
}

TEST(Event, TimedWaitExpiresAfterItsTimeout) {
  tEvent event;
  tStatus status;
  event.create(true, &status);
  const uint64_t start = getMonotonicTimeNs();
  EXPECT_FALSE(event.wait(30, &status));
  const uint64_t elapsed = getMonotonicTimeNs() - start;
  EXPECT_GE(elapsed, 30'000'000u);
  EXPECT_EQ(status.code, -52007);
  EXPECT_EQ(status.line, 1692u);
}

// An event whose condition variable kept the default clock still waits its whole time-out
// and no longer.
TEST(Event, TimedWaitWithoutTheMonotonicConditionClock) {
  tEvent event;
  tStatus status;
  gRefuseConditionClock = true;
  event.create(true, &status);
  gRefuseConditionClock = false;
  ASSERT_EQ(status.code, 0);
  const uint64_t start = getMonotonicTimeNs();
  EXPECT_FALSE(event.wait(40, &status));
  const uint64_t elapsed = getMonotonicTimeNs() - start;
  EXPECT_GE(elapsed, 40'000'000u);
  EXPECT_LT(elapsed, 5'000'000'000u);
  EXPECT_EQ(status.code, -52007);
  EXPECT_EQ(status.line, 1692u);

  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
  });
  tStatus woken;
  EXPECT_TRUE(event.wait(5000, &woken));
  setter.join();
  EXPECT_EQ(woken.code, 0);
}

TEST(Event, ErrorStatusWaitsForNothing) {
  tEvent event;
  tStatus status;
  event.create(false, &status);
  event.set();
  status.code = -1;
  EXPECT_FALSE(event.wait(0, &status));
  EXPECT_EQ(status.code, -1);
  // The signal was not consumed.
  EXPECT_TRUE(event.isSignaled());
}

TEST(Event, CreationWithErrorStatusDoesNothing) {
  tEvent event;
  tStatus status;
  status.code = -52031;
  event.create(false, &status);
  EXPECT_EQ(status.code, -52031);
  event.destroy();
  // Destroying an event twice, or one never created, is harmless.
  event.destroy();
  tStatus clean;
  event.create(false, &clean);
  EXPECT_EQ(clean.code, 0);
  EXPECT_FALSE(event.isAutoReset());
  EXPECT_FALSE(event.isSignaled());
}

TEST(Event, SetFromAnotherThreadWakesTheWaiter) {
  tEvent event;
  tStatus status;
  event.create(true, &status);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
  });
  EXPECT_TRUE(event.wait(5000, &status));
  setter.join();
  EXPECT_EQ(status.code, 0);
  EXPECT_FALSE(event.isSignaled());

  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.set();
  });
  EXPECT_TRUE(event.wait(tEvent::kWaitForever, &status));
  late.join();
}

// Manual reset releases every waiter; auto-reset releases one per set.
TEST(Event, ManualResetWakesAllAutoResetWakesOne) {
  for (bool autoReset : {false, true}) {
    SCOPED_TRACE(autoReset ? "auto-reset" : "manual reset");
    tEvent event;
    tStatus created;
    event.create(autoReset, &created);
    std::atomic<int> woken{0};
    const auto wokenReaches = [&](int n) {
      for (int i = 0; i < 2000 && woken < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return woken == n;
    };
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
      waiters.emplace_back([&] {
        tStatus status;
        if (event.wait(10'000, &status)) ++woken;
      });
    }
    // Lets the waiters block first; one that comes after the set is released the same way.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    event.set();
    if (autoReset) {
      EXPECT_TRUE(wokenReaches(1));
      // A second waiter would have woken by now: nothing to wait for, so a sleep.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      EXPECT_EQ(woken.load(), 1);
      event.set();
      EXPECT_TRUE(wokenReaches(2));
      event.set();
    }
    EXPECT_TRUE(wokenReaches(3));
    for (auto& waiter : waiters) waiter.join();
  }
}

TEST(Mutex, ScopedLockHoldsAndReleasesTheMutex) {
  tMutex mutex;
  tStatus status;
  mutex.create(&status);
  {
    tMutexLock lock(mutex);
    EXPECT_FALSE(otherThreadCanLock(mutex));
  }
  EXPECT_TRUE(otherThreadCanLock(mutex));
}

}  // namespace
