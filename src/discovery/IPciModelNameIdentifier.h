#pragma once

#include <cstdint>
#include <string>

namespace qvkel {

// Names a module's model from its PCI identity. Discovery uses it; the plug-in supplies this
// generation's table.
class IPciModelNameIdentifier {
 public:
  virtual ~IPciModelNameIdentifier() = default;
  virtual std::string getModelName(std::int32_t vendorId, std::int32_t deviceId,
                                   std::int32_t subsystemId) const = 0;
};

}  // namespace qvkel
