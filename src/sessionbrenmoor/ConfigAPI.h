#pragma once
// The configuration root of a session: one feature that owns the module's clock, converter,
// trigger, cable-sense and channel-configuration features and presents them to the dependency
// graph as one. The Kommissar commissions it under the clip deploy root, so everything it owns
// deploys before the CLIP is told to take the new configuration.

#include "channels/SerialChannels.h"
#include "channels/ai/Channels.h"
#include "channels/lines/DigitalLineChannels.h"
#include "channels/lines/DioChannels.h"
#include "channels/lines/PfiChannels.h"
#include "clip/ClipCapabilities.h"
#include "clocks/ReferenceClock.h"
#include "clocks/SampleClock.h"
#include "clocks/UserClock.h"
#include "features/AdcInterleaving.h"
#include "features/AoChannels.h"
#include "features/CableSense.h"
#include "features/DacDuc.h"
#include "features/ExternalAnalogTrigger.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

class ConfigAPI : public CommissionInterface {
 public:
  // Builds every feature in order; each decides its own presence from the capabilities. A
  // failing feature destroys those built before it and leaves. Everything is the session's
  // and outlives the root; `pxiBackplane` is the session's feature-7 flag.
  ConfigAPI(const ClipCapabilities& capabilities, ClipConfiguration& clip,
            SessionTransportInterface& transport,
            nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor& proxy, bool pxiBackplane);
  ConfigAPI(const ConfigAPI&) = delete;
  ConfigAPI& operator=(const ConfigAPI&) = delete;
  ~ConfigAPI() override;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // `roots->deploy` is the clip deploy root when the Kommissar calls.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  ReferenceClock& referenceClock() { return referenceClock_; }
  SampleClock& sampleClock() { return sampleClock_; }
  UserClock& userClocks() { return userClocks_; }
  AdcInterleaving& adcInterleaving() { return adcInterleaving_; }
  ExternalAnalogTrigger& externalAnalogTrigger() { return externalAnalogTrigger_; }
  CableSense& cableSense() { return cableSense_; }
  SerialChannels& serialChannels() { return serialChannels_; }

 private:
  ReferenceClock referenceClock_;
  SampleClock sampleClock_;
  UserClock userClocks_;
  config::ai::Channels aiChannels_;
  AoChannels aoChannels_;
  AdcInterleaving adcInterleaving_;
  DacDuc dacDuc_;
  ExternalAnalogTrigger externalAnalogTrigger_;
  CableSense cableSense_;
  SerialChannels serialChannels_;
  config::pfi::Channels pfiChannels_;
  config::di::Channels diChannels_;
  config::dout::Channels doutChannels_;
  config::dio::Channels dioChannels_;
};

}  // namespace qvvandrel
