#pragma once
// Where the module's reference clock comes from. The module half (present when the CLIP lists
// reference sources) checks the chosen source and its rate, then tells the CLIP (interface 2)
// and the driver's reference routing. The baseboard half (present off a PXI backplane) decides
// whether the baseboard takes its reference from DRAL line 7 or exports its own onto it.
// Reached only through the configuration root, which calls collectAttributes and connect.

#include <cstdint>
#include <string>

#include "attributes/Policies.h"
#include "attributes/Ranges.h"
#include "attributes/ValueEnumerations.h"
#include "clip/ClipCapabilities.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/AliasedAttribute.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipCapabilityRange.h"
#include "model/ClipConfiguration.h"
#include "model/Resolvers.h"

namespace qvvandrel {

using oobx::attribute::BaseboardRefClkSrc;
using oobx::attribute::RefClkSrc;

// The source texts of the public alias; an unknown value is the empty text, an unknown text
// the value 0. Texts compare exactly.
std::string refClkSrcToString(const RefClkSrc& source);
RefClkSrc refClkSrcFromString(const std::string& text);

class ReferenceClock {
 public:
  using KernelInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor;

  static constexpr std::uint32_t kSourceId = 0x1000000B;
  static constexpr std::uint32_t kRateId = 0x20000018;
  static constexpr std::uint32_t kSourceAliasId = 4886;
  static constexpr std::uint32_t kBaseboardSourceId = 0x10000018;
  static constexpr std::uint32_t kBaseboardExportedId = 0x4000000A;
  static constexpr std::uint32_t kBaseboardPllLockedId = 0x4000000C;
  // The codes CLIP interface 2 and the driver are told.
  static constexpr std::uint16_t kSetSource = 0x205;
  static constexpr std::uint32_t kNoClipCode = 0xFFFFFFFF;

  // Everything is borrowed from the session, which outlives the feature.
  ReferenceClock(const ClipCapabilities& capabilities, bool pxiBackplane, KernelInterface& kernel,
                 ClipConfiguration& clip);
  ReferenceClock(const ReferenceClock&) = delete;
  ReferenceClock& operator=(const ReferenceClock&) = delete;

  // Registers the attributes of the halves that are present.
  void collectAttributes(atat::AttributeRegistry* registry);
  // Wires the resolvers under the roots and links the attributes once; the alias finds its
  // target here (-52003 when it already has one).
  void connect(const ResolverRoots* roots, atat::AttributeRegistry* registry);

  void compile();
  void deploy();

  // Asks the driver whether the baseboard PLL is locked (each read of 0x4000000C).
  bool isBaseboardPllLocked();

  bool hasModuleHalf() const { return moduleHalf_; }
  bool hasBaseboardHalf() const { return baseboardHalf_; }
  // The CLIP's raw code of the source the last compile chose (kNoClipCode when none matched).
  std::uint32_t clipCode() const { return clipCode_; }

 private:
  void compileBaseboard();
  void compileRate();
  void setSourceInternally(RefClkSrc source);

  const ClipCapabilities* capabilities_;
  bool pxiBackplane_;
  KernelInterface* kernel_;
  IfifoInterfaceCheck* interface2_;
  bool moduleHalf_;
  bool baseboardHalf_;

  CatalogueAttribute<kSourceId> source_;
  CatalogueAttribute<kRateId> rate_;
  AliasedAttribute<kSourceId, kSourceAliasId, std::string, RefClkSrc> sourceAlias_;
  CatalogueAttribute<10882> rate10882_;
  CatalogueAttribute<4885> rate4885_;
  CatalogueAttribute<12110> flag12110_;
  CatalogueAttribute<12240> flag12240_;
  CatalogueAttribute<8627> text8627_;
  CatalogueAttribute<12241> flag12241_;
  CatalogueAttribute<8793> text8793_;
  CatalogueAttribute<8792> flag8792_;
  CatalogueAttribute<8798> text8798_;
  CatalogueAttribute<12111> flag12111_;
  CatalogueAttribute<kBaseboardSourceId> baseboardSource_;
  CatalogueAttribute<kBaseboardExportedId> baseboardExported_;
  atat::FunctorGetter<bool> pllLockedGetter_;
  atat::NotSettable<bool> pllLockedSetter_;
  atat::Attribute<bool> baseboardPllLocked_;

  // The source's members: the distinct sources the CLIP lists, with their raw codes.
  ClipCapabilityRange<RefClkSrc> sources_;
  atat::EnumRange<BaseboardRefClkSrc> baseboardSourceRange_;
  CompileResolver<ReferenceClock> compileResolver_;
  DeployResolver<ReferenceClock> deployResolver_;

  std::uint32_t clipCode_ = kNoClipCode;
};

}  // namespace qvvandrel
