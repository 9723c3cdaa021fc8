#include "discovery/PersistentTokenGenerator.h"

#include <cstdint>

namespace qvkel {

namespace {

std::string modelOf(qvjsonconfig::DeviceIteratorInterface& device,
                    const IPciModelNameIdentifier& models) {
  std::uint32_t vendor = 0;
  std::uint32_t deviceId = 0;
  std::uint32_t subsystem = 0;
  device.getBusPropertyU32("pciVendorID", vendor);
  device.getBusPropertyU32("pciDeviceID", deviceId);
  device.getBusPropertyU32("pciSubsystemID", subsystem);
  return models.getModelName(static_cast<std::int32_t>(vendor), static_cast<std::int32_t>(deviceId),
                             static_cast<std::int32_t>(subsystem));
}

}  // namespace

std::string PersistentTokenGeneratorPci::generate(qvjsonconfig::DeviceIteratorInterface& device) {
  std::string slotPath;
  device.getBusPropertyString("pciSlotPath", slotPath);
  const std::string model = modelOf(device, models_);
  return "Model=" + model + ";PCISlotPath=" + slotPath.c_str();
}

}  // namespace qvkel
