#include "sessionbrenmoor/ConfigAPI.h"

namespace qvvandrel {

ConfigAPI::ConfigAPI(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                     SessionTransportInterface& transport,
                     nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy,
                     bool pxiBackplane)
    : referenceClock_(capabilities, pxiBackplane, proxy, clip),
      sampleClock_(capabilities, clip),
      userClocks_(capabilities, proxy, clip),
      aiChannels_(capabilities, clip),
      aoChannels_(capabilities, clip),
      adcInterleaving_(capabilities, clip, transport),
      dacDuc_(capabilities, clip),
      externalAnalogTrigger_(capabilities, clip),
      cableSense_(capabilities, clip),
      serialChannels_(capabilities, SerialClipInterfaces{&clip.interface48, &clip.interface601}),
      pfiChannels_(capabilities, clip, transport),
      diChannels_(capabilities, clip),
      doutChannels_(capabilities, clip),
      dioChannels_(capabilities, clip) {}

ConfigAPI::~ConfigAPI() = default;

void ConfigAPI::registerAttributes(atat::AttributeRegistry* registry) {
  referenceClock_.collectAttributes(registry);
  sampleClock_.collectAttributes(registry);
  userClocks_.collectAttributes(registry);
  aiChannels_.registerAttributes(registry);
  aoChannels_.registerAttributes(registry);
  // An absent converter or trigger registers nothing.
  adcInterleaving_.registerAttributes(registry);
  dacDuc_.registerAttributes(registry);
  externalAnalogTrigger_.registerAttributes(registry);
  cableSense_.registerAttributes(registry);
  serialChannels_.registerAttributes(registry);
  pfiChannels_.registerAttributes(registry);
  diChannels_.registerAttributes(registry);
  doutChannels_.registerAttributes(registry);
  dioChannels_.registerAttributes(registry);
}

void ConfigAPI::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  referenceClock_.connect(roots, registry);
  sampleClock_.connect(roots, registry);
  userClocks_.connect(roots, registry);
  aiChannels_.commission(roots, registry);
  aoChannels_.commission(roots, registry);
  // Interleaving links the inputs' enable switches, which the analog inputs registered.
  adcInterleaving_.commission(roots, registry);
  dacDuc_.commission(roots, registry);
  externalAnalogTrigger_.commission(roots, registry);
  cableSense_.commission(roots, registry);
  serialChannels_.commission(roots, registry);
  pfiChannels_.commission(roots, registry);
  diChannels_.commission(roots, registry);
  doutChannels_.commission(roots, registry);
  dioChannels_.commission(roots, registry);
}

}  // namespace qvvandrel
