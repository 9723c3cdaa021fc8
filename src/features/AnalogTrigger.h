#pragma once
// Analog edge triggers: a start trigger fires when an analog input crosses a level. Each
// instance checks its level and hysteresis against the input's scaled range (the scaling
// coefficients and the ADC resolution) and turns them into signed 32-bit converter codes;
// deploy writes threshold, re-arm code, edge and channel. While the start trigger of the same
// index is not of the analog-edge type the instance writes a neutral configuration.

#include <cstdint>
#include <list>

#include "attributes/AttributeRegistry.h"
#include "features/Coefficients.h"
#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

class AnalogTrigger : public CommissionInterface {
 public:
  static constexpr std::uint32_t kTriggerCount = 32;
  // The start-trigger type under which an instance programs its trigger.
  static constexpr std::int32_t kAnalogEdgeTriggerType = 4;

  class Instance {
   public:
    // The values compile leaves for deploy.
    struct Settings {
      std::int32_t threshold = 0;
      std::int32_t channel = 0;
      std::int32_t rearm = 0;  // written to the hysteresis register
      bool rising = true;
    };

    // Resolves the four registers of `index` (threshold, channel, hysteresis, rising).
    Instance(SessionTransportInterface& transport, std::uint32_t index);
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Whether all four registers resolved; an instance without them is not kept.
    bool present() const { return !registerStatus_.isError(); }

    // Level, hysteresis, rising, channel.
    void registerAttributes(atat::AttributeRegistry& registry);
    // A link made by an earlier commission raises -52003.
    void commission(const ResolverRoots& roots, const atat::AttributeRegistry& registry);
    void compile();
    // Writes all four registers on every deploy; a failed write stops the rest.
    void deploy(bool force);

    std::uint32_t index() const { return index_; }
    const Settings& settings() const { return settings_; }

   private:
    using IntRegister = qvisl::Register<int, SessionTransportInterface>;
    using BoolRegister = qvisl::Register<bool, SessionTransportInterface>;

    nQVVUSKS100::tStatus registerStatus_;
    Settings settings_;
    IntRegister threshold_;
    IntRegister channel_;
    IntRegister hysteresis_;
    BoolRegister rising_;
    CatalogueAttribute<0x20000002> levelAttribute_;
    CatalogueAttribute<0x20000003> hysteresisAttribute_;
    CatalogueAttribute<0x40000002> risingAttribute_;
    CatalogueAttribute<0x10000008> channelAttribute_;
    CompileResolver<Instance> compileResolver_;
    DeployResolver<Instance> deployResolver_;
    std::uint32_t index_;
    AttributeLink<const CoefficientList*> scalingLink_;
    AttributeLink<int> resolutionLink_;
    AttributeLink<oobx::attribute::TriggerType> triggerTypeLink_;
  };

  // An instance for each index 0..31 whose four registers the bitfile holds. The transport is
  // the session's and outlives the feature.
  explicit AnalogTrigger(SessionTransportInterface* transport);
  AnalogTrigger(const AnalogTrigger&) = delete;
  AnalogTrigger& operator=(const AnalogTrigger&) = delete;
  ~AnalogTrigger() override = default;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  std::list<Instance>& instances() { return instances_; }

 private:
  SessionTransportInterface* transport_;
  std::list<Instance> instances_;
};

}  // namespace qvvandrel
