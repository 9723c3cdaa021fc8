#include "channels/SiChannel.h"

namespace qvvandrel {

SiChannel::SiChannel(SerialClipInterfaces interfaces, uint8_t index, uint32_t frontPanelNumber,
                     uint32_t serDesNumber, boost::optional<uint32_t> csi2Port)
    : SerialChannelCommon(interfaces, index, frontPanelNumber, serDesNumber, csi2Port) {}

SiChannel::~SiChannel() = default;

void SiChannel::registerAttributes(atat::AttributeRegistry* registry) {
  registerCommon(*registry);
  registerRefClk(*registry);
}

void SiChannel::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  connectRefClk(*registry);
  wireChannel(*roots, compileResolver_, deployResolver_);
}

}  // namespace qvvandrel
