// The adaptor's exports against the simulated routing interface: sessions and their failures,
// terminals and their attributes, resets, reservations, paths, texts the engine's allocator
// refuses, and the status convention.

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "routing/LinkedExports.h"
#include "sim/device/CommandTable.h"
#include "tests/unit/ThreadNames.h"

namespace {

using namespace routingtest;

constexpr uint32_t kPath = 0x00208007;
constexpr uint32_t kReset = 0x0020800A;
constexpr uint32_t kCalculateReset = 0x0020800B;
constexpr uint32_t kArm = 0x4010FF00;
constexpr uint32_t kAliasStream = 0x00200800;

// A location detail without error constant, as the attribute getters write it.
std::string at(int line) {
  return R"({"file":"ZUZRoutingAdaptor","line":)" + std::to_string(line) +
         R"(,"component":"qvvandrelbrenmooru"})";
}
std::string withConstant(const std::string& constant, const std::string& file, int line) {
  return R"({"error_constant":")" + constant + R"(","file":")" + file + R"(","line":)" +
         std::to_string(line) + R"(,"component":"qvvandrelbrenmooru"})";
}

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> b) {
  return b;
}

// A scripted answer of the driver: output bytes and status, or a failing ioctl.
sim::Reply reply(std::vector<uint8_t> output, int32_t status, int err = 0) {
  sim::Reply r;
  r.output = std::move(output);
  r.status = status;
  r.err = err;
  return r;
}

class RoutingAdaptor : public ::testing::Test {
 protected:
  void SetUp() override {
    bed.model.setAliasStream(sim::RoutingModel::aliasStream({{"Gpio7", "MyStart"},
                                                             {"PXI_Trig2", "TriggerBus2"},
                                                             {"DRAL0", "Dral"},
                                                             {"Gpio8", "MyStart"}}));
    session = bed.open();
    ASSERT_NE(session, nullptr) << bed.lastOpen.detailText();
  }
  void TearDown() override { bed.x.destroySession(session); }

  TerminalIterator* iteratorAt(uint64_t index) {
    qverr::Status status;
    TerminalIterator* it = bed.x.getAllTerminals(session, &status);
    for (uint64_t i = 0; i < index; ++i) bed.x.TerminalIterator_next(it, &status);
    return it;
  }

  RoutingBed bed{linkedExports()};
  ZUZSession* session = nullptr;
};

TEST(RoutingSession, AFailedCreationReportsWhyAndLeavesNothingBehind) {
  struct Case {
    const char* what;
    std::function<void(RoutingBed&)> setUp;
    std::string path;  // "" for the module's routing node
    int32_t code;
    std::string detail;  // "" when not compared
  };
  const std::string longPath = "/dev/qv/" + std::string(248, 'x');
  const Case cases[] = {
      {"unknown topography", [](RoutingBed& b) { b.model.setTopographyName("otherRouting"); }, "",
       -50003,
       R"({"error_constant":"qvpalerr_badSelector","file":"TopographyInfoRegistration",)"
       R"("line":36,"component":"qvvandrelbrenmooru","qvark_debug":)"
       R"("Topography not found: otherRouting"})"},
      {"path of 256 characters",
       {},
       longPath,
       -52005,
       withConstant("qvvuskerr_invalidParameter", "ZUZRoutingAdaptor", 139)},
      {"no such node", {}, "/dev/qv/none", -52006, ""},
      {"arming refused", [](RoutingBed& b) { b.model.routing().script(kArm, reply({}, 0, EIO)); },
       "", -52008, ""},
      {"alias stream cut in a length",
       [](RoutingBed& b) {
         b.model.setAliasStream(bytes({1, 0, 0, 0, 'a', 1, 0}));
       },
       "", -52003, R"({"file":"Deserializer","line":74,"component":"qvvandrelbrenmooru"})"},
      {"alias stream cut in a text",
       [](RoutingBed& b) {
         b.model.setAliasStream(bytes({1, 0, 0, 0, 'a', 5, 0, 0, 0, 'b'}));
       },
       "", -52003, R"({"file":"Deserializer","line":48,"component":"qvvandrelbrenmooru"})"},
      {"alias stream larger than any",
       [](RoutingBed& b) {
         b.module.deviceInterface().script(kAliasStream, reply(bytes({0xFF, 0xFF, 0xFF, 0xFF}), 0));
       },
       "", -52003, R"({"file":"Deserializer","line":31,"component":"qvvandrelbrenmooru"})"},
      {"alias stream refused by the driver",
       [](RoutingBed& b) { b.module.deviceInterface().script(kAliasStream, reply({}, -52024)); },
       "", -52024, ""},
  };
  // Earlier cases' reader threads may still be listed for a moment after their join.
  ASSERT_TRUE(unittest::waitForThreadsNamed("qvvandrelbrenmo", 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RoutingBed b(linkedExports());
    if (c.setUp) c.setUp(b);
    EXPECT_EQ(b.open(nullptr, c.path), nullptr);
    EXPECT_EQ(b.lastOpen.code, c.code) << b.lastOpen.detailText();
    if (!c.detail.empty()) {
      EXPECT_EQ(std::string(b.lastOpen.detailText()), c.detail);
    }
    EXPECT_EQ(b.module.routingInterface().openCount(), 0);
    EXPECT_EQ(b.model.notices().armedCount(), 0u);
    EXPECT_TRUE(unittest::waitForThreadsNamed("qvvandrelbrenmo", 0));
  }
}

TEST(RoutingSession, InterfacePathsUpTo255CharactersAreAccepted) {
  // "/dev/qv/<instance>\\routing_routing\\0": 26 characters besides the instance name.
  for (const size_t length : {size_t{255}, size_t{256}}) {
    RoutingBed b(linkedExports(), std::string(length - 26, 'r'), false);
    ASSERT_EQ(b.path().size(), length);
    ZUZSession* s = b.open();
    EXPECT_EQ(s != nullptr, length == 255) << b.lastOpen.detailText();
    b.x.destroySession(s);
  }
}

TEST(RoutingSession, WithoutAFindableAliasStreamThereAreNoAliasTerminals) {
  const std::function<void(RoutingBed&)> cases[] = {
      [](RoutingBed&) {},  // an empty stream
      // The node is not among the listed routing interfaces.
      [](RoutingBed& b) { b.testbed.removeInterface(b.module.instance(), "routing_routing", "0"); },
      nullptr,  // the driver has no device interface of the generation
  };
  for (const auto& setUp : cases) {
    RoutingBed b(linkedExports(), "R0", setUp != nullptr);
    if (setUp) setUp(b);
    ZUZSession* s = b.open();
    ASSERT_NE(s, nullptr) << b.lastOpen.detailText();
    qverr::Status status;
    TerminalIterator* it = b.x.getAllTerminals(s, &status);
    size_t count = 0;
    for (; !b.x.TerminalIterator_isEnd(it); b.x.TerminalIterator_next(it, &status)) ++count;
    EXPECT_EQ(count, 153u);
    b.x.TerminalIterator_destroy(it);
    b.x.destroySession(s);
  }
}

TEST_F(RoutingAdaptor, TerminalAttributesOfTableAndAliasTerminals) {
  struct Expected {
    uint64_t index;
    const char* name;
    const char* canonical;
    const char* busType;
    uint32_t id, busLine;
    bool external, owned, alias;
    const char* visibility;
  };
  // Aliases follow the table in alias-name order; an alias named twice keeps its first terminal.
  const Expected rows[] = {
      {0, "FLOAT", "FLOAT", nullptr, 1, 0xFFFFFFFF, false, true, false, "private"},
      {9, "PXIe_DStarB", "PXIe_DStarB", "PXIe_DStar", 10, 1, true, false, false, "public"},
      {28, "vorlin/PxiTrig8", "PXI_Trig0", "PXI_Trig", 29, 0, true, false, true, "private"},
      {33, "High", "High", nullptr, 34, 0xFFFFFFFF, false, true, false, "advanced"},
      {153, "Dral", "DRAL0", "PXI_Trig", 2, 0, true, false, true, "private"},
      {154, "MyStart", "Gpio7", nullptr, 110, 0xFFFFFFFF, false, true, true, "public"},
      {155, "TriggerBus2", "PXI_Trig2", "PXI_Trig", 4, 2, true, false, true, "public"},
  };
  for (const Expected& e : rows) {
    SCOPED_TRACE(e.name);
    TerminalIterator* it = iteratorAt(e.index);
    qverr::Status status;
    EXPECT_STREQ(bed.x.TerminalIterator_getStringAttribute(it, "name", &status), e.name);
    EXPECT_STREQ(bed.x.TerminalIterator_getStringAttribute(it, "canonicalName", &status),
                 e.canonical);
    EXPECT_STREQ(bed.x.TerminalIterator_getStringAttribute(it, "visibility", &status),
                 e.visibility);
    EXPECT_EQ(bed.x.TerminalIterator_getStringAttribute(it, "busType", &status) == nullptr,
              e.busType == nullptr);
    EXPECT_EQ(bed.x.TerminalIterator_getStringAttribute(it, "busName", &status), nullptr);
    EXPECT_EQ(bed.x.TerminalIterator_getU32Attribute(it, "id", &status), e.id);
    EXPECT_EQ(bed.x.TerminalIterator_getU32Attribute(it, "busLine", &status), e.busLine);
    EXPECT_EQ(bed.x.TerminalIterator_getBoolAttribute(it, "isExternal", &status), e.external);
    EXPECT_EQ(bed.x.TerminalIterator_getBoolAttribute(it, "isOwned", &status), e.owned);
    EXPECT_EQ(bed.x.TerminalIterator_getBoolAttribute(it, "isAlias", &status), e.alias);
    EXPECT_FALSE(bed.x.TerminalIterator_getBoolAttribute(it, "isMaskedOut", &status));
    EXPECT_EQ(status.code, 0) << status.detailText();
    bed.x.TerminalIterator_destroy(it);
  }
  TerminalIterator* last = iteratorAt(155);
  qverr::Status status;
  bed.x.TerminalIterator_next(last, &status);
  EXPECT_TRUE(bed.x.TerminalIterator_isEnd(last));
  bed.x.TerminalIterator_destroy(last);
}

TEST_F(RoutingAdaptor, UnknownAttributeNamesAndTheEndGiveBadSelectorAndNothing) {
  TerminalIterator* it = iteratorAt(0);
  TerminalIterator* end = iteratorAt(156);
  struct Case {
    TerminalIterator* iterator;
    const char* name;
    int type;  // 0 string, 1 bool, 2 u32
    int line;
  };
  const Case cases[] = {
      {it, "Name", 0, 819},  {it, "isexternal", 1, 837}, {it, "ID", 2, 855},
      {end, "name", 0, 815}, {end, "isOwned", 1, 833},   {end, "id", 2, 851},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    qverr::Status status;
    switch (c.type) {
      case 0:
        EXPECT_EQ(bed.x.TerminalIterator_getStringAttribute(c.iterator, c.name, &status), nullptr);
        break;
      case 1:
        EXPECT_FALSE(bed.x.TerminalIterator_getBoolAttribute(c.iterator, c.name, &status));
        break;
      default:
        EXPECT_EQ(bed.x.TerminalIterator_getU32Attribute(c.iterator, c.name, &status), 0u);
    }
    EXPECT_EQ(status.code, -50003);
    EXPECT_EQ(std::string(status.detailText()), at(c.line));
  }
  // A failed call moves nothing; next with an error in the status does not move either.
  qverr::Status failed;
  failed.setCode(-1);
  bed.x.TerminalIterator_next(it, &failed);
  qverr::Status status;
  EXPECT_STREQ(bed.x.TerminalIterator_getStringAttribute(it, "name", &status), "FLOAT");
  bed.x.TerminalIterator_destroy(it);
  bed.x.TerminalIterator_destroy(end);
}

TEST_F(RoutingAdaptor, ResetModesAreExactlyDefaultOrFloating) {
  TerminalIterator* it = iteratorAt(4);  // PXI_Trig3, id 5
  struct Case {
    const char* mode;
    bool calculate;
    int32_t code;
    std::string detail;
    std::vector<uint8_t> sent;  // the kernel's input record; empty: nothing sent
  };
  uint8_t self[8];
  const uint64_t identity = reinterpret_cast<uint64_t>(session);
  std::memcpy(self, &identity, 8);
  auto calculateRecord = [&self](uint8_t floating) {
    std::vector<uint8_t> r(self, self + 8);
    for (uint8_t b : {uint8_t{5}, uint8_t{0}, uint8_t{0}, uint8_t{0}, floating}) r.push_back(b);
    r.resize(24, 0);  // status, pad
    return r;
  };
  const Case cases[] = {
      {"default", false, 0, "", {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"floating", false, 0, "", {5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"Default",
       false,
       -50003,
       withConstant("qvpalerr_badSelector", "ZUZRoutingAdaptor", 798),
       {}},
      {nullptr, false, -50003, withConstant("qvpalerr_badSelector", "ZUZRoutingAdaptor", 798), {}},
      {"default", true, 0, "", calculateRecord(0)},
      {"floating", true, 0, "", calculateRecord(1)},
      {"floating ",
       true,
       -50003,
       withConstant("qvpalerr_badSelector", "ZUZRoutingAdaptor", 768),
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode ? c.mode : "null") + (c.calculate ? " calculate" : ""));
    bed.model.routing().clearLog();
    qverr::Status status;
    if (c.calculate) {
      const uint32_t ticket =
          bed.x.TerminalIterator_calculateResetTerminal(session, it, c.mode, &status);
      EXPECT_EQ(ticket != 0, c.code == 0);
      if (ticket != 0) {
        EXPECT_EQ(bed.model.route(ticket)->destination, 5u);
      }
    } else {
      bed.x.TerminalIterator_resetTerminal(it, c.mode, &status);
    }
    EXPECT_EQ(status.code, c.code);
    if (!c.detail.empty()) {
      EXPECT_EQ(std::string(status.detailText()), c.detail);
    }
    const auto log = bed.model.routing().log();
    ASSERT_EQ(log.size(), c.sent.empty() ? 0u : 1u);
    if (!c.sent.empty()) {
      EXPECT_EQ(log[0].command, c.calculate ? kCalculateReset : kReset);
      EXPECT_EQ(log[0].input, c.sent);
    }
  }
  bed.x.TerminalIterator_destroy(it);
}

TEST_F(RoutingAdaptor, PathsNameTableTerminalsBeforeAliasesAndUnknownIdsAsEmpty) {
  const uint32_t ticket = bed.route(session, "mystart", "PXI_Trig1");
  ASSERT_NE(ticket, 0u);
  EXPECT_EQ(bed.model.route(ticket)->source, 110u);  // found through the alias, without case
  bed.model.setPath(ticket, {2, 110, 999});
  Text path;
  qverr::Status status;
  bed.x.getRouteTerminalPath(session, ticket, &path.text, &status);
  EXPECT_EQ(path.str(), R"(["PXI_Trig0","Gpio7",""])");
  EXPECT_EQ(Allocations::lastSize.load(), 256u);
}

TEST_F(RoutingAdaptor, AnUnbelievablePathLengthIsNotAllocated) {
  const uint32_t ticket = bed.route(session, "Source0", "PXI_Trig1");
  bed.model.routing().script(kPath, reply(bytes({0xFF, 0xFF, 0xFF, 0xFF}), -52019));
  Text path;
  qverr::Status status;
  bed.x.getRouteTerminalPath(session, ticket, &path.text, &status);
  EXPECT_EQ(status.code, -52019);
  EXPECT_EQ(path.text, nullptr);
  qverr::Status again;
  bed.x.getRouteTerminalPath(session, ticket, &path.text, &again);
  const auto log = bed.model.routing().log();
  ASSERT_EQ(bed.model.routing().count(kPath), 2u);
  EXPECT_EQ(log.back().input[16], 32);  // the capacity was not raised
}

TEST_F(RoutingAdaptor, ConflictsBeyondTheBufferAreNotInvented) {
  ZUZSession* other = bed.open();
  for (int i = 0; i < 10; ++i) {
    const uint32_t ticket = bed.route(other, "Source" + std::to_string(i), "PXI_Trig1");
    Text none;
    qverr::Status status;
    bed.x.reserveRoute(other, ticket, &none.text, &status);
    ASSERT_EQ(status.code, 0);
  }
  const uint32_t wanted = bed.route(session, "Source20", "PXI_Trig1",
                                    R"({"required":{"calculateIgnoresReservations":true}})");
  ASSERT_NE(wanted, 0u);
  Text conflicts;
  qverr::Status status;
  bed.x.reserveRoute(session, wanted, &conflicts.text, &status);
  EXPECT_EQ(status.code, -89137);
  std::string expected = "[";
  for (int ticket = 1; ticket <= 8; ++ticket) {
    expected += (ticket > 1 ? "," : "") + std::string(R"({"sessionId":)") + sessionId(other) +
                R"(,"ticket":)" + std::to_string(ticket) + "}";
  }
  EXPECT_EQ(conflicts.str(), expected + "]");

  // Any other outcome leaves the output alone.
  char* sentinel = conflicts.text;
  qverr::Status unknown;
  bed.x.reserveRoute(session, 4242, &conflicts.text, &unknown);
  EXPECT_EQ(unknown.code, -52006);
  EXPECT_EQ(conflicts.text, sentinel);
  bed.x.destroySession(other);
}

TEST_F(RoutingAdaptor, ABlockTheAllocatorRefusesIsOutOfMemoryAndLeavesTheOutputNull) {
  const uint32_t ticket = bed.route(session, "Source0", "PXI_Trig1");
  const std::string memoryFull = "nQVVUSKS100::tStatus::kMemoryFull";
  struct Case {
    const char* what;
    std::function<void(char**, qverr::Status*)> call;
    std::string detail;
  };
  const Case cases[] = {
      {"routes",
       [&](char** out, qverr::Status* s) {
         bed.x.calculateRoute(session, R"([{"terminal":"Source1","cost":0,"constraints":{}}])",
                              R"(["PXI_Trig2"])", "{}", out, s);
       },
       withConstant(memoryFull, "ZUZRoutingAdaptor", 372)},
      {"no routes",
       [&](char** out, qverr::Status* s) {
         bed.x.calculateRoute(session, "[]", "[]", "{}", out, s);
       },
       withConstant(memoryFull, "ZUZRoutingAdaptor", 372)},
      {"path",
       [&](char** out, qverr::Status* s) { bed.x.getRouteTerminalPath(session, ticket, out, s); },
       withConstant(memoryFull, "ZUZRoutingAdaptor", 609)},
      {"handled constraints",
       [&](char** out, qverr::Status* s) { bed.x.getHandledConstraints(session, out, s); },
       withConstant("qvvuskerr_memoryFull", "RoCoUtils", 156)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char* previous = static_cast<char*>(std::malloc(4));
    char* out = previous;
    qverr::Status status;
    Allocations::failures = 1;
    c.call(&out, &status);
    EXPECT_EQ(status.code, -52000);
    EXPECT_EQ(std::string(status.detailText()), c.detail);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Allocations::lastPrevious.load(), previous);  // realloc never ran: still ours
    std::free(previous);
  }
}

TEST_F(RoutingAdaptor, HandledConstraintsAreInversionNeeded) {
  Text names;
  qverr::Status status;
  bed.x.getHandledConstraints(session, &names.text, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(names.str(), R"(["inversionNeeded"])");
}

TEST_F(RoutingAdaptor, AnErrorAlreadyInTheStatusMakesEveryExportDoNothing) {
  const uint32_t ticket = bed.route(session, "Source0", "PXI_Trig1");
  TerminalIterator* it = iteratorAt(3);
  bed.model.routing().clearLog();
  char* const untouched = reinterpret_cast<char*>(&bed);
  char* out = untouched;
  qverr::Status status;
  status.setCode(-7);
  EXPECT_EQ(bed.x.createSession(bed.path().c_str(), &Allocations::allocate, &status), nullptr);
  EXPECT_EQ(bed.x.calculateRoute(session, "[]", "[]", "{}", &out, &status), 0u);
  bed.x.reserveRoute(session, ticket, &out, &status);
  bed.x.programRoute(session, ticket, &status);
  bed.x.getRouteTerminalPath(session, ticket, &out, &status);
  bed.x.getHandledConstraints(session, &out, &status);
  EXPECT_EQ(bed.x.getAllTerminals(session, &status), nullptr);
  bed.x.TerminalIterator_next(it, &status);
  EXPECT_EQ(bed.x.TerminalIterator_getStringAttribute(it, "name", &status), nullptr);
  EXPECT_FALSE(bed.x.TerminalIterator_getBoolAttribute(it, "isOwned", &status));
  EXPECT_EQ(bed.x.TerminalIterator_getU32Attribute(it, "id", &status), 0u);
  bed.x.TerminalIterator_resetTerminal(it, "default", &status);
  EXPECT_EQ(bed.x.TerminalIterator_calculateResetTerminal(session, it, "default", &status), 0u);
  EXPECT_EQ(status.code, -7);
  EXPECT_EQ(status.detail, nullptr);
  EXPECT_EQ(out, untouched);
  EXPECT_TRUE(bed.model.routing().log().empty());
  EXPECT_EQ(bed.module.routingInterface().openCount(), 1);  // the fixture's session only
  qverr::Status fresh;
  EXPECT_STREQ(bed.x.TerminalIterator_getStringAttribute(it, "name", &fresh), "PXI_Trig2");
  bed.x.TerminalIterator_destroy(it);
}

TEST_F(RoutingAdaptor, NullArgumentsAreRefusedAndReleasesReportNothing) {
  qverr::Status status;
  EXPECT_EQ(bed.x.createSession(bed.path().c_str(), nullptr, &status), nullptr);
  EXPECT_EQ(std::string(status.detailText()),
            withConstant("qvvuskerr_invalidParameter", "ZUZRoutingAdaptor", 120));
  for (const auto& call : std::vector<std::function<void(qverr::Status*)>>{
           [&](qverr::Status* s) { bed.x.calculateRoute(nullptr, "[]", "[]", "{}", nullptr, s); },
           [&](qverr::Status* s) { bed.x.reserveRoute(session, 1, nullptr, s); },
           [&](qverr::Status* s) { bed.x.getAllTerminals(nullptr, s); },
           [&](qverr::Status* s) { bed.x.TerminalIterator_next(nullptr, s); },
           [&](qverr::Status* s) { bed.x.TerminalIterator_getU32Attribute(nullptr, "id", s); },
           [&](qverr::Status* s) { bed.x.TerminalIterator_resetTerminal(nullptr, "default", s); },
       }) {
    qverr::Status s;
    call(&s);
    EXPECT_EQ(s.code, -52005);
  }
  // Releases: nothing to report, whatever the kernel says; the null session is ignored.
  bed.model.routing().clearLog();
  bed.x.unprogramRoute(session, 77);
  bed.x.unreserveRoute(session, 77);
  bed.x.destroyRoute(session, 77);
  bed.x.unprogramRoute(nullptr, 1);
  bed.x.destroySession(nullptr);
  bed.x.beginExceptionalRouteDestruction(session, 1, "x");
  EXPECT_TRUE(bed.x.TerminalIterator_isEnd(nullptr));
  const auto log = bed.model.routing().log();
  ASSERT_EQ(log.size(), 3u);
  for (const auto& entry : log) EXPECT_EQ(entry.status, sim::RoutingModel::kUnknownTicket);
}

// Sessions on several threads raise the process-wide path capacity at the same time; the
// largest need wins and no raise is lost.
TEST_F(RoutingAdaptor, PathCapacityIsRaisedSafelyFromManyThreads) {
  constexpr int kThreads = 4;
  std::vector<ZUZSession*> sessions;
  std::vector<uint32_t> tickets;
  for (int t = 0; t < kThreads; ++t) {
    sessions.push_back(bed.open());
    tickets.push_back(
        bed.route(sessions.back(), "Source" + std::to_string(t), "Gpio" + std::to_string(t)));
    bed.model.setPath(tickets.back(), std::vector<uint32_t>(33 + 5 * t, 39));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        Text path;
        qverr::Status status;
        bed.x.getRouteTerminalPath(sessions[t], tickets[t], &path.text, &status);
        EXPECT_EQ(status.code, 0);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  bed.model.routing().clearLog();
  Text path;
  qverr::Status status;
  bed.x.getRouteTerminalPath(sessions[0], tickets[0], &path.text, &status);
  ASSERT_EQ(bed.model.routing().count(kPath), 1u);
  EXPECT_EQ(bed.model.routing().log()[0].input[16], 33 + 5 * (kThreads - 1));
  for (ZUZSession* s : sessions) bed.x.destroySession(s);
}

}  // namespace
