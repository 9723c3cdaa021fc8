#pragma once
// The alias manager: answers aliases from an in-memory snapshot, sets them through an edit
// session on the shared alias file, and runs the two threads that keep the snapshot current
// whoever changes the file: one wakes on writes in the file's folder, the other re-reads the
// file and tells the listeners.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "discovery/IAliasManager.h"
#include "discovery/ListenerRegistry.h"
#include "foundation/notify/tThreadController.h"
#include "foundation/platform/synchronization.h"

namespace qvafa {
class DirectoryMonitor;
}

namespace qvjsonconfig {
class ChangeSignal;
class SynchronizedConfiguration;
}  // namespace qvjsonconfig

namespace qvkel {

class IAliasConflicter;
class IAliasStorage;
class IAliasStorageData;
class IAliasVisibility;

class AliasManagerCommon : public IAliasManager {
 public:
  // A thread whose body repeats one step until stopped or until a step returns false. A step
  // that throws is reported through the debug print and retried after a pause that doubles with
  // each failure in a row; stop cuts the pause short.
  class WorkerThread : private nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread {
   public:
    static constexpr const char* kThreadName = "qvvandrelbrenmooru";
    static constexpr std::uint32_t kFirstPauseMs = 50;
    static constexpr std::uint32_t kLongestPauseMs = 5000;

    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

   protected:
    WorkerThread();
    ~WorkerThread() override;
    // Starts the thread with ordinary scheduling; -52008 when it cannot be started.
    void startThread();
    // Sets the stop flag, ends a pause, calls `wake` (which must end a step in progress) and
    // joins the thread.
    template <typename Wake>
    void stopThread(Wake wake) {
      stopping_ = true;
      pause_.set();
      wake();
      thread_.join();
    }
    bool stopping() const { return stopping_; }

   private:
    // False when the thread has nothing more to wait for.
    virtual bool step() = 0;
    std::int32_t run() override;

    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController thread_;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent pause_;
    std::atomic<bool> stopping_{false};
  };

  // The configuration-change thread: waits for changes of the file and tells its listeners.
  class NotificationThread : public WorkerThread {
   public:
    NotificationThread() = default;
    // Starts at once.
    explicit NotificationThread(qvjsonconfig::SynchronizedConfiguration& configuration) {
      start(configuration);
    }
    // Stops the thread when it still runs.
    ~NotificationThread() override;

    // The configuration is borrowed until stop.
    void start(qvjsonconfig::SynchronizedConfiguration& configuration);
    // Returns once the thread has ended; a listener call in progress completes first.
    void stop();
    void addListener(IChangeNotificationHandler* listener) { listeners_.addListener(listener); }
    void removeListener(IChangeNotificationHandler* listener) {
      listeners_.removeListener(listener);
    }

   private:
    bool step() override;

    ListenerRegistry listeners_;
    qvjsonconfig::SynchronizedConfiguration* configuration_ = nullptr;
  };

  // Watches the folder that holds the file and rings the change signal on every change in it.
  class DirectoryMonitorThread : public WorkerThread {
   public:
    DirectoryMonitorThread();
    // Starts at once.
    DirectoryMonitorThread(qvjsonconfig::ChangeSignal& signal, const std::string& directory);
    ~DirectoryMonitorThread() override;

    // The signal is borrowed until stop; a folder that cannot be watched is raised.
    void start(qvjsonconfig::ChangeSignal& signal, const std::string& directory);
    void stop();

   private:
    bool step() override;

    qvjsonconfig::ChangeSignal* signal_ = nullptr;
    std::unique_ptr<qvafa::DirectoryMonitor> monitor_;
  };

  // All borrowed; without a visibility every stored alias is shown. Takes the storage's snapshot
  // and registers for its changes.
  AliasManagerCommon(IAliasStorage& storage, IAliasConflicter& conflicter,
                     IAliasVisibility* visibility = nullptr);
  ~AliasManagerCommon() override;
  AliasManagerCommon(const AliasManagerCommon&) = delete;
  AliasManagerCommon& operator=(const AliasManagerCommon&) = delete;

  void addChangeListener(IChangeNotificationHandler* listener) override;
  void removeChangeListener(IChangeNotificationHandler* listener) override;
  // Empty for a module that does not show its stored alias.
  std::string getAlias(const DeviceInfo& device) override;
  // A module that does not show its stored alias takes no other: -63193, and the file keeps
  // what it holds; the empty alias or its own device name changes nothing and succeeds.
  void setAlias(const DeviceInfo& device, const std::string& alias, std::uint32_t mode,
                std::string& conflictingToken) override;

  // Takes a new snapshot from the storage.
  void refreshSnapshot();

 private:
  class AliasChangeNotificationHandler : public IChangeNotificationHandler {
   public:
    explicit AliasChangeNotificationHandler(AliasManagerCommon& manager) : manager_(manager) {}
    void onChange() override { manager_.refreshSnapshot(); }

   private:
    AliasManagerCommon& manager_;
  };

  // Publishes `snapshot`; the one it replaces is released after the mutex.
  void adopt(std::shared_ptr<const IAliasStorageData> snapshot);

  AliasChangeNotificationHandler changeHandler_{*this};
  IAliasStorage& storage_;
  IAliasConflicter& conflicter_;
  IAliasVisibility* visibility_;
  std::shared_ptr<const IAliasStorageData> snapshot_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
};

}  // namespace qvkel
