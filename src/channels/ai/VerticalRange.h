#pragma once

#include <cstdint>

#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipCapabilityRange.h"
#include "model/CompositeCommission.h"
#include "model/IfifoInterfaceCheck.h"
#include "model/Resolvers.h"

namespace qvvandrel::config::ai {

// The input range of every analog input ("AI Range"): coerced up to the next range the CLIP
// lists (capability 101) and sent as the CLIP's code word for it, unless the CLIP lists a
// single range, which needs no choosing.
class VerticalRange : public CompositeCommission {
 public:
  class Instance : public CommissionInterface {
   public:
    Instance(IfifoInterfaceCheck& interface9, ClipCapabilityRange<double>& range, bool send,
             std::uint32_t channel, double initial);

    void registerAttributes(atat::AttributeRegistry* registry) override;
    void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
    void compile();
    void deploy();

    CatalogueAttribute<0x20000010>& range() { return range_; }
    std::uint32_t codeWord() const { return codeWord_; }

   private:
    CompileResolver<Instance> compileResolver_{this};
    DeployResolver<Instance> deployResolver_{this};
    IfifoInterfaceCheck* interface9_;
    ClipCapabilityRange<double>* ranges_;
    std::uint32_t channel_;
    bool send_;
    CatalogueAttribute<0x20000010> range_;
    std::uint32_t codeWord_ = 0;
  };

  // One instance per channel the CLIP reports; the default range is the first one listed
  // (0.0 when none is).
  VerticalRange(const ClipCapabilities& capabilities, IfifoInterfaceCheck& interface9);

  ClipCapabilityRange<double>& ranges() { return ranges_; }

 private:
  ClipCapabilityRange<double> ranges_;
};

}  // namespace qvvandrel::config::ai
