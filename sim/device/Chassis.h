#pragma once
// A simulated chassis: modules of the simulated driver described in a JSON file, and the
// maker's software as its installer leaves it on the machine.
//
// {"name": "...", "modules": [{
//    "instance": "brm0",                          folder under /proc/driver/qv (required)
//    "pci": {"bus": 3, "device": 0, "function": 0},                             (required)
//    "subsystemId": "0x7A12",                     model; numbers may be JSON numbers or
//    "vendorId", "deviceId", "subsystemVendorId", "revision", "numaNode",   "0x" hex texts
//    "serialNumber": "01A2B3C4", "slotPath": "PCI0/BUS3/DEV0",
//    "pxi": {"chassis": 1, "slot": 2} or null (in no PXI chassis),
//    "targetClass": "BRM-6812", "productName", "hardwareRevision", "numberOfSlots",
//    "capabilities": "minimal",                   what the CLIP reports: "minimal" (two
//                                                 analog inputs, the default) or "full"
//    "driverAttributes": {"1": 7}}]}              the driver's attribute table (ids as texts,
//                                                 decimal or "0x" hex); 1 is the legacy value
// Members left out keep the defaults of sim::ModuleDescription (productName: the target class).

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/device/ClipCapabilityProfiles.h"
#include "sim/device/Module.h"
#include "sim/device/ModuleDescription.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"

namespace sim {

class ClipController;
class SynchronisationUnit;

struct ChassisModule {
  std::string instance;
  ModuleDescription description;
  CapabilityProfile capabilities = CapabilityProfile::Minimal;
  std::map<uint32_t, uint32_t> driverAttributes;
};

struct ChassisDescription {
  std::string name;
  std::vector<ChassisModule> modules;
};

// Throws std::runtime_error naming the module and member that is wrong.
ChassisDescription parseChassis(const std::string& json);
ChassisDescription readChassis(const std::string& path);

// What the maker's installer leaves on the machine: the PXI query and route-configuration
// libraries, and the plug-in's state folder "/var/local/telmora/qv-vandrel" (world-writable,
// as every process of every user shares the alias file in it).
void installMakerSoftware(Testbed& testbed);

// The described modules, each with its device interface, published in the testbed and placed
// with the PXI query library stand-in. Removing the chassis removes its modules.
class Chassis {
 public:
  Chassis(Testbed& testbed, const ChassisDescription& description, const libs::QPxiControl& pxi);

  size_t size() const { return modules_.size(); }
  Module& module(size_t index) { return *modules_[index]; }
  const ChassisModule& description(size_t index) const { return description_.modules[index]; }
  // The module at a PCI address, or null.
  Module* find(uint32_t bus, uint32_t device, uint32_t function);
  // The CLIP of the module at that index, which answers its instruction-FIFO command.
  ClipController& clip(size_t index) { return *clips_[index]; }
  // Its synchronisation unit, which measures through that CLIP's synchronisation adjustment.
  SynchronisationUnit& synchronisation(size_t index) { return *synchronisation_[index]; }
  // The logs of every module's driver commands, CLIP instructions and synchronisation methods
  // (on by default); a long run turns them off so that they do not grow.
  void setLogging(bool enabled);

 private:
  ChassisDescription description_;
  std::vector<std::unique_ptr<Module>> modules_;
  // Each module's CLIP, synchronisation unit, session queries, stored slots and personality
  // driver, so that a device session opens on it.
  std::vector<std::shared_ptr<ClipController>> clips_;
  std::vector<std::shared_ptr<SynchronisationUnit>> synchronisation_;
  std::vector<std::shared_ptr<void>> sessionModels_;
};

}  // namespace sim
