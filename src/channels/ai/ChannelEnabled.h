#pragma once

#include <cstdint>

#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"
#include "model/IfifoInterfaceCheck.h"
#include "model/Resolvers.h"

namespace qvvandrel::config::ai {

// "AI Channel Enabled" of one analog input. Sent only to a CLIP that offers the switch
// (capability 115): then every dirty deploy sends it, forced or not.
class ChannelEnabled : public CommissionInterface {
 public:
  ChannelEnabled(IfifoInterfaceCheck& interface9, std::uint32_t channel, bool enableSupported);

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  // The value needs no coercion.
  void compile() {}
  void deploy();

  CatalogueAttribute<0x40000000>& enabled() { return enabled_; }

 private:
  CompileResolver<ChannelEnabled> compileResolver_{this};
  DeployResolver<ChannelEnabled> deployResolver_{this};
  IfifoInterfaceCheck* interface9_;
  std::uint32_t channel_;
  bool enableSupported_;
  CatalogueAttribute<0x40000000> enabled_;
};

}  // namespace qvvandrel::config::ai
