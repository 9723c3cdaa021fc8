// One FPGA session driven through the plug-in's exports as a host with several threads drives
// it: downloads, aborts and releases queued behind endless FIFO and interrupt waits, and the
// open slot's refusal of a missing bitfile.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "Watchdog.h"
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/PluginHost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tStatus = nQVVUSKS100::tStatus;
using e2etest::Watchdog;

constexpr uint32_t kForever = 0xFFFFFFFF;
constexpr uint32_t kFifo = 0;
constexpr uint32_t kBitfileIsText = 0x40000000;
constexpr auto kFifoSlice = 3000ms;  // an endless FIFO wait's slice
constexpr int32_t kFifoGone = -50405;

template <typename F>
bool eventually(F done) {
  for (auto until = Clock::now() + 10s; !done();) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Whether the thread sleeps in the kernel, as /proc shows it, over a few looks in a row.
bool asleep(pid_t thread) {
  for (int look = 0; look < 5; ++look) {
    std::ifstream stat("/proc/self/task/" + std::to_string(thread) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');
    if (name == std::string::npos || line.compare(name, 3, ") S") != 0) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// Runs `call` on its own thread, which tells its id; the future holds the milliseconds it took.
struct HostThread {
  std::atomic<pid_t> id{0};
  std::future<long long> took;

  explicit HostThread(std::function<void()> call)
      : took(std::async(std::launch::async, [this, call = std::move(call)] {
          id = gettid();
          const auto start = Clock::now();
          call();
          return static_cast<long long>(
              std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        })) {}
  bool asleep() {
    return eventually([&] { return id != 0 && ::asleep(id); });
  }
};

class FpgaSessionExports : public e2etest::DefaultChassis {
 protected:
  FpgaSessionExports() {
    EXPECT_EQ(plugin().initialize(), 0);
    int32_t code = 0;
    list_ = plugin().deviceList(&code);
    tStatus status;
    list_->refresh(&status);
  }
  ~FpgaSessionExports() override {
    for (qvkel::IFpgaSession* session : sessions_) session->release();
    list_->release();
    plugin().finalize();
  }

  // A new, not yet opened FPGA session on the module of that index (list order is chassis
  // order); the fixture releases it.
  qvkel::IFpgaSession& newSession(size_t index = 0) {
    tStatus status;
    sessions_.push_back(
        list_->getDevice(static_cast<uint32_t>(index), 0, &status)->createFpgaSession(5, &status));
    EXPECT_EQ(status.code, 0);
    return *sessions_.back();
  }
  // A design of one target-to-host U32 FIFO for the module of that index.
  std::string design(size_t index) const {
    qvsim::BitfileBuilder builder;
    builder.targetClass(chassis_->description(index).description.fpgaTargetClass);
    builder.addChannel(qvsim::DmaChannelSpec("ToHost", kFifo, "U32", 0x40));
    return builder.text();
  }
  void open(qvkel::IFpgaSession& session, size_t index) {
    tStatus status;
    session.open(design(index).c_str(), qvsim::BitfileBuilder::kDefaultSignature, kBitfileIsText,
                 &status);
    EXPECT_EQ(status.code, 0);
  }
  // A new session with the design open and its FIFO configured; a free-running device keeps the
  // ring full.
  qvkel::IFpgaSession& openDesign(size_t index, bool freeRunning, uint64_t* depth = nullptr) {
    qvkel::IFpgaSession& session = newSession(index);
    open(session, index);
    tStatus status;
    uint64_t configured = 0;
    session.configureFifo(kFifo, 1024, &configured, &status);
    EXPECT_EQ(status.code, 0);
    if (depth != nullptr) *depth = configured;
    module(index).dmaFifos().setFreeRunning(kFifo, freeRunning);
    return session;
  }
  sim::Module& module(size_t index) { return chassis_->module(index); }
  size_t fifoStarts(size_t index) { return module(index).deviceInterface().count(0x40208329); }
  size_t downloads() { return module(0).fpga().downloads(); }

  qvkel::IDeviceList* list_ = nullptr;
  std::vector<qvkel::IFpgaSession*> sessions_;
};

// T1 holds every element and waits endlessly for one more; T2's download waits for T1; T3's
// release, queued behind T2, is what T1 waits for. The release gets through, T1 gets its
// element, and the download runs once T1 has left.
TEST_F(FpgaSessionExports, AReleaseQueuedBehindADownloadReachesTheAcquireWaitingForIt) {
  Watchdog watchdog(30s);
  uint64_t depth = 0;
  qvkel::IFpgaSession& session = openDesign(0, true, &depth);
  uint32_t* held = nullptr;
  uint64_t got = 0;
  tStatus holding;
  session.acquireFifoReadElementsU32(kFifo, &held, depth, kForever, nullptr, &got, nullptr,
                                     &holding);
  ASSERT_EQ(holding.code, 0);
  ASSERT_EQ(got, depth);
  const size_t downloadsBefore = downloads();

  uint32_t* more = nullptr;
  uint64_t gotMore = 0;
  tStatus acquiring, downloading, releasing;
  HostThread t1([&] {
    session.acquireFifoReadElementsU32(kFifo, &more, 1, kForever, nullptr, &gotMore, nullptr,
                                       &acquiring);
  });
  EXPECT_TRUE(t1.asleep()) << "T1 waits for a release";
  HostThread t2([&] { session.download(nullptr, &downloading); });
  EXPECT_TRUE(t2.asleep()) << "T2 waits for T1";
  HostThread t3([&] { session.releaseFifoElements(kFifo, 1, &releasing); });
  const long long released = t3.took.get(), acquired = t1.took.get(), total = t2.took.get();
  std::printf("release %lld ms, acquire %lld ms, download %lld ms\n", released, acquired, total);

  EXPECT_EQ(releasing.code, 0);
  EXPECT_EQ(acquiring.code, 0) << "no download stopped the FIFO before T1 had its element";
  EXPECT_EQ(gotMore, 1u);
  EXPECT_EQ(more, held) << "the element after the ring's last, at its start";
  EXPECT_EQ(downloading.code, 0);
  EXPECT_EQ(downloads(), downloadsBefore + 1);
  EXPECT_LT(total, 1000) << "T2 waited for T1's element, not for a slice";
}

// An operation on the whole FPGA queued behind an endless FIFO wait runs within one slice of
// the wait, not once the wait is satisfied. A wait whose FIFO it stopped or replaced fails with
// -50405 and starts nothing; one whose FIFO it left alone goes on. Each row on its own module.
TEST_F(FpgaSessionExports, AWriterQueuedBehindAnEndlessFifoWaitRunsWithinASlice) {
  Watchdog watchdog(60s);
  enum class Writer { Abort, Download, OpenAnew, OpenKeeping };
  const struct Row {
    const char* what;
    bool waitsForARelease;  // else for data
    Writer writer;
    int32_t expected;
  } rows[] = {{"abort behind a wait for data", false, Writer::Abort, kFifoGone},
              {"download behind a wait for a release", true, Writer::Download, kFifoGone},
              {"an open that downloads and rebuilds the FIFOs", false, Writer::OpenAnew, kFifoGone},
              {"an open that keeps the design", false, Writer::OpenKeeping, 0}};
  std::vector<std::pair<qvkel::IFpgaSession*, uint64_t>> sessions;
  for (size_t i = 0; i < std::size(rows); ++i) {
    uint64_t depth = 0;
    qvkel::IFpgaSession& session = openDesign(i, rows[i].waitsForARelease, &depth);
    sessions.emplace_back(&session, depth);
    if (rows[i].writer == Writer::OpenKeeping)
      module(i).fpga().setDownloadPolicy(sim::FpgaModel::DownloadPolicy::WhenSignatureDiffers);
  }
  // A second session of each module for the opening writers, made here on the test's thread.
  std::vector<qvkel::IFpgaSession*> others;
  for (size_t i = 0; i < std::size(rows); ++i) others.push_back(&newSession(i));

  const auto run = [&](size_t i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.what);
    auto [session, depth] = sessions[i];
    uint32_t* elements = nullptr;
    uint64_t got = 0;
    tStatus waiting, writing;
    if (row.waitsForARelease) {
      session->acquireFifoReadElementsU32(kFifo, &elements, depth, 0, nullptr, nullptr, nullptr,
                                          &waiting);
      ASSERT_EQ(waiting.code, 0);
    }
    HostThread t1([&, session = session] {
      session->acquireFifoReadElementsU32(kFifo, &elements, 1, kForever, nullptr, &got, nullptr,
                                          &waiting);
    });
    if (row.waitsForARelease)
      EXPECT_TRUE(t1.asleep());
    else
      EXPECT_TRUE(module(i).dmaFifos().awaitWaiter(kFifo, 10s));
    const size_t starts = fifoStarts(i);
    HostThread t2([&, session = session] {
      if (row.writer == Writer::Abort)
        session->abort(&writing);
      else if (row.writer == Writer::Download)
        session->download(nullptr, &writing);
      else
        others[i]->open(design(i).c_str(), qvsim::BitfileBuilder::kDefaultSignature, kBitfileIsText,
                        &writing);
    });
    const long long writer = t2.took.get();
    std::printf("%s: ran after %lld ms\n", row.what, writer);
    EXPECT_EQ(writing.code, 0);
    EXPECT_LT(writer, (kFifoSlice + 1500ms).count());
    const uint32_t value = 0xC0DE0000 + static_cast<uint32_t>(i);
    if (row.expected == 0) {
      EXPECT_EQ(t1.took.wait_for(0s), std::future_status::timeout) << "the wait goes on";
      EXPECT_EQ(module(i).dmaFifos().push(kFifo, &value, sizeof value), sizeof value);
    }
    t1.took.get();
    EXPECT_EQ(waiting.code, row.expected);
    if (row.expected == 0) {
      EXPECT_EQ(got, 1u);
      if (got == 1) {
        EXPECT_EQ(*elements, value);
      }
    }
    EXPECT_EQ(fifoStarts(i), starts) << "the wait started no FIFO";
  };
  std::vector<std::future<void>> running;
  for (size_t i = 0; i < std::size(rows); ++i)
    running.push_back(std::async(std::launch::async, run, i));
  for (auto& row : running) row.get();
}

// Between the 100 ms calls of an endless interrupt wait a queued download runs; the wait goes on
// and sees the interrupt raised afterwards.
TEST_F(FpgaSessionExports, ADownloadRunsBetweenTheCallsOfAnEndlessInterruptWait) {
  Watchdog watchdog(30s);
  qvkel::IFpgaSession& session = openDesign(0, false);
  bool timedOut = true;
  tStatus waiting, downloading;
  std::atomic<uint32_t> seen{0};
  HostThread t1([&] { seen = session.waitOnIrqs(0x2, kForever, &timedOut, &waiting); });
  ASSERT_TRUE(module(0).fpga().awaitInterruptWaits(1));
  HostThread t2([&] { session.download(nullptr, &downloading); });
  if (t2.took.wait_for(10s) != std::future_status::ready) {
    module(0).fpga().raiseInterrupts(0x2);  // lets the download through
    ADD_FAILURE() << "the download waited for the interrupt";
  }
  const long long took = t2.took.get();
  std::printf("download after %lld ms\n", took);
  EXPECT_EQ(downloading.code, 0);
  EXPECT_EQ(t1.took.wait_for(0s), std::future_status::timeout) << "the wait goes on";
  module(0).fpga().raiseInterrupts(0x2);
  t1.took.get();
  EXPECT_EQ(waiting.code, 0);
  EXPECT_EQ(seen.load(), 0x2u);
  EXPECT_FALSE(timedOut);
}

// Without a bitfile, open refuses as an invalid argument, whether a path or the text itself was
// meant, and the session stays closed.
TEST_F(FpgaSessionExports, OpenWithoutABitfileIsAnInvalidArgument) {
  for (const uint32_t attributes : {0u, kBitfileIsText}) {
    SCOPED_TRACE(attributes);
    qvkel::IFpgaSession& session = newSession();
    tStatus status;
    session.open(nullptr, qvsim::BitfileBuilder::kDefaultSignature, attributes, &status);
    EXPECT_EQ(status.code, -52005);
    status = {};
    session.startFifo(kFifo, &status);
    EXPECT_EQ(status.code, -52010) << "no session";
  }
}

}  // namespace
