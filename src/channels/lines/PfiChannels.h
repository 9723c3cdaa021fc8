#pragma once

#include <cstdint>
#include <optional>

#include "attributes/ValueEnumerations.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ChannelCount.h"
#include "model/ClipCapabilityRange.h"
#include "model/ClipConfiguration.h"
#include "model/CompositeCommission.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"
#include "model/TrivialUnaryFeature.h"

namespace qvvandrel {

// The per-line features of the PFI ("PFI Line Config") and DIFF PFI ("DIFF PFI Line Config")
// lines: a line configuration, any 32-bit value, mirrored into a 32-bit register of its own.
template <>
struct TrivialUnaryTraits<0x1000002E> {
  using Value = oobx::attribute::DioConfiguration;
  using RegisterValue = unsigned int;
};
template <>
struct TrivialUnaryTraits<0x1000002F> : TrivialUnaryTraits<0x1000002E> {};

namespace config::pfi {

using PfiLine = TrivialUnaryFeature<0x1000002E>;
using DiffPfiLine = TrivialUnaryFeature<0x1000002F>;

// The single-ended and differential PFI lines: their counts, one configuration per line whose
// register the bitfile has (the first commit writes every one of them, set or not), and the
// settings the CLIP offers on its line interface (20): input equalization and output
// pre-emphasis of the differential lines, and the I/O voltage of the PFI lines.
//
// The capabilities, the CLIP configuration and the transport are the session's and outlive the
// feature.
class Channels : public CommissionInterface {
 public:
  // A count above 1024 lines is refused with -52003 before any line is built.
  Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip,
           SessionTransportInterface& transport);
  Channels(const Channels&) = delete;
  Channels& operator=(const Channels&) = delete;
  ~Channels() override;

  // The lines' attributes (of the lines whose register exists), the two counts, then the
  // settings the CLIP offers.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // The compile step: "PFI Voltage" must be one the CLIP lists.
  void compile();
  // The deploy step sends everything it has, in the order equalization, pre-emphasis, voltage;
  // `force` changes nothing.
  void deploy(bool force);
  // Coerces "PFI Voltage" and keeps the CLIP's own word for it, the one the deploy sends. A
  // voltage the CLIP does not list fails with -304408 naming the attribute, and changes nothing.
  void coerceVoltage();

  // PfiLine objects, then DiffPfiLine objects, in line order.
  const CompositeCommission& lines() const { return lines_; }
  atat::Attribute<int>& pfiCount() { return pfiCount_.attribute(); }
  atat::Attribute<int>& diffPfiCount() { return diffPfiCount_.attribute(); }
  CatalogueAttribute<0x20000031>& voltage() { return voltage_; }
  std::uint32_t voltageWord() const { return voltageWord_; }

 private:
  ClipConfiguration* clip_;
  CompositeCommission lines_;
  ChannelCountAttribute pfiCount_;
  ChannelCountAttribute diffPfiCount_;
  bool equalizationAvailable_;
  bool preEmphasisAvailable_;
  CatalogueAttribute<0x40000012> inputEqualization_;
  CatalogueAttribute<0x40000013> outputPreEmphasis_;
  bool voltagesListed_;
  CatalogueAttribute<0x20000031> voltage_;
  std::uint32_t voltageWord_;
  CompileResolver<Channels> compileResolver_{this};
  DeployResolver<Channels> deployResolver_{this};
  std::optional<ClipCapabilityRange<double>> voltageRange_;
};

}  // namespace config::pfi
}  // namespace qvvandrel
