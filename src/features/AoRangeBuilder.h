#pragma once
// The output range of one analog output ("AO Range"): coerced up to the next range the CLIP
// allows for the channel and sent as the CLIP's code word for it (instruction 0xD04), unless
// the CLIP offers a single range, which needs no choosing.
//
// The allowed ranges are the channel's own list when its analog-output section has one
// (capability 310); otherwise the device's list (303), or while the channel's DAC up-converter
// is enabled the up-converter's list (308) when there is one.

#include <cstdint>
#include <optional>

#include "attributes/AttributeRegistry.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipCapabilityRange.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class AoRangeBuilder : public CommissionInterface {
 public:
  using RangeAttribute = CatalogueAttribute<0x2000001E>;
  using Source = ClipCapabilityRange<double>;

  // Both are the session's and outlive the builder. "AO Range" starts at the first range of the
  // channel's own list, 0.0 when it has none (also when the device's list applies).
  AoRangeBuilder(const ClipCapabilities& capabilities, ClipConfiguration& clip,
                 std::uint32_t channel);
  AoRangeBuilder(const AoRangeBuilder&) = delete;
  AoRangeBuilder& operator=(const AoRangeBuilder&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  // Wires the resolvers and, once, "AO Range"; links the channel's "DAC Digital Upconverter
  // Enabled" when registered (a second commission then raises -52003).
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // Coerces "AO Range" against the applicable list and keeps the code word of the result;
  // -304408 for a range above the largest allowed one, naming the attribute.
  void compile();
  // Sends (channel, code word) with 0xD04 on interface 13, only when the channel has a choice.
  void deploy();

  RangeAttribute& range() { return range_; }
  std::uint32_t rangeCode() const { return rangeCode_; }
  bool selectable() const { return selectable_; }
  bool perChannel() const { return perChannel_; }

 private:
  Source& applicableSource();

  CompileResolver<AoRangeBuilder> compileResolver_{this};
  DeployResolver<AoRangeBuilder> deployResolver_{this};
  ClipConfiguration* clip_;
  std::uint32_t channel_;
  RangeAttribute range_;
  AttributeLink<bool> upconverter_{&compileResolver_};
  std::optional<Source> deviceSource_;
  std::optional<Source> upconverterSource_;
  std::optional<Source> channelSource_;
  bool selectable_ = false;
  bool perChannel_ = false;
  std::uint32_t rangeCode_ = 0;
};

}  // namespace qvvandrel
