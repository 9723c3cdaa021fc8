#pragma once
// One simulated module with the properties the attribute handlers read, its FPGA model, and the
// product's kernel proxy opened on its device node; test doubles of the session services.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devkit/AutoOpenCloseInterfaceProxy.h"
#include "devkit/Bitfile.h"
#include "devkit/PersonalityData.h"
#include "devkit/SessionServices.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace devkit_test {

using Proxy =
    qvkel::AutoOpenCloseInterfaceProxy<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor>;

struct SimulatedModule {
  static constexpr uint32_t kBus = 0x21, kDevice = 0x0C, kFunction = 3;

  SimulatedModule() {
    module.deviceInterface();
    module.setDeviceProperty("serialNumber", "01A2");
    module.setDevicePropertyU32("kelNumberOfSlots", 1);
    module.setBusPropertyU32("busType", 0x20706369);
    module.setDeviceProperty("kelProductName", "BRM-6812 (8 GB)");
    module.setDeviceProperty("kelFpgaTargetClass", "BRM-6812");
    module.setBusPropertyU32("numaNode", 1);
    module.setDeviceProperty("kelHardwareRevision", "C");
    module.setBusPropertyU32("pciVendorID", 0x1FA7);
    module.setBusPropertyU32("pciDeviceID", 0xC4C4);
    module.setBusPropertyU32("pciSubsystemID", 0x7A31);
    module.setBusPropertyU32("pciBusNumber", kBus);
    module.setBusPropertyU32("pciDeviceNumber", kDevice);
    module.setBusPropertyU32("pciFunctionNumber", kFunction);
    proxy = std::make_shared<Proxy>(device().nodePath().c_str());
  }

  sim::Interface& device() { return module.deviceInterface(); }
  // Commands the model received, in order.
  std::vector<uint32_t> commands() const {
    std::vector<uint32_t> out;
    for (const auto& e : module.findInterface(sim::kDeviceInterfaceName)->log())
      out.push_back(e.command);
    return out;
  }

  sim::Testbed testbed;
  sim::Module module{testbed, "brm0"};
  std::shared_ptr<Proxy> proxy;
};

// What the device generation's configurer does: the personality with the bitstream, 0x830A.
class ProxyConfigurer : public qvkel::IPersonalityConfigurer {
 public:
  ProxyConfigurer(std::shared_ptr<Proxy> proxy, std::shared_ptr<const qvkel::Bitfile> bitfile,
                  uint32_t openAttributes)
      : proxy_(std::move(proxy)), bitfile_(std::move(bitfile)), openAttributes_(openAttributes) {}
  void configure(bool* downloaded) override {
    ++calls;
    qvkel::PersonalityData data(*bitfile_, openAttributes_);
    qverr::ThrowingStatusRecord status;
    proxy_->command830A(reinterpret_cast<uint64_t>(data.getCommonData()),
                        static_cast<uint32_t>(data.getCommonDataSize()),
                        reinterpret_cast<uint64_t>(data.getFifoData()),
                        static_cast<uint32_t>(data.getFifoDataSize()),
                        reinterpret_cast<uint64_t>(data.getBitstream()),
                        static_cast<uint32_t>(data.getBitstreamSize()), downloaded, &status);
  }
  int calls = 0;

 private:
  std::shared_ptr<Proxy> proxy_;
  std::shared_ptr<const qvkel::Bitfile> bitfile_;
  uint32_t openAttributes_;
};

class Checker : public qvkel::ITargetClassChecker {
 public:
  bool isCompatible(const qvkel::Bitfile&) override {
    ++calls;
    return answer;
  }
  bool answer = true;
  int calls = 0;
};

}  // namespace devkit_test
