#pragma once
// The host's handle on one enumerated module: its token and PXI name, its alias, the legacy
// register value and new FPGA sessions. The device list makes one per module on each refresh;
// the descriptor is shared, the session factory, the alias manager and the list's resolver are
// not owned.

#include <cstdint>
#include <memory>
#include <string>

#include "devkit/SessionServices.h"
#include "discovery/DeviceInfo.h"
#include "discovery/IAliasManager.h"
#include "qvkel/IDevice.h"
#include "qvkel/IDeviceResolver.h"

namespace qvkel {

class Device final : public IDevice {
 public:
  static constexpr uint32_t kUnknownLegacyValue = 0xFFFFFFFF;
  static constexpr uint32_t kNewestSessionVersion = 5;
  // The legacy session's attribute that holds the value.
  static constexpr uint32_t kLegacyValueAttribute = 1;

  Device(std::shared_ptr<const DeviceInfo> info, ISessionFactory* sessionFactory,
         IAliasManager* aliasManager, IDeviceResolver* resolver);
  ~Device() override = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  uint32_t reserved0() override { return 0; }
  const char* getName(const void*) override { return info_->token.c_str(); }
  uint64_t getDescriptorField5() override { return info_->deviceNumber; }
  void setLegacyValue(uint32_t value, tStatus* s) override;
  uint32_t getLegacyValue() override;
  uint32_t reserved5() override { return 1; }
  const char* getDescriptorText2() override { return info_->pxiName.c_str(); }
  const char* getAlias() override;
  void setAlias(const char* name, uint32_t mode, IDevice** holder, tStatus* s) override;
  IFpgaSession* createFpgaSession(uint32_t version, tStatus* s) override;

  const std::shared_ptr<const DeviceInfo>& info() const { return info_; }

 private:
  std::shared_ptr<const DeviceInfo> info_;
  ISessionFactory* sessionFactory_;
  IAliasManager* aliasManager_;
  IDeviceResolver* resolver_;
  uint32_t legacyValue_ = kUnknownLegacyValue;
  std::string alias_;
};

}  // namespace qvkel
