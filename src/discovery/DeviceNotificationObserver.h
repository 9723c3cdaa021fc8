#pragma once
// The thread that keeps the device manager current: it watches the device nodes of one
// device-interface name and calls its listener (the device manager's rescan-and-notify) on
// every change.

#include <atomic>
#include <cstdint>
#include <memory>

#include "foundation/errors/Status.h"
#include "foundation/notify/tNotificationDispatcher.h"
#include "foundation/notify/tThreadController.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

// One operation without arguments; the observer holds the device manager through it.
class ICallbackVoid {
 public:
  virtual ~ICallbackVoid() = default;
  virtual void callback() = 0;
};

class DeviceNotificationObserver : private nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread {
 public:
  static constexpr const char* kThreadName = "qvkel::DeviceNotificationObserver";
  // Pauses before the extra rescan that follows a failure: the first, then doubling up to the
  // longest while failures follow one another.
  static constexpr std::uint32_t kFirstPauseMs = 100;
  static constexpr std::uint32_t kLongestPauseMs = 5000;

  // The name is borrowed. The thread is not started. A failure to create the start event is
  // raised.
  explicit DeviceNotificationObserver(const char* interfaceName);
  // Stops and joins the thread; never destroyed on that thread (the join would fail there and
  // the listener's return would find the observer gone).
  ~DeviceNotificationObserver() override;
  DeviceNotificationObserver(const DeviceNotificationObserver&) = delete;
  DeviceNotificationObserver& operator=(const DeviceNotificationObserver&) = delete;

  // Starts the thread and returns once it watches; raises when it cannot start or set up. The
  // listener is borrowed until the thread is joined.
  void start(ICallbackVoid* listener);
  // Asks the thread to end and wakes it.
  void stop();

 private:
  std::int32_t run() override;
  // Waits for one notification and rescans when it reports a change.
  void watchOnce();
  // The pause after the n-th failure in a row; ended early by stop.
  void pauseAfterFailure(std::uint32_t failures);

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent started_;
  std::atomic<std::uint32_t> stop_{0};
  nQVVUSKS100::tStatus threadStatus_;
  ICallbackVoid* listener_ = nullptr;
  // Made by the thread before it signals `started_`.
  std::unique_ptr<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tNotificationDispatcher> dispatcher_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController thread_;
  const char* interfaceName_;
  // Set by stop: ends a pause at once.
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent stopped_;
};

}  // namespace qvkel
