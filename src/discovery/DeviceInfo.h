#pragma once
// One module as the device manager describes it. Snapshots hand it out in shared ownership to
// the device objects, the session factory and the alias machinery; nobody changes it afterwards.

#include <cstdint>
#include <string>

namespace qvkel {

class DeviceInfo {
 public:
  // The persistent token: the module's key in the alias file, and the name the device list
  // finds it by.
  std::string token;
  // "PXI<chassis>Slot<slot>" for a module the PXI query library places; empty otherwise. The
  // alias rules treat it as the module's own device name.
  std::string pxiName;
  // 0x10000000 | bus << 16 | (255 - device) << 8 | function.
  std::uint32_t deviceNumber = 0;
  // The device interface's path as the driver reports it; the key a module is opened by.
  std::string interfacePath;
  // The device-interface name the device manager enumerates (a static text).
  const char* interfaceName = nullptr;
};

}  // namespace qvkel
