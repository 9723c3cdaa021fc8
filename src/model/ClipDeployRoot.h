#pragma once

#include "clip/ClipAccess.h"
#include "model/Dependency.h"

namespace qvvandrel {

// The root under which the configuration root deploys. Once its prerequisites have written
// their settings, it tells the CLIP to take them (instruction 0x101, with whether a module
// change is pending); without a CLIP it does nothing and the pending flag waits.
class ClipDeployRoot : public Dependency {
 public:
  // The access record is the session's and outlives the root.
  explicit ClipDeployRoot(const ClipAccess* clip) : Dependency("clip deploy root"), clip_(clip) {}

  bool pending() const { return pending_; }
  void setPending(bool pending) { pending_ = pending; }

 protected:
  // A failed instruction raises and leaves pending set for the retry.
  void onResolve() override;

 private:
  const ClipAccess* clip_;
  bool pending_ = false;
};

}  // namespace qvvandrel
