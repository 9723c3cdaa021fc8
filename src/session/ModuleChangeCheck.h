#pragma once
// The check a commit runs between its compile and deploy passes: whether the module lost the
// settings the session gave it.

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/Kommissar.h"
#include "session/ModuleIoIndicators.h"

namespace qvvandrelbrenmooru {

// With module-IO indicators: a non-zero module-IO error (a failed read counts as none) makes
// the CLIP's settings pending and its deploy root dirty. Without the feature-7 flag: the
// driver's module query (0x0020050D) answering false dirties the redeploy root, so every
// feature writes everything again; a failed query is raised.
void checkModuleChange(qvvandrel::ModuleIoIndicators* indicators, bool feature7Flag,
                       nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelsync& sync,
                       qvvandrel::Kommissar& kommissar);

}  // namespace qvvandrelbrenmooru
