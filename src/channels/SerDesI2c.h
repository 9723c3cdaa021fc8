#pragma once
// The session's SerDes I2C context: which CLIP bus identifier serves each SerDes control bus
// ("Ser0_I2C", "Des3_I2C", ...), built from the serial sections when the session opens, and
// what the transfers over the CLIP's I2C engine (interface 0x2F) need. The transfers are the
// static members of SerialChannels (SerialChannels.h).
//
// Transfers run on the host's threads without the session mutex: the driver's engine lock
// serialises reads of all processes, the context itself is read-only after it is built, and
// the interface check's flag is atomic (two first transfers may both check; that is harmless).

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "clip/ClipCapabilities.h"
#include "clip/Instruction.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvvandrel {

// The CLIP's I2C interface and its methods.
inline constexpr uint16_t kI2cInterface = 0x2F;
inline constexpr uint32_t kI2cRead = 0x2F02;
inline constexpr uint32_t kI2cWrite = 0x2F03;
inline constexpr uint32_t kI2cReadData = 0x2F04;

// The longest write a transfer request can carry.
inline constexpr uint32_t kMaxI2cWriteBytes = 1024;
// Device addresses: seven bits (up to 255 with the direction bit's room), ten for reads when
// the CLIP reports its 10-bit address mode (capability 700).
inline constexpr uint16_t kMaxI2cAddress = 255;
inline constexpr uint16_t kMaxI2cAddress10Bit = 1023;
// Attempts to take the engine, 10 ms apart.
inline constexpr uint32_t kI2cEngineAttempts = 1002;
inline constexpr uint32_t kI2cEnginePauseMs = 10;

struct SerDesI2cContext {
  // The instruction FIFO the transfers use, and whether interface 0x2F passed its check.
  struct FifoHolder {
    ififo_rpc::FifoRef fifo;
    std::atomic<bool> checked{false};
  };

  nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor* driver;  // the engine lock
  const ClipCapabilities* capabilities;
  FifoHolder fifo;
  std::map<std::string, int32_t> busIds;
  bool available = false;  // the module has serial channels
};

}  // namespace qvvandrel
