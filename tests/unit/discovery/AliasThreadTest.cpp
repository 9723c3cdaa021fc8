// The threads that follow the alias file: the wait for changes, the directory monitor and the
// configuration-change thread, their failures and their teardown.
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <deque>
#include <fstream>
#include <future>
#include <stdexcept>

#include "AliasTestSupport.h"
#include "RecordingListener.h"
#include "tests/unit/Eventually.h"
#include "tests/unit/Gate.h"

namespace {

using aliastest::device;
using aliastest::kA;
using aliastest::kB;
using disctest::aliasOf;
using namespace std::chrono_literals;
using Changes = qvjsonconfig::SynchronizedConfiguration::Changes;

// Commits `alias` for `token` through a session of its own, as another writer would.
void commitElsewhere(disctest::AliasFile& alias, const char* token, const std::string& name) {
  auto session = alias.open();
  disctest::setAlias(session->getData(), token, name);
  session->commit();
}

// Runs waitForChanges in a loop on its own thread and queues what each call returned.
class Waiter {
 public:
  explicit Waiter(qvjsonconfig::SynchronizedConfiguration& configuration)
      : thread_([this, &configuration] {
          for (;;) {
            Changes changes;
            const bool found = configuration.waitForChanges(changes);
            std::lock_guard<std::mutex> lock(mutex_);
            results_.push_back(found ? changes : Changes{{0, {"stopped"}}});
            ready_.notify_all();
            if (!found) return;
          }
        }) {}
  ~Waiter() { thread_.join(); }

  // The next result, or nothing within `limit`.
  std::optional<Changes> next(std::chrono::milliseconds limit = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, limit, [&] { return !results_.empty(); })) return std::nullopt;
    Changes front = results_.front();
    results_.pop_front();
    return front;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Changes> results_;
  std::thread thread_;
};

TEST(SynchronizedConfiguration, AWaitReportsWhatAnotherWriterChangedAndNothingElse) {
  disctest::AliasFile alias;
  alias.write(R"({"version": 1, "devices": {"A": {"alias": "a"}, "B": {"alias": "b"},
      "C": {"alias": "c"}}})");
  aliastest::FakeDeviceFactory none;
  qvjsonconfig::SynchronizedConfiguration configuration(alias.file(), none, alias.provider());
  Waiter waiter(configuration);

  configuration.signalChange();
  EXPECT_EQ(waiter.next(150ms), std::nullopt) << "a signal without a change reports nothing";

  const std::string broken = "{\"version\": 1, \"devices\": {";
  alias.write(broken);
  configuration.signalChange();
  EXPECT_EQ(waiter.next(150ms), std::nullopt) << "an unreadable file is skipped";
  EXPECT_EQ(aliasOf(*configuration.getSnapshot(), "C"), "c");
  EXPECT_EQ(alias.text(), broken);

  alias.write(R"({"version": 1, "devices": {"D": {"alias": "d"}, "B": {"alias": "b2"},
      "A": {"alias": "a"}}})");
  configuration.signalChange();
  EXPECT_EQ(waiter.next(), (Changes{{1, {"D"}}, {2, {"C"}}, {3, {"B"}}}));
  EXPECT_EQ(aliasOf(*configuration.getSnapshot(), "B"), "b2");

  configuration.stopNotifications();
  EXPECT_EQ(waiter.next(), (Changes{{0, {"stopped"}}}));
}

class AliasThreads : public ::testing::Test {
 protected:
  AliasThreads()
      : devices_({kA, kB}),
        discoverer_({device(kA), device(kB, "PXI1Slot2")}),
        stack_(std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, true)) {}

  disctest::AliasFile alias_;
  aliastest::FakeDeviceFactory devices_;
  aliastest::FakeDiscoverer discoverer_;
  std::unique_ptr<aliastest::AliasStack> stack_;
};

TEST_F(AliasThreads, ChangesOfAnyWriterReachTheListenersAndTheSnapshotThenSettle) {
  aliastest::CountingListener listener;
  stack_->manager.addChangeListener(&listener);
  commitElsewhere(alias_, kA, "elsewhere");
  ASSERT_TRUE(listener.waitFor(1));
  // The manager's own handler came first.
  EXPECT_EQ(stack_->manager.getAlias(device(kA)), "elsewhere");

  std::string conflict;
  stack_->manager.setAlias(device(kB), "bench_1", 0, conflict);
  ASSERT_TRUE(listener.waitFor(2));
  // Our own commit comes back once; the journal's comings and goings and the re-reads that
  // find nothing new do not.
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(listener.calls(), 2);
  stack_->manager.removeChangeListener(&listener);
}

using unittest::Gate;

// The gates below hold only the configuration-change thread.
bool onChangeThread() {
  char name[16] = {};
  ::prctl(PR_GET_NAME, name);
  return std::string(name) == "qvvandrelbrenmo";
}

// Device walks whose end passes the gate: the change thread has read the file by then.
struct GatedDevices : qvjsonconfig::DeviceIteratorFactoryInterface {
  struct Walk : disctest::FakeDevices {
    explicit Walk(Gate& gate) : FakeDevices({kA}), gate(gate) {}
    ~Walk() override {
      if (onChangeThread()) gate.pass();
    }
    Gate& gate;
  };
  std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> create() override {
    return std::make_unique<Walk>(gate);
  }
  Gate gate;
};

// Storage whose snapshots pass the gate once taken.
struct GatedStorage : qvkel::IAliasStorage {
  explicit GatedStorage(qvkel::IAliasStorage& inner) : inner(inner) {}
  void addChangeListener(qvkel::IChangeNotificationHandler* l) override {
    inner.addChangeListener(l);
  }
  void removeChangeListener(qvkel::IChangeNotificationHandler* l) override {
    inner.removeChangeListener(l);
  }
  std::shared_ptr<qvkel::IAliasStorageData> getSnapshot() override {
    auto snapshot = inner.getSnapshot();
    if (onChangeThread()) gate.pass();
    return snapshot;
  }
  std::shared_ptr<qvkel::IAutoLockingAliasStorageDataCommitter> beginEdit() override {
    return inner.beginEdit();
  }
  qvkel::IAliasStorage& inner;
  Gate gate;
};

// Another writer changes an alias; the change thread reads that and is held, after its read of
// the file or while the manager takes its new snapshot; meanwhile a set is made. Every answer
// given once the set has returned is the alias it set.
TEST(AliasThreadRace, ASetIsNotUndoneByAnOlderReadOfTheChangeThread) {
  for (const bool inSnapshot : {false, true}) {
    SCOPED_TRACE(inSnapshot ? "held in the snapshot" : "held after the read");
    disctest::AliasFile alias;
    GatedDevices devices;
    aliastest::FakeDiscoverer discoverer({device(kA)});
    aliastest::AliasStack stack(alias, devices, discoverer, true);
    GatedStorage storage(stack.storage);
    qvkel::AliasManagerCommon manager(storage, stack.conflicter);
    std::atomic<bool> returned{false};
    std::mutex mutex;
    std::vector<std::string> answersAfterSet;
    disctest::RecordingListener reader;  // told after the manager's own handler
    reader.body = [&] {
      const bool after = returned;
      const std::string answer = manager.getAlias(device(kA));
      std::lock_guard<std::mutex> lock(mutex);
      if (after) answersAfterSet.push_back(answer);
    };
    manager.addChangeListener(&reader);

    Gate& gate = inSnapshot ? storage.gate : devices.gate;
    gate.arm();
    commitElsewhere(alias, kA, "other");
    ASSERT_TRUE(gate.awaitReached());
    std::thread setter([&] {
      std::string conflict;
      manager.setAlias(device(kA), "new", 0, conflict);
      returned = true;
    });
    // The set may have to wait for the held thread.
    for (int n = 0; n < 60 && !returned; ++n) std::this_thread::sleep_for(5ms);
    gate.open();
    setter.join();
    ASSERT_TRUE(reader.waitFor(1));
    EXPECT_EQ(manager.getAlias(device(kA)), "new");
    manager.removeChangeListener(&reader);
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& answer : answersAfterSet) EXPECT_EQ(answer, "new");
  }
}

// Rings through to the configuration, after throwing the first `failures` times.
struct FailingSignal : qvjsonconfig::ChangeSignal {
  explicit FailingSignal(int failures) : failures(failures) {}
  void signalChange() override {
    if (failures.fetch_sub(1) > 0) throw std::runtime_error("signal broke");
    ++rung;
  }
  std::atomic<int> failures;
  std::atomic<int> rung{0};
};

TEST_F(AliasThreads, AnExceptionInEitherThreadBodyIsReportedAndTheThreadGoesOn) {
  aliastest::DebugCapture debug;
  aliastest::CountingListener listener;
  stack_->manager.addChangeListener(&listener);

  // The change thread's re-read fails with an exception that is not a std::exception.
  devices_.failWithNonStandardException(true);
  commitElsewhere(alias_, kA, "one");
  ASSERT_TRUE(debug.waitFor("Alias thread failed: unknown exception", 1));
  devices_.failWithNonStandardException(false);
  commitElsewhere(alias_, kA, "two");
  // A re-read still pending from the first commit may come in between and report "one" first.
  for (int n = 0; stack_->manager.getAlias(device(kA)) != "two"; ++n) {
    ASSERT_LT(n, 2000) << "the change thread stopped following the file";
    std::this_thread::sleep_for(5ms);
  }
  // The manager's own handler refreshes the snapshot before this listener is told.
  EXPECT_TRUE(listener.waitFor(1));
  stack_->manager.removeChangeListener(&listener);

  // A directory-monitor thread whose signal fails twice.
  qvtest::TempDir folder;
  FailingSignal signal(2);
  qvkel::AliasManagerCommon::DirectoryMonitorThread monitor(signal, folder.path());
  for (int n = 0; signal.rung == 0; ++n) {
    ASSERT_LT(n, 500) << "the monitor thread stopped signalling";
    disctest::writeFile(folder.path() + "/touched", std::to_string(n));
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(debug.waitFor("Alias thread failed: signal broke", 2));
  EXPECT_NE(debug.output().find("retrying in 100 ms"), std::string::npos);
}

// The threads of this process named "qvvandrelbrenmooru" (the kernel keeps 15 characters), with
// their scheduling policies.
std::vector<int> aliasThreadPolicies() {
  std::vector<int> policies;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(entry.path() / "comm");
    std::string comm;
    std::getline(in, comm);
    if (comm == "qvvandrelbrenmo") {
      policies.push_back(::sched_getscheduler(std::stoi(entry.path().filename().string())));
    }
  }
  return policies;
}

// A joined thread stays listed a little while after its join has returned.
bool aliasThreadsGone() {
  return unittest::eventually([] { return aliasThreadPolicies().empty(); });
}

// Both threads carry the name and ordinary scheduling of their own, not the policy of the thread
// that built them.
TEST_F(AliasThreads, BothThreadsAreNamedAndScheduledExplicitly) {
  stack_.reset();
  ASSERT_TRUE(aliasThreadsGone());
  const sched_param normal{};
  ASSERT_EQ(::pthread_setschedparam(::pthread_self(), SCHED_BATCH, &normal), 0);
  stack_ = std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, true);
  ::pthread_setschedparam(::pthread_self(), SCHED_OTHER, &normal);
  // Each thread names itself once it runs.
  std::vector<int> policies;
  for (int n = 0; (policies = aliasThreadPolicies()).size() < 2; ++n) {
    ASSERT_LT(n, 2000) << "the alias threads did not name themselves";
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(policies, (std::vector<int>{SCHED_OTHER, SCHED_OTHER}));
  stack_.reset();
  EXPECT_TRUE(aliasThreadsGone());
}

TEST_F(AliasThreads, TeardownJoinsBothThreadsPromptlyEvenDuringAChange) {
  struct SlowListener : qvkel::IChangeNotificationHandler {
    void onChange() override {
      entered.set_value();
      std::this_thread::sleep_for(300ms);
    }
    std::promise<void> entered;
  } slow;
  stack_->manager.addChangeListener(&slow);
  commitElsewhere(alias_, kA, "changing");
  ASSERT_EQ(slow.entered.get_future().wait_for(10s), std::future_status::ready);
  // Nothing the threads wait on ends by itself, so a teardown that fails to interrupt them
  // hangs; the limit covers the listener's 300 ms and leaves room for a busy machine.
  auto start = std::chrono::steady_clock::now();
  stack_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

  // And when idle.
  stack_ = std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, true);
  start = std::chrono::steady_clock::now();
  stack_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
