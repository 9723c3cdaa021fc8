#include "devkit/ReaderWriterLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class ReaderWriterLockTest : public ::testing::Test {
 protected:
  // Spins until `done` holds (each state change here is one step of another thread).
  template <typename F>
  static bool eventually(F done) {
    auto until = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::yield();
    }
    return true;
  }
  void record(const std::string& event) {
    std::lock_guard guard(mutex);
    events.push_back(event);
  }

  nQVVUSKS100::tStatus status;
  qvkel::ReaderWriterLock lock{&status};
  std::mutex mutex;
  std::vector<std::string> events;
};

TEST_F(ReaderWriterLockTest, ReadersEnterWithoutBlockingAndLeaveTheBias) {
  ASSERT_EQ(status.code, 0);
  for (int i = 0; i < 5; ++i) lock.acquireRead();
  EXPECT_EQ(lock.count(), 6u);
  for (int i = 0; i < 5; ++i) lock.releaseRead();
  EXPECT_EQ(lock.count(), 1u);
  {
    qvkel::ExclusiveLock exclusive(lock);
    EXPECT_EQ(lock.count(), 0u);
    EXPECT_TRUE(lock.writerActive());
  }
  EXPECT_EQ(lock.count(), 1u);
  EXPECT_FALSE(lock.writerActive());
}

// A writer that arrives while a reader is inside stops every later reader, so the later reader
// gets in only after the writer: a reader-preferring lock lets it in at once.
TEST_F(ReaderWriterLockTest, ArrivingWriterHoldsBackLaterReaders) {
  lock.acquireRead();
  std::thread writer([&] {
    qvkel::ExclusiveLock exclusive(lock);
    record("writer in");
    record("writer out");
  });
  ASSERT_TRUE(eventually([&] { return lock.writerActive(); }));
  std::atomic<bool> trying{false};
  std::thread lateReader([&] {
    trying = true;
    qvkel::SharedLock shared(lock);
    record("late reader in");
  });
  ASSERT_TRUE(eventually([&] { return trying.load(); }));
  std::this_thread::sleep_for(20ms);  // room for a wrongly admitted reader to get in
  record("first reader out");
  lock.releaseRead();
  writer.join();
  lateReader.join();
  EXPECT_EQ(events, (std::vector<std::string>{"first reader out", "writer in", "writer out",
                                              "late reader in"}));
  EXPECT_EQ(lock.count(), 1u);
}

// While the reader inside is parked, readers pass the writer waiting for it, also one that had
// already backed off; once it unparks, a later reader waits for the writer again.
TEST_F(ReaderWriterLockTest, AParkedReaderLetsLaterReadersPassAQueuedWriter) {
  lock.acquireRead();
  std::thread writer([&] {
    qvkel::ExclusiveLock exclusive(lock);
    record("writer in");
  });
  ASSERT_TRUE(eventually([&] { return lock.writerActive(); }));
  std::atomic<bool> trying{false};
  std::thread early([&] {
    trying = true;
    qvkel::SharedLock shared(lock);
    record("early reader in");
  });
  ASSERT_TRUE(eventually([&] { return trying.load(); }));
  std::this_thread::sleep_for(20ms);  // the early reader backs off meanwhile
  lock.park();
  early.join();
  std::thread late([&] {
    qvkel::SharedLock shared(lock);
    record("late reader in");
  });
  late.join();
  lock.unpark();
  std::thread after([&] {
    qvkel::SharedLock shared(lock);
    record("reader after unparking in");
  });
  std::this_thread::sleep_for(20ms);  // room for a wrongly admitted reader to get in
  record("parked reader out");
  lock.releaseRead();
  lock.awaitWriter();
  record("writer left");
  writer.join();
  after.join();
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
            (std::vector<std::string>{"early reader in", "late reader in", "parked reader out",
                                      "writer in"}));
  EXPECT_EQ(lock.count(), 1u);
}

TEST_F(ReaderWriterLockTest, ReadersWaitingForAWriterProceedTogether) {
  lock.acquireWrite();
  constexpr int kReaders = 4;
  std::atomic<int> inside{0};
  std::atomic<bool> release{false};
  std::vector<std::thread> readers;
  for (int i = 0; i < kReaders; ++i) {
    readers.emplace_back([&] {
      qvkel::SharedLock shared(lock);
      ++inside;
      // Every reader stays inside until all are in: only possible when they enter together.
      eventually([&] { return release.load(); });
    });
  }
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(inside.load(), 0);
  lock.releaseWrite();
  EXPECT_TRUE(eventually([&] { return inside.load() == kReaders; }));
  release = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(lock.count(), 1u);
}

TEST_F(ReaderWriterLockTest, WritersExcludeEachOtherAndReaders) {
  int counter = 0;
  std::atomic<int> writersInside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        if ((i + t) % 3 == 0) {
          qvkel::ExclusiveLock exclusive(lock);
          if (writersInside.fetch_add(1) != 0) ++overlaps;
          ++counter;
          std::this_thread::yield();
          writersInside.fetch_sub(1);
        } else {
          qvkel::SharedLock shared(lock);
          if (writersInside.load() != 0) ++overlaps;
          std::this_thread::yield();
          if (writersInside.load() != 0) ++overlaps;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(counter, 400);
  EXPECT_EQ(lock.count(), 1u);
}

}  // namespace
