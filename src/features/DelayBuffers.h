#pragma once
// The data delay buffers of the design: up to two, each delaying a data stream by a whole
// number of data clocks, found by register name when the session opens.

#include <cstdint>

#include "attributes/AttributeRegistry.h"
#include "foundation/errors/Status.h"
#include "model/AttributeCatalogue.h"
#include "model/InstanceList.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

// Delay buffer n: present when the design has both its clock-count and its reset register.
// "Data Delay" (on channel "0" or "1") is in seconds when a data clock rate is linked, else in
// clocks; the compile step turns it into whole clocks and reports the delay actually applied.
class DelayBufferInstance {
 public:
  using DelayAttribute = CatalogueAttribute<0x20000019>;
  // The largest count the clock register holds.
  static constexpr std::uint32_t kMaxClocks = 0xFFFF;

  DelayBufferInstance(std::uint32_t number, SessionTransportInterface& transport);
  DelayBufferInstance(const DelayBufferInstance&) = delete;
  DelayBufferInstance& operator=(const DelayBufferInstance&) = delete;

  bool present() const { return !status_.isError(); }
  void registerAttributes(atat::AttributeRegistry& registry);
  // Links "Data Clock Rate" when it is registered.
  void commission(const ResolverRoots& roots, atat::AttributeRegistry& registry);
  // A delay that is negative, not a number or more than kMaxClocks clocks raises -304408.
  void compile();
  // Writes the clock count, then the reset.
  void deploy(bool force);

  DelayAttribute& delay() { return delay_; }
  std::uint16_t clocks() const { return clocks_; }
  std::uint16_t lastDeployedClocks() const { return lastClocks_; }

 private:
  CompileResolver<DelayBufferInstance> compileResolver_;
  DeployResolver<DelayBufferInstance> deployResolver_;
  nQVVUSKS100::tStatus status_;
  qvisl::Register<unsigned short, SessionTransportInterface> clocksRegister_;
  qvisl::Register<bool, SessionTransportInterface> resetRegister_;
  DelayAttribute delay_;
  AttributeLink<double> dataClockRate_;
  std::uint16_t clocks_ = 0;
  std::uint16_t lastClocks_ = 0;
};

using DelayBuffers = InstanceList<DelayBufferInstance, 2>;

}  // namespace qvvandrel
