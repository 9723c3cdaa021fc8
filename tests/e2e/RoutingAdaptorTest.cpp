// The route-configuration engine's view: the plug-in loaded by path, its routing-adaptor exports
// driven against a simulated module's kernel routing interface.

#include <dlfcn.h>

#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "routing/RoutingEngine.h"
#include "tests/unit/ThreadNames.h"

namespace {

using namespace routingtest;
using unittest::waitForThreadsNamed;

class PluginLibrary {
 public:
  PluginLibrary() : handle_(dlopen(QV_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~PluginLibrary() {
    if (handle_) dlclose(handle_);
  }
  void* handle() const { return handle_; }

 private:
  void* handle_;
};

class RoutingAdaptorE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(plugin.handle(), nullptr) << dlerror();
    bed = std::make_unique<RoutingBed>(Exports::lookUp(plugin.handle()));
  }
  void TearDown() override { bed.reset(); }

  PluginLibrary plugin;
  std::unique_ptr<RoutingBed> bed;
};

TEST_F(RoutingAdaptorE2E, ExportsTheWholeFamilyAtApiVersionThree) {
#define QV_EXPECT_FOUND(name) EXPECT_NE(reinterpret_cast<void*>(bed->x.name), nullptr) << #name;
  QV_ROUTING_EXPORTS(QV_EXPECT_FOUND)
#undef QV_EXPECT_FOUND
  EXPECT_EQ(bed->x.getAPIVersion(), 3u);
}

TEST_F(RoutingAdaptorE2E, SessionListsTheTopographyThenTheAliasTerminalsOnItsOwnThread) {
  bed->model.setAliasStream(sim::RoutingModel::aliasStream(
      {{"PXI_Trig2", "TriggerBus2"}, {"Gpio7", "MyStart"}, {"NoSuchTerminal", "Skipped"}}));
  // Only sessions start threads of that name here; earlier cases' may still be listed for a
  // moment after their join.
  ASSERT_TRUE(waitForThreadsNamed("qvvandrelbrenmo", 0));
  ZUZSession* s = bed->open();
  ASSERT_NE(s, nullptr) << bed->lastOpen.detailText();
  EXPECT_TRUE(waitForThreadsNamed("qvvandrelbrenmo", 1));

  qverr::Status status;
  TerminalIterator* it = bed->x.getAllTerminals(s, &status);
  std::vector<std::string> names;
  for (; !bed->x.TerminalIterator_isEnd(it); bed->x.TerminalIterator_next(it, &status)) {
    names.push_back(bed->x.TerminalIterator_getStringAttribute(it, "name", &status));
  }
  ASSERT_EQ(status.code, 0) << status.detailText();
  ASSERT_EQ(names.size(), 153u + 2u);
  EXPECT_EQ(names.front(), "FLOAT");
  EXPECT_EQ(names[152], "DRAL7");
  // Aliases in alias-name order, after the table.
  EXPECT_EQ(names[153], "MyStart");
  EXPECT_EQ(names[154], "TriggerBus2");
  bed->x.TerminalIterator_destroy(it);

  // The kernel was asked for the topography name and armed with the session's notification.
  const auto log = bed->model.routing().log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0].command, 0x00208008u);
  EXPECT_EQ(log[1].command, 0x4010FF00u);
  ASSERT_TRUE(bed->model.notices().registration(0x80000000).has_value());

  bed->x.destroySession(s);
  EXPECT_TRUE(waitForThreadsNamed("qvvandrelbrenmo", 0));
  EXPECT_EQ(bed->model.notices().armedCount(), 0u);
  EXPECT_EQ(bed->module.routingInterface().openCount(), 0);
}

TEST_F(RoutingAdaptorE2E, CalculatesARouteFromSeedsToPxiTrig1) {
  ZUZSession* s = bed->open();
  ASSERT_NE(s, nullptr);
  qverr::Status status;
  uint32_t word = 0;
  const std::string routes =
      bed->calculate(s, R"([{"terminal":"Source0","cost":1,"constraints":{}}])", R"(["PXI_Trig1"])",
                     status, "{}", &word);
  EXPECT_EQ(status.code, 0) << status.detailText();
  EXPECT_EQ(routes, R"([{"ticket":1,"destination":"PXI_Trig1","cost":2,"indexOfStartingSeed":0,)"
                    R"("constraints":{}}])");
  EXPECT_EQ(word, 1u);
  // The engine's block: asked with the empty output variable, sized to the 256-byte builder.
  EXPECT_EQ(Allocations::lastPrevious.load(), nullptr);
  EXPECT_EQ(Allocations::lastSize.load(), 256u);

  // What the kernel read: the session's identity, one seed {Source0 = 39, cost 1, no
  // inversion}, the destination PXI_Trig1 = 3 and room for two routes.
  const auto got = bed->model.lastCalculation();
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->session, reinterpret_cast<uint64_t>(s));
  EXPECT_EQ(got->seeds, (std::vector<uint8_t>{39, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(got->destinations, std::vector<uint32_t>{3});
  EXPECT_EQ(got->capacity, 2u);
  bed->x.destroySession(s);
}

TEST_F(RoutingAdaptorE2E, ReservationHeldByAnotherSessionReportsItsConflict) {
  ZUZSession* a = bed->open();
  ZUZSession* b = bed->open();
  ASSERT_TRUE(a && b);
  const uint32_t held = bed->route(a, "Source0", "PXI_Trig1");
  const uint32_t wanted = bed->route(b, "Source1", "PXI_Trig1");
  ASSERT_TRUE(held && wanted);

  Text none;
  qverr::Status status;
  bed->x.reserveRoute(a, held, &none.text, &status);
  bed->x.programRoute(a, held, &status);
  ASSERT_EQ(status.code, 0) << status.detailText();

  Text conflicts;
  bed->x.reserveRoute(b, wanted, &conflicts.text, &status);
  EXPECT_EQ(status.code, -89137);
  EXPECT_EQ(conflicts.str(),
            "[{\"sessionId\":" + sessionId(a) + ",\"ticket\":" + std::to_string(held) + "}]");
  EXPECT_EQ(none.text, nullptr);

  // Released in the engine's order, the line is free for the other session.
  bed->x.unprogramRoute(a, held);
  bed->x.unreserveRoute(a, held);
  bed->x.destroyRoute(a, held);
  qverr::Status again;
  bed->x.reserveRoute(b, wanted, &conflicts.text, &again);
  EXPECT_EQ(again.code, 0) << again.detailText();
  EXPECT_EQ(bed->model.route(held), std::nullopt);
  bed->x.destroySession(a);
  bed->x.destroySession(b);
}

TEST_F(RoutingAdaptorE2E, FortyTerminalPathSucceedsAfterTheBufferTooSmallRetry) {
  ZUZSession* s = bed->open();
  const uint32_t ticket = bed->route(s, "Source0", "PXI_Trig1");
  std::vector<uint32_t> ids;
  std::string expected = "[";
  for (uint32_t i = 0; i < 40; ++i) {
    ids.push_back(39 + i);  // Source0.. Source31, then Destination0..7
    expected += (i ? ",\"" : "\"") +
                (i < 32 ? "Source" + std::to_string(i) : "Destination" + std::to_string(i - 32)) +
                "\"";
  }
  expected += "]";
  bed->model.setPath(ticket, ids);

  Text path;
  qverr::Status status;
  bed->x.getRouteTerminalPath(s, ticket, &path.text, &status);
  EXPECT_EQ(status.code, 0) << status.detailText();
  EXPECT_EQ(path.str(), expected);
  Text again;
  bed->x.getRouteTerminalPath(s, ticket, &again.text, &status);

  // Capacities sent: 32, then the 40 the kernel asked for, and 40 from then on.
  std::vector<uint32_t> capacities;
  for (const auto& entry : bed->model.routing().log()) {
    if (entry.command == 0x00208007) {
      capacities.push_back(entry.input[16] | entry.input[17] << 8);
    }
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{32, 40, 40}));
  bed->x.destroySession(s);
}

TEST_F(RoutingAdaptorE2E, DemotionReachesTheFunctionOnTheReaderThreadWithAnEmptyStatus) {
  Demotions demotions;
  ZUZSession* s = bed->open(&demotions);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(bed->model.demote(), 0);
  ASSERT_TRUE(demotions.waitFor([](Demotions& d) { return d.finished; }));
  EXPECT_EQ(demotions.calls, 1);
  EXPECT_EQ(demotions.reason, 101u);
  EXPECT_EQ(demotions.statusCode, 0);
  EXPECT_FALSE(demotions.statusHadDetail);
  EXPECT_EQ(demotions.threadName, "qvvandrelbrenmo");
  EXPECT_NE(demotions.thread, std::this_thread::get_id());
  bed->x.destroySession(s);
}

TEST_F(RoutingAdaptorE2E, DestroySessionReturnsOnlyAfterANoticeInFlightWasDelivered) {
  Demotions demotions;
  demotions.hold = true;
  ZUZSession* s = bed->open(&demotions);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(bed->model.demote(), 0);
  ASSERT_TRUE(demotions.waitFor([](Demotions& d) { return d.inside; }));
  std::thread releaser([&demotions] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    demotions.release();
  });
  bed->x.destroySession(s);
  {
    std::lock_guard lock(demotions.mutex);
    EXPECT_TRUE(demotions.finished);
  }
  releaser.join();
}

}  // namespace
