#pragma once
// Alias storage over the shared JSON alias file: snapshots from the synchronized configuration,
// edit sessions as configuration sessions, listeners with the configuration-change thread.

#include <memory>
#include <string>

#include "discovery/AliasManagerCommon.h"
#include "discovery/Configuration.h"
#include "discovery/IAliasStorage.h"

namespace qvjsonconfig {
class AttributeProviderInterface;
class DeviceIteratorFactoryInterface;
class LockableFile;
class SynchronizedConfiguration;
}  // namespace qvjsonconfig

namespace qvkel {

class AliasStorageDataJsonconfig : public IAliasStorageData {
 public:
  // Owns the data.
  explicit AliasStorageDataJsonconfig(std::unique_ptr<qvjsonconfig::ConfigurationData> data);
  // Borrows it.
  explicit AliasStorageDataJsonconfig(qvjsonconfig::ConfigurationData& data);
  ~AliasStorageDataJsonconfig() override;
  AliasStorageDataJsonconfig(const AliasStorageDataJsonconfig&) = delete;
  AliasStorageDataJsonconfig& operator=(const AliasStorageDataJsonconfig&) = delete;

  std::string getAlias(const std::string& token) const override;
  // Entries without an alias (those of absent modules may lack one) are passed over.
  std::string findTokenByAlias(const std::string& alias,
                               const TokenFilter& passOver = {}) const override;
  void setAlias(const std::string& token, const std::string& alias) override;
  std::shared_ptr<IAliasStorageData> clone() const override;

 private:
  qvjsonconfig::ConfigurationData* data_;
  bool owned_;
};

class AutoLockingAliasStorageDataCommitterJsonconfig
    : public IAutoLockingAliasStorageDataCommitter {
 public:
  // Opens a configuration session: locks the file, reads and merges it. The target (borrowed,
  // may be null) is told of every write.
  AutoLockingAliasStorageDataCommitterJsonconfig(
      qvjsonconfig::LockableFile& file, qvjsonconfig::DeviceIteratorInterface& devices,
      qvjsonconfig::AttributeProviderInterface& provider,
      qvjsonconfig::UpdateableInterface* target = nullptr);
  // Releases the data, then the session (unlocking the file).
  ~AutoLockingAliasStorageDataCommitterJsonconfig() override;
  AutoLockingAliasStorageDataCommitterJsonconfig(
      const AutoLockingAliasStorageDataCommitterJsonconfig&) = delete;
  AutoLockingAliasStorageDataCommitterJsonconfig& operator=(
      const AutoLockingAliasStorageDataCommitterJsonconfig&) = delete;

  std::shared_ptr<IAliasStorageData> getData() override { return data_; }
  void commit() override { configuration_.commit(); }

 private:
  qvjsonconfig::Configuration configuration_;
  std::shared_ptr<AliasStorageDataJsonconfig> data_;
};

class AliasStorageJsonconfig : public IAliasStorage {
 public:
  // Everything is borrowed; listeners are kept by the configuration-change thread.
  AliasStorageJsonconfig(qvjsonconfig::LockableFile& file,
                         qvjsonconfig::SynchronizedConfiguration& configuration,
                         qvjsonconfig::DeviceIteratorFactoryInterface& devices,
                         qvjsonconfig::AttributeProviderInterface& provider,
                         AliasManagerCommon::NotificationThread& listeners)
      : file_(file),
        configuration_(configuration),
        devices_(devices),
        provider_(provider),
        listeners_(listeners) {}
  AliasStorageJsonconfig(const AliasStorageJsonconfig&) = delete;
  AliasStorageJsonconfig& operator=(const AliasStorageJsonconfig&) = delete;

  void addChangeListener(IChangeNotificationHandler* listener) override;
  void removeChangeListener(IChangeNotificationHandler* listener) override;
  std::shared_ptr<IAliasStorageData> getSnapshot() override;
  // The session's writes become the synchronized configuration's content as they are made.
  std::shared_ptr<IAutoLockingAliasStorageDataCommitter> beginEdit() override;

 private:
  qvjsonconfig::LockableFile& file_;
  qvjsonconfig::SynchronizedConfiguration& configuration_;
  qvjsonconfig::DeviceIteratorFactoryInterface& devices_;
  qvjsonconfig::AttributeProviderInterface& provider_;
  AliasManagerCommon::NotificationThread& listeners_;
};

}  // namespace qvkel
