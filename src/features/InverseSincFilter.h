#pragma once
// The inverse-sinc filter of one analog output ("AO Inv. Sinc Filter Enabled", on by default):
// every deploy sends the switch to the CLIP (instruction 0xD02).

#include <cstdint>

#include "attributes/AttributeRegistry.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class InverseSincFilter : public CommissionInterface {
 public:
  using EnabledAttribute = CatalogueAttribute<0x40000008>;

  // The configuration is the session's and outlives the filter.
  InverseSincFilter(std::uint32_t channel, ClipConfiguration& clip);
  InverseSincFilter(const InverseSincFilter&) = delete;
  InverseSincFilter& operator=(const InverseSincFilter&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // The switch is an input of the compile resolver, whose step has nothing to check.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  void compile() {}
  // Requires interface 13, then sends (channel, 1 or 0) with 0xD02, forced or not.
  void deploy();

  EnabledAttribute& enabled() { return enabled_; }

 private:
  CompileResolver<InverseSincFilter> compileResolver_{this};
  DeployResolver<InverseSincFilter> deployResolver_{this};
  std::uint32_t channel_;
  ClipConfiguration* clip_;
  EnabledAttribute enabled_;
};

}  // namespace qvvandrel
