#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device/DmaFifos.h"
#include "sim/device/FpgaModel.h"
#include "sim/device/GenerationQueries.h"
#include "sim/device/HostMemory.h"
#include "sim/device/Interface.h"
#include "sim/device/RegisterFile.h"
#include "sim/kernel/Testbed.h"

namespace sim {

// One module instance of the simulated driver: its "/proc/driver/qv/<instance>" folder,
// properties, interfaces (each with a node file in "/dev/qv"), register file and driver
// attributes. Destruction removes the folder and the node files and detaches the interfaces:
// descriptors still open fail with ENODEV from then on. A module must not outlive its testbed.
class Module {
 public:
  Module(Testbed& testbed, std::string instance);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  Testbed& testbed() const { return testbed_; }
  const std::string& instance() const { return instance_; }

  // Adds an interface: its folder "<name>\<suffix>" with interfacePath naming the node
  // "/dev/qv/<instance>\<name>\<suffix>", and the bound node file. No handlers.
  Interface& addInterface(const std::string& name, const std::string& suffix = "0");
  // The device interface of this generation, added on first use with the register file
  // (0x01 read/write, 0x83 I/O 0x14-0x17) and driver-attribute (0x83 0x00-0x02) handlers,
  // the DMA engine and the host-memory regions.
  Interface& deviceInterface();
  DmaFifos& dmaFifos();
  // The 64-bit generation query of the device interface (0x040B).
  GenerationQueries& generationQueries();
  HostMemory& hostMemory();
  // The routing interface, added on first use (no handlers of its own yet).
  Interface& routingInterface();
  Interface* findInterface(const std::string& name) const;
  // The interface's folder and node go and its descriptors fail with ENODEV, as when the driver
  // drops it; the object itself stays, detached, until the module goes, since models built on
  // it (a CLIP, a synchronisation unit) still reach it when they are torn down.
  void removeInterface(const std::string& name);

  // Properties as raw bytes, and the common encodings.
  void setBusProperty(const std::string& name, std::string_view bytes);
  void setDeviceProperty(const std::string& name, std::string_view bytes);
  void setBusPropertyU32(const std::string& name, uint32_t value);
  void setDevicePropertyU32(const std::string& name, uint32_t value);
  void removeProperty(PropertySet set, const std::string& name);

  RegisterFile& registers() { return registers_; }
  // The FPGA behind the device interface, installed on first use.
  FpgaModel& fpga();

  // Driver attributes (read 0x83/0x00, write 0x83/0x01): a table of u32 values; an attribute
  // not in the table answers driver status kAttributeNotHandled. The flag is the u8 that
  // 0x83/0x02 reads: the validity of a descriptor, set while the module is usable; a test
  // clears it to make the driver report open descriptors stale.
  static constexpr int32_t kAttributeNotHandled = -63196;
  void setAttribute(uint32_t id, uint32_t value);
  void removeAttribute(uint32_t id);
  std::optional<uint32_t> attribute(uint32_t id) const;
  void setAttributeFlag(bool value);
  bool attributeFlag() const;

 private:
  void installDeviceHandlers(Interface& iface);

  Testbed& testbed_;
  std::string instance_;
  std::map<std::string, std::shared_ptr<Interface>> interfaces_;
  std::vector<std::shared_ptr<Interface>> removed_;
  // Destroyed before the interfaces they serve.
  std::unique_ptr<DmaFifos> dmaFifos_;
  std::unique_ptr<HostMemory> hostMemory_;
  std::unique_ptr<GenerationQueries> generationQueries_;
  RegisterFile registers_;
  mutable std::mutex attributesMutex_;
  std::map<uint32_t, uint32_t> attributes_;
  bool attributeFlag_ = true;
  std::unique_ptr<FpgaModel> fpga_;  // destroyed first: it hooks the registers
};

}  // namespace sim
