#pragma once
// Session command 0: a device operation that runs only when the kernel interface offers it and
// the value the CLIP reports through interface 3 is below a threshold.

#include <cstdint>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel {

// Replies of instruction 0x309 at or above this refuse the operation.
inline constexpr uint32_t kGatedCommandThreshold = 0x1680C09B;

// Under the session's command mutex: the availability query (command 0x00200606, false gives
// -63193), interface 3 required once, instruction 0x309 (a reply at or above the threshold
// gives -304507), then the operation itself (command 0x0020050A). Any failed driver call or
// instruction is raised as it is.
void runGatedDeviceCommand(nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex& commandMutex,
                           nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy,
                           IfifoInterfaceCheck& interface3);

}  // namespace qvvandrel
