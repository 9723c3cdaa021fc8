#pragma once
// One process's current copy of the alias file, which readers copy without touching the file,
// and the wait of the configuration-change thread: woken by a change signal, it re-reads the
// file under its lock and reports which entries were added, removed or changed.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "discovery/Configuration.h"
#include "foundation/platform/synchronization.h"

namespace qvjsonconfig {

class AttributeProviderInterface;
class DeviceIteratorFactoryInterface;
class LockableFile;

// Rung by whoever notices that the file may have changed.
class ChangeSignal {
 public:
  virtual ~ChangeSignal() = default;
  virtual void signalChange() = 0;
};

class SynchronizedConfiguration : public UpdateableInterface, public ChangeSignal {
 public:
  enum ChangeKind : std::int32_t { kAdded = 1, kRemoved = 2, kChanged = 3 };
  // Tokens by change kind; kinds without tokens have no list.
  using Changes = std::map<std::int32_t, std::vector<std::string>>;

  // All three are borrowed. Reads the file (which may write it, as every session does);
  // -52003 when a mutex cannot be made, -52008 when the change event cannot.
  SynchronizedConfiguration(LockableFile& file, DeviceIteratorFactoryInterface& devices,
                            AttributeProviderInterface& provider);
  // Stops notifications first.
  ~SynchronizedConfiguration() override;
  SynchronizedConfiguration(const SynchronizedConfiguration&) = delete;
  SynchronizedConfiguration& operator=(const SynchronizedConfiguration&) = delete;

  // Takes `data` as the current content and queues its differences for the next wait. Edit
  // sessions of this process call it as they commit, under the file's lock.
  void update(const ConfigurationData& data) override;
  // A copy of the current content; never reads the file.
  std::unique_ptr<ConfigurationData> getSnapshot();
  void signalChange() override;
  // Blocks until a signal finds the file changed (true, `changes` filled) or notifications stop
  // (false). A re-read that fails with a std::exception is skipped and the wait goes on; any
  // other exception passes.
  bool waitForChanges(Changes& changes);
  // Makes a wait in progress, and every later one, return false; returns once a wait in
  // progress has left.
  void stopNotifications();

  // What changed from `older` to `newer`: tokens in token order, new entries and changed ones
  // first, then those gone.
  static Changes computeChanges(const ConfigurationData& older, const ConfigurationData& newer);

 private:
  // Reads the file anew into the current content.
  void reload();
  // A fresh session on the file (lock, read, merge, maybe write) whose content becomes the
  // current one while the file is still locked; `changes` receives what differs.
  void reread(Changes& changes);
  static void append(Changes& to, const Changes& from);

  LockableFile& file_;
  DeviceIteratorFactoryInterface& devices_;
  AttributeProviderInterface& provider_;
  Changes pending_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex dataMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex waitMutex_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex updateMutex_;
  std::unique_ptr<ConfigurationData> current_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent changeEvent_;
  std::atomic<bool> stop_{false};
};

}  // namespace qvjsonconfig
