#pragma once

#include <cstdint>
#include <string>

#include "discovery/IPciModelNameIdentifier.h"

namespace qvvandrelbrenmoork {

// The model names of this generation's modules, by PCI subsystem id; every one has vendor
// 0x1FA7 and device 0xC4C4. Anything else is "Unknown device".
class PciModelNameIdentifierCodegen : public qvkel::IPciModelNameIdentifier {
 public:
  static constexpr std::int32_t kVendorId = 0x1FA7;
  static constexpr std::int32_t kDeviceId = 0xC4C4;
  static constexpr const char* kUnknownDevice = "Unknown device";

  std::string getModelName(std::int32_t vendorId, std::int32_t deviceId,
                           std::int32_t subsystemId) const override;
};

// The process's one instance, made when the library is loaded.
const PciModelNameIdentifierCodegen& pciModelNameIdentifier();

}  // namespace qvvandrelbrenmoork
