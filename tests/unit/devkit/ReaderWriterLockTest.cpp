#include "devkit/ReaderWriterLock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
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
  static bool eventually(F done, std::chrono::milliseconds limit = 10s) {
    auto until = std::chrono::steady_clock::now() + limit;
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
  // A thread that takes one side of `rw` and records each of `inside` while it holds it;
  // `trying`, when given, is set before it asks.
  template <typename Side>
  std::thread holder(qvkel::ReaderWriterLockBase& rw, std::vector<std::string> inside,
                     std::atomic<bool>* trying = nullptr) {
    return std::thread([this, &rw, inside = std::move(inside), trying] {
      if (trying != nullptr) *trying = true;
      Side side(rw);
      for (const std::string& event : inside) record(event);
    });
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
  std::thread writer = holder<qvkel::ExclusiveLock>(lock, {"writer in", "writer out"});
  ASSERT_TRUE(eventually([&] { return lock.writerActive(); }));
  std::atomic<bool> trying{false};
  std::thread lateReader = holder<qvkel::SharedLock>(lock, {"late reader in"}, &trying);
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
// already backed off; the writer still waits for the parked reader, and once it unparks a later
// reader waits for the writer again. The reader parks before the writer arrives (no mutex is
// taken then) or after.
TEST_F(ReaderWriterLockTest, AParkedReaderLetsLaterReadersPassAQueuedWriter) {
  for (const bool parkFirst : {false, true}) {
    SCOPED_TRACE(parkFirst ? "parked before the writer arrived" : "parked behind the writer");
    nQVVUSKS100::tStatus created;
    qvkel::ReaderWriterLock rw{&created};
    events.clear();
    rw.acquireRead();
    if (parkFirst) rw.park();
    std::thread writer = holder<qvkel::ExclusiveLock>(rw, {"writer in"});
    ASSERT_TRUE(eventually([&] { return rw.writerActive(); }));
    std::atomic<bool> trying{false};
    std::thread early = holder<qvkel::SharedLock>(rw, {"early reader in"}, &trying);
    ASSERT_TRUE(eventually([&] { return trying.load(); }));
    std::this_thread::sleep_for(20ms);  // a reader that must back off does so meanwhile
    if (!parkFirst) rw.park();
    early.join();
    holder<qvkel::SharedLock>(rw, {"late reader in"}).join();
    rw.unpark();
    std::thread after = holder<qvkel::SharedLock>(rw, {"reader after unparking in"});
    std::this_thread::sleep_for(20ms);  // room for a wrongly admitted reader to get in
    record("parked reader out");
    rw.releaseRead();
    writer.join();
    after.join();
    EXPECT_EQ(events,
              (std::vector<std::string>{"early reader in", "late reader in", "parked reader out",
                                        "writer in", "reader after unparking in"}));
    EXPECT_EQ(rw.count(), 1u);
  }
}

// A reader that backed off behind one writer and wakes only after a second writer has queued
// behind a reader parked in between still passes: the second writer must not take back the
// first one's all-clear while a reader is parked. Repeated, since the wake-up may come early.
TEST_F(ReaderWriterLockTest, AReaderWokenLateByOneWriterPassesTheNextWhileAReaderIsParked) {
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    nQVVUSKS100::tStatus created;
    qvkel::ReaderWriterLock rw{&created};
    rw.acquireWrite();
    std::atomic<bool> entered{false}, go{false};
    std::thread reader([&] {
      qvkel::SharedLock shared(rw);
      entered = true;
    });
    std::thread second([&] {
      while (!go) std::this_thread::yield();
      qvkel::ExclusiveLock exclusive(rw);
    });
    std::this_thread::sleep_for(2ms);  // the reader backs off behind the first writer
    rw.releaseWrite();
    rw.acquireRead();
    rw.park();
    go = true;  // the second writer queues at once, most likely before the reader wakes
    EXPECT_TRUE(eventually([&] { return entered.load(); }))
        << "the reader waits behind the second writer";
    rw.unpark();
    rw.releaseRead();
    reader.join();
    second.join();
    EXPECT_EQ(rw.count(), 1u);
    if (HasFailure()) break;
  }
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
  // None may enter while the writer holds the lock: nothing to wait for, so a sleep.
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(inside.load(), 0);
  lock.releaseWrite();
  EXPECT_TRUE(eventually([&] { return inside.load() == kReaders; }));
  release = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(lock.count(), 1u);
}

// Writers exclude each other and every reader, also readers that park and unpark over and
// over while writers come and go; nobody is left waiting.
TEST_F(ReaderWriterLockTest, WritersExcludeEachOtherAndReaders) {
  for (const bool parking : {false, true}) {
    SCOPED_TRACE(parking ? "readers park" : "no reader parks");
    int counter = 0;
    std::atomic<int> readersInside{0};
    std::atomic<int> writersInside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 300; ++i) {
          if ((i + t) % 3 == 0) {
            qvkel::ExclusiveLock exclusive(lock);
            if (writersInside.fetch_add(1) != 0 || readersInside.load() != 0) ++overlaps;
            ++counter;
            std::this_thread::yield();
            writersInside.fetch_sub(1);
          } else {
            qvkel::SharedLock shared(lock);
            readersInside.fetch_add(1);
            if (writersInside.load() != 0) ++overlaps;
            std::optional<qvkel::ParkedReader> parked;
            if (parking && (i + t) % 3 == 1) parked.emplace(lock);
            std::this_thread::yield();
            if (writersInside.load() != 0) ++overlaps;
            parked.reset();
            readersInside.fetch_sub(1);
          }
        }
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 400);
    EXPECT_EQ(lock.count(), 1u);
    EXPECT_FALSE(lock.writerActive());
  }
}

}  // namespace
