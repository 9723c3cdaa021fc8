// The start triggers with their Mosk start trigger member, the analog edge triggers over them,
// and the scaling coefficients the analog edge triggers read.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../session/SessionTestbed.h"
#include "features/AnalogTrigger.h"
#include "features/Scaling.h"
#include "features/StartTrigger.h"
#include "model/Kommissar.h"
#include "routing/RoutingAPI.h"
#include "routing/TerminalAliasInfo.h"

namespace {

using attrtest::catchError;
using Writes = std::vector<std::pair<uint32_t, uint32_t>>;
using qvvandrel::CatalogueAttribute;
using qvvandrel::initialValue;
using Type = qvvandrel::oobx::attribute::TriggerType;
using Sync = qvvandrel::oobx::attribute::StartTriggerSync;
using Sensitivity = qvvandrel::oobx::attribute::TriggerSensitivity;

// Design offsets: start trigger n at 0x100 + 8n (configuration) and + 4 (metadata); analog edge
// trigger n at 0x400 + 16n (threshold, channel, hysteresis, rising).
constexpr auto startConfig = [](uint32_t n) { return 0x100 + 8 * n; };
constexpr uint32_t kLevel = 0x20000002, kHysteresis = 0x20000003, kChannel = 0x10000008;

// The terminal aliases of a bitfile that names `names`.
std::unique_ptr<qvvandrelbrenmooru::TerminalAliasInfo> aliasesNamed(
    const std::vector<std::string>& names) {
  std::vector<qvsim::RoutingAliasSpec> specs;
  for (const std::string& name : names) specs.push_back({"PFI0", name});
  qvsim::XmlElement root{"TargetSpecificData", {}, {}, {qvsim::routingAliasesElement(specs)}};
  std::string text;
  root.render(text);
  return std::make_unique<qvvandrelbrenmooru::TerminalAliasInfo>(text);
}

// `out`, then per analog edge trigger {n, threshold, re-arm} its deploy: threshold, re-arm (to
// the hysteresis register), rising, channel.
Writes deployed(std::vector<std::vector<int32_t>> triggers, bool rising = true, int32_t channel = 0,
                Writes out = {}) {
  for (const std::vector<int32_t>& t : triggers)
    for (auto [at, value] : {std::pair{0, t[1]}, {8, t[2]}, {12, int32_t{rising}}, {4, channel}})
      out.emplace_back(0x400 + 16 * t[0] + at, value);
  return out;
}

class TriggerTest : public sessiontest::SessionTestbed {
 protected:
  // Configuration registers of `configured`, metadata registers of `withMetadata`, and the four
  // analog-edge registers of `analogs` but for `dropped`.
  void openDesign(const std::vector<uint32_t>& configured,
                  const std::vector<uint32_t>& withMetadata,
                  const std::vector<uint32_t>& analogs = {}, const std::string& dropped = "") {
    std::vector<qvsim::RegisterSpec> specs;
    for (uint32_t n : configured)
      specs.emplace_back("vandrel.trigger.start.cfg " + std::to_string(n), startConfig(n), "U16");
    for (uint32_t n : withMetadata)
      specs.emplace_back("vandrel.trigger.start.metadata " + std::to_string(n), startConfig(n) + 4,
                         "U16");
    const char* kinds[] = {"threshold ", "channel ", "hysteresis ", "rising "};
    for (uint32_t n : analogs)
      for (uint32_t k = 0; k < 4; ++k)
        if (std::string name = "vandrel.trigger.analog.edge." + (kinds[k] + std::to_string(n));
            name != dropped)
          specs.emplace_back(name, 0x400 + 16 * n + 4 * k, k < 3 ? "I32" : "Boolean");
    open(specs);
  }

  // Commits; returns the register writes made, (design offset, value), in order.
  Writes commit() {
    sim.device().clearLog();
    kommissar.compile();
    kommissar.deploy();
    return writes();
  }
  Writes writes() {
    Writes out;
    for (const sim::LogEntry& e : sim.device().log()) {
      if (e.command != sessiontest::kWrite32) continue;
      uint32_t word[2];
      std::memcpy(word, e.input.data(), 8);
      out.emplace_back(word[0] - 0x8000, word[1]);
    }
    return out;
  }
  int commitError() {
    return attrtest::catchError([&] { commit(); }).code;
  }

  template <typename T>
  iattr::AttributeInterface<T>& attribute(uint32_t id, const std::string& channel = "") {
    return *registry.getTyped<iattr::AttributeInterface<T>>(id, channel.c_str());
  }

  // Both trigger features over the open design, and the routing interface when `routed`,
  // commissioned with every feature added before.
  void build(const std::vector<std::string>& names = {}, bool routed = false) {
    aliases = aliasesNamed(names);
    start = std::make_unique<qvvandrel::StartTrigger>(*transport, *aliases, "Dev1");
    if (routed) routing = std::make_unique<qvvandrel::RoutingAPI>("Dev1", *aliases);
    if (routed) kommissar.addCommission(routing.get());
    analog = std::make_unique<qvvandrel::AnalogTrigger>(transport.get());
    kommissar.addCommission(start.get());
    kommissar.addCommission(analog.get());
    kommissar.commission();
  }
  qvvandrel::StartTriggerAttributes& record(uint32_t n) {
    return *std::next(start->records().begin(), n);
  }
  // Level, hysteresis and edge of analog edge trigger 0.
  void set(double level, double hysteresis = 0.0, bool rising = true) {
    attribute<double>(kLevel, "0").set(level);
    attribute<double>(kHysteresis, "0").set(hysteresis);
    attribute<bool>(0x40000002, "0").set(rising);
  }

  std::unique_ptr<qvvandrelbrenmooru::TerminalAliasInfo> aliases;
  std::unique_ptr<qvvandrel::RoutingAPI> routing;
  std::unique_ptr<qvvandrel::StartTrigger> start;
  std::unique_ptr<qvvandrel::AnalogTrigger> analog;
  qvvandrel::ClipCapabilities capabilities{false};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, nullptr};
};

TEST_F(TriggerTest, StartTriggersFollowTheConfigurationRegistersAndTheMetadataTheirTypes) {
  openDesign({0, 1, 2, 3, 5}, {1, 3});
  registers().poke(address("vandrel.trigger.start.metadata 1"), 0x5);
  registers().poke(address("vandrel.trigger.start.metadata 3"), 0x8);
  failNext(sessiontest::kRead32, -52024);  // trigger 1's read: retried at the next compile
  build();
  EXPECT_EQ(registry.size(), 5u * 4u + 7u);  // four attributes a record, and the Mosk member's
  auto types = [&](uint32_t n) {
    return std::next(start->instances().begin(), n)->supportedTriggerTypes();
  };
  EXPECT_EQ(types(3), (std::vector<int32_t>{0, 1, 5}));
  EXPECT_EQ(types(2).size(), 6u);  // no metadata register

  record(1).type.set(Type{3});
  const auto thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(types(1), (std::vector<int32_t>{0, 1, 2, 4}));
  EXPECT_NE(thrown.detail.find(R"("kUsageTypePossibleValues","value":[0,1,2,4])"),
            std::string::npos);
  EXPECT_TRUE(thrown.detail.ends_with(
      R"("comment":"Start Trigger Type"},{"type":"usage","usage":"kUsageTypeTriggerName",)"
      R"("value":"1","value_type":"string"}]}})"));
}

TEST_F(TriggerTest, TheStartTriggerWordIsWrittenWhenItChangesOrOnARedeploy) {
  openDesign({0, 1}, {});
  build();
  failNext(sessiontest::kWrite32, -52024);  // word 0 as last written: forced by the redeploy root
  EXPECT_EQ(commitError(), -52024);
  EXPECT_EQ(commit(), (Writes{{startConfig(0), 0}, {startConfig(1), 0}}));
  record(1).type.set(Type{5});
  record(1).sensitivity.set(Sensitivity{0x7FFFFFFD});
  record(1).synchronizer.set(Sync{2});
  EXPECT_EQ(commit(), (Writes{{startConfig(1), 0xC2}}));
  EXPECT_EQ(commit(), Writes{});
  kommissar.requestRedeploy();
  EXPECT_EQ(commit(), (Writes{{startConfig(0), 0}, {startConfig(1), 0xC2}}));

  record(1).type.set(Type{1});
  record(1).sensitivity.set(Sensitivity{0x7FFFFFFF});
  record(1).synchronizer.set(Sync{1});
  EXPECT_EQ(commit(), (Writes{{startConfig(1), 0x05}}));
  record(1).synchronizer.set(Sync{3});
  EXPECT_EQ(commitError(), -304408);
}

TEST_F(TriggerTest, TheMoskStartTriggerRewritesTheEnabledRecords) {
  openDesign({0, 1, 2}, {});
  build();
  record(1).moskControl.set(true);
  attribute<int>(0x10000020).set(1);  // the primary trigger
  record(0).type.set(Type{3});
  record(2).type.set(Type{2});  // trigger 2 stays disabled: its own choices hold
  record(2).synchronizer.set(Sync{1});
  // Mosk session reference, 8633, 5011, host-set type of the primary trigger (-1: none), then
  // the synchronisers and types of triggers 0 and 1 and 5011 after the compile.
  const std::vector<int> rows[] = {
      {0, 0, 4, -1, 0, 0, 3, 0, 4}, {5, 5, 4, -1, 2, 1, 3, 0, 4}, {7, 8, 1, -1, 2, 2, 4, 4, 1},
      {7, 8, 2, -1, 2, 2, 1, 1, 2}, {7, 8, 3, -1, 2, 2, 0, 0, 3}, {7, 8, 3, 4, 2, 2, 4, 4, 1},
      {7, 8, 3, 7, 2, 2, 1, 1, 2},  {7, 7, 3, 4, 2, 1, 3, 4, 1},
  };
  for (const std::vector<int>& row : rows) {
    attribute<int>(0x10000007).set(row[0]);
    attribute<unsigned>(8633).set(static_cast<uint32_t>(row[1]));
    attribute<qvajel_TriggerType>(5011).set(qvajel_TriggerType{row[2]});
    record(1).type.reset();
    if (row[3] >= 0) record(1).type.set(Type{row[3]});
    kommissar.compile();
    EXPECT_EQ(
        std::vector<int>({record(0).synchronizer.getCoerced(), record(1).synchronizer.getCoerced(),
                          record(0).type.getCoerced(), record(1).type.getCoerced(),
                          attribute<qvajel_TriggerType>(5011).getCoerced()}),
        std::vector<int>(row.begin() + 4, row.end()));
    EXPECT_EQ(std::pair(record(2).type.getCoerced(), record(2).synchronizer.getCoerced()),
              std::pair(Type{2}, Sync{1}));
  }
  record(0).synchronizer.set(Sync{1});  // the host's synchroniser holds
  kommissar.compile();
  EXPECT_EQ(record(0).synchronizer.getCoerced(), Sync{1});
}

TEST_F(TriggerTest, ThePrimaryStartTriggerNamesItsMoskTerminal) {
  openDesign({0}, {});
  build({"StartTriggerForMosk", "StartTriggerForMosk3"});
  for (auto [primary, terminal] :
       {std::pair<int, const char*>{3, "/Dev1/StartTriggerForMosk3"}, {2, ""}}) {
    attribute<int>(0x10000020).set(primary);
    kommissar.compile();
    EXPECT_EQ(attribute<std::string>(8622).getCoerced(), terminal);
  }
  EXPECT_EQ(catchError([&] { build({"StartTriggerForMosk", "StartTriggerForMosk0"}); }).code, -1);
}

// The routing interface's start-trigger sources link the Mosk control of the records that exist.
TEST_F(TriggerTest, MoskControlAloneReRunsTheMoskStartTriggerAndItsStartTriggerSource) {
  openDesign({0, 1}, {});
  build({"StartTrigger0", "StartTrigger1", "StartTrigger2", "StartTrigger3"}, true);
  std::vector<bool> linked;
  for (const qvvandrel::StartTriggerSource& source : routing->startTriggerSources()) {
    EXPECT_TRUE(source.triggerTerminalLink().isLinked());
    linked.push_back(source.synchronisationControlLink().isLinked());
  }
  EXPECT_EQ(linked, (std::vector<bool>{true, true, false, false}));
  EXPECT_TRUE(start->mosk().links()[1].sourceLink.isLinked());  // the Mosk start trigger's too
  attribute<int>(0x10000007).set(5);  // the primary trigger 0 gets synchroniser 1, others 2
  attribute<unsigned>(8633).set(5);
  EXPECT_EQ(commit(), (Writes{{startConfig(0), 0x01}, {startConfig(1), 0}}));
  record(1).moskControl.set(true);
  EXPECT_TRUE(std::next(routing->startTriggerSources().begin())->compileResolver().isNodeDirty());
  EXPECT_EQ(commit(), (Writes{{startConfig(1), 0x02}}));
  const auto again = catchError([&] { start->commission(&kommissar.resolverRoots(), &registry); });
  EXPECT_EQ(std::pair(again.code, again.detail), std::pair(-52003, std::string()));  // bare
  EXPECT_EQ(catchError([&] { routing->commission(&kommissar.resolverRoots(), &registry); }).code,
            -52003);
}

TEST_F(TriggerTest, AnalogTriggersNeedAllFourRegistersAndFollowTheirStartTriggerType) {
  openDesign({3}, {}, {0, 1, 2, 3}, "vandrel.trigger.analog.edge.rising 2");
  qvvandrel::Scaling scaling(capabilities);  // no "ADC Resolution": a 32-bit full scale
  kommissar.addCommission(&scaling);
  build();
  EXPECT_EQ(analog->instances().size(), 3u);
  attribute<double>(kLevel, "3").set(5.0);  // another trigger type: neither checked nor written
  attribute<double>(kHysteresis, "3").set(-1.0);
  set(1073741823.75);
  EXPECT_EQ(commit(), deployed({{0, 1073741823, 1073741823}, {1, 0, 0}, {3, 0, 0}}, true, 0,
                               {{startConfig(3), 0}}));
  record(0).type.set(Type{4});
  EXPECT_EQ(commitError(), -304408);
  EXPECT_EQ(catchError([&] { analog->commission(&kommissar.resolverRoots(), &registry); }).code,
            -52003);
}

TEST_F(TriggerTest, LevelAndHysteresisBecomeConverterCodesWithinTheirIntervals) {
  openDesign({}, {}, {0});
  build();
  struct Row {
    double level, hysteresis;
    bool rising;
    int error;
    int32_t threshold = 0, rearm = 0;
  };
  // code(x) = (x + 1) * 0.5 * 4294967295 - 2147483648, truncated toward zero.
  const Row rows[] = {
      {0.5, 0.0, true, 0, 1073741823, 1073741823},   // 1073741823.25 - (-0.5)
      {0.5, 0.1, true, 0, 1073741823, 858993459},    // 1073741823.25 - 214748364.25
      {0.5, 0.1, false, 0, 1073741823, 1288490187},  // 214748364.25 + 1073741823.25
      {0.5, -1e-13, true, 0, 1073741823, 1073741823},
      {0.5, -1e-11, true, -304408},
      {1.0 - 1e-13, 0.0, true, -304408},   // counts as the upper bound
      {-1.0, 0.0, false, -52005},          // passes the check, but n = -1
      {0.5, 1.5, true, -304408},           // the whole distance down to -1
      {0.5, 0.5, false, -304408},          // the whole distance up to 1
      {-1.0 + 1e-10, 0.0, false, -52005},  // re-arm -2147483648.29
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.level << " " << row.hysteresis << " " << row.rising);
    set(row.level, row.hysteresis, row.rising);
    EXPECT_EQ(commitError(), row.error);
    if (row.error == 0) {
      EXPECT_EQ(writes(), deployed({{0, row.threshold, row.rearm}}, row.rising));
    }
  }
  set(1.0);
  EXPECT_TRUE(catchError([&] { commit(); })
                  .detail.ends_with(
                      R"([{"type":"usage","usage":"kUsageTypeRequestedValue","value":"1.0",)"
                      R"("value_type":"float"},{"type":"usage","usage":"kUsageTypeMinValue",)"
                      R"("value":"-1.0","value_type":"float"},{"type":"usage","usage":)"
                      R"("kUsageTypeValMustBeLessThan","value":"1.0","value_type":"float"},)"
                      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)"
                      R"(536870914,"value_type":"int32_t","comment":"Analog Edge Trigger Level"},)"
                      R"({"type":"usage","usage":"kUsageTypeTriggerName","value":"0",)"
                      R"("value_type":"string"}]}})"));
  set(0.0);
  failNext(sessiontest::kWrite32, -52024);  // a failed write stops the rest
  EXPECT_EQ(commitError(), -52024);
  EXPECT_EQ(writes(), (Writes{{0x400, 0}}));
}

TEST_F(TriggerTest, TheScaledRangeFollowsGainOffsetAndResolution) {
  capabilities.cap100.acceptValue(2);
  qvvandrel::Scaling scaling(capabilities);
  CatalogueAttribute<0x10000005> resolution(nullptr, initialValue(16));
  CatalogueAttribute<0x20000010> range("AI1", initialValue(2.0));
  registry.addAttribute(&resolution);
  registry.addAttribute(&range);
  kommissar.addCommission(&scaling);
  openDesign({}, {}, {0});
  build();
  attribute<double>(0x2000001D, "AO0").set(0.25);  // a host-set scaling offset stays
  commit();
  EXPECT_EQ(scaling.aiCoefficients().back().gain(), 2.0 / 65535.0);
  EXPECT_EQ(scaling.aiCoefficients().front().gain(), 1.0);  // no range on "AI0"
  EXPECT_EQ(scaling.aoCoefficients().front().offset(), 0.25);
  EXPECT_EQ(catchError([&] { scaling.commission(&kommissar.resolverRoots(), &registry); }).code,
            -52003);
  struct Row {
    int resolution, channel;
    double level;  // half of the upper bound: code 1073741823 in both registers
  };
  const Row rows[] = {
      {16, 0, 16383.75},      {0, 0, 1073741823.75},  // 0 counts as 32 bits
      {32, 0, 1073741823.75}, {-48, 0, 16383.75},     // the residue 16
      {16, 2, 0.5},           {16, -1, 0.5},          // beyond the list, and negative: unscaled
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.resolution << " " << row.channel);
    resolution.set(row.resolution);
    attribute<int>(kChannel, "0").set(row.channel);
    set(row.level);
    EXPECT_EQ(commit(), deployed({{0, 1073741823, 1073741823}}, true, row.channel));
  }
  attribute<int>(kChannel, "0").set(1);
  attribute<double>(0x20000012, "AI1").set(100.0);  // the offset moves the centre
  resolution.set(1);
  range.set(4.0);  // gain 4, half range 2
  set(101.0);
  EXPECT_EQ(commit(), deployed({{0, 1073741823, 1073741823}}, true, 1));
  resolution.set(0);
  range.set(0.0);  // gain 0 / 0.0 = NaN: refused before any conversion
  EXPECT_EQ(commitError(), -52005);
  EXPECT_EQ(writes(), Writes{});
}

TEST(ScalingTest, ARecordPerChannelUpToTheSixtyFourNames) {
  for (auto [reported, records] :
       {std::pair<std::optional<uint32_t>, size_t>{4, 4}, {std::nullopt, 64}, {0, 0}, {70, 64}}) {
    qvvandrel::ClipCapabilities capabilities(false);
    if (reported) capabilities.cap100.acceptValue(*reported);
    if (reported) capabilities.cap300.acceptValue(*reported);
    qvvandrel::Scaling scaling(capabilities);
    atat::AttributeRegistry registry{-304404, -304403, -304500};
    scaling.registerAttributes(&registry);
    EXPECT_EQ(registry.size(), 4 * records + 2);
    using ListView = iattr::AttributeInterface<const qvvandrel::CoefficientList*>;
    EXPECT_EQ(registry.getTyped<ListView>(0x50000005, "AI")->getCoerced(),
              &scaling.aiCoefficients());  // even when empty
  }
}

}  // namespace
