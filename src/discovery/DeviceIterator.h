#pragma once
// Walking the modules present now, for the configuration store: each position gives the
// module's properties, its interface path and driver name, and its key in the alias file.

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/driver/tDeviceInterfaceIterator.h"

namespace qvjsonconfig {

class DeviceIteratorInterface {
 public:
  virtual ~DeviceIteratorInterface() = default;
  // Property reads of the current module; a failure is thrown as qverr::Exception with the
  // platform's status (-52006 for a property that does not exist).
  virtual void getBusPropertyString(const char* name, std::string& value) = 0;
  virtual void getBusPropertyU32(const char* name, std::uint32_t& value) = 0;
  virtual void getDevicePropertyString(const char* name, std::string& value) = 0;
  virtual void getDevicePropertyU32(const char* name, std::uint32_t& value) = 0;
  virtual std::string getInterfacePath() = 0;
  // The module's key in the configuration file.
  virtual std::string getKey() = 0;
  virtual std::string getDriverName() = 0;
  virtual void next() = 0;
  virtual bool isEnd() = 0;
};

// Over the kernel driver's device interfaces of one name. Its key is the platform key:
// "PCI:VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X/" followed by the PCI slot path.
class VUSKDeviceIterator : public DeviceIteratorInterface {
 public:
  explicit VUSKDeviceIterator(const char* interfaceName);
  ~VUSKDeviceIterator() override;
  VUSKDeviceIterator(const VUSKDeviceIterator&) = delete;
  VUSKDeviceIterator& operator=(const VUSKDeviceIterator&) = delete;

  void getBusPropertyString(const char* name, std::string& value) override;
  void getBusPropertyU32(const char* name, std::uint32_t& value) override;
  void getDevicePropertyString(const char* name, std::string& value) override;
  void getDevicePropertyU32(const char* name, std::uint32_t& value) override;
  std::string getInterfacePath() override;
  std::string getKey() override;
  std::string getDriverName() override;
  void next() override;
  bool isEnd() override;

 private:
  std::unique_ptr<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator> iterator_;
};

class DeviceIteratorFactoryInterface {
 public:
  virtual ~DeviceIteratorFactoryInterface() = default;
  virtual std::unique_ptr<DeviceIteratorInterface> create() = 0;
};

class VUSKDeviceIteratorFactory : public DeviceIteratorFactoryInterface {
 public:
  // The name is borrowed and must outlive the factory.
  explicit VUSKDeviceIteratorFactory(const char* interfaceName) : interfaceName_(interfaceName) {}
  VUSKDeviceIteratorFactory(const VUSKDeviceIteratorFactory&) = delete;
  VUSKDeviceIteratorFactory& operator=(const VUSKDeviceIteratorFactory&) = delete;

  std::unique_ptr<DeviceIteratorInterface> create() override;

 protected:
  const char* interfaceName_;
};

}  // namespace qvjsonconfig
