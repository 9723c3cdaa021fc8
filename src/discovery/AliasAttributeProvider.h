#pragma once
// What a configuration session asks of its collaborators for each present module: the
// attributes of its entry (here: a default alias when it has none) and the default alias.

#include <cjson/cJSON.h>

#include <string>

namespace qvjsonconfig {

class ConfigurationData;
class DeviceIteratorInterface;

class AliasFactoryInterface {
 public:
  virtual ~AliasFactoryInterface() = default;
  virtual std::string createAlias(DeviceIteratorInterface& device, ConfigurationData& data) = 0;
};

class AttributeProviderInterface {
 public:
  virtual ~AttributeProviderInterface() = default;
  // `device` is null for an entry of a module that is not present.
  virtual void provideAttributes(DeviceIteratorInterface* device, ConfigurationData& data,
                                 cJSON* persisted, cJSON* runtime) = 0;
};

// Gives a present module without an "alias" member the factory's alias.
class AliasAttributeProvider : public AttributeProviderInterface {
 public:
  explicit AliasAttributeProvider(AliasFactoryInterface& factory) : factory_(factory) {}
  AliasAttributeProvider(const AliasAttributeProvider&) = delete;
  AliasAttributeProvider& operator=(const AliasAttributeProvider&) = delete;

  void provideAttributes(DeviceIteratorInterface* device, ConfigurationData& data, cJSON* persisted,
                         cJSON* runtime) override;

 private:
  AliasFactoryInterface& factory_;
};

// Default aliases: the prefix followed by the smallest number n >= 1 whose alias no entry
// holds yet (compared without regard to case).
class SimpleAliasFactory : public AliasFactoryInterface {
 public:
  // The prefix is borrowed and must outlive the factory.
  explicit SimpleAliasFactory(const char* prefix) : prefix_(prefix) {}
  SimpleAliasFactory(const SimpleAliasFactory&) = delete;
  SimpleAliasFactory& operator=(const SimpleAliasFactory&) = delete;

  std::string createAlias(DeviceIteratorInterface& device, ConfigurationData& data) override;
  // -52004 when a stored "alias" is not a string.
  virtual std::string makeUniqueAlias(ConfigurationData& data);

 private:
  const char* prefix_;
};

}  // namespace qvjsonconfig
