#pragma once
// The scaling record of one analog channel: a gain and an offset attribute. The scaling feature
// keeps one record per channel in a list that attribute 0x50000005 points to (channel "AI" or
// "AO"); readers take the record at the channel's position. Unless the host sets them, the
// record's compile step derives the gain from the channel's range over the converter's full
// scale and the offset from the channel's offset.

#include <cstdint>
#include <list>
#include <memory>

#include "attributes/AttributeRegistry.h"
#include "model/AttributeCatalogue.h"
#include "model/Resolvers.h"

namespace qvvandrel {

// The largest code of a converter of `resolution` bits, kept to 32 bits: 65535.0 for 16 bits,
// 4294967295.0 for 32 to 63, 0.0 for 0. The residue of the resolution modulo 64 counts (a
// negative resolution too).
double converterFullScale(int resolution);

// The full scale without a resolution.
inline constexpr double kFullScale32 = 4294967295.0;

// A channel's gain and offset attributes, and the links the compile step derives them from:
// the channel's range and offset, and the converter's resolution.
template <std::uint32_t GainId, std::uint32_t OffsetId, std::uint32_t RangeId,
          std::uint32_t ChannelOffsetId, std::uint32_t ResolutionId>
struct CoefficientSet {
  static constexpr std::uint32_t kRangeId = RangeId;
  static constexpr std::uint32_t kChannelOffsetId = ChannelOffsetId;
  static constexpr std::uint32_t kResolutionId = ResolutionId;

  CoefficientSet(const char* channel, Dependency* resolver)
      : gainAttribute(channel, initialValue(1.0)),
        offsetAttribute(channel, initialValue(0.0)),
        rangeLink(resolver),
        offsetLink(resolver),
        resolutionLink(resolver) {}

  CatalogueAttribute<GainId> gainAttribute;
  CatalogueAttribute<OffsetId> offsetAttribute;
  AttributeLink<double> rangeLink;
  AttributeLink<double> offsetLink;
  AttributeLink<int> resolutionLink;
};
// "AI Scaling Gain"/"AI Scaling Offset" from "AI Range", "AI Offset" and "ADC Resolution".
using AiCoefficientSet = CoefficientSet<0x20000011, 0x20000012, 0x20000010, 0x2000001F, 0x10000005>;
// "AO Scaling Gain"/"AO Scaling Offset" from "AO Range", "AO Offset" and "DAC Resolution".
using AoCoefficientSet = CoefficientSet<0x2000001C, 0x2000001D, 0x2000001E, 0x20000020, 0x10000023>;

class Coefficients {
 public:
  enum class Kind : std::uint8_t { Input, Output };

  // The channel name is borrowed ("AI0".."AI63", "AO0".."AO63").
  Coefficients(const char* channel, Kind kind);
  Coefficients(const Coefficients&) = delete;
  Coefficients& operator=(const Coefficients&) = delete;

  const char* channel() const { return channel_; }
  // The coerced values of the record's set.
  double gain() const;
  double offset() const;
  // Exactly one of them is present.
  AiCoefficientSet* aiSet() { return aiSet_.get(); }
  AoCoefficientSet* aoSet() { return aoSet_.get(); }
  CompileResolver<Coefficients>& resolver() { return resolver_; }

  // The compile step: a host-set value stays; otherwise the gain is the linked range over the
  // full scale (1.0 without a range) and the offset the linked offset (0.0 without one). A
  // resolution of 0 gives an infinite or NaN gain, which is kept: readers must not convert it
  // unguarded.
  void resolve();
  void compile() { resolve(); }

  void registerAttributes(atat::AttributeRegistry& registry);
  // The record's compile resolves before `listAttribute`; links its inputs (-52003 for a link
  // made by an earlier commission).
  void commission(Dependency& listAttribute, const atat::AttributeRegistry& registry);

 private:
  const char* channel_;
  CompileResolver<Coefficients> resolver_;
  std::unique_ptr<AiCoefficientSet> aiSet_;
  std::unique_ptr<AoCoefficientSet> aoSet_;
};

using CoefficientList = std::list<Coefficients>;

}  // namespace qvvandrel
