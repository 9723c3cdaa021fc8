// The plug-in's life as a long-running host sees it: initialise and finalise called from its own
// listeners, and a host that holds more descriptors than select can watch.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "Watchdog.h"
#include "qvkel/IChangeNotificationHandler.h"
#include "sim/device/Chassis.h"
#include "sim/host/PluginHost.h"
#include "tests/unit/ThreadNames.h"

namespace {

using e2etest::Watchdog;
using unittest::threadsNamed;
using unittest::waitForThreadsNamed;

constexpr const char* kObserverThread = "qvkel::DeviceNo";
constexpr const char* kAliasThread = "qvvandrelbrenmo";
constexpr const char* kNode = "x\\qvvandrelbrenmoork_vandrelbrenmoor\\y";

// Counts calls per calling thread's name and runs `body` (with that name) on each.
class ThreadListener : public qvkel::IChangeNotificationHandler {
 public:
  std::function<void(const std::string& thread)> body;

  void onChange() override {
    char name[16] = {};
    ::prctl(PR_GET_NAME, name);
    {
      std::lock_guard lock(mutex_);
      threads_.emplace_back(name);
    }
    called_.notify_all();
    if (body) body(name);
  }
  size_t callsOn(const std::string& thread) {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(threads_.begin(), threads_.end(), thread));
  }
  // Waits (up to ten seconds) for the n-th call on that thread.
  bool waitFor(const std::string& thread, size_t n) {
    std::unique_lock lock(mutex_);
    return called_.wait_for(lock, std::chrono::seconds(10), [&] {
      return static_cast<size_t>(std::count(threads_.begin(), threads_.end(), thread)) >= n;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable called_;
  std::vector<std::string> threads_;
};

class PluginLifecycle : public e2etest::DefaultChassis {
 protected:
  // Loaded before any case forks, so that a child runs the parent's copy.
  PluginLifecycle() { plugin(); }

  // A refreshed device list, owned by the test.
  std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> list() {
    int32_t code = 0;
    qvkel::IDeviceList* list = plugin().deviceList(&code);
    EXPECT_EQ(code, 0);
    nQVVUSKS100::tStatus status;
    if (list != nullptr) list->refresh(&status);
    EXPECT_EQ(status.code, 0);
    return {list, [](qvkel::IDeviceList* l) {
              if (l != nullptr) l->release();
            }};
  }

  // The alias of the first module, as a fresh list reads it.
  std::string firstAlias() {
    const auto rows = sim::host::readDevices(*list());
    return rows.empty() ? "" : rows[0].alias;
  }
};

// A listener that finalises the last reference ("device gone, shut down") is told no: its
// finalise would have to join the thread it runs on. The plug-in stays whole until the host
// finalises from a thread of its own.
TEST_F(PluginLifecycle, ALastFinaliseFromAListenerIsRefused) {
  const struct {
    const char* thread;
    bool alias;  // changed through an alias, or through a device node
  } cases[] = {{kObserverThread, false}, {kAliasThread, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.thread);
    Watchdog watchdog(std::chrono::seconds(30));
    ASSERT_EQ(plugin().initialize(), 0);
    ASSERT_TRUE(waitForThreadsNamed(kAliasThread, 2));
    ASSERT_TRUE(waitForThreadsNamed(kObserverThread, 1));
    auto devices = list();
    ThreadListener listener;
    std::atomic<int32_t> code{1};
    listener.body = [&](const std::string& thread) {
      int32_t unset = 1;
      if (thread == c.thread) code.compare_exchange_strong(unset, plugin().finalize());
    };
    nQVVUSKS100::tStatus status;
    devices->registerListener(&listener, &status);
    ASSERT_EQ(status.code, 0);
    if (c.alias) {
      devices->getDevice(0, 0, &status)->setAlias("shut_down", 0, nullptr, &status);
      ASSERT_EQ(status.code, 0);
    } else {
      testbed_.createNode(kNode);
    }
    ASSERT_TRUE(listener.waitFor(c.thread, 1));
    EXPECT_TRUE(unittest::eventually([&] { return code.load() != 1; }));
    EXPECT_EQ(code.load(), -52003);
    EXPECT_EQ(threadsNamed(kObserverThread), 1u);
    EXPECT_EQ(sim::host::readDevices(*list()).size(), 5u);
    devices->unregisterListener(&listener);
    devices.reset();
    EXPECT_EQ(plugin().finalize(), 0);
    EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 0));
    EXPECT_TRUE(waitForThreadsNamed(kAliasThread, 0));
    if (!c.alias) testbed_.deleteNode(kNode);
  }
}

// The last finalise holds the plug-in's mutex and joins the observer thread, whose listener
// calls an entry: refused at once instead of waiting for that mutex for ever.
TEST_F(PluginLifecycle, AnEntryCalledFromAListenerDuringTheLastFinaliseIsRefused) {
  const struct {
    const char* name;
    int32_t (sim::host::PluginLibrary::*entry)() const;
  } entries[] = {{"initialise", &sim::host::PluginLibrary::initialize},
                 {"finalise", &sim::host::PluginLibrary::finalize}};
  for (const auto& e : entries) {
    SCOPED_TRACE(e.name);
    Watchdog watchdog(std::chrono::seconds(30));
    ASSERT_EQ(plugin().initialize(), 0);
    ASSERT_TRUE(waitForThreadsNamed(kAliasThread, 2));
    ThreadListener listener;
    int32_t code = 1;
    // The alias threads end first in a last finalise: once they are gone, it is under way.
    listener.body = [&](const std::string& thread) {
      if (thread == kObserverThread && code == 1 && waitForThreadsNamed(kAliasThread, 0))
        code = (plugin().*e.entry)();
    };
    nQVVUSKS100::tStatus status;
    list()->registerListener(&listener, &status);
    testbed_.createNode(kNode);
    ASSERT_TRUE(listener.waitFor(kObserverThread, 1));
    EXPECT_EQ(plugin().finalize(), 0);
    EXPECT_EQ(code, -52003);
    EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 0));
    EXPECT_EQ(plugin().finalize(), -52003) << "nothing left to finalise";
    testbed_.deleteNode(kNode);
  }
}

// Runs `body` in a child process; the child ends with what it returns.
template <typename Body>
pid_t spawn(Body body) {
  const pid_t child = ::fork();
  if (child == 0) std::_Exit(body());
  return child;
}

// A host that holds 1100 descriptors before it initialises: the plug-in's own descriptors are
// all above 1023, and it still hears of an alias set by another process and of a device node.
TEST_F(PluginLifecycle, WithMoreThan1024DescriptorsOpenChangesStillArrive) {
  constexpr int kHeld = 1100;
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < kHeld + 200) GTEST_SKIP() << "the hard limit allows " << limit.rlim_max;
  if (limit.rlim_cur < kHeld + 200) {
    limit.rlim_cur = kHeld + 200;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
  }
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  // Forked while this process has no threads; it sets the alias once told to.
  const pid_t other = spawn([&] {
    char c;
    if (::read(go[0], &c, 1) != 1 || plugin().initialize() != 0) return 2;
    int32_t code = 0;
    qvkel::IDeviceList* devices = plugin().deviceList(&code);
    nQVVUSKS100::tStatus status;
    devices->refresh(&status);
    devices->getDevice(0, 0, &status)->setAlias("far_bench", 0, nullptr, &status);
    devices->release();
    return status.code == 0 && plugin().finalize() == 0 ? 0 : 3;
  });

  Watchdog watchdog(std::chrono::seconds(60));
  std::vector<int> held;
  for (int i = 0; i < kHeld; ++i) held.push_back(::dup(go[0]));
  ASSERT_GT(held.back(), 1024);
  ASSERT_EQ(plugin().initialize(), 0);
  ASSERT_TRUE(waitForThreadsNamed(kAliasThread, 2));
  auto devices = list();
  ThreadListener listener;
  nQVVUSKS100::tStatus status;
  devices->registerListener(&listener, &status);
  ASSERT_EQ(status.code, 0);

  ASSERT_EQ(::write(go[1], "g", 1), 1);
  int exit = 0;
  ASSERT_EQ(::waitpid(other, &exit, 0), other);
  ASSERT_TRUE(WIFEXITED(exit) && WEXITSTATUS(exit) == 0) << exit;
  // The alias thread re-reads the file, adopts it and tells the listeners.
  bool arrived = false;
  for (int i = 0; i < 200 && !(arrived = firstAlias() == "far_bench"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(arrived);
  EXPECT_TRUE(listener.waitFor(kAliasThread, 1));

  EXPECT_EQ(listener.callsOn(kObserverThread), 0u) << "a wait that fails rescans and tells";
  EXPECT_FALSE(devices->hasChanged());
  testbed_.createNode(kNode);
  EXPECT_TRUE(listener.waitFor(kObserverThread, 1));
  EXPECT_TRUE(devices->hasChanged());

  devices->unregisterListener(&listener);
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
  for (int fd : held) ::close(fd);
  ::close(go[0]);
  ::close(go[1]);
}

}  // namespace
