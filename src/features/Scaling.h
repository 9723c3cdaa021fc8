#pragma once
// The scaling gain and offset of every analog-input and analog-output channel. A gain defaults
// to the channel's range over the converter's full-scale code, an offset to the channel's
// offset, unless the host sets them. Other features (the analog edge triggers, scaled reads)
// find the records through "Internal Scaling Coef Ptr" on the channel "AI" or "AO", at the
// position of a channel in the list. Nothing is written to the module.

#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "features/Coefficients.h"
#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"

namespace qvvandrel {

class Scaling : public TrivialFeature {
 public:
  // One input record per analog input (capability 100) and one output record per analog output
  // (capability 300); 64 when a count is not reported, and never more than the 64 channel names.
  explicit Scaling(const ClipCapabilities& capabilities);
  Scaling(const Scaling&) = delete;
  Scaling& operator=(const Scaling&) = delete;

  // The input records' gain and offset, the output records', then the two list attributes.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
  // Each record compiles itself; nothing is deployed.
  void compile() override {}
  void deploy(bool) override {}

  const CoefficientList& aiCoefficients() const { return aiCoefficients_; }
  const CoefficientList& aoCoefficients() const { return aoCoefficients_; }

 private:
  CoefficientList aiCoefficients_;
  CatalogueAttribute<0x50000005> aiCoefficientList_;
  CoefficientList aoCoefficients_;
  CatalogueAttribute<0x50000005> aoCoefficientList_;
};

}  // namespace qvvandrel
