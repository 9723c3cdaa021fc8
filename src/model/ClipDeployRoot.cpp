#include "model/ClipDeployRoot.h"

#include "clip/InterfaceMethods.h"

namespace qvvandrel {

void ClipDeployRoot::onResolve() {
  if (clip_ == nullptr || clip_->present == 0) return;
  ififo_rpc::queryInstruction101(clip_->fifo, pending_ ? 1 : 0);
  pending_ = false;
}

}  // namespace qvvandrel
