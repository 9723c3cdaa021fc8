#pragma once
// Whether a bitfile was compiled for the module a session opens: for its target (the module's
// target string) and, where the bitfile names one, for its I/O adapter module.

#include <memory>

#include "devkit/AttributeHandlers.h"
#include "devkit/Bitfile.h"
#include "devkit/SessionServices.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvvandrelbrenmooru {

class TargetClassCheckerBrenmoor : public qvkel::ITargetClassChecker {
 public:
  // Bitfiles with this adapter-module identifier suit any adapter module.
  static constexpr uint32_t kAnyIoModule = 0xFFFFFFFF;
  // The attribute handler's string attribute holding the module's target string.
  static constexpr uint32_t kTargetStringAttribute = 6;

  TargetClassCheckerBrenmoor(
      std::shared_ptr<qvkel::IAttributeHandler> handler,
      std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy);

  // A module without a target string raises -52003. A bitfile without (well-formed)
  // target-specific data is judged by its target-class list.
  bool isCompatible(const qvkel::Bitfile& bitfile) override;

 private:
  std::shared_ptr<qvkel::IAttributeHandler> handler_;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy_;
};

}  // namespace qvvandrelbrenmooru
