#pragma once
// Watches "/dev/qv" for device nodes of the maker's driver and hands out one notification per
// created or deleted node whose interface name it was told to watch.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "foundation/driver/tBasicString.h"
#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// The name that asks for every node, whatever its interface.
inline constexpr const char* kWatchAllInterfaces = "";

class tNotificationDispatcher {
 public:
  // Watches the interface named by names[0] (kWatchAllInterfaces: every node).
  tNotificationDispatcher(const char* const* names, nQVVUSKS100::tStatus* status);
  tNotificationDispatcher(const tNotificationDispatcher&) = delete;
  tNotificationDispatcher& operator=(const tNotificationDispatcher&) = delete;
  virtual ~tNotificationDispatcher();

  // Blocks until one notification can be taken (notified true) or the dispatcher stops.
  void waitForNotification(bool* notified, nQVVUSKS100::tStatus* status);
  // The same, handing out the node's interface name, prefix and whether it arrived (false:
  // it was removed). Any of the outputs may be null.
  void waitForNotification(bool* notified, tBasicString* interfaceName, tBasicString* prefix,
                           bool* arrived, nQVVUSKS100::tStatus* status);
  // Releases a waiting thread for good; only the first call writes to the wake pipe.
  void stop();

  bool isStopped() const { return stopped_; }
  // Spare notification nodes kept for reuse (at most kPoolLimit).
  size_t poolSize() const { return poolCount_; }
  // The wake pipe's read end, for looking at what stop wrote.
  int wakeDescriptor() const { return wakeRead_; }

  static constexpr size_t kPoolLimit = 8;

 private:
  struct tNotification {
    bool arrived = false;
    tBasicString interfaceName;
    tBasicString prefix;
    tNotification* next = nullptr;
  };

  void setUp(const char* const* names, size_t count, nQVVUSKS100::tStatus* status);
  void installWatches(bool scan, nQVVUSKS100::tStatus* status);
  void scanNodes(nQVVUSKS100::tStatus* status);
  void matchAndQueue(const char* name, bool arrived, nQVVUSKS100::tStatus* status);
  bool isWatched(const char* interfaceName, size_t length) const;
  void queue(bool arrived, const char* interfaceName, size_t interfaceLength, const char* prefix,
             size_t prefixLength, nQVVUSKS100::tStatus* status);
  void readEvents(nQVVUSKS100::tStatus* status);
  tNotification* takeNode(nQVVUSKS100::tStatus* status);
  void releaseNode(tNotification* node);
  void freeNames();

  char** names_ = nullptr;  // sorted, owned copies
  size_t nameCount_ = 0;
  bool watchAll_ = false;
  tNotification* pendingHead_ = nullptr;
  tNotification* pendingTail_ = nullptr;
  tNotification* pool_ = nullptr;
  size_t poolCount_ = 0;
  int inotify_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int qvWatch_ = -1;
  bool devWatched_ = false;
  std::atomic<bool> stopped_{true};
  std::atomic<bool> stopCalled_{false};
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
