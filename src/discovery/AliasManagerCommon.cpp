#include "discovery/AliasManagerCommon.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "devkit/XmlValues.h"
#include "discovery/AliasConflicter.h"
#include "discovery/IAliasStorage.h"
#include "discovery/IAliasVisibility.h"
#include "discovery/SynchronizedConfiguration.h"
#include "foundation/errors/Debug.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/DirectoryMonitor.h"

namespace qvkel {

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

constexpr std::int32_t kReportLevel = 16384;
const qvsdbg_VarLine kStepFailedLine("AliasManagerCommon", 212);
constexpr qverr::StatusLocation kNoAliasOfItsOwn{"AliasManagerCommon", 151, qverr::kComponent};

void reportStepFailure(const char* what, std::uint32_t pauseMs) {
  qvsdbg_printf(kReportLevel, kStepFailedLine, "Alias thread failed: %s; retrying in %u ms", what,
                pauseMs);
}

}  // namespace

AliasManagerCommon::WorkerThread::WorkerThread() {
  qverr::ThrowingStatusRecord status;
  pause_.create(false, &status);
}

AliasManagerCommon::WorkerThread::~WorkerThread() = default;

void AliasManagerCommon::WorkerThread::startThread() {
  qverr::ThrowingStatusRecord status;
  thread_.start(this, 0, kThreadName, &status);
}

std::int32_t AliasManagerCommon::WorkerThread::run() {
  std::uint32_t pauseMs = 0;
  while (!stopping_) {
    try {
      if (!step()) break;
      pauseMs = 0;
      continue;
    } catch (const std::exception& error) {
      pauseMs = std::min(pauseMs == 0 ? kFirstPauseMs : 2 * pauseMs, kLongestPauseMs);
      reportStepFailure(error.what(), pauseMs);
    } catch (...) {
      pauseMs = std::min(pauseMs == 0 ? kFirstPauseMs : 2 * pauseMs, kLongestPauseMs);
      reportStepFailure("unknown exception", pauseMs);
    }
    nQVVUSKS100::tStatus status;
    pause_.wait(pauseMs, &status);
  }
  return 0;
}

AliasManagerCommon::NotificationThread::~NotificationThread() {
  stop();
}

void AliasManagerCommon::NotificationThread::start(
    qvjsonconfig::SynchronizedConfiguration& configuration) {
  configuration_ = &configuration;
  startThread();
}

void AliasManagerCommon::NotificationThread::stop() {
  stopThread([this] {
    if (configuration_ != nullptr) configuration_->stopNotifications();
  });
}

bool AliasManagerCommon::NotificationThread::step() {
  qvjsonconfig::SynchronizedConfiguration::Changes changes;
  if (!configuration_->waitForChanges(changes)) return false;
  // Listeners re-read what they need; they are told only that something changed.
  listeners_.notifyListeners();
  return true;
}

AliasManagerCommon::DirectoryMonitorThread::DirectoryMonitorThread() = default;

AliasManagerCommon::DirectoryMonitorThread::DirectoryMonitorThread(
    qvjsonconfig::ChangeSignal& signal, const std::string& directory) {
  start(signal, directory);
}

AliasManagerCommon::DirectoryMonitorThread::~DirectoryMonitorThread() {
  stop();
}

void AliasManagerCommon::DirectoryMonitorThread::start(qvjsonconfig::ChangeSignal& signal,
                                                       const std::string& directory) {
  monitor_ = std::make_unique<qvafa::DirectoryMonitor>(directory.c_str());
  signal_ = &signal;
  startThread();
}

void AliasManagerCommon::DirectoryMonitorThread::stop() {
  stopThread([this] {
    if (monitor_ != nullptr) monitor_->interrupt();
  });
  monitor_.reset();
}

bool AliasManagerCommon::DirectoryMonitorThread::step() {
  if (!monitor_->waitForChanges()) return false;
  if (!stopping()) signal_->signalChange();
  return true;
}

AliasManagerCommon::AliasManagerCommon(IAliasStorage& storage, IAliasConflicter& conflicter,
                                       IAliasVisibility* visibility)
    : storage_(storage),
      conflicter_(conflicter),
      visibility_(visibility),
      snapshot_(storage.getSnapshot()) {
  {
    qverr::ThrowingStatusRecord status;
    mutex_.create(&status);
  }
  storage_.addChangeListener(&changeHandler_);
}

AliasManagerCommon::~AliasManagerCommon() {
  try {
    storage_.removeChangeListener(&changeHandler_);
  } catch (...) {
    // Nothing to do about it while going away.
  }
}

void AliasManagerCommon::addChangeListener(IChangeNotificationHandler* listener) {
  storage_.addChangeListener(listener);
}

void AliasManagerCommon::removeChangeListener(IChangeNotificationHandler* listener) {
  storage_.removeChangeListener(listener);
}

std::string AliasManagerCommon::getAlias(const DeviceInfo& device) {
  std::string alias;
  {
    tMutexLock lock(mutex_);
    alias = snapshot_->getAlias(device.token);
  }
  // Only a stored alias needs the driver's word, which is asked outside the mutex.
  if (!alias.empty() && visibility_ != nullptr && !visibility_->showsAlias(device)) alias.clear();
  return alias;
}

void AliasManagerCommon::setAlias(const DeviceInfo& device, const std::string& alias,
                                  std::uint32_t mode, std::string& conflictingToken) {
  conflictingToken.clear();
  checkAlias(alias);
  if (visibility_ != nullptr && !visibility_->showsAlias(device)) {
    // It reads as having no alias already; what the file holds for it stays for when the driver
    // lets it show its alias again.
    if (alias.empty() || alias == device.pxiName) return;
    qverr::raise(qverr::kOperationNotSupported, kNoAliasOfItsOwn);
  }

  const std::shared_ptr<IAutoLockingAliasStorageDataCommitter> session = storage_.beginEdit();
  const std::shared_ptr<IAliasStorageData> data = session->getData();
  const std::string current = data->getAlias(device.token);
  if (current == alias) return;

  if (alias.empty() || alias == device.pxiName) {
    if (current.empty()) return;
    data->setAlias(device.token, std::string());
  } else {
    std::string answer = conflicter_.findConflict(*data, alias);
    if (!answer.empty() && !equalsIgnoringAsciiCase(answer, device.token)) {
      conflictingToken = std::move(answer);
      if (mode != kTakeOver) return;
      data->setAlias(conflictingToken, std::string());
    }
    data->setAlias(device.token, alias);
  }

  // The snapshot changes only once the file holds the change; the copy is made first so that
  // nothing can fail between the write and the exchange.
  std::shared_ptr<const IAliasStorageData> snapshot = data->clone();
  session->commit();
  adopt(std::move(snapshot));
}

void AliasManagerCommon::refreshSnapshot() {
  std::shared_ptr<const IAliasStorageData> replaced;
  {
    // Copied under the mutex: a set that adopts its own commit meanwhile waits, so an older copy
    // never replaces the snapshot it published.
    tMutexLock lock(mutex_);
    replaced = std::exchange(snapshot_, storage_.getSnapshot());
  }
  // `replaced` is released here, outside the mutex.
}

void AliasManagerCommon::adopt(std::shared_ptr<const IAliasStorageData> snapshot) {
  {
    tMutexLock lock(mutex_);
    snapshot_.swap(snapshot);
  }
  // `snapshot` now holds the old one, released here, outside the mutex.
}

}  // namespace qvkel
