#pragma once

#include "clip/ClipCapabilities.h"
#include "model/ChannelCount.h"
#include "model/ClipConfiguration.h"
#include "model/CompositeCommission.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel::config::ai {

// The analog inputs of the I/O module: "AI Channel Count" and, per channel the CLIP reports,
// its enable switch, range and offset, and the settings the CLIP offers as lists (Nyquist zone,
// decimation filter band, impedance, coupling). Every setting goes to the CLIP's analog-input
// interface (9), which must be usable whenever the CLIP reports a channel count, even 0.
//
// `interface9` is the session's checker of interface 9 (its FIFO and done flag); both it and
// the capabilities must outlive the group.
class Channels {
 public:
  Channels(const ClipCapabilities& capabilities, IfifoInterfaceCheck& interface9);
  // The configuration root's form: the session's interface-9 record.
  Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip)
      : Channels(capabilities, clip.interface9) {}
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;
  ~Channels();

  // The features' attributes in feature order, then the count.
  void registerAttributes(atat::AttributeRegistry* registry);
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry);

  // In construction order: the channels' enable switches, the range feature, the offset
  // feature, then per property the channels' objects.
  const CompositeCommission& features() const { return features_; }
  atat::Attribute<int>& channelCountAttribute() { return channelCount_.attribute(); }

 private:
  CompositeCommission features_;
  ChannelCountAttribute channelCount_;
};

}  // namespace qvvandrel::config::ai
