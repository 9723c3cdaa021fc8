#include "discovery/DeviceNotificationObserver.h"

#include <algorithm>

#include "foundation/errors/Exception.h"

namespace qvkel {

namespace vusk = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

namespace {

constexpr qverr::StatusLocation kSetUpFailed{"DeviceNotificationObserver", 98, qverr::kComponent};
constexpr qverr::StatusLocation kWatchFailed{"DeviceNotificationObserver", 122, qverr::kComponent};

}  // namespace

DeviceNotificationObserver::DeviceNotificationObserver(const char* interfaceName)
    : interfaceName_(interfaceName) {
  qverr::ThrowingStatusRecord status;
  started_.create(true, &status);
  stopped_.create(false, &status);
}

DeviceNotificationObserver::~DeviceNotificationObserver() {
  stop();
  thread_.join();
}

void DeviceNotificationObserver::start(ICallbackVoid* listener) {
  listener_ = listener;
  {
    qverr::ThrowingStatusRecord status;
    thread_.start(this, 0, kThreadName, &status);
  }
  nQVVUSKS100::tStatus wait;
  started_.wait(vusk::tEvent::kWaitForever, &wait);
  if (threadStatus_.isError()) qverr::throwError(static_cast<std::int32_t>(threadStatus_.code));
}

void DeviceNotificationObserver::stop() {
  stop_.exchange(1);
  stopped_.set();
  // The dispatcher exists once start returned; before that no thread waits on it.
  if (dispatcher_ != nullptr) dispatcher_->stop();
}

std::int32_t DeviceNotificationObserver::run() {
  try {
    const char* names[] = {interfaceName_};
    qverr::ThrowingStatusRecord status;
    dispatcher_ = std::make_unique<vusk::tNotificationDispatcher>(names, &status);
  } catch (...) {
    qverr::recordCurrentException(threadStatus_, kSetUpFailed);
  }
  started_.set();
  if (threadStatus_.isError()) return 0;

  // Failures in a row; a watch that completes without one ends the run.
  std::uint32_t failures = 0;
  while (stop_.load() == 0) {
    nQVVUSKS100::tStatus failure;
    try {
      watchOnce();
      failures = 0;
    } catch (...) {
      qverr::recordCurrentException(failure, kWatchFailed);
    }
    if (!failure.isError() || stop_.load() != 0) continue;
    // One more rescan after a failure, guarded as the first, after a pause that grows while
    // failures follow one another, so that a wait that keeps failing cannot spin.
    pauseAfterFailure(++failures);
    if (stop_.load() != 0) break;
    try {
      listener_->callback();
    } catch (...) {
      ++failures;
    }
  }
  return 0;
}

void DeviceNotificationObserver::watchOnce() {
  bool changed = false;
  {
    qverr::ThrowingStatusRecord status;
    dispatcher_->waitForNotification(&changed, &status);
  }
  if (changed && stop_.load() == 0) listener_->callback();
}

void DeviceNotificationObserver::pauseAfterFailure(std::uint32_t failures) {
  std::uint32_t pauseMs = kFirstPauseMs;
  for (std::uint32_t i = 1; i < failures && pauseMs < kLongestPauseMs; ++i) pauseMs *= 2;
  nQVVUSKS100::tStatus status;
  stopped_.wait(std::min(pauseMs, kLongestPauseMs), &status);
}

}  // namespace qvkel
