// The routing interface of device Dev1 in a session's dependency graph, over the route library
// stand-in: which signals the aliases make, their attributes, and the routes a commit builds.
#include <memory>

#include "RouteLibraryTestbed.h"
#include "attributes/AttributeRegistry.h"
#include "model/Kommissar.h"
#include "routing/RoutingAPI.h"

namespace routingtest {
namespace {

using qvvandrel::DependencyAttribute;

qvvandrelbrenmooru::TerminalAliasInfo aliasesNamed(const Strings& names) {
  std::vector<qvsim::RoutingAliasSpec> specs;
  for (const std::string& name : names) specs.push_back({"PFI0", name});
  return qvvandrelbrenmooru::TerminalAliasInfo(section(specs));
}

class RoutingApiTest : public RouteLibraryTestbed {
 protected:
  RoutingApiTest() {
    library_.setTerminals("Dev1",
                          "Mosk,SourceSyncPulse,DestinationSyncPulse,PXI_Trig0,"
                          "PXI_Trig1,PFI0,PFI1,StartTrigger2");
  }

  // Builds the interface from the aliases, registers the Mosk start trigger's terminal (5127)
  // and the Mosk control of trigger 2 as the session's other features would, and commissions.
  void open(const Strings& aliases, bool withMoskAttributes = true) {
    api_ = std::make_unique<qvvandrel::RoutingAPI>("Dev1", aliasesNamed(aliases));
    if (withMoskAttributes) {
      registry_.addAttribute(&moskTerminal_);
      registry_.addAttribute(&moskControl2_);
    }
    kommissar_.addCommission(api_.get());
    kommissar_.commission();
  }

  // The library calls of a commit.
  Strings commit() {
    kommissar_.compile();
    kommissar_.deploy();
    return newCalls();
  }

  void set(std::uint32_t id, const char* channel, const std::string& value) {
    registry_.getTyped<iattr::AttributeInterface<std::string>>(id, channel)->set(value);
  }

  // Signals as "<own terminal> <id>/<channel> out|in", sources as "<own terminal> <channel>",
  // terminal attributes as "<id>/<channel>=<value>", in list order; then the registry's keys.
  Strings describe() const {
    Strings out;
    for (auto& s : api_->signals())
      out.push_back(s.ownTerminal() + " " + std::to_string(s.attribute().getId()) + "/" +
                    s.attribute().getChannelName() + (s.isSource() ? " out" : " in"));
    for (auto& s : api_->startTriggerSources())
      out.push_back(s.ownTerminal() + " " + s.sourceAttribute().getChannelName());
    for (const auto& a : api_->terminalAttributes())
      out.push_back(std::to_string(a->getId()) + "/" + a->getChannelName() + "=" + a->getCoerced());
    return out;
  }

  atat::AttributeRegistry registry_{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar_{&registry_, nullptr};
  DependencyAttribute<std::string> moskTerminal_{5127, "", qvvandrel::initialValue(std::string())};
  DependencyAttribute<bool> moskControl2_{0x40000007, "2", qvvandrel::initialValue(false)};
  std::unique_ptr<qvvandrel::RoutingAPI> api_;
};

TEST_F(RoutingApiTest, WithoutAliasesOnlyTheFixedSignalsExist) {
  open({}, false);
  EXPECT_EQ(describe(), (Strings{"Mosk 8628/ out", "SourceSyncPulse 8549/ out",
                                 "8623/=", "8550/=/Dev1/SourceSyncPulse"}));
  // The signals' 2, the input's 3 and the 2 terminal attributes.
  EXPECT_EQ(registry_.size(), 7u);
  // Public identifiers have no display name.
  EXPECT_STREQ(api_->signals().front().attribute().name(), "Not Available");
  EXPECT_TRUE(commit().empty());
}

TEST_F(RoutingApiTest, AliasesOfTheKnownBasesMakeSignalsInWalkOrder) {
  open({"DspReset3", "SourceDspReset0", "StartTriggerForMosk1", "StartTriggerForMosk",
        "StartTriggerForExport2", "StartTrigger", "StartTrigger2", "DspReset40", "Other0"});
  EXPECT_EQ(
      describe(),
      (Strings{"Mosk 8628/ out", "SourceSyncPulse 8549/ out",
               "StartTriggerForExport2 805306371/2 out", "StartTriggerForMosk 805306375/0 out",
               "StartTriggerForMosk1 805306375/1 out", "DspReset3 805306379/3 in", "StartTrigger 0",
               "StartTrigger2 2", "805306380/0=/Dev1/StartTriggerForMosk",
               "805306380/1=/Dev1/StartTriggerForMosk1", "805306378/0=/Dev1/SourceDspReset0",
               "8623/=", "8550/=/Dev1/SourceSyncPulse"}));
  // 6 signals, 2 sources, the input's 3, 5 terminal attributes and the two of the test.
  EXPECT_EQ(registry_.size(), 18u);
}

TEST_F(RoutingApiTest, ABareBaseBesideItsIndexZeroFormFailsConstruction) {
  for (const std::string base : {"StartTrigger", "SourceDspReset"})
    EXPECT_EQ(raised([&] { open({base, base + "0"}); }).first, -1) << base;
}

// The Mosk signal routes its terminal to every listed one; the sync-pulse input routes from 12196
// while 12195 is true, else from 8545.
TEST_F(RoutingApiTest, EveryStaleRouteGoesBeforeAnyNewOneIsBuilt) {
  open({});
  set(8628, "", "PXI_Trig0, pxi_trig1");
  set(8545, "", "PFI0");
  set(12196, "", "PFI1");
  EXPECT_EQ(commit(), kCreated + built("/Dev1/Mosk", "/Dev1/PXI_Trig0", 1) +
                          built("/Dev1/Mosk", "/Dev1/pxi_trig1", 2) +
                          built("/Dev1/PFI0", "/Dev1/DestinationSyncPulse", 3));
  EXPECT_TRUE(commit().empty());
  set(8628, "", "PXI_Trig1, PFI0");
  registry_.getTyped<iattr::AttributeInterface<bool>>(12195, "")->set(true);
  EXPECT_EQ(commit(), released("/Dev1/PXI_Trig0", 1) + released("/Dev1/DestinationSyncPulse", 3) +
                          built("/Dev1/Mosk", "/Dev1/PFI0", 4) +
                          built("/Dev1/PFI1", "/Dev1/DestinationSyncPulse", 5));

  kommissar_.requestRedeploy();
  EXPECT_EQ(commit(), released("/Dev1/PFI0", 4) + released("/Dev1/pxi_trig1", 2) +
                          released("/Dev1/DestinationSyncPulse", 5) +
                          built("/Dev1/Mosk", "/Dev1/PFI0", 6) +
                          built("/Dev1/Mosk", "/Dev1/PXI_Trig1", 7) +
                          built("/Dev1/PFI1", "/Dev1/DestinationSyncPulse", 8));
}

TEST_F(RoutingApiTest, MoskControlPutsTheMoskTerminalInPlaceOfTheTriggerSource) {
  open({"StartTrigger2"});
  set(0x30000000, "2", "PFI0");
  moskControl2_.set(true);
  moskTerminal_.set("PXI_Trig1");
  EXPECT_EQ(commit(), kCreated + built("/Dev1/PXI_Trig1", "/Dev1/StartTrigger2", 1));
  EXPECT_EQ(api_->startTriggerSources().front().sourceAttribute().getCoerced(), "PXI_Trig1");
  // Switched off, the substituted source stays.
  moskControl2_.set(false);
  EXPECT_TRUE(commit().empty());
}

TEST_F(RoutingApiTest, AStartTriggerSourceCannotCompileWithoutTheMoskTerminal) {
  open({"StartTrigger0"}, false);
  EXPECT_EQ(raised([&] { kommissar_.compile(); }), std::make_pair(-52003, std::string()));
}

TEST_F(RoutingApiTest, ASecondCommissionFindsTheLinksOfTheFirst) {
  open({"StartTrigger2"});
  EXPECT_EQ(raised([&] { api_->commission(&kommissar_.resolverRoots(), &registry_); }).first,
            -52003);
}

}  // namespace
}  // namespace routingtest
