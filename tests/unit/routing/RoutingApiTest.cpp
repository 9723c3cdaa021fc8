// The routing interface of device Dev1 in a session's dependency graph, over the route library
// stand-in: which signals the aliases make, their attributes, and the routes a commit builds.
#include <memory>
#include <string>
#include <vector>

#include "RouteLibraryTestbed.h"
#include "attributes/AttributeRegistry.h"
#include "model/Kommissar.h"
#include "routing/RoutingAPI.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using qvvandrel::DependencyAttribute;
using routingtest::built;
using routingtest::raised;
using routingtest::released;
using routingtest::Strings;
using routingtest::operator+;

qvvandrelbrenmooru::TerminalAliasInfo aliasesNamed(const Strings& names) {
  std::vector<qvsim::RoutingAliasSpec> specs;
  for (const std::string& name : names) specs.push_back({"PFI0", name});
  qvsim::XmlElement root{"TargetSpecificData", {}, {}, {}};
  root.children.push_back(qvsim::routingAliasesElement(specs));
  std::string text;
  root.render(text);
  return qvvandrelbrenmooru::TerminalAliasInfo(text);
}

// One attribute as the registry and the lists hold it: identifier, channel, value.
struct Entry {
  std::uint32_t id;
  std::string channel;
  std::string value;
  bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << e.id << "/" << e.channel << "=" << e.value;
}

class RoutingApiTest : public routingtest::RouteLibraryTestbed {
 protected:
  RoutingApiTest() {
    library_.setTerminals("Dev1",
                          "Mosk,SourceSyncPulse,DestinationSyncPulse,PXI_Trig0,PXI_Trig1,PFI0,"
                          "PFI1,StartTrigger2");
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

  std::vector<Entry> terminalAttributes() const {
    std::vector<Entry> out;
    for (const auto& a : api_->terminalAttributes())
      out.push_back({a->getId(), a->getChannelName(), a->getCoerced()});
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
  auto& signals = api_->signals();
  ASSERT_EQ(signals.size(), 2u);
  EXPECT_EQ(signals.front().ownTerminal(), "Mosk");
  EXPECT_EQ(signals.front().attribute().getId(), 8628u);
  EXPECT_TRUE(signals.front().isSource());
  EXPECT_EQ(signals.back().ownTerminal(), "SourceSyncPulse");
  EXPECT_EQ(signals.back().attribute().getId(), 8549u);
  EXPECT_TRUE(api_->startTriggerSources().empty());
  EXPECT_EQ(terminalAttributes(),
            (std::vector<Entry>{{8623, "", ""}, {8550, "", "/Dev1/SourceSyncPulse"}}));
  EXPECT_EQ(registry_.size(), 7u);
  for (std::uint32_t id : {8628u, 8549u, 12196u, 8545u, 12195u, 8623u, 8550u})
    EXPECT_TRUE(registry_.contains(id, "")) << id;
  EXPECT_EQ(api_->syncPulseInput().routeSetting().destinations(),
            rocout::TerminalSet{"/Dev1/DestinationSyncPulse"});
  // Public identifiers have no display name; the resolvers carry their class names.
  EXPECT_EQ(std::string(signals.front().attribute().name()), "Not Available");
  EXPECT_EQ(std::string(api_->deployResolver().name()), "N9qvvandrel10RoutingAPIE");
  EXPECT_EQ(std::string(signals.front().compileResolver().name()), "N9qvvandrel13RoutingSignalE");
  EXPECT_TRUE(commit().empty());
}

TEST_F(RoutingApiTest, AliasesOfTheKnownBasesMakeSignalsInWalkOrder) {
  open({"DspReset3", "SourceDspReset0", "StartTriggerForMosk1", "StartTriggerForMosk",
        "StartTriggerForExport2", "StartTrigger", "StartTrigger2", "DspReset40", "Other0"});
  Strings signals;
  for (auto& s : api_->signals())
    signals.push_back(s.ownTerminal() + " " + std::to_string(s.attribute().getId()) + "/" +
                      s.attribute().getChannelName() + (s.isSource() ? " out" : " in"));
  EXPECT_EQ(signals, (Strings{"Mosk 8628/ out", "SourceSyncPulse 8549/ out",
                              "StartTriggerForExport2 805306371/2 out",
                              "StartTriggerForMosk 805306375/0 out",
                              "StartTriggerForMosk1 805306375/1 out", "DspReset3 805306379/3 in"}));
  Strings sources;
  for (auto& s : api_->startTriggerSources())
    sources.push_back(s.ownTerminal() + " " + s.sourceAttribute().getChannelName());
  EXPECT_EQ(sources, (Strings{"StartTrigger 0", "StartTrigger2 2"}));
  EXPECT_EQ(terminalAttributes(),
            (std::vector<Entry>{{0x3000000C, "0", "/Dev1/StartTriggerForMosk"},
                                {0x3000000C, "1", "/Dev1/StartTriggerForMosk1"},
                                {0x3000000A, "0", "/Dev1/SourceDspReset0"},
                                {8623, "", ""},
                                {8550, "", "/Dev1/SourceSyncPulse"}}));
  // 6 signals, 2 sources, the input's 3, 5 terminal attributes and the two of the test.
  EXPECT_EQ(registry_.size(), 18u);
  EXPECT_TRUE(registry_.contains(0x30000000, "2"));
  EXPECT_EQ(std::string(api_->startTriggerSources().front().compileResolver().name()),
            "N9qvvandrel18StartTriggerSourceE");
}

TEST_F(RoutingApiTest, ABareBaseBesideItsIndexZeroFormFailsConstruction) {
  for (const char* base : {"StartTrigger", "StartTriggerForExport", "StartTriggerForMosk",
                           "DspReset", "SourceDspReset"}) {
    EXPECT_EQ(raised([&] {
                qvvandrel::RoutingAPI api("Dev1", aliasesNamed({base, std::string(base) + "0"}));
              }).first,
              -1)
        << base;
  }
}

TEST_F(RoutingApiTest, ASourceSignalRoutesItsTerminalToEveryListedOne) {
  open({});
  set(8628, "", "PXI_Trig0, pxi_trig1");
  EXPECT_EQ(commit(), Strings{"qvrocoapi_createSession -> S1"} +
                          built("/Dev1/Mosk", "/Dev1/PXI_Trig0", 1) +
                          built("/Dev1/Mosk", "/Dev1/pxi_trig1", 2));
  EXPECT_TRUE(commit().empty());
  set(8628, "", "PXI_Trig1");
  EXPECT_EQ(commit(), released("/Dev1/PXI_Trig0", 1));
}

TEST_F(RoutingApiTest, EveryStaleRouteGoesBeforeAnyNewOneIsBuilt) {
  open({});
  set(8628, "", "PXI_Trig0");
  set(8549, "", "PFI0");
  commit();
  set(8628, "", "PXI_Trig1");
  set(8549, "", "PFI1");
  EXPECT_EQ(commit(), released("/Dev1/PXI_Trig0", 1) + released("/Dev1/PFI0", 2) +
                          built("/Dev1/Mosk", "/Dev1/PXI_Trig1", 3) +
                          built("/Dev1/SourceSyncPulse", "/Dev1/PFI1", 4));

  kommissar_.requestRedeploy();
  EXPECT_EQ(commit(), released("/Dev1/PXI_Trig1", 3) + released("/Dev1/PFI1", 4) +
                          built("/Dev1/Mosk", "/Dev1/PXI_Trig1", 5) +
                          built("/Dev1/SourceSyncPulse", "/Dev1/PFI1", 6));
}

TEST_F(RoutingApiTest, TheSyncPulseInputTakesItsSourceFromTheSelectedAttribute) {
  open({});
  set(8545, "", "PFI0");
  set(12196, "", "PFI1");
  EXPECT_EQ(commit(), Strings{"qvrocoapi_createSession -> S1"} +
                          built("/Dev1/PFI0", "/Dev1/DestinationSyncPulse", 1));
  registry_.getTyped<iattr::AttributeInterface<bool>>(12195, "")->set(true);
  EXPECT_EQ(commit(), released("/Dev1/DestinationSyncPulse", 1) +
                          built("/Dev1/PFI1", "/Dev1/DestinationSyncPulse", 2));
}

TEST_F(RoutingApiTest, MoskControlPutsTheMoskTerminalInPlaceOfTheTriggerSource) {
  open({"StartTrigger2"});
  auto& source = api_->startTriggerSources().front();
  EXPECT_TRUE(source.triggerTerminalLink().isLinked());
  EXPECT_TRUE(source.synchronisationControlLink().isLinked());
  set(0x30000000, "2", "PFI0");
  moskControl2_.set(true);
  EXPECT_EQ(commit(), Strings{"qvrocoapi_createSession -> S1"} +
                          built("/Dev1/PFI0", "/Dev1/StartTrigger2", 1));
  moskTerminal_.set("PXI_Trig1");
  EXPECT_EQ(commit(), released("/Dev1/StartTrigger2", 1) +
                          built("/Dev1/PXI_Trig1", "/Dev1/StartTrigger2", 2));
  EXPECT_EQ(source.sourceAttribute().getCoerced(), "PXI_Trig1");
  // Switched off, the substituted source stays until the attribute is set again.
  moskControl2_.set(false);
  EXPECT_TRUE(commit().empty());
  set(0x30000000, "2", "PFI1");
  EXPECT_EQ(commit(),
            released("/Dev1/StartTrigger2", 2) + built("/Dev1/PFI1", "/Dev1/StartTrigger2", 3));
  // An empty Mosk terminal substitutes nothing.
  moskTerminal_.set("");
  moskControl2_.set(true);
  EXPECT_TRUE(commit().empty());
}

TEST_F(RoutingApiTest, AStartTriggerSourceCannotCompileWithoutTheMoskTerminal) {
  open({"StartTrigger0"}, false);
  auto& source = api_->startTriggerSources().front();
  EXPECT_FALSE(source.triggerTerminalLink().isLinked());
  EXPECT_FALSE(source.synchronisationControlLink().isLinked());
  EXPECT_EQ(raised([&] { kommissar_.compile(); }), std::make_pair(-52003, std::string()));
}

TEST_F(RoutingApiTest, ASecondCommissionFindsTheLinksOfTheFirst) {
  open({"StartTrigger2"});
  EXPECT_EQ(raised([&] { api_->commission(&kommissar_.resolverRoots(), &registry_); }).first,
            -52003);
}

}  // namespace
