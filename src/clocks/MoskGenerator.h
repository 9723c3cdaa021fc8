#pragma once
// The module's Mosk signal, the periodic synchronisation clock shared by synchronised
// modules: its period in data-clock ticks (8546) and the share of it spent high in percent
// (12226) become a high and a low tick count at compile, which deploy hands to the driver on
// every resolve. Four further legacy attributes are stored only.

#include <cstdint>
#include <memory>

#include "clocks/SyncMethods.h"
#include "model/AttributeCatalogue.h"
#include "model/Resolvers.h"

namespace qvvandrel {

class MoskGenerator : public CommissionInterface {
 public:
  static constexpr std::uint32_t kPeriodId = 8546;
  static constexpr std::uint32_t kHighShareId = 12226;

  // The interface is the session's and outlives the generator.
  explicit MoskGenerator(SyncInterface& sync);
  MoskGenerator(const MoskGenerator&) = delete;
  MoskGenerator& operator=(const MoskGenerator&) = delete;
  ~MoskGenerator() override;

  // 6470, 6471, 6469, 8546, 8551, 12226.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  // The resolvers under the roots, with the period and the high share as the compile step's
  // inputs; the stored-only attributes are wired to nothing.
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // high = floor(share / 100 × period) in its low 32 bits, at least 1; low = period − high
  // modulo 2^32. -304408 for a share whose high count is no 64-bit integer.
  void computeHighLowTicks();
  void writeHighLowTicks();
  void compile() { computeHighLowTicks(); }
  void deploy() { writeHighLowTicks(); }

  // Tears the attribute set down early, as a session whose construction failed does; the
  // generator must not be registered, compiled or deployed afterwards.
  void destroyAttributes();

  std::uint32_t highTicks() const { return highTicks_; }
  std::uint32_t lowTicks() const { return lowTicks_; }

 private:
  struct Attributes {
    CatalogueAttribute<6470> value6470{nullptr, initialValue(1u)};
    CatalogueAttribute<6471> value6471{nullptr, initialValue(625000u)};
    CatalogueAttribute<6469> value6469{nullptr, initialValue(1u)};
    CatalogueAttribute<kPeriodId> period{nullptr, initialValue(125u)};
    CatalogueAttribute<8551> value8551{nullptr, initialValue(0.0)};
    CatalogueAttribute<kHighShareId> highShare{nullptr, initialValue(25.0)};
  };

  std::unique_ptr<Attributes> attributes_;
  CompileResolver<MoskGenerator> compileResolver_;
  DeployResolver<MoskGenerator> deployResolver_;
  SyncInterface* sync_;
  std::uint32_t highTicks_ = 0;
  std::uint32_t lowTicks_ = 0;
};

}  // namespace qvvandrel
