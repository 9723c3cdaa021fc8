#pragma once
// Finds a device of a device list by its token. Each device holds its list's resolver to hand
// back the sibling that holds a conflicting alias. Slots: the destructors, then findDevice.

namespace qvkel {

class IDevice;

class IDeviceResolver {
 public:
  virtual ~IDeviceResolver() = default;
  // The first device whose token equals `name`, ASCII letters compared without case; null when
  // none does. The device stays owned by the list.
  virtual IDevice* findDevice(const char* name) = 0;
};

}  // namespace qvkel
