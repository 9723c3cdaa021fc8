#include "session/PciModelNameIdentifierCodegen.h"

namespace qvvandrelbrenmoork {

namespace {

struct ModelRow {
  std::uint16_t subsystemId;
  const char* name;
};

constexpr ModelRow kModels[] = {
    {0x7A10, "BRM-6810"}, {0x7A11, "BRM-6811"}, {0x7A12, "BRM-6812"}, {0x7A13, "BRM-6813"},
    {0x7A14, "BRM-6814"}, {0x7A15, "BRM-6815"}, {0x7A16, "BRM-6816"}, {0x7A17, "BRM-6817"},
    {0x7A18, "BRM-6818"}, {0x7A20, "BRM-6820"}, {0x7A21, "BRM-6821"}, {0x7A22, "BRM-6822"},
    {0x7A30, "BRM-6830"}, {0x7A31, "BRM-6831"}, {0x7A40, "BRM-6840"}, {0x7A41, "BRM-6841"},
    {0x7A50, "BRM-6850"},
};
static_assert(sizeof kModels / sizeof kModels[0] == 17);

const PciModelNameIdentifierCodegen kInstance;

}  // namespace

std::string PciModelNameIdentifierCodegen::getModelName(std::int32_t vendorId,
                                                        std::int32_t deviceId,
                                                        std::int32_t subsystemId) const {
  if (vendorId == kVendorId && deviceId == kDeviceId) {
    for (const ModelRow& row : kModels) {
      if (row.subsystemId == subsystemId) return row.name;
    }
  }
  return kUnknownDevice;
}

const PciModelNameIdentifierCodegen& pciModelNameIdentifier() {
  return kInstance;
}

}  // namespace qvvandrelbrenmoork
