#include "model/GatedDeviceCommand.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

void runGatedDeviceCommand(nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& commandMutex,
                           nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy,
                           IfifoInterfaceCheck& interface3) {
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock lock(commandMutex);
  bool available;
  {
    qverr::ThrowingStatusRecord status;
    available = proxy.command0606(&status);
  }
  if (!available) qverr::throwError(qverr::kOperationNotSupported);
  if (!interface3.done) interface3.requireInterface3();
  const uint32_t reply = ififo_rpc::callInstructionRaising(interface3.fifo, 0x309, {});
  if (reply >= kGatedCommandThreshold) qverr::throwError(qverr::kSessionCommandRefused);
  qverr::ThrowingStatusRecord status;
  proxy.command050A(&status);
}

}  // namespace qvvandrel
