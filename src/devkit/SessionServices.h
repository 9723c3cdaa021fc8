#pragma once
// What the device kit needs of the device session and plug-in entry: the session factory, the
// target-class checker and the personality configurer. Subsystem 7 implements them.

#include <cstdint>
#include <memory>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvkel {

class Bitfile;
class DeviceInfo;
class IFpgaSessionTraditional;

namespace user {

class Session;

// A user session's session with the kernel driver: opened when the personality is configured
// for it, closed (0x830B with the token and the close flag) when the session goes.
struct KernelSession {
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_configuration>
      configuration;
  uint64_t token = 0;  // the session's address
  bool open = false;   // the personality's "configured" flag
  bool closeFlag = false;
};

}  // namespace user

// Whether a bitfile's target suits the module. Failures other than a refusal are raised.
class ITargetClassChecker {
 public:
  virtual ~ITargetClassChecker() = default;
  virtual bool isCompatible(const Bitfile& bitfile) = 0;
};

// Hands the session's personality (and bitstream) to the driver; failures are raised.
class IPersonalityConfigurer {
 public:
  virtual ~IPersonalityConfigurer() = default;
  // Sets *downloaded when the FPGA was downloaded.
  virtual void configure(bool* downloaded) = 0;
  // Configures and marks the kernel session configured (open).
  virtual void configureAndMark(user::KernelSession& session, bool* downloaded) {
    configure(downloaded);
    session.open = true;
  }
};

// The plug-in's session factory. Failures are raised.
class ISessionFactory {
 public:
  // With open attribute bit 30 the bitfile argument names a flash image; otherwise it is the
  // bitfile text. The caller owns the session.
  virtual std::unique_ptr<user::Session> createSession(std::shared_ptr<const DeviceInfo> device,
                                                       const char* bitfile,
                                                       const char* resourceName,
                                                       uint32_t openAttributes) = 0;
  // A legacy register-protocol session; the caller owns it and ends it with its release
  // operation.
  virtual IFpgaSessionTraditional* createTraditionalSession(
      std::shared_ptr<const DeviceInfo> device) = 0;
  virtual ~ISessionFactory() = default;
};

}  // namespace qvkel
