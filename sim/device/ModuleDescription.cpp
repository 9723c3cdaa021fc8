#include "sim/device/ModuleDescription.h"

#include <cstring>
#include <filesystem>
#include <string_view>

namespace sim {

namespace {

struct Writer {
  Module& module;
  const ModuleDescription& description;

  std::string file(PropertySet set, const char* name) const {
    return module.testbed().path(
        "/proc/driver/qv/" + module.instance() +
        (set == PropertySet::Bus ? "/busProperties/" : "/deviceProperties/") + name);
  }

  // Clears what was there; true when the property is to be written.
  bool prepare(PropertySet set, const char* name) const {
    std::error_code ec;
    std::filesystem::remove(file(set, name), ec);
    if (description.missing.count(name) != 0) return false;
    if (description.unreadable.count(name) != 0) {
      // A folder in place of the file: it opens, and every read of it fails.
      std::filesystem::create_directories(file(set, name));
      return false;
    }
    return true;
  }

  void u32(PropertySet set, const char* name, uint32_t value) const {
    if (!prepare(set, name)) return;
    char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    put(set, name, std::string_view(bytes, 4));
  }

  void text(PropertySet set, const char* name, const std::string& value) const {
    if (!prepare(set, name)) return;
    put(set, name, std::string_view(value.c_str(), value.size() + 1));
  }

  void put(PropertySet set, const char* name, std::string_view bytes) const {
    if (set == PropertySet::Bus) {
      module.setBusProperty(name, bytes);
    } else {
      module.setDeviceProperty(name, bytes);
    }
  }
};

}  // namespace

void describe(Module& module, const ModuleDescription& description) {
  const Writer w{module, description};
  namespace p = property;
  const PropertySet bus = PropertySet::Bus;
  const PropertySet dev = PropertySet::Device;
  w.u32(bus, p::kPciBusNumber, description.pciBus);
  w.u32(bus, p::kPciDeviceNumber, description.pciDevice);
  w.u32(bus, p::kPciFunctionNumber, description.pciFunction);
  w.u32(bus, p::kPciVendorId, description.vendorId);
  w.u32(bus, p::kPciDeviceId, description.deviceId);
  w.u32(bus, p::kPciSubsystemVendorId, description.subsystemVendorId);
  w.u32(bus, p::kPciSubsystemId, description.subsystemId);
  w.u32(bus, p::kPciRevision, description.revision);
  w.text(bus, p::kPciSlotPath, description.slotPath);
  w.u32(bus, p::kBusType, description.busType);
  w.u32(bus, p::kNumaNode, description.numaNode);
  w.text(dev, p::kSerialNumber, description.serialNumber);
  w.u32(dev, p::kNumberOfSlots, description.numberOfSlots);
  w.text(dev, p::kProductName, description.productName);
  w.text(dev, p::kFpgaTargetClass, description.fpgaTargetClass);
  w.text(dev, p::kHardwareRevision, description.hardwareRevision);
}

void describe(Module& module, const ModuleDescription& description, const libs::QPxiControl& pxi) {
  describe(module, description);
  if (description.chassis && description.slot) {
    pxi.addDevice(description.pciBus, description.pciDevice, description.pciFunction,
                  *description.chassis, *description.slot);
  }
}

}  // namespace sim
