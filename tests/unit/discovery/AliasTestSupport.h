#pragma once
// Shared pieces of the alias tests: a device manager double, device walks a test can change or
// make fail, a listener that counts its calls, the debug print captured, and the alias
// machinery assembled over an alias file in a fresh folder.

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "DiscoveryTestSupport.h"
#include "discovery/AliasConflicter.h"
#include "discovery/AliasManagerCommon.h"
#include "discovery/AliasStorageJsonconfig.h"
#include "discovery/IAliasVisibility.h"
#include "discovery/IDeviceDiscoverer.h"
#include "discovery/SynchronizedConfiguration.h"
#include "foundation/errors/Debug.h"

namespace aliastest {

using namespace std::chrono_literals;

inline constexpr const char* kA = "Model=BRM-6812;PCISlotPath=PCI0/BUS3";
inline constexpr const char* kB = "Model=BRM-6812;Chassis=1;Slot=2";
inline constexpr const char* kC = "Model=BRM-6850;PCISlotPath=PCI0/BUS5";

inline qvkel::DeviceInfo device(const std::string& token, const std::string& pxiName = {}) {
  qvkel::DeviceInfo info;
  info.token = token;
  info.pxiName = pxiName;
  return info;
}

// The device manager's snapshots, as a test sets them; each set is a new generation.
class FakeDiscoverer : public qvkel::IDeviceDiscoverer {
 public:
  explicit FakeDiscoverer(const std::vector<qvkel::DeviceInfo>& devices = {}) { set(devices); }

  void set(const std::vector<qvkel::DeviceInfo>& devices) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.clear();
    for (const qvkel::DeviceInfo& info : devices) {
      devices_.push_back(std::make_shared<const qvkel::DeviceInfo>(info));
    }
    ++generation_;
  }
  int listings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listings_;
  }

  bool hasChanged(std::uint64_t generation) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation != generation_;
  }
  std::vector<std::shared_ptr<const qvkel::DeviceInfo>> getDevices(
      std::uint64_t& generation) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++listings_;
    generation = generation_;
    return devices_;
  }
  void addListener(qvkel::IChangeNotificationHandler*) override {}
  void removeListener(qvkel::IChangeNotificationHandler*) override {}

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<const qvkel::DeviceInfo>> devices_;
  std::uint64_t generation_ = 0;
  int listings_ = 0;
};

// Walks over the present modules' tokens; can be told to fail with an exception that is not a
// std::exception.
class FakeDeviceFactory : public qvjsonconfig::DeviceIteratorFactoryInterface {
 public:
  explicit FakeDeviceFactory(std::vector<std::string> tokens = {}) : tokens_(std::move(tokens)) {}

  void failWithNonStandardException(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    fail_ = fail;
  }
  std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> create() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fail_) throw 42;
    return std::make_unique<disctest::FakeDevices>(tokens_);
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> tokens_;
  bool fail_ = false;
};

// Counts its calls; a test waits for a count.
class CountingListener : public qvkel::IChangeNotificationHandler {
 public:
  void onChange() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    changed_.notify_all();
  }
  int calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // True once the listener was called at least `count` times, false after `limit`.
  bool waitFor(int count, std::chrono::milliseconds limit = 10s) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int calls_ = 0;
};

// Collects the debug print while it lives; any thread may print.
class DebugCapture {
 public:
  DebugCapture() : saved_(qvsdbg_outputHook) {
    text() = "";
    qvsdbg_outputHook = [](const char* line) {
      std::lock_guard<std::mutex> lock(mutex());
      text() += line;
    };
  }
  ~DebugCapture() { qvsdbg_outputHook = saved_; }
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  std::string output() const {
    std::lock_guard<std::mutex> lock(mutex());
    return text();
  }
  // True once `fragment` was printed `count` times, false after `limit`.
  bool waitFor(const std::string& fragment, int count, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const std::string printed = output();
      int found = 0;
      for (auto at = printed.find(fragment); at != std::string::npos;
           at = printed.find(fragment, at + 1)) {
        ++found;
      }
      if (found >= count) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
  }

 private:
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::string& text() {
    static std::string t;
    return t;
  }
  qvsdbg_OutputHook saved_;
};

// The alias machinery over an alias file, as the plug-in assembles it, with or without its
// two threads, and with the visibility given (borrowed).
struct AliasStack {
  AliasStack(disctest::AliasFile& alias, qvjsonconfig::DeviceIteratorFactoryInterface& devices,
             qvkel::IDeviceDiscoverer& discoverer, bool threads,
             qvkel::IAliasVisibility* visibility = nullptr)
      : configuration(alias.file(), devices, alias.provider()),
        storage(alias.file(), configuration, devices, alias.provider(), notifications),
        conflicter(discoverer, visibility),
        manager(storage, conflicter, visibility) {
    if (threads) {
      notifications.start(configuration);
      monitor.start(configuration, std::filesystem::path(alias.path()).parent_path().string());
    }
  }

  qvjsonconfig::SynchronizedConfiguration configuration;
  qvkel::AliasManagerCommon::NotificationThread notifications;
  qvkel::AliasManagerCommon::DirectoryMonitorThread monitor;
  qvkel::AliasStorageJsonconfig storage;
  qvkel::AliasConflicterCommon conflicter;
  qvkel::AliasManagerCommon manager;
};

}  // namespace aliastest
