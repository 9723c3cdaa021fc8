#pragma once
// The digital input lines and the digital output lines: each family has a read-only line
// count and one switch that the CLIP may offer for all its lines at once (equalization of the
// inputs, pre-emphasis of the outputs), sent on the CLIP's line interface (20).

#include <cstdint>

#include "attributes/AttributeRegistry.h"
#include "channels/lines/LineInterface.h"
#include "clip/ClipCapabilities.h"
#include "model/AttributeCatalogue.h"
#include "model/ChannelCount.h"
#include "model/ClipConfiguration.h"
#include "model/Resolvers.h"

namespace qvvandrel::config {

// One family's count and switch. `Family` is the family's own class, which names the
// resolvers; it hands itself to this constructor. The switch exists only when the CLIP reports
// its availability true; then every commit that finds it changed sends it, the first one
// included. The capabilities and the CLIP configuration outlive the family.
template <class Family, int SwitchId>
class DigitalLineChannels : public CommissionInterface {
 public:
  using Switch = CatalogueAttribute<static_cast<std::uint32_t>(SwitchId)>;
  using Send = void (*)(ClipConfiguration& clip, LineGroup group, bool enable);

  DigitalLineChannels(const DigitalLineChannels&) = delete;
  DigitalLineChannels& operator=(const DigitalLineChannels&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override {
    registry->addAttribute(&count_.attribute());
    if (available_) registry->addAttribute(&switch_);
  }
  void commission(const ResolverRoots* roots, atat::AttributeRegistry*) override {
    wireResolvers(*roots, compileResolver_, deployResolver_);
    if (available_) wireOwnAttribute(compileResolver_, switch_);
  }
  void compile() {}
  // `force` changes nothing: the deploy runs only when something needs sending.
  void deploy(bool) {
    if (available_) send_(*clip_, group_, switch_.getCoerced());
  }

  bool available() const { return available_; }
  atat::Attribute<int>& count() { return count_.attribute(); }
  Switch& lineSwitch() { return switch_; }

 protected:
  DigitalLineChannels(Family* family, ClipConfiguration& clip, std::uint32_t countId,
                      const ififo_rpc::Capability<unsigned int>& countCapability,
                      const ififo_rpc::Capability<bool>& availability, LineGroup group, Send send)
      : compileResolver_(family),
        deployResolver_(family),
        clip_(&clip),
        available_(availability.value.value_or(false)),
        count_(countId, countCapability),
        switch_("", &kOff),
        group_(group),
        send_(send) {}
  ~DigitalLineChannels() override = default;

 private:
  static constexpr bool kOff = false;

  CompileResolver<Family> compileResolver_;
  DeployResolver<Family> deployResolver_;
  ClipConfiguration* clip_;
  bool available_;
  ChannelCountAttribute count_;
  Switch switch_;
  LineGroup group_;
  Send send_;
};

namespace di {

// "DI Channel Count" (capability 1000) and "DI Equalization Enable" (when 1007 is true).
class Channels final : public DigitalLineChannels<Channels, 0x40000010> {
 public:
  Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip);
};

}  // namespace di

namespace dout {

// "DO Channel Count" (capability 1001) and "DO Pre-Emphasis Enable" (when 1008 is true).
class Channels final : public DigitalLineChannels<Channels, 0x40000011> {
 public:
  Channels(const ClipCapabilities& capabilities, ClipConfiguration& clip);
};

}  // namespace dout

}  // namespace qvvandrel::config
