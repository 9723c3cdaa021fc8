#pragma once
// The DAC's digital up-converter: which analog output, if any, runs through it. The host either
// enables the up-converter per output channel and lets the feature derive the mode, or sets
// the mode itself; the compile step turns the choice into a mode the CLIP offers (capability
// 307), the deploy step sends that mode's raw code (instruction 0xD00). A CLIP that offers no
// mode has no up-converter: the feature is then absent.

#include <cstdint>
#include <list>
#include <map>

#include "attributes/AttributeRegistry.h"
#include "attributes/Ranges.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class DacDuc : public CommissionInterface {
 public:
  using Mode = oobx::attribute::DacDigitalUpconverterMode;
  using ModeAttribute = CatalogueAttribute<0x10000022>;
  using EnabledAttribute = CatalogueAttribute<0x40000009>;

  // Raw code of a mode no capability word decodes to.
  static constexpr std::uint32_t kNoRawCode = 0xFFFFFFFF;

  // Both are the session's and outlive the feature. The mode starts at the first offered mode
  // (0 when none is offered); with an up-converter, one "DAC Digital Upconverter Enabled" per
  // analog output (capability 300), off. More outputs than any CLIP has are refused (-52003).
  DacDuc(const ClipCapabilities& capabilities, ClipConfiguration& clip);
  DacDuc(const DacDuc&) = delete;
  DacDuc& operator=(const DacDuc&) = delete;

  // The mode, then the per-channel switches in channel order (when present).
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // A mode the host set is taken as it is; otherwise the mode of the enabled outputs is looked
  // up and stored as the mode's requested value. The mode must be one the CLIP offers
  // (-304408); its raw code is the first capability word that decodes to it.
  void compile();
  // Requires CLIP interface 13 once, then posts 0xD00 with the raw code.
  void deploy();

  // The mode for a set of up-converted outputs (bit i: "AO<i>"); a set no mode covers raises
  // -304408 naming the requested outputs and suggesting every non-empty set that has a mode.
  std::uint32_t lookupOutputChannelMask(std::uint64_t mask) const;

  bool present() const { return present_; }
  ModeAttribute& mode() { return mode_; }
  std::list<EnabledAttribute>& enabled() { return enabled_; }
  std::uint32_t rawCode() const { return rawCode_; }

 private:
  CompileResolver<DacDuc> compileResolver_;
  DeployResolver<DacDuc> deployResolver_;
  const ClipCapabilities* capabilities_;
  ClipConfiguration* clip_;
  bool present_;
  ModeAttribute mode_;
  std::list<EnabledAttribute> enabled_;
  // Output-channel mask to mode, the first mode of each mask kept.
  std::map<std::uint64_t, std::uint32_t> masks_;
  atat::EnumRange<Mode> modeRange_;
  std::uint32_t rawCode_ = kNoRawCode;
};

}  // namespace qvvandrel
