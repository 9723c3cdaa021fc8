#pragma once
// Device iterators whose key is the module's persistent token.

#include <memory>

#include "discovery/DeviceIterator.h"
#include "discovery/PersistentTokenGenerator.h"

namespace qvkel {

class DeviceIteratorCustomPersistentToken : public qvjsonconfig::VUSKDeviceIterator {
 public:
  // The generator is borrowed.
  DeviceIteratorCustomPersistentToken(const char* interfaceName, IPersistentTokenGenerator& tokens)
      : VUSKDeviceIterator(interfaceName), tokens_(tokens) {}

  std::string getKey() override { return tokens_.generate(*this); }

 private:
  IPersistentTokenGenerator& tokens_;
};

class DeviceIteratorFactoryCustomPersistentToken : public qvjsonconfig::VUSKDeviceIteratorFactory {
 public:
  // The name and the generator are borrowed.
  DeviceIteratorFactoryCustomPersistentToken(const char* interfaceName,
                                             IPersistentTokenGenerator& tokens)
      : VUSKDeviceIteratorFactory(interfaceName), tokens_(tokens) {}

  std::unique_ptr<qvjsonconfig::DeviceIteratorInterface> create() override {
    return std::make_unique<DeviceIteratorCustomPersistentToken>(interfaceName_, tokens_);
  }

 private:
  IPersistentTokenGenerator& tokens_;
};

}  // namespace qvkel
