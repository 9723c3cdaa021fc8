#pragma once
// The host side of the plug-in, written from its host-facing interfaces only: the library
// loaded by path with dlopen, its three entry points looked up by name, and the device list
// read into plain rows. The host program and the end-to-end tests use it.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errors/Status.h"
#include "qvkel/IDevice.h"
#include "qvkel/IDeviceList.h"
#include "qvkel/Plugin.h"

namespace sim::host {

class PluginLibrary {
 public:
  // Loads the library; throws std::runtime_error with the loader's message when it cannot, or
  // when an entry point is missing.
  explicit PluginLibrary(const std::string& path);
  // Unloads the library.
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  int32_t initialize() const { return initialize_(); }
  int32_t getInterface(uint32_t version, void** interfaceOut) const {
    return getInterface_(version, interfaceOut);
  }
  int32_t finalize() const { return finalize_(); }
  // Version 0 as the device list; null with the code in `code` on failure.
  qvkel::IDeviceList* deviceList(int32_t* code) const;

 private:
  void* handle_;
  qvkel_initializePlugin_t initialize_;
  qvkel_getPluginInterface_t getInterface_;
  qvkel_finalizePlugin_t finalize_;
};

// One module as a user sees it.
struct DeviceRow {
  std::string token;
  std::string pxiName;
  std::string alias;
  uint64_t deviceNumber = 0;
  // The "Model=" part of the token.
  std::string model;
};

// The list's devices in list order, read through their interfaces.
std::vector<DeviceRow> readDevices(qvkel::IDeviceList& list);

// The PCI address a device number encodes: 0x10000000 | bus << 16 | (255 - device) << 8 |
// function.
struct PciAddress {
  uint32_t bus, device, function;
};
PciAddress pciAddressOf(uint64_t deviceNumber);

// A status code with what it means, for messages: "-52006 (not found)".
std::string describeCode(int64_t code);

}  // namespace sim::host
