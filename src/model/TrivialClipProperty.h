#pragma once
// A per-channel setting that the CLIP offers as a list of values: the host picks one, the
// compile step checks it against the list and keeps the CLIP's code word for it, the deploy
// step hands (channel, code word) to the function its owner gave.

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "attributes/AttributeRegistry.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/AttributeCatalogue.h"
#include "model/ChannelNameTable.h"
#include "model/ClipCapabilityRange.h"
#include "model/CompositeCommission.h"
#include "model/Resolvers.h"

namespace qvvandrel {

// Id is an int so that the resolvers' type names read "...TrivialClipPropertyILi<id>EEE".
template <int Id>
class TrivialClipProperty : public TrivialFeature {
 public:
  using Attribute = CatalogueAttribute<static_cast<std::uint32_t>(Id)>;
  using T = typename Attribute::value_type;
  using Range = ClipCapabilityRange<T>;
  using DeployFunction = std::function<void(int, unsigned int)>;

  TrivialClipProperty(std::uint32_t channel, const char* channelName, const T& initial,
                      std::shared_ptr<Range> range, DeployFunction deploy)
      : attribute_(channelName, &initial),
        range_(std::move(range)),
        channel_(channel),
        deploy_(std::move(deploy)) {}

  void registerAttributes(atat::AttributeRegistry* registry) override {
    registry->addAttribute(&attribute_);
  }
  void commission(const ResolverRoots* roots, atat::AttributeRegistry*) override {
    wireResolvers(*roots, compileResolver_, deployResolver_);
    wireOwnAttribute(compileResolver_, attribute_);
  }
  void compile() override { codeWord_ = range_->compile(attribute_); }
  // Every dirty deploy sends; force changes nothing.
  void deploy(bool) override { deploy_(static_cast<int>(channel_), codeWord_); }

  Attribute& attribute() { return attribute_; }
  std::uint32_t codeWord() const { return codeWord_; }
  const std::shared_ptr<Range>& range() const { return range_; }

 private:
  CompileResolver<TrivialClipProperty> compileResolver_{this};
  DeployResolver<TrivialClipProperty> deployResolver_{this};
  Attribute attribute_;
  std::shared_ptr<Range> range_;
  std::uint32_t channel_;
  std::uint32_t codeWord_ = 0;
  DeployFunction deploy_;
};

// Appends one property per channel 0 .. count - 1 to `features`, named from `names`, all
// sharing one range over `capability` (-304408 for a value it does not list; integers and
// doubles coerced by `coercion`). The default is the first value the CLIP listed, not the
// smallest. Nothing is built when the CLIP lists no value or there is no channel.
template <int Id>
void buildTrivialClipProperties(
    CompositeCommission& features,
    const ififo_rpc::ListCapability<typename TrivialClipProperty<Id>::T>& capability,
    std::uint32_t count, const ChannelNameTable& names,
    const typename TrivialClipProperty<Id>::DeployFunction& deploy,
    atat::CoarseCoercionType coercion = atat::coarseCoercionTypeNone) {
  using Property = TrivialClipProperty<Id>;
  using Range = typename Property::Range;
  if (capability.values.empty() || count == 0) return;
  std::shared_ptr<Range> range;
  if constexpr (std::is_enum_v<typename Property::T>) {
    range = std::make_shared<Range>(capability, static_cast<std::uint32_t>(Id),
                                    qverr::kInvalidAttributeValue);
  } else {
    range = std::make_shared<Range>(capability, qverr::kInvalidAttributeValue, coercion);
  }
  for (std::uint32_t channel = 0; channel < count; ++channel) {
    features.add(std::make_unique<Property>(channel, names.name(channel), capability.values.front(),
                                            range, deploy));
  }
}

}  // namespace qvvandrel
