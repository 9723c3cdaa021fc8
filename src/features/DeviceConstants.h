#pragma once
// Three converter properties the CLIP reports, published as attributes. They take no part in
// compile or deploy: their values are the capabilities read when the session opened.

#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"

namespace qvvandrel {

class DeviceConstants : public TrivialFeature {
 public:
  // Each value is its capability's (104, 105, 304), 0 when the CLIP does not report it.
  explicit DeviceConstants(const ClipCapabilities& capabilities);

  // "ADC Resolution", "ADC Sample Container", "DAC Resolution".
  void registerAttributes(atat::AttributeRegistry* registry) override;
  // The attributes join no resolver: nothing is ever compiled or deployed.
  void commission(const ResolverRoots*, atat::AttributeRegistry*) override {}
  void compile() override {}
  void deploy(bool) override {}

  CatalogueAttribute<0x10000005>& adcResolution() { return adcResolution_; }
  CatalogueAttribute<0x10000006>& adcSampleContainer() { return adcSampleContainer_; }
  CatalogueAttribute<0x10000023>& dacResolution() { return dacResolution_; }

 private:
  CatalogueAttribute<0x10000005> adcResolution_;
  CatalogueAttribute<0x10000006> adcSampleContainer_;
  CatalogueAttribute<0x10000023> dacResolution_;
};

}  // namespace qvvandrel
