#pragma once
// One module as the host sees it in a device list: its name, alias, a legacy register value
// and new FPGA sessions. The host calls by slot: the order below is the interface.

#include <cstdint>

namespace nQVVUSKS100 {
struct tStatus;
}

namespace qvkel {

class IFpgaSession;

class IDevice {
 public:
  using tStatus = nQVVUSKS100::tStatus;

  virtual uint32_t reserved0() = 0;  // 0: answers 0
  // The module's token; the argument is not examined.
  virtual const char* getName(const void* unused) = 0;  // 1
  // The module's device number.
  virtual uint64_t getDescriptorField5() = 0;                   // 2
  virtual void setLegacyValue(uint32_t value, tStatus* s) = 0;  // 3
  // 0xFFFFFFFF when it cannot be read.
  virtual uint32_t getLegacyValue() = 0;  // 4
  virtual uint32_t reserved5() = 0;       // 5: answers 1
  // "PXI<chassis>Slot<slot>" for a module in a PXI chassis, else empty.
  virtual const char* getDescriptorText2() = 0;  // 6
  // Null when aliases are not supported. Valid until the next alias call on this device.
  virtual const char* getAlias() = 0;  // 7
  // With mode 0 a name another device holds is refused (-52013) and that device handed back
  // in `holder` when asked; mode 1 takes the name over.
  virtual void setAlias(const char* name, uint32_t mode, IDevice** holder, tStatus* s) = 0;  // 8
  // A new, closed FPGA session of interface version 0 to 5; the host owns it.
  virtual IFpgaSession* createFpgaSession(uint32_t version, tStatus* s) = 0;  // 9
  virtual ~IDevice() = default;                                               // 10, 11
};

}  // namespace qvkel
