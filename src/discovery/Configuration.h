#pragma once
// The alias file's content and one locked session on it.
//
// The file: {"version": 1, "oldest_compatible_version": 1, "devices": {token: {"alias": ...},
// ...}}, printed by cJSON (tab indentation). An empty file stands for one without devices.
// A session locks the file, reads and checks it, merges it with the modules present now and
// writes it back when that changed anything; destroying the session unlocks it.

#include <cjson/cJSON.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "discovery/JsonValueWrapper.h"

namespace qvjsonconfig {

class AttributeProviderInterface;
class DeviceIteratorInterface;
class LockableFile;

// Which attributes of an entry: those written to the file, or those kept only in memory.
enum AttributeSelector : std::int32_t {
  kRuntimeAttributes = 0,
  kPersistedAttributes = 1,
};

class DeviceEntry {
 public:
  // Both objects are borrowed from the data's trees.
  DeviceEntry(std::string token, cJSON* persisted, cJSON* runtime)
      : token_(std::move(token)), persisted_(persisted), runtime_(runtime) {}

  const std::string& getToken() const { return token_; }
  cJSON* getAttributes(AttributeSelector selector) const {
    return selector == kPersistedAttributes ? persisted_ : runtime_;
  }
  // Tokens byte-equal and both attribute objects printing the same.
  bool operator==(const DeviceEntry& other) const;

 private:
  std::string token_;
  cJSON* persisted_;
  cJSON* runtime_;
};

// Tokens are ordered and matched byte for byte, as C texts.
struct TokenLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::strcmp(a.c_str(), b.c_str()) < 0;
  }
};

class ConfigurationData {
 public:
  using Entries = std::map<std::string, std::shared_ptr<DeviceEntry>, TokenLess>;

  // A document without devices.
  ConfigurationData();
  // Deep copies; the copy's entries refer to the copy's own trees.
  ConfigurationData(const ConfigurationData& other);
  ConfigurationData& operator=(const ConfigurationData& other);
  ~ConfigurationData();

  std::shared_ptr<DeviceEntry> findEntry(const std::string& token) const;
  // -1074097793 naming the token when there is none.
  std::shared_ptr<DeviceEntry> getEntry(const std::string& token) const;
  // Takes both objects; -52013 naming the token when it has an entry already.
  void addEntry(const std::string& token, qvjsonlh::JsonPtr persisted, qvjsonlh::JsonPtr runtime);
  // -1074097793 naming the token when there is none.
  void removeEntry(const std::string& token);

  // The "devices" object (persisted) or the runtime object.
  cJSON* getRoot(AttributeSelector selector) const;
  // The whole document as it is written.
  const cJSON* getDocument() const { return document_.get(); }
  const Entries& getEntries() const { return entries_; }

 private:
  qvjsonlh::JsonPtr document_;
  qvjsonlh::JsonPtr runtime_;
  Entries entries_;
};

// Told about every write of a configuration session.
class UpdateableInterface {
 public:
  virtual void update(const ConfigurationData& data) = 0;
  virtual ~UpdateableInterface() = default;
};

class Configuration {
 public:
  // The version this software writes, and the oldest one it reads.
  static constexpr std::uint32_t kSupportedVersion = 1;
  static constexpr std::uint32_t kOldestCompatibleVersion = 1;

  // Locks the file, loads it and commits; on failure the file is unlocked again. The
  // iterator and provider are used only here; `target` (may be null) is told of every write.
  Configuration(LockableFile& file, DeviceIteratorInterface& devices,
                AttributeProviderInterface& provider, UpdateableInterface* target);
  // Unlocks without committing.
  virtual ~Configuration();
  Configuration(const Configuration&) = delete;
  Configuration& operator=(const Configuration&) = delete;

  // Writes the document when it differs from what the file held.
  void commit();
  ConfigurationData& getData() { return data_; }

 private:
  void load(DeviceIteratorInterface& devices, AttributeProviderInterface& provider);

  ConfigurationData data_;
  LockableFile& file_;
  qvjsonlh::JsonPtr pristine_;
  UpdateableInterface* target_;
};

}  // namespace qvjsonconfig
