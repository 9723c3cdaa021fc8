#include "channels/ai/VerticalRange.h"

#include <memory>

#include "attributes/AttributeRegistry.h"
#include "channels/ai/AnalogInput.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel::config::ai {

VerticalRange::Instance::Instance(IfifoInterfaceCheck& interface9,
                                  ClipCapabilityRange<double>& range, bool send,
                                  std::uint32_t channel, double initial)
    : interface9_(&interface9),
      ranges_(&range),
      channel_(channel),
      send_(send),
      range_(channelNames().name(channel), &initial) {}

void VerticalRange::Instance::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&range_);
}

void VerticalRange::Instance::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, range_);
}

void VerticalRange::Instance::compile() {
  codeWord_ = ranges_->compile(range_);
}

void VerticalRange::Instance::deploy() {
  if (!send_) return;
  interface9_->requireInterface9();
  post(*interface9_, kVerticalRange, channel_, codeWord_);
}

VerticalRange::VerticalRange(const ClipCapabilities& capabilities, IfifoInterfaceCheck& interface9)
    : ranges_(capabilities.cap101, qverr::kInvalidAttributeValue, atat::coarseCoercionTypeUp) {
  const std::vector<double>& listed = capabilities.cap101.values;
  const bool send = listed.size() >= 2;
  const double initial = listed.empty() ? 0.0 : listed.front();
  const boost::optional<std::uint32_t> count = channelCount(capabilities);
  for (std::uint32_t channel = 0; count && channel < *count; ++channel) {
    add(std::make_unique<Instance>(interface9, ranges_, send, channel, initial));
  }
}

}  // namespace qvvandrel::config::ai
