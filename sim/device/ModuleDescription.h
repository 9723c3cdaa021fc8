#pragma once
// A module's identity as its driver instance publishes it: the bus and device properties of
// "/proc/driver/qv/<instance>", given as plain values by a test (or read from a chassis file)
// and written with the driver's encodings (numbers as 4-byte little-endian values, texts
// with their terminating NUL). Knobs leave a property out or make its file unreadable.

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "sim/device/Module.h"
#include "sim/libs/MakerLibraries.h"

namespace sim {

namespace property {
// Bus properties.
inline constexpr const char* kPciBusNumber = "pciBusNumber";
inline constexpr const char* kPciDeviceNumber = "pciDeviceNumber";
inline constexpr const char* kPciFunctionNumber = "pciFunctionNumber";
inline constexpr const char* kPciVendorId = "pciVendorID";
inline constexpr const char* kPciDeviceId = "pciDeviceID";
inline constexpr const char* kPciSubsystemVendorId = "pciSubsystemVendorID";
inline constexpr const char* kPciSubsystemId = "pciSubsystemID";
inline constexpr const char* kPciRevision = "pciRevision";
inline constexpr const char* kPciSlotPath = "pciSlotPath";
inline constexpr const char* kBusType = "busType";
inline constexpr const char* kNumaNode = "numaNode";
// Device properties.
inline constexpr const char* kSerialNumber = "serialNumber";
inline constexpr const char* kNumberOfSlots = "kelNumberOfSlots";
inline constexpr const char* kProductName = "kelProductName";
inline constexpr const char* kFpgaTargetClass = "kelFpgaTargetClass";
inline constexpr const char* kHardwareRevision = "kelHardwareRevision";
}  // namespace property

struct ModuleDescription {
  static constexpr uint32_t kBusTypePci = 0x20706369;  // "pci " read as little-endian

  uint32_t pciBus = 3;
  uint32_t pciDevice = 0;
  uint32_t pciFunction = 0;
  uint32_t vendorId = 0x1FA7;
  uint32_t deviceId = 0xC4C4;
  uint32_t subsystemVendorId = 0x1FA7;
  uint32_t subsystemId = 0x7A12;
  uint32_t revision = 0;
  std::string slotPath = "PCI0/BUS3/DEV0";
  uint32_t busType = kBusTypePci;
  uint32_t numaNode = 0;

  std::string serialNumber = "01A2B3C4";
  uint32_t numberOfSlots = 1;
  std::string productName = "BRM-6812";
  std::string fpgaTargetClass = "BRM-6812";
  std::string hardwareRevision = "A";

  // Where a PXI query library places the module; unplaced when either is empty.
  std::optional<uint32_t> chassis;
  std::optional<uint32_t> slot;

  // Property names (of either set) that are not published at all.
  std::set<std::string> missing;
  // Property names whose file exists but cannot be read (reading it is an I/O error).
  std::set<std::string> unreadable;
};

// Publishes the description in the module's property folders, replacing what was there.
void describe(Module& module, const ModuleDescription& description);
// The same, and tells the PXI query library stand-in where the module sits (by its PCI
// address) when the description places it.
void describe(Module& module, const ModuleDescription& description, const libs::QPxiControl& pxi);

}  // namespace sim
