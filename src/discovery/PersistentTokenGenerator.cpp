#include "discovery/PersistentTokenGenerator.h"

#include <array>
#include <cstdint>
#include <exception>

namespace qvkel {

namespace {

// Three numeric bus properties, read in this order.
std::array<std::uint32_t, 3> readBusNumbers(qvjsonconfig::DeviceIteratorInterface& device,
                                            const std::array<const char*, 3>& names) {
  std::array<std::uint32_t, 3> values{};
  for (size_t i = 0; i < names.size(); ++i) device.getBusPropertyU32(names[i], values[i]);
  return values;
}

std::string modelOf(qvjsonconfig::DeviceIteratorInterface& device,
                    const IPciModelNameIdentifier& models) {
  const auto [vendor, deviceId, subsystem] =
      readBusNumbers(device, {"pciVendorID", "pciDeviceID", "pciSubsystemID"});
  return models.getModelName(static_cast<std::int32_t>(vendor), static_cast<std::int32_t>(deviceId),
                             static_cast<std::int32_t>(subsystem));
}

constexpr std::uint32_t kChassisNumber = 0x1000;
constexpr std::uint32_t kSlotNumber = 0x2008;
constexpr std::uint32_t kNotPlaced = 0xFFFFFFFF;

}  // namespace

std::string makePxiToken(const std::string& model, std::uint32_t chassis, std::uint32_t slot) {
  return "Model=" + model + ";Chassis=" + std::to_string(chassis) + ";Slot=" + std::to_string(slot);
}

std::string makePciToken(const std::string& model, const std::string& slotPath) {
  return "Model=" + model + ";PCISlotPath=" + slotPath.c_str();
}

std::string PersistentTokenGeneratorPci::generate(qvjsonconfig::DeviceIteratorInterface& device) {
  std::string slotPath;
  device.getBusPropertyString("pciSlotPath", slotPath);
  return makePciToken(modelOf(device, models_), slotPath);
}

std::string PersistentTokenGeneratorPxi::generate(qvjsonconfig::DeviceIteratorInterface& device) {
  if (pxi_.loaded) {
    try {
      const auto [bus, deviceNumber, function] =
          readBusNumbers(device, {"pciBusNumber", "pciDeviceNumber", "pciFunctionNumber"});
      // The session outlives the device item, which is closed first, also after a failed read.
      const qvqpxi::Session session = qvqpxi::openPXISession(0, pxi_);
      std::uint32_t chassis = 0;
      std::uint32_t slot = 0;
      {
        const qvqpxi::Device item = session.openDeviceByAddr({0, bus, deviceNumber, function});
        chassis = item.getU32Attribute(kChassisNumber);
        slot = item.getU32Attribute(kSlotNumber);
      }
      if (chassis != kNotPlaced && slot != kNotPlaced) {
        return makePxiToken(modelOf(device, models_), chassis, slot);
      }
    } catch (const std::exception&) {
      // Any failure of the attempt means the module is not placed.
    }
  }
  return PersistentTokenGeneratorPci(models_).generate(device);
}

}  // namespace qvkel
