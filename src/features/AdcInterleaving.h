#pragma once
// ADC interleaving: how many analog-input converters sample one input. The host sets the
// factor; the compile step picks the first interleaving option the CLIP offers (capability
// 111) with that factor whose channels admit every enabled analog input; the deploy step tells
// the CLIP the option (instruction 0x907) and writes the factor into the design's register.

#include <cstdint>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Status.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

class AdcInterleaving : public CommissionInterface {
 public:
  using FactorAttribute = CatalogueAttribute<0x10000019>;
  using ChannelEnabledAttribute = DependencyAttribute<bool>;  // "AI Channel Enabled"

  // One interleaving option: the CLIP's code, the factor, and the analog inputs that may be
  // enabled with it (bit n: "AI<n>").
  struct Option {
    std::uint32_t code;
    std::uint32_t factor;
    std::uint64_t channels;
  };

  // All three are the session's and outlive the feature. Present when the CLIP offers an
  // interleaving option; the factor's register ("vandrel.io.interleaving factor 0") is looked
  // up now, and a design without it just skips the write.
  AdcInterleaving(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                  SessionTransportInterface& transport);
  AdcInterleaving(const AdcInterleaving&) = delete;
  AdcInterleaving& operator=(const AdcInterleaving&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // Links "AI Channel Enabled" of AI0, AI1, ... up to the first channel the registry does not
  // hold as a bool dependency attribute. Every commission links afresh.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  // A factor no option has raises the range's -304408; a factor whose options all exclude an
  // enabled input raises -304408 listing the enabled inputs and what each option admits.
  void compile();
  // Requires CLIP interface 9 once, posts 0x907 with the chosen code, writes the factor.
  void deploy(bool force);

  bool present() const { return present_; }
  const std::vector<Option>& options() const { return options_; }
  FactorAttribute& factor() { return factor_; }
  // The links of every commission so far, in order.
  const std::vector<AttributeLink<bool>>& channelLinks() const { return channelLinks_; }
  std::uint16_t chosenFactor() const { return chosenFactor_; }
  std::uint32_t chosenCode() const { return chosenCode_; }

 private:
  std::uint64_t enabledChannels() const;
  [[noreturn]] void raiseNoOption(std::int32_t factor, std::uint64_t enabled) const;

  CompileResolver<AdcInterleaving> compileResolver_;
  DeployResolver<AdcInterleaving> deployResolver_;
  ClipConfiguration* clip_;
  std::vector<Option> options_;
  bool present_;
  std::uint32_t aiChannelCount_;
  FactorAttribute factor_;
  std::vector<AttributeLink<bool>> channelLinks_;
  nQVVUSKS100::tStatus registerStatus_;
  qvisl::Register<unsigned short, SessionTransportInterface> factorRegister_;
  std::uint16_t chosenFactor_ = 0;
  std::uint32_t chosenCode_ = 0;
};

}  // namespace qvvandrel
