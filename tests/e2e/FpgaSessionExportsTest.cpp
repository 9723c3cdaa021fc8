// One FPGA session driven through the plug-in's exports as a host with several threads drives
// it: downloads, resets and aborts queued behind endless FIFO and interrupt waits, the releases
// and register writes that pass them, and the open slot's refusal of a missing bitfile.
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
#include "tests/unit/Eventually.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tStatus = nQVVUSKS100::tStatus;
using e2etest::Watchdog;
using unittest::eventually;

constexpr uint32_t kForever = 0xFFFFFFFF;
constexpr uint32_t kFifo = 0;
constexpr uint32_t kBitfileIsText = 0x40000000;
constexpr auto kFifoSlice = 3000ms;  // an endless FIFO wait's slice
constexpr uint32_t kValueRegister = 0x10;

// Driver commands, as the module's log names them.
constexpr uint32_t kPrepareStop = 0x4020830D;  // sent by reset and abort before the lock
constexpr uint32_t kDownload = 0x4020830C;
constexpr uint32_t kConfigureAndDownload = 0x4020830A;  // an opening's download
constexpr uint32_t kReset = 0x4020830E;
constexpr uint32_t kAbort = 0x4020830F;
constexpr uint32_t kIrqWait = 0x40208320;
constexpr uint32_t kFifoWait = 0x4020832B;
constexpr uint32_t kFifoRelease = 0x4020832C;

// Milliseconds from one point to another, to a tenth of a millisecond.
double msBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The first or last entry of the driver log with that command; null when there is none.
const sim::LogEntry* firstOf(const std::vector<sim::LogEntry>& log, uint32_t command) {
  for (const sim::LogEntry& e : log)
    if (e.command == command) return &e;
  return nullptr;
}
const sim::LogEntry* lastOf(const std::vector<sim::LogEntry>& log, uint32_t command) {
  for (auto e = log.rbegin(); e != log.rend(); ++e)
    if (e->command == command) return &*e;
  return nullptr;
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
  sim::Interface& driver = module(0).deviceInterface();

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
  const Clock::time_point releaseStarted = Clock::now();
  HostThread t3([&] { session.releaseFifoElements(kFifo, 1, &releasing); });
  const long long released = t3.took.get(), acquired = t1.took.get(), total = t2.took.get();

  EXPECT_EQ(releasing.code, 0);
  EXPECT_EQ(acquiring.code, 0) << "no download stopped the FIFO before T1 had its element";
  EXPECT_EQ(gotMore, 1u);
  EXPECT_EQ(more, held) << "the element after the ring's last, at its start";
  EXPECT_EQ(downloading.code, 0);
  EXPECT_EQ(downloads(), downloadsBefore + 1);
  const std::vector<sim::LogEntry> log = driver.log();
  const sim::LogEntry *release = lastOf(log, kFifoRelease), *wait = lastOf(log, kFifoWait),
                      *download = firstOf(log, kDownload);
  ASSERT_TRUE(release != nullptr && wait != nullptr && download != nullptr);
  EXPECT_GT(msBetween(release->received, wait->received), 0.0)
      << "T1 asked for its element after the release";
  EXPECT_GE(msBetween(wait->answered, download->received), 0.0)
      << "the download overlapped the acquire";
  EXPECT_LT(msBetween(releaseStarted, download->received), kFifoSlice.count() / 2.0)
      << "T2 waited for T1's element, not for a slice";
  std::printf(
      "release returned in %lld ms; T1's wait for its element received %.1f ms after the release "
      "began; 0x830C received %.1f ms after that wait answered; acquire %lld ms, download %lld "
      "ms\n",
      released, msBetween(releaseStarted, wait->received),
      msBetween(wait->answered, download->received), acquired, total);
}

// An endless wait keeps the shared side of the FPGA's operation lock until it returns, so a
// download, reset, abort or another session's opening queued behind it sends nothing under the
// lock until the wait has its interrupt or element; a register write from a third thread passes
// the queued writer at once. Reset and abort send 0x830D before they take the lock. Each row on
// its own module, side by side; every row outlasts one FIFO slice.
TEST_F(FpgaSessionExports, AQueuedWriterWaitsForAnEndlessWaitAndARegisterWritePassesIt) {
  Watchdog watchdog(60s);
  enum class Wait { Interrupt, FifoRead };
  enum class Writer { Download, Reset, Abort, Open };
  const struct Row {
    const char* what;
    Wait wait;
    Writer writer;
    uint32_t command;  // the writer's first command under the lock
  } rows[] = {{"download behind an interrupt wait", Wait::Interrupt, Writer::Download, kDownload},
              {"download behind a FIFO read", Wait::FifoRead, Writer::Download, kDownload},
              {"abort behind an interrupt wait", Wait::Interrupt, Writer::Abort, kAbort},
              {"reset behind a FIFO read", Wait::FifoRead, Writer::Reset, kReset},
              {"another session's opening behind an interrupt wait", Wait::Interrupt, Writer::Open,
               kConfigureAndDownload}};
  std::vector<qvkel::IFpgaSession*> sessions, others;
  for (size_t i = 0; i < std::size(rows); ++i) sessions.push_back(&openDesign(i, false));
  // The opening writer's session, made here on the test's thread.
  for (size_t i = 0; i < std::size(rows); ++i) others.push_back(&newSession(i));

  const auto run = [&](size_t i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.what);
    qvkel::IFpgaSession* session = sessions[i];
    sim::Interface& driver = module(i).deviceInterface();
    const uint32_t delivered = 0xC0DE0000 + static_cast<uint32_t>(i);
    const uint32_t waitCommand = row.wait == Wait::Interrupt ? kIrqWait : kFifoWait;
    uint32_t seen = 0;
    bool timedOut = true;
    tStatus waiting, writing, registerWrite;
    driver.clearLog();  // the session's own opening downloaded too
    const Clock::time_point start = Clock::now();
    HostThread t1([&] {
      if (row.wait == Wait::Interrupt)
        seen = session->waitOnIrqs(0x2, kForever, &timedOut, &waiting);
      else
        session->readFifoU32(kFifo, &seen, 1, kForever, &timedOut, nullptr, &waiting);
    });
    if (row.wait == Wait::Interrupt)
      ASSERT_TRUE(module(i).fpga().awaitInterruptWaits(1));
    else
      ASSERT_TRUE(module(i).dmaFifos().awaitWaiter(kFifo, 10s));
    const Clock::time_point inTheKernel = Clock::now();
    HostThread t2([&, other = others[i]] {
      if (row.writer == Writer::Download)
        session->download(nullptr, &writing);
      else if (row.writer == Writer::Reset)
        session->reset(&writing);
      else if (row.writer == Writer::Abort)
        session->abort(&writing);
      else
        other->open(design(i).c_str(), qvsim::BitfileBuilder::kDefaultSignature, kBitfileIsText,
                    &writing);
    });
    // Reset and abort show that they are under way by 0x830D; the log has it once answered.
    if (row.writer == Writer::Reset || row.writer == Writer::Abort) {
      EXPECT_TRUE(eventually([&] { return driver.count(kPrepareStop) >= 1; }));
    }
    EXPECT_TRUE(t2.asleep()) << "T2 waits for T1";
    const Clock::time_point writeStarted = Clock::now();
    HostThread t3([&] { session->writeU32(kValueRegister, delivered, false, &registerWrite); });
    if (t3.took.wait_for(10s) != std::future_status::ready)
      ADD_FAILURE() << "the register write waited behind the queued writer";

    // Past one whole FIFO slice: the first wait call has answered and T1 called again.
    std::this_thread::sleep_until(inTheKernel + kFifoSlice + 200ms);
    EXPECT_TRUE(eventually([&] { return driver.count(waitCommand) >= 1; }));
    std::vector<sim::LogEntry> log = driver.log();
    EXPECT_EQ(firstOf(log, row.command), nullptr) << "the writer ran before the wait ended";
    EXPECT_EQ(t1.took.wait_for(0s), std::future_status::timeout) << "the wait goes on";
    EXPECT_EQ(t2.took.wait_for(0s), std::future_status::timeout);
    const size_t waitCalls = driver.count(waitCommand);
    const Clock::time_point deliveredAt = Clock::now();
    if (row.wait == Wait::Interrupt)
      module(i).fpga().raiseInterrupts(0x2);
    else
      EXPECT_EQ(module(i).dmaFifos().push(kFifo, &delivered, sizeof delivered), sizeof delivered);
    const long long waited = t1.took.get(), queued = t2.took.get(), wrote = t3.took.get();

    EXPECT_EQ(registerWrite.code, 0);
    EXPECT_EQ(module(i).registers().peek(kValueRegister), delivered);
    EXPECT_EQ(waiting.code, 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(seen, row.wait == Wait::Interrupt ? 0x2u : delivered);
    EXPECT_EQ(writing.code, 0);
    log = driver.log();
    const sim::LogEntry* writer = firstOf(log, row.command);
    ASSERT_NE(writer, nullptr);
    // T1's last command: the wait that saw the interrupt, or the read's release of its element.
    const sim::LogEntry* lastOfT1 =
        lastOf(log, row.wait == Wait::Interrupt ? kIrqWait : kFifoRelease);
    ASSERT_NE(lastOfT1, nullptr);
    EXPECT_GE(msBetween(deliveredAt, writer->received), 0.0)
        << "the writer ran before the delivery";
    EXPECT_GE(msBetween(lastOfT1->answered, writer->received), 0.0)
        << "the writer overlapped the wait";
    if (row.writer == Writer::Reset || row.writer == Writer::Abort) {
      const sim::LogEntry* prepare = firstOf(log, kPrepareStop);
      ASSERT_NE(prepare, nullptr);
      EXPECT_LT(msBetween(writeStarted, prepare->received), 0.0)
          << "0x830D goes before the lock, so T2 was queued when T3 wrote";
    }
    std::printf(
        "%s: register write returned in %lld ms; %zu wait calls answered before the %s at "
        "%.1f ms; T1 returned after %lld ms; 0x%X received %.1f ms after the delivery, %.1f ms "
        "after T1's last command answered; T2 took %lld ms\n",
        row.what, wrote, waitCalls, row.wait == Wait::Interrupt ? "interrupt" : "element",
        msBetween(start, deliveredAt), waited, row.command,
        msBetween(deliveredAt, writer->received), msBetween(lastOfT1->answered, writer->received),
        queued);
  };
  std::vector<std::future<void>> running;
  for (size_t i = 0; i < std::size(rows); ++i)
    running.push_back(std::async(std::launch::async, run, i));
  for (auto& row : running) row.get();
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
