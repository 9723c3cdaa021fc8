#pragma once
// The scaling record of one analog channel: a gain and an offset attribute. The scaling feature
// keeps one record per channel in a list that attribute 0x50000005 points to (channel "AI" or
// "AO"); readers take the record at the channel's position. How the record derives its values
// at compile belongs to the scaling feature.

#include <cstdint>
#include <memory>

#include "model/AttributeCatalogue.h"

namespace qvvandrel {

template <std::uint32_t GainId, std::uint32_t OffsetId>
struct CoefficientSet {
  explicit CoefficientSet(const char* channel)
      : gainAttribute(channel, initialValue(1.0)), offsetAttribute(channel, initialValue(0.0)) {}

  CatalogueAttribute<GainId> gainAttribute;
  CatalogueAttribute<OffsetId> offsetAttribute;
};
using AiCoefficientSet = CoefficientSet<0x20000011, 0x20000012>;
using AoCoefficientSet = CoefficientSet<0x2000001C, 0x2000001D>;

class Coefficients {
 public:
  enum class Kind : std::uint8_t { Input, Output };

  // The channel name is borrowed ("AI0".."AI63", "AO0".."AO63").
  Coefficients(const char* channel, Kind kind) : channel_(channel) {
    if (kind == Kind::Input) {
      aiSet_ = std::make_unique<AiCoefficientSet>(channel);
    } else {
      aoSet_ = std::make_unique<AoCoefficientSet>(channel);
    }
  }
  Coefficients(const Coefficients&) = delete;
  Coefficients& operator=(const Coefficients&) = delete;

  const char* channel() const { return channel_; }
  // The coerced values of the record's set.
  double gain() const {
    return aiSet_ ? aiSet_->gainAttribute.getCoerced() : aoSet_->gainAttribute.getCoerced();
  }
  double offset() const {
    return aiSet_ ? aiSet_->offsetAttribute.getCoerced() : aoSet_->offsetAttribute.getCoerced();
  }
  // Exactly one of them is present.
  AiCoefficientSet* aiSet() { return aiSet_.get(); }
  AoCoefficientSet* aoSet() { return aoSet_.get(); }

 private:
  const char* channel_;
  std::unique_ptr<AiCoefficientSet> aiSet_;
  std::unique_ptr<AoCoefficientSet> aoSet_;
};

}  // namespace qvvandrel
