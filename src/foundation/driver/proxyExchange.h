#pragma once
// The two steps every generated proxy method shares: one request through the transport, then
// the driver's own status. Inline: they sit on the register-access path.

#include <cstdint>

#include "foundation/driver/tDeviceInterfaceProxy.h"
#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::proxy {

// Issues one request; a transport failure is merged into the caller's status (which holds no
// error when a method gets here) and reported as false.
inline bool exchange(nQVVUSK000::tDeviceInterfaceProxy& proxy, uint32_t command, const void* in,
                     uint32_t inLength, void* out, uint32_t outLength,
                     nQVVUSKS100::tStatus* status) {
  proxy.nQVVUSK000::tDeviceInterfaceProxy::call(command, in, inLength, out, outLength, status);
  return !status->isError();
}

// The driver's status, recorded at the method's line by the merge rule (success changes
// nothing).
inline bool takeDriverStatus(int32_t driverStatus, const qverr::StatusLocation& where,
                             nQVVUSKS100::tStatus* status) {
  return driverStatus != 0 &&
         status->setCode(driverStatus, where.component, where.file, where.line);
}

}  // namespace nQVVANDRELBRENMOORU_22_8::proxy
