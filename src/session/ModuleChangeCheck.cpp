#include "session/ModuleChangeCheck.h"

#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

void checkModuleChange(qvvandrel::ModuleIoIndicators* indicators, bool feature7Flag,
                       nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelsync& sync,
                       qvvandrel::Kommissar& kommissar) {
  if (indicators != nullptr && indicators->readErrorOrZero() != 0) kommissar.requestClipRedeploy();
  if (!feature7Flag) {
    bool settingsKept;
    {
      qverr::ThrowingStatusRecord status;
      settingsKept = sync.command050D(&status);
    }
    if (!settingsKept) kommissar.requestRedeploy();
  }
}

}  // namespace qvvandrelbrenmooru
