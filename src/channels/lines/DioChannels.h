#pragma once
// The bidirectional DIO lines ("DIO0".."DIO95"): their count and, per line, the I/O voltage and
// the configuration, each chosen among the values the CLIP lists and sent on the CLIP's line
// interface (20) when the CLIP lists more than one.

#include <cstdint>

#include "clip/ClipCapabilities.h"
#include "model/ChannelCount.h"
#include "model/ClipConfiguration.h"
#include "model/CompositeCommission.h"
#include "model/TrivialClipProperty.h"

namespace qvvandrel {

// "DIO Line Voltage" of every DIO line: one of the voltages the CLIP lists (capability 1005,
// the same value once however often listed); the default is the first one listed. With two or
// more listed, each line's voltage goes to the CLIP as the CLIP's own word for it; with one,
// that voltage is the only one accepted and nothing is sent.
class DioVoltage : public CompositeCommission {
 public:
  using Instance = TrivialClipProperty<0x20000032>;
  // Builds nothing unless the CLIP lists a voltage.
  DioVoltage(const ClipCapabilities& capabilities, ClipConfiguration& clip);
};

// "DIO Line Config" of every DIO line: one of the configurations the CLIP lists (capability
// 1006; words that are no configuration are left out), sent as the first listed word for it
// when two or more are listed, as the voltage is.
class DioConfigMode : public CompositeCommission {
 public:
  using Instance = TrivialClipProperty<0x10000031>;
  DioConfigMode(const ClipCapabilities& capabilities, ClipConfiguration& clip);
};

namespace config::dio {

// "DIO Channel Count" (capability 1004) and, when the CLIP reports that capability (0
// included), a DioVoltage when it lists a voltage, then a DioConfigMode when it lists a
// configuration. The capabilities and the CLIP configuration outlive the feature.
class Channels : public CommissionInterface {
 public:
  // A count above 1024 lines is refused with -52003 before any line is built.
  Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip);

  // The children's attributes, then the count.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // The DioVoltage and the DioConfigMode, each when built, in that order.
  const CompositeCommission& children() const { return children_; }
  atat::Attribute<int>& count() { return count_.attribute(); }

 private:
  CompositeCommission children_;
  ChannelCountAttribute count_;
};

}  // namespace config::dio

}  // namespace qvvandrel
