#include "discovery/SynchronizedConfiguration.h"

#include <exception>

#include "discovery/AliasAttributeProvider.h"
#include "discovery/DeviceIterator.h"
#include "foundation/errors/Exception.h"

namespace qvjsonconfig {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tEvent;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

SynchronizedConfiguration::SynchronizedConfiguration(LockableFile& file,
                                                     DeviceIteratorFactoryInterface& devices,
                                                     AttributeProviderInterface& provider)
    : file_(file), devices_(devices), provider_(provider) {
  {
    qverr::ThrowingStatusRecord status;
    dataMutex_.create(&status);
    waitMutex_.create(&status);
    updateMutex_.create(&status);
    changeEvent_.create(true, &status);
  }
  reload();
}

void SynchronizedConfiguration::reload() {
  Changes ignored;
  reread(ignored);
}

SynchronizedConfiguration::~SynchronizedConfiguration() {
  stopNotifications();
}

void SynchronizedConfiguration::reread(Changes& changes) {
  std::unique_ptr<DeviceIteratorInterface> devices = devices_.create();
  Configuration configuration(file_, *devices, provider_, nullptr);
  auto fresh = std::make_unique<ConfigurationData>(configuration.getData());
  // Published before the file's lock is released: a commit can come only before the read or
  // after the publication, so an older text never replaces what a commit made current.
  tMutexLock lock(dataMutex_);
  if (current_ != nullptr) append(changes, computeChanges(*current_, *fresh));
  current_ = std::move(fresh);
}

void SynchronizedConfiguration::update(const ConfigurationData& data) {
  auto copy = std::make_unique<ConfigurationData>(data);
  tMutexLock updateLock(updateMutex_);
  {
    tMutexLock dataLock(dataMutex_);
    append(pending_, computeChanges(*current_, *copy));
    current_ = std::move(copy);
  }
  if (!pending_.empty()) changeEvent_.set();
}

std::unique_ptr<ConfigurationData> SynchronizedConfiguration::getSnapshot() {
  tMutexLock lock(dataMutex_);
  return std::make_unique<ConfigurationData>(*current_);
}

void SynchronizedConfiguration::signalChange() {
  changeEvent_.set();
}

bool SynchronizedConfiguration::waitForChanges(Changes& changes) {
  changes.clear();
  tMutexLock waitLock(waitMutex_);
  for (;;) {
    if (stop_) return false;
    {
      qverr::ThrowingStatusRecord status;
      changeEvent_.wait(tEvent::kWaitForever, &status);
    }
    if (stop_) return false;

    try {
      reread(changes);
    } catch (const std::exception&) {
      // A file that cannot be read now (being replaced, malformed) is read at the next signal;
      // the configuration session has reported why.
    }
    {
      tMutexLock updateLock(updateMutex_);
      append(changes, pending_);
      pending_.clear();
    }
    if (!changes.empty()) return true;
  }
}

void SynchronizedConfiguration::stopNotifications() {
  stop_ = true;
  changeEvent_.set();
  tMutexLock waitLock(waitMutex_);
}

SynchronizedConfiguration::Changes SynchronizedConfiguration::computeChanges(
    const ConfigurationData& older, const ConfigurationData& newer) {
  Changes changes;
  for (const auto& [token, entry] : newer.getEntries()) {
    const std::shared_ptr<DeviceEntry> before = older.findEntry(token);
    if (before == nullptr) {
      changes[kAdded].push_back(token);
    } else if (!(*before == *entry)) {
      changes[kChanged].push_back(token);
    }
  }
  for (const auto& [token, entry] : older.getEntries()) {
    if (newer.findEntry(token) == nullptr) changes[kRemoved].push_back(token);
  }
  return changes;
}

void SynchronizedConfiguration::append(Changes& to, const Changes& from) {
  for (const auto& [kind, tokens] : from) {
    std::vector<std::string>& list = to[kind];
    list.insert(list.end(), tokens.begin(), tokens.end());
  }
}

}  // namespace qvjsonconfig
