// The route-configuration client over the library stand-in: loading, the lazy library sessions
// (also made from two threads at once) and raising library errors.
#include <dlfcn.h>

#include <algorithm>
#include <latch>
#include <thread>

#include <gmock/gmock.h>

#include "RouteLibraryTestbed.h"
#include "routing/RoCoSession.h"

namespace routingtest {
namespace {

class RouteClientTest : public RouteLibraryTestbed {
 protected:
  RouteClientTest() { library_.setTerminals("Dev1", "PFI0,PFI1,PXI_Trig0"); }

  static auto calculate(rocout::RoCoSession& client, const char* destination = "/Dev1/PFI1") {
    return raised([&] { client.calculateRoute("/Dev1/PFI0", destination, nullptr); });
  }
};

TEST_F(RouteClientTest, WithoutTheLibraryTheFirstOperationRaisesTheLoaderDetailOnce) {
  use(sim::LibraryChoice::Absent);
  {
    rocout::RoCoSession client;
    const auto [code, detail] = calculate(client);
    EXPECT_EQ(code, -52005);
    EXPECT_THAT(detail, testing::HasSubstr(R"("path":"libqvrocoapi.so.1")"));
    EXPECT_EQ(calculate(client), std::make_pair(-52005, std::string()));
  }
  EXPECT_TRUE(library_.calls().empty());
}

// Every entry point is looked up by its table name alone, also after a missing one; the status
// names the first missing in table order.
TEST_F(RouteClientTest, EntryPointsAreLookedUpByTheirTableNames) {
  using sim::libs::Variant;
  const struct {
    Variant variant;
    std::vector<std::size_t> missing;
  } cases[] = {
      {Variant::Present, {}},
      {Variant::MissingSymbol, {qvrocoapi::k_completeDeviceReset}},
      {Variant::MissingTwoSymbols, {qvrocoapi::k_reserveRoute, qvrocoapi::k_completeDeviceReset}},
  };
  for (const auto& c : cases) {
    use(sim::LibraryChoice::MissingSymbol, c.variant);
    qvrocoapi::dynlib::RoCoLibHolder holder;
    qverr::Status status;
    qvrocoapi::load(holder, status);
    EXPECT_EQ(status.code, c.missing.empty() ? 0 : -52005);
    const std::string named =
        c.missing.empty()
            ? ""
            : "\"qvdynlib_symbol\":\"" + std::string(qvrocoapi::kEntryNames[c.missing[0]]);
    EXPECT_THAT(status.detailText(), testing::HasSubstr(named));
    for (std::size_t k = 0; k < qvrocoapi::kEntryCount; ++k) {
      const bool missing = std::find(c.missing.begin(), c.missing.end(), k) != c.missing.end();
      EXPECT_EQ(holder.entries().entry(k),
                missing ? nullptr : dlsym(holder.handle(), qvrocoapi::kEntryNames[k]));
    }
  }
}

TEST_F(RouteClientTest, RoutesShareOneLibrarySessionAndResetsUseASecond) {
  { rocout::RoCoSession idle; }
  EXPECT_TRUE(newCalls().empty());
  {
    rocout::RoCoSession client;
    // Forwarded container operations need no library session.
    EXPECT_EQ(client.TerminalIterator_next(12), 13u);
    const rocout::u32 route = client.calculateRoute("/Dev1/PFI0", "/Dev1/PXI_Trig0", nullptr);
    client.reserveRoute(route);
    client.initiateDeviceReset(reinterpret_cast<rocout::u64>("Dev1"));
    client.getTerminalNamesAndAttributesForDevice(21, {"isExported", "canonicalName"});
    client.destroyRoute(route);
  }
  EXPECT_EQ(newCalls(),
            (Strings{"qvrocoapi_TerminalIterator_next 12", "qvrocoapi_createSession -> S1",
                     "qvrocoapi_calculateRoute S1 /Dev1/PFI0 /Dev1/PXI_Trig0 -> 1",
                     "qvrocoapi_reserveRoute S1 1", "qvrocoapi_createSession -> S2",
                     "qvrocoapi_initiateDeviceReset S2 Dev1",
                     "qvrocoapi_getTerminalNamesAndAttributesForDevice S1 21 isExported "
                     "canonicalName",
                     "qvrocoapi_destroyRoute S1 1", "qvrocoapi_destroySession S1",
                     "qvrocoapi_destroySession S2"}));
}

TEST_F(RouteClientTest, AFailedCreationIsTriedAgainByTheNextOperation) {
  rocout::RoCoSession client;
  library_.failAt("qvrocoapi_createSession", 1, -89000);
  EXPECT_EQ(raised([&] { client.resetTerminal("/Dev1/PFI0", "default"); }).first, -89000);
  client.resetTerminal("/Dev1/PFI0", "default");
  EXPECT_EQ(newCalls(), (Strings{"qvrocoapi_createSession", "qvrocoapi_createSession -> S1",
                                 "qvrocoapi_resetTerminal S1 /Dev1/PFI0 default"}));
}

TEST_F(RouteClientTest, LibraryErrorsAreRaisedWithTheirDetailAndWarningsAreDropped) {
  rocout::RoCoSession client;
  const auto [code, detail] = calculate(client, "/Dev1//ab");
  EXPECT_EQ(code, RoCoControl::kUnknownTerminal);
  EXPECT_THAT(detail, testing::HasSubstr(R"("reason":"unknown terminal","subject":"/Dev1//ab")"));
  library_.failAt("qvrocoapi_calculateRoute", 1, 4);
  EXPECT_EQ(client.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr), 1u);
}

// A route released while an exception unwinds.
struct ReleasedWhileUnwinding {
  rocout::RoCoSession& client;
  ~ReleasedWhileUnwinding() { client.destroyRoute(99); }
};

TEST_F(RouteClientTest, AnErrorWhileAnExceptionPropagatesIsDropped) {
  rocout::RoCoSession client;
  EXPECT_EQ(raised([&] {
              ReleasedWhileUnwinding unknown{client};
              qverr::throwError(-50000);
            }).first,
            -50000);
  // The session created while unwinding is kept.
  client.resetTerminal("/Dev1/PFI0", "default");
  EXPECT_EQ(newCalls(), (Strings{"qvrocoapi_createSession -> S1", "qvrocoapi_destroyRoute S1 99",
                                 "qvrocoapi_resetTerminal S1 /Dev1/PFI0 default"}));
}

// A host route request and a commit reaching one fresh client: one library session.
TEST_F(RouteClientTest, TwoThreadsOnAFreshClientCreateOneLibrarySession) {
  for (int round = 0; round < 20; ++round) {
    rocout::RoCoSession client;
    std::latch start(2);
    std::thread request([&] {
      start.arrive_and_wait();
      client.calculateRoute("/Dev1/PFI0", "/Dev1/PXI_Trig0", nullptr);
    });
    start.arrive_and_wait();
    client.resetTerminal("/Dev1/PFI0", "default");
    request.join();
    ASSERT_EQ(library_.openSessions(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace routingtest
