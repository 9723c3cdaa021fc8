#pragma once
// A user session on a simulated module whose bitfile names the registers of a test design,
// the session transport over it, and the module's CLIP controller, status queries and
// synchronisation unit.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "clip/InstructionFifo.h"
#include "devkit/AttributeHandlers.h"
#include "devkit/Fpga.h"
#include "devkit/IoAccessor.h"
#include "devkit/Session.h"
#include "foundation/driver/tDeviceInterfaceIterator.h"
#include "session/SessionTransport.h"
#include "sim/device/ClipController.h"
#include "sim/device/DeviceStatus.h"
#include "sim/device/FpgaModel.h"
#include "sim/device/SynchronisationUnit.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace sessiontest {

// Driver commands of the register accessor.
inline constexpr uint32_t kRead32 = 0x80208316, kWrite32 = 0x40208317;
inline constexpr uint32_t kReadBlock = 0x80208314, kWriteBlock = 0x40208315;
// The control register (base 0x8000 + WexControl 0x4), which the bus-status check reads.
inline constexpr uint32_t kControlRegister = 0x8004;

// One register of the test design.
inline qvsim::RegisterSpec designRegister(const char* name, uint32_t offset, const char* type,
                                          bool checked = false) {
  qvsim::RegisterSpec reg(name, offset, type);
  reg.accessMayTimeout = checked;
  return reg;
}

class SessionTestbed : public ::testing::Test {
 protected:
  SessionTestbed() {
    nQVVUSKS100::tStatus status;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &status);
    handler = qvkel::makeAttributeHandlerChain(iterator, nullptr, sim.proxy);
  }

  // Opens the session on a design with `registers` (beside the internal ones), with the
  // session's open flags.
  void open(const std::vector<qvsim::RegisterSpec>& registers, uint32_t flags = 0) {
    for (const qvsim::RegisterSpec& reg : registers) design.addRegister(reg);
    const std::string text = design.text();
    bitfile = std::make_shared<qvkel::Bitfile>(text.c_str(), false, true);
    devkit_test::ProxyConfigurer configurer(sim.proxy, bitfile, flags);
    session = std::make_unique<qvkel::user::Session>(
        fpga, sim.proxy, configurer, checker, handler, accessor, bitfile,
        qvsim::BitfileBuilder::kDefaultSignature, flags);
    transport = std::make_unique<qvvandrel::SessionTransport>(*session, bitfile);
    sim.device().clearLog();
  }

  // The next `command` answers driver status `status`.
  void failNext(uint32_t command, int32_t status) {
    sim.device().script(command, sim::Reply{{}, status, {}, 0, {}, true});
  }
  uint32_t address(const char* name) const { return design.registerAddress(name); }
  sim::RegisterFile& registers() { return sim.module.registers(); }
  // Register-accessor commands since the session opened: (command, offset).
  std::vector<std::pair<uint32_t, uint32_t>> accesses() {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (const sim::LogEntry& e : sim.device().log()) {
      if (e.command != kRead32 && e.command != kWrite32 && e.command != kReadBlock &&
          e.command != kWriteBlock)
        continue;
      uint32_t offset;
      std::memcpy(&offset, e.input.data(), 4);
      out.emplace_back(e.command, offset);
    }
    return out;
  }

  devkit_test::SimulatedModule sim;
  sim::FpgaModel& fpgaModel = sim.module.fpga();
  sim::ClipController clip{sim.device()};
  sim::DeviceStatus deviceStatus{sim.device()};
  sim::SynchronisationUnit sync{sim.device()};
  qvsim::BitfileBuilder design;
  std::shared_ptr<qvkel::IAttributeHandler> handler;
  std::shared_ptr<qvkel::user::IIoAccessor> accessor =
      std::make_shared<qvkel::user::IoAccessorIoctl>(sim.proxy);
  std::shared_ptr<qvkel::user::Fpga> fpga = std::make_shared<qvkel::user::Fpga>(sim.proxy);
  devkit_test::Checker checker;
  std::shared_ptr<const qvkel::Bitfile> bitfile;
  std::unique_ptr<qvkel::user::Session> session;
  std::unique_ptr<qvvandrel::SessionTransport> transport;
  qvvandrelbrenmooru::InstructionFifo instructionFifo{*sim.proxy};
};

}  // namespace sessiontest
