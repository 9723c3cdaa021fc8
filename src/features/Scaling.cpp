#include "features/Scaling.h"

#include <algorithm>

#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

// The channel-name tables hold 64 names per family.
constexpr std::uint32_t kMaxRecords = 64;

void buildCoefficientList(const ififo_rpc::Capability<unsigned int>& capability, ChannelKind names,
                          CoefficientList& list, CatalogueAttribute<0x50000005>& listAttribute,
                          Coefficients::Kind kind) {
  const std::uint32_t count = std::min(capability.value.value_or(kMaxRecords), kMaxRecords);
  for (std::uint32_t i = 0; i < count; ++i) list.emplace_back(channelName(names, i), kind);
  listAttribute.setCoerced(&list);
}

}  // namespace

Scaling::Scaling(const ClipCapabilities& capabilities)
    : aiCoefficientList_("AI", initialValue<const CoefficientList*>(nullptr)),
      aoCoefficientList_("AO", initialValue<const CoefficientList*>(nullptr)) {
  buildCoefficientList(capabilities.cap100, kAiChannel, aiCoefficients_, aiCoefficientList_,
                       Coefficients::Kind::Input);
  buildCoefficientList(capabilities.cap300, kAoChannel, aoCoefficients_, aoCoefficientList_,
                       Coefficients::Kind::Output);
}

void Scaling::registerAttributes(atat::AttributeRegistry* registry) {
  for (Coefficients& record : aiCoefficients_) record.registerAttributes(*registry);
  for (Coefficients& record : aoCoefficients_) record.registerAttributes(*registry);
  registry->addAttribute(&aiCoefficientList_);
  registry->addAttribute(&aoCoefficientList_);
}

void Scaling::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  wireInput(*roots->compileRoot, aiCoefficientList_);
  wireInput(*roots->compileRoot, aoCoefficientList_);
  for (Coefficients& record : aiCoefficients_) record.commission(aiCoefficientList_, *registry);
  for (Coefficients& record : aoCoefficients_) record.commission(aoCoefficientList_, *registry);
}

}  // namespace qvvandrel
