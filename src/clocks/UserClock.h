#pragma once
// The clocks a module's PLLs generate for the FPGA and its SerDes chips. The CLIP describes its
// PLL chips and its user clocks as capability sections; the feature checks and completes them
// on its own copy of the tree, offers per clock a frequency, a PLL bypass and an enable switch
// (named "CLK3", or after the SerDes chip or data clock the clock feeds), and the FPGA's TX clock
// and per RX bank the RX clock. A compile rounds the requested frequencies, groups the clocks
// that can share a PLL, searches each PLL's dividers and leaves the achieved frequencies as the
// coerced values; every deploy sends the PLL and output-divider settings over CLIP interface
// 0x12, the VCO period over interface 3 when the CLIP offers it, and the TX and RX choices over
// interface 2. Reached only through the configuration root, which calls collectAttributes and
// connect.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "attributes/Elaboration.h"
#include "attributes/Policies.h"
#include "attributes/ValueEnumerations.h"
#include "clip/ClipCapabilities.h"
#include "clocks/PllDividerSearch.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/AttributeCatalogue.h"
#include "model/ClipConfiguration.h"
#include "model/Resolvers.h"

namespace qvvandrel {

using oobx::attribute::QVA100_RXClockSource;

class UserClock {
 public:
  using KernelInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor;
  using PllSettings = qvvandrel::PllSettings;
  // What one clock's output divider is set to; the source is a PLL index or a marker.
  struct OutputSetting {
    std::uint32_t divider;
    std::uint32_t source;
    bool operator==(const OutputSetting&) const = default;
  };
  // A frequency the compile wants from one PLL, with the clocks that want it.
  struct FrequencyMember {
    double frequency;
    std::vector<std::uint32_t> clocks;
  };
  using FrequencyGroup = std::vector<FrequencyMember>;

  static constexpr std::uint32_t kUserClockCountId = 0x10000024;
  static constexpr std::uint32_t kFrequencyId = 0x2000002C;
  static constexpr std::uint32_t kBypassId = 0x40000020;
  static constexpr std::uint32_t kEnabledId = 0x40000021;
  static constexpr std::uint32_t kTxClockSelectId = 0x30000015;
  static constexpr std::uint32_t kRxBankCountId = 0x10000034;
  static constexpr std::uint32_t kRxClockSelectId = 0x10000032;
  static constexpr std::uint32_t kReferenceSourceId = 0x1000000B;
  static constexpr std::uint32_t kReferenceRateId = 0x20000018;
  // Output sources that are no PLL.
  static constexpr std::uint32_t kBypassSource = 0xFFFFFFFF;
  static constexpr std::uint32_t kNoSource = 0xFFFFFFFE;

  // The tree and the configuration are the session's and outlive the feature; the kernel
  // interface is asked for the module identifier during construction only.
  UserClock(const ClipCapabilities& capabilities, KernelInterface& kernel, ClipConfiguration& clip);
  UserClock(const UserClock&) = delete;
  UserClock& operator=(const UserClock&) = delete;

  void collectAttributes(atat::AttributeRegistry* registry);
  // Links the reference clock's source and rate, wires the resolvers and the own attributes
  // once; -52003 when a link was already made.
  void connect(const ResolverRoots* roots, atat::AttributeRegistry* registry);
  void compile();
  // Everything goes out on every deploy, whatever the force flag.
  void deploy(bool force);

  // Checks and completes the PLL and user-clock sections of the feature's own tree; whether PLL
  // user clocks exist. Raises -304510 on capabilities it cannot work with.
  bool parsePllSection();
  // The settings of PLL `pll` for one frequency group (pll::findDividers, with this feature's
  // group error).
  PllSettings findPllDividers(std::uint32_t pll, const std::vector<std::uint32_t>& clocks,
                              const std::vector<double>& frequencies, double referenceKHz) const;
  // Serves each group with the first free PLL among its sources, appending their settings.
  void searchPllDividers(const std::vector<FrequencyGroup>& groups, double referenceKHz);
  // Whether a clock with this rounded frequency and source list may share the group's PLL.
  bool canJoinGroup(std::uint32_t clock, double frequency,
                    const std::vector<std::uint32_t>& sources, const FrequencyGroup& group) const;
  // The PLLs a clock can be driven from: its output sources without the two markers.
  std::vector<std::uint32_t> outputSourcesOf(std::uint32_t clock) const;
  // The group error: -304435 for one clock, -304437 for several, naming each clock and its
  // requested frequency.
  [[noreturn]] void raiseNoDividerSolution(const std::vector<std::uint32_t>& clocks,
                                           const std::vector<double>& frequencies) const;
  // The items naming a clock in a failure: the frequency's identifier with its display name,
  // then the clock's name unless it is empty.
  static atat::elaboration::Cursor userClockIdentifier(atat::elaboration::Cursor cursor,
                                                       const char* channelName);

  bool isAvailable() const { return available_; }
  std::size_t clockCount() const { return frequencies_.size(); }
  const std::vector<std::uint8_t>& clockIds() const { return clockIds_; }
  const std::vector<std::string>& txClockNames() const { return txClockNames_; }
  std::int32_t txClockIndex() const { return txClockIndex_; }
  const std::vector<PllSettings>& pllSettings() const { return pllSettings_; }
  const std::vector<OutputSetting>& outputSettings() const { return outputSettings_; }
  // The feature's own copy of the tree, as parsePllSection left it.
  const ClipCapabilities& capabilities() const { return capabilities_; }

 private:
  using Frequency = CatalogueAttribute<kFrequencyId>;
  using Bypass = CatalogueAttribute<kBypassId>;
  using Enabled = CatalogueAttribute<kEnabledId>;
  using RxClockSelect = CatalogueAttribute<kRxClockSelectId>;

  void addClock(std::uint8_t id, const char* name, double frequency);
  void addSerialChannelClocks(KernelInterface& kernel);
  void compileTxClock();
  void compileRxClocks();
  bool isVcoPeriodAvailable();
  void deployVcoPeriod();
  template <typename F>
  void forEachOwnAttribute(F&& f);

  CompileResolver<UserClock> compileResolver_;
  DeployResolver<UserClock> deployResolver_;
  ClipCapabilities capabilities_;
  ClipConfiguration& clip_;
  AttributeLink<oobx::attribute::RefClkSrc> referenceSourceLink_;
  AttributeLink<double> referenceRateLink_;
  atat::FunctorGetter<int> userClockCountGetter_;
  atat::NotSettable<int> userClockCountSetter_;
  atat::Attribute<int> userClockCount_;
  std::vector<std::unique_ptr<Frequency>> frequencies_;
  std::vector<std::unique_ptr<Bypass>> bypasses_;
  std::vector<std::unique_ptr<Enabled>> enables_;
  CatalogueAttribute<kTxClockSelectId> txClockSelect_;
  std::vector<std::string> txClockNames_;
  std::int32_t txClockIndex_ = -1;
  CatalogueAttribute<kRxBankCountId> rxBankCount_;
  std::vector<std::unique_ptr<RxClockSelect>> rxClockSelects_;
  std::vector<std::uint8_t> clockIds_;
  bool available_ = false;
  std::vector<PllSettings> pllSettings_;
  std::vector<OutputSetting> outputSettings_;
};

}  // namespace qvvandrel
