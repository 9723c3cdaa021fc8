#pragma once

#include <cstdint>
#include <vector>

#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/CompositeCommission.h"
#include "model/IfifoInterfaceCheck.h"
#include "model/Resolvers.h"

namespace qvvandrel::config::ai {

// The offset DAC of one input range, as the CLIP describes it (capabilities 101, 102, 103, 112,
// 113 and 114 at one index): codes from minimumCode to maximumCode, numerator / denominator
// codes per unit of offset, zeroCode for no offset. A larger offset takes a smaller code.
struct OffsetEntry {
  double range;
  std::uint32_t minimumCode;
  std::uint32_t maximumCode;
  std::uint32_t numerator;
  std::uint32_t denominator;
  std::uint32_t zeroCode;
};

// The input offset of every analog input, set as a value ("AI Offset") or as the DAC code
// itself ("AI Offset DAC", which drives while the host has set it), for the channel's current
// "AI Range", and sent as a DAC code the CLIP accepts for that range.
class VerticalOffset : public CompositeCommission {
 public:
  using Table = std::vector<OffsetEntry>;

  class Instance : public CommissionInterface {
   public:
    Instance(IfifoInterfaceCheck& interface9, const Table& table, std::uint32_t channel);

    void registerAttributes(atat::AttributeRegistry* registry) override;
    // Links the channel's "AI Range" (when registered): a second commission gives -52003.
    void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
    void compile();
    void deploy();

    CatalogueAttribute<0x2000001F>& offset() { return offset_; }
    CatalogueAttribute<0x1000001C>& dac() { return dac_; }

   private:
    const OffsetEntry& entryFor(double range) const;
    void compileFromDac(const OffsetEntry& entry, double k);
    void compileFromOffset(const OffsetEntry& entry, double k);

    CompileResolver<Instance> compileResolver_{this};
    DeployResolver<Instance> deployResolver_{this};
    IfifoInterfaceCheck* interface9_;
    const Table* table_;
    std::uint32_t channel_;
    AttributeLink<double> rangeLink_{&compileResolver_};
    CatalogueAttribute<0x2000001F> offset_;
    CatalogueAttribute<0x1000001C> dac_;
  };

  // One instance per channel the CLIP reports, but none at all unless the CLIP describes the
  // DAC for every listed range.
  VerticalOffset(const ClipCapabilities& capabilities, IfifoInterfaceCheck& interface9);

  const Table& table() const { return table_; }

 private:
  Table table_;
};

}  // namespace qvvandrel::config::ai
