#include "features/DeviceConstants.h"

namespace qvvandrel {

namespace {

int valueOf(const ififo_rpc::Capability<unsigned int>& capability) {
  return static_cast<int>(capability.value.value_or(0));
}

}  // namespace

DeviceConstants::DeviceConstants(const ClipCapabilities& capabilities)
    : adcResolution_(nullptr, initialValue(valueOf(capabilities.cap104))),
      adcSampleContainer_(nullptr, initialValue(valueOf(capabilities.cap105))),
      dacResolution_(nullptr, initialValue(valueOf(capabilities.cap304))) {}

void DeviceConstants::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&adcResolution_);
  registry->addAttribute(&adcSampleContainer_);
  registry->addAttribute(&dacResolution_);
}

}  // namespace qvvandrel
