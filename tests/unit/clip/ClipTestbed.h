#pragma once
// A simulated module whose device interface serves the CLIP controller, and the product's
// instruction FIFO opened on it.

#include <gtest/gtest.h>

#include <boost/optional/optional_io.hpp>

#include <cstdint>
#include <vector>

#include "clip/InstructionFifo.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "sim/device/ClipController.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace cliptest {

class ClipTestbed : public ::testing::Test {
 protected:
  ClipTestbed() {
    nQVVUSKS100::tStatus status;
    proxy.open(module.deviceInterface().nodePath().c_str(), &status);
    EXPECT_EQ(status.code, 0);
  }

  // The instruction-FIFO commands the device interface received.
  std::vector<sim::LogEntry> fifoCommands() {
    std::vector<sim::LogEntry> entries;
    for (const sim::LogEntry& e : module.deviceInterface().log())
      if (e.command == sim::ClipController::kCommand) entries.push_back(e);
    return entries;
  }

  sim::Testbed testbed;
  sim::Module module{testbed, "qvdev0"};
  sim::ClipController clip{module.deviceInterface()};
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor proxy;
  qvvandrelbrenmooru::InstructionFifo fifo{proxy};
  ififo_rpc::FifoRef ref{&fifo, 1};
};

}  // namespace cliptest
