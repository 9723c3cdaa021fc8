#pragma once
// The driver's stored personality slots (the module's flash images among them), read back and
// decoded.

#include <cstdint>
#include <vector>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvvandrelbrenmooru {

// Asks the slot's length (no buffer), reads it into a buffer of that length and decodes it with
// the tag the driver keeps beside it. A failed read is raised; so is a blob the codec refuses.
std::vector<std::uint8_t> readStoredBlob(
    nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy, std::uint32_t slot);

}  // namespace qvvandrelbrenmooru
