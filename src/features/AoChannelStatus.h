#pragma once
// The state the CLIP reports for one analog output ("AO Channel Status"): read-only, and
// asked again on every read (instruction 0xD07), never cached.

#include <cstdint>
#include <functional>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "attributes/ValueEnumerations.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class AoChannelStatus : public CommissionInterface {
 public:
  using Status = oobx::attribute::AoChannelStatus;

  // The configuration is the session's and outlives the object.
  AoChannelStatus(ClipConfiguration& clip, std::uint32_t channel);
  AoChannelStatus(const AoChannelStatus&) = delete;
  AoChannelStatus& operator=(const AoChannelStatus&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // The resolvers only join the roots; the attribute is not linked.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  void compile() {}
  void deploy() {}

  // Requires interface 13, then asks 0xD07 for the channel: 0, 1 or 2; another reply raises
  // -52003.
  Status queryStatus();

  atat::Attribute<Status>& status() { return status_; }

 private:
  CompileResolver<AoChannelStatus> compileResolver_{this};
  DeployResolver<AoChannelStatus> deployResolver_{this};
  std::uint32_t channel_;
  ClipConfiguration* clip_;
  std::function<Status()> statusFunction_;
  atat::FunctorGetter<Status, std::function<Status()>> getter_;
  atat::NotSettable<Status> setter_;
  atat::Attribute<Status> status_;
};

}  // namespace qvvandrel
