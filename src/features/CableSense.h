#pragma once
// Cable sensing: which analog inputs have a cable attached. Each analog input has a
// "CableSense Mode"; two session requests drive the sense line of every channel in mode 1 high
// and later low again over the CLIP's analog-input interface (9), each time waiting until the
// line reads back the level it was driven to. While the lines are held high no host may
// change a mode.
//
// The configuration root keeps one CableSense: the instances in channel order, the
// in-progress flag and the mutex the two entry points hold while they drive and poll.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <boost/core/noncopyable.hpp>

#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "clip/ClipCapabilities.h"
#include "foundation/platform/synchronization.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/CommissionInterface.h"
#include "model/IfifoInterfaceCheck.h"
#include "model/Resolvers.h"

namespace qvvandrel {

// The setter of every "CableSense Mode": a host set while the lines are held high raises
// -304440 before anything is stored. Internal writes and resets are not refused.
class CableSenseSetter : public atat::Setter<oobx::attribute::CableSenseMode>,
                         private boost::noncopyable {
 public:
  using Mode = oobx::attribute::CableSenseMode;

  explicit CableSenseSetter(const std::atomic<bool>* inProgress) : inProgress_(inProgress) {}
  void beforeSet(iattr::AttributeInterface<Mode>& attribute) override;
  void beforeReset(iattr::AttributeInterface<Mode>&) override {}
  void afterSet(iattr::AttributeInterface<Mode>&) override {}
  void afterReset(iattr::AttributeInterface<Mode>&) override {}

 private:
  const std::atomic<bool>* inProgress_;
};

class CableSense : public CommissionInterface {
 public:
  using Mode = oobx::attribute::CableSenseMode;
  // The mode whose line the entry points drive; any other mode leaves the channel alone.
  static constexpr Mode kDriveLine{1};
  // How long a line may take to read back the level it was driven to, in milliseconds.
  static constexpr std::uint32_t kReadBackTimeoutMs = 50;
  static constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFF;

  // One analog input's sense line.
  class Instance : public CommissionInterface {
   public:
    using ModeAttribute = CatalogueAttribute<0x10000025>;

    // `interface9` is the session's check record; it and the setter outlive the instance.
    Instance(std::uint32_t channel, IfifoInterfaceCheck& interface9, CableSenseSetter& setter,
             std::uint32_t timeoutMs = kReadBackTimeoutMs);
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void registerAttributes(atat::AttributeRegistry* registry) override;
    void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;
    // The resolvers only group the mode in the graph.
    void compile() {}
    void deploy() {}

    // Drives the line to `state` (0 or 1; instruction 0x90F) and polls its level (0x910) until
    // it follows; -304333 when it has not within the timeout (none for kNoTimeLimit).
    void setLineAndWait(std::uint32_t state);

    std::uint32_t channel() const { return channel_; }
    ModeAttribute& mode() { return mode_; }

   private:
    CompileResolver<Instance> compileResolver_{this};
    DeployResolver<Instance> deployResolver_{this};
    std::uint32_t channel_;
    std::uint32_t timeoutMs_;
    IfifoInterfaceCheck* interface9_;
    ModeAttribute mode_;
  };

  // Without capability 116 or without an analog-input count (100) there is no instance and
  // interface 9 is not required. Otherwise, per analog input: interface 9 is required
  // (-304306, -304307), a line that reads high is driven low (-304333 when it stays high), and
  // the instance joins the list. A count above 1024 is refused with -52003 first.
  CableSense(const ClipCapabilities& capabilities, ClipConfiguration& clip);
  CableSense(const CableSense&) = delete;
  CableSense& operator=(const CableSense&) = delete;
  ~CableSense() override;

  // Every instance's mode, in channel order.
  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // Drives the line of every channel in mode 1 high, in channel order, and keeps the modes
  // locked until setLinesLow: -304438 without instances, -304439 when no channel is in mode 1
  // (the modes then stay locked too).
  void setLinesHigh();
  // Drives those lines low again and unlocks the modes (-304438 without instances); a failure
  // leaves the modes locked.
  void setLinesLow();

  bool inProgress() const { return inProgress_; }
  const std::vector<std::unique_ptr<Instance>>& instances() const { return instances_; }

 private:
  std::atomic<bool> inProgress_{false};
  CableSenseSetter setter_{&inProgress_};
  std::vector<std::unique_ptr<Instance>> instances_;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
};

}  // namespace qvvandrel
