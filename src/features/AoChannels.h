#pragma once
// The analog outputs of the I/O module: "AO Channel Count" and, per channel the CLIP reports
// (capability 300), its inverse-sinc filter (when the CLIP has one, 302), its output range, its
// output impedance (when the CLIP lists impedances, 306) and its status (when the CLIP reports
// one, 311). Everything goes to the CLIP's analog-output interface (13), required once per
// session on the first instruction.

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "model/ChannelCount.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/CompositeCommission.h"

namespace qvvandrel {

class AoChannels : public CommissionInterface {
 public:
  // Both are the session's and outlive the feature. A channel count above 1024 is refused
  // with -52003 before anything is built.
  AoChannels(const ClipCapabilities& capabilities, ClipConfiguration& clip);
  AoChannels(const AoChannels&) = delete;
  AoChannels& operator=(const AoChannels&) = delete;
  ~AoChannels() override;

  // The channel objects' attributes in list order, then the count.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // In construction order: the filters, the range builders, the impedance properties, the
  // status objects, each by ascending channel.
  const CompositeCommission& channelObjects() const { return channels_; }
  atat::Attribute<int>& channelCount() { return channelCount_.attribute(); }

 private:
  CompositeCommission channels_;
  ChannelCountAttribute channelCount_;
};

}  // namespace qvvandrel
