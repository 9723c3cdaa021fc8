#pragma once
// The session's access to the CLIP as its features share it: whether an I/O module (and so a
// CLIP) is present, the instruction-FIFO references, and one check record per CLIP interface,
// so that each interface is required once per session whichever feature uses it first.

#include <cstdint>

#include "clip/ClipAccess.h"
#include "clip/Instruction.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel {

// An interface's check record, with the session's I/O-module-present flag beside it.
struct InterfaceClient : IfifoInterfaceCheck {
  std::uint8_t ioModulePresent = 0;
};

struct ClipConfiguration {
  static constexpr std::uint32_t kFifoNumber = 1;

  // The FIFO is the session's and outlives the configuration.
  ClipConfiguration(ififo_rpc::InstructionFifoInterface& instructionFifo, bool ioModule)
      : ioModulePresent(ioModule ? 1 : 0),
        fifo{&instructionFifo, kFifoNumber},
        deploy{ioModulePresent, fifo},
        interface2(client()),
        interface3(client()),
        interface9(client()),
        interface13(client()),
        interface14(client()),
        interface18(client()),
        interface19(client()),
        interface20(client()),
        interface21(client()),
        interface48(client()),
        interface601(client()) {}
  ClipConfiguration(const ClipConfiguration&) = delete;
  ClipConfiguration& operator=(const ClipConfiguration&) = delete;

  std::uint8_t ioModulePresent;
  ififo_rpc::FifoRef fifo;
  // The CLIP deploy root's way to the CLIP (instruction 0x101).
  ClipAccess deploy;
  // One per interface: 2 clocks, 3 synchronisation, 9 analog input, 13 analog output, 14
  // external trigger, 0x12 PLLs, 0x13 and 0x15 session requests, 20 digital and PFI lines,
  // 0x30 serial-channel status and power over coax, 0x259 CSI-2 lanes.
  InterfaceClient interface2;
  InterfaceClient interface3;
  InterfaceClient interface9;
  InterfaceClient interface13;
  InterfaceClient interface14;
  InterfaceClient interface18;
  InterfaceClient interface19;
  InterfaceClient interface20;
  InterfaceClient interface21;
  InterfaceClient interface48;
  InterfaceClient interface601;

 private:
  InterfaceClient client() const {
    InterfaceClient c;
    c.fifo = fifo;
    c.ioModulePresent = ioModulePresent;
    return c;
  }
};

}  // namespace qvvandrel
