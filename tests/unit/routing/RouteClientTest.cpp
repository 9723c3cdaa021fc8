// The route-configuration client over the library stand-in: loading, the lazy library sessions,
// raising library errors, and the operations it only passes on.
#include <dlfcn.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RouteLibraryTestbed.h"
#include "routing/RoCoSession.h"

namespace {

using routingtest::raised;
using routingtest::RoCoControl;
using routingtest::Strings;

class RouteClientTest : public routingtest::RouteLibraryTestbed {
 protected:
  RouteClientTest() { library_.setTerminals("Dev1", "PFI0,PFI1,PXI_Trig0"); }
};

TEST_F(RouteClientTest, WithoutTheLibraryTheFirstOperationRaisesTheLoaderDetailOnce) {
  use(sim::LibraryChoice::Absent);
  {
    rocout::RoCoSession client;
    EXPECT_EQ(client.loadStatus().code, -52005);
    const auto [code, detail] =
        raised([&] { client.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); });
    EXPECT_EQ(code, -52005);
    EXPECT_NE(
        detail.find("\"debug\":\"failed to qvdynlib_load library\",\"path\":\"libqvrocoapi.so.1\""),
        std::string::npos)
        << detail;
    EXPECT_EQ(raised([&] { client.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); }),
              std::make_pair(-52005, std::string()));
    // The reset session meets the same code; operations without a library session never ask.
    EXPECT_EQ(raised([&] { client.initiateDeviceReset(0); }).first, -52005);
  }
  EXPECT_TRUE(library_.calls().empty());
}

TEST_F(RouteClientTest, AMissingEntryPointIsNamedAndEveryOtherIsResolved) {
  const struct {
    sim::libs::Variant variant;
    std::vector<std::size_t> missing;  // table positions, the first named
  } cases[] = {
      {sim::libs::Variant::MissingSymbol, {qvrocoapi::k_completeDeviceReset}},
      {sim::libs::Variant::MissingTwoSymbols,
       {qvrocoapi::k_reserveRoute, qvrocoapi::k_completeDeviceReset}},
  };
  for (const auto& c : cases) {
    use(sim::LibraryChoice::MissingSymbol, c.variant);
    rocout::RoCoSession client;
    const std::string name = qvrocoapi::kEntryNames[c.missing.front()];
    EXPECT_EQ(client.loadStatus().code, -52005);
    EXPECT_NE(
        std::string(client.loadStatus().detailText()).find("\"qvdynlib_symbol\":\"" + name + "\""),
        std::string::npos)
        << client.loadStatus().detailText();
    // The client's loading, on a table of its own kind.
    qvrocoapi::dynlib::RoCoLibHolder holder;
    qverr::Status status;
    qvrocoapi::load(holder, status);
    for (std::size_t k = 0; k < qvrocoapi::kEntryCount; ++k) {
      const bool missing = std::find(c.missing.begin(), c.missing.end(), k) != c.missing.end();
      EXPECT_EQ(holder.entries().entry(k) == nullptr, missing) << qvrocoapi::kEntryNames[k];
    }
    EXPECT_EQ(raised([&] { client.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr); }).first,
              -52005);
  }
  EXPECT_TRUE(library_.calls().empty());
}

TEST_F(RouteClientTest, EntryPointsAreLookedUpByTheirTableNamesAlone) {
  qvrocoapi::dynlib::RoCoLibHolder holder;
  qverr::Status status;
  qvrocoapi::load(holder, status);
  ASSERT_EQ(status.code, 0);
  for (std::size_t k = 0; k < qvrocoapi::kEntryCount; ++k)
    EXPECT_EQ(holder.entries().entry(k), dlsym(holder.handle(), qvrocoapi::kEntryNames[k]));
  EXPECT_STREQ(qvrocoapi::kEntryNames[qvrocoapi::k_getTerminalNamesAndAttributesForDevice],
               "qvrocoapi_getTerminalNamesAndAttributesForDevice");
  EXPECT_STREQ(qvrocoapi::kEntryNames[33], "qvrocoapi_TerminalContainer_begin");
}

TEST_F(RouteClientTest, RoutesShareOneLibrarySessionAndResetsUseASecond) {
  {
    rocout::RoCoSession client;
    EXPECT_TRUE(library_.calls().empty());
    const rocout::u32 route = client.calculateRoute("/Dev1/PFI0", "/Dev1/PXI_Trig0", nullptr);
    client.reserveRoute(route);
    client.programRoute(route);
    client.resetTerminal("/Dev1/PFI1", "default");
    const std::string device = "Dev1";
    client.initiateDeviceReset(reinterpret_cast<rocout::u64>(device.c_str()));
    client.completeDeviceReset(reinterpret_cast<rocout::u64>(device.c_str()));
    client.unprogramRoute(route);
    client.unreserveRoute(route);
    client.destroyRoute(route);
  }
  EXPECT_EQ(calls(),
            (Strings{"qvrocoapi_createSession -> S1",
                     "qvrocoapi_calculateRoute S1 /Dev1/PFI0 /Dev1/PXI_Trig0 -> 1",
                     "qvrocoapi_reserveRoute S1 1", "qvrocoapi_programRoute S1 1",
                     "qvrocoapi_resetTerminal S1 /Dev1/PFI1 default",
                     "qvrocoapi_createSession -> S2", "qvrocoapi_initiateDeviceReset S2 Dev1",
                     "qvrocoapi_completeDeviceReset S2 Dev1", "qvrocoapi_unprogramRoute S1 1",
                     "qvrocoapi_unreserveRoute S1 1", "qvrocoapi_destroyRoute S1 1",
                     "qvrocoapi_destroySession S1", "qvrocoapi_destroySession S2"}));
  EXPECT_EQ(library_.openSessions(), 0);
}

TEST_F(RouteClientTest, AFailedCreationIsTriedAgainByTheNextOperation) {
  rocout::RoCoSession client;
  library_.failNext("qvrocoapi_createSession", -89000);
  const auto [code, detail] = raised([&] { client.resetTerminal("/Dev1/PFI0", "default"); });
  EXPECT_EQ(code, -89000);
  EXPECT_EQ(detail,
            R"({"qvrocoapi_debug":{"call":"qvrocoapi_createSession","reason":"injected"}})");
  client.resetTerminal("/Dev1/PFI0", "default");
  EXPECT_EQ(newCalls(), (Strings{"qvrocoapi_createSession", "qvrocoapi_createSession -> S1",
                                 "qvrocoapi_resetTerminal S1 /Dev1/PFI0 default"}));
}

TEST_F(RouteClientTest, LibraryErrorsAreRaisedWithTheirDetailAndWarningsAreDropped) {
  rocout::RoCoSession client;
  const auto [code, detail] =
      raised([&] { client.calculateRoute("/Dev1/PFI0", "/Dev1//ab", nullptr); });
  EXPECT_EQ(code, RoCoControl::kUnknownTerminal);
  EXPECT_EQ(detail, R"({"qvrocoapi_debug":{"call":"qvrocoapi_calculateRoute","reason":)"
                    R"("unknown terminal","subject":"/Dev1//ab"}})");
  EXPECT_EQ(raised([&] { client.programRoute(7); }).first, RoCoControl::kUnknownRoute);

  library_.failNext("qvrocoapi_calculateRoute", 4);
  EXPECT_EQ(client.calculateRoute("/Dev1/PFI0", "/Dev1/PFI1", nullptr), 1u);
}

// A route object released while an exception unwinds.
struct ReleasedWhileUnwinding {
  rocout::RoCoSession& client;
  rocout::u32 route;
  ~ReleasedWhileUnwinding() { client.destroyRoute(route); }
};

TEST_F(RouteClientTest, AnErrorWhileAnExceptionPropagatesIsDropped) {
  rocout::RoCoSession client;
  EXPECT_EQ(raised([&] {
              ReleasedWhileUnwinding unknown{client, 99};
              qverr::throwError(-50000);
            }).first,
            -50000);
  // A failed creation while unwinding keeps what the library returned, here no session.
  rocout::RoCoSession other;
  library_.failNext("qvrocoapi_createSession", -89000);
  EXPECT_EQ(raised([&] {
              ReleasedWhileUnwinding unknown{other, 5};
              qverr::throwError(-50001);
            }).first,
            -50001);
  EXPECT_EQ(newCalls(), (Strings{"qvrocoapi_createSession -> S1", "qvrocoapi_destroyRoute S1 99",
                                 "qvrocoapi_createSession", "qvrocoapi_destroyRoute 0 5"}));
}

TEST_F(RouteClientTest, OperationsTheLibraryDefinesAreHandedOnUnchanged) {
  rocout::RoCoSession client;
  // The forwarded container and iterator operations check nothing and create no session.
  EXPECT_EQ(client.TerminalContainer_begin(11), 0x17E4A70u);
  EXPECT_EQ(client.TerminalIterator_next(12), 13u);
  EXPECT_EQ(client.TerminalIterator_isEnd(7, 1), 1u);
  EXPECT_EQ(client.TerminalContainer_destroy(14), 0xC0417A1u);
  EXPECT_STREQ(static_cast<const char*>(client.TerminalIterator_getStringAttribute(1, 2, 3)),
               "PFI0");
  EXPECT_EQ(client.TerminalIterator_getBoolAttribute(4, 5, 6), 1u);
  EXPECT_EQ(
      newCalls(),
      (Strings{"qvrocoapi_TerminalContainer_begin 11", "qvrocoapi_TerminalIterator_next 12",
               "qvrocoapi_TerminalIterator_isEnd 7 1", "qvrocoapi_TerminalContainer_destroy 14",
               "qvrocoapi_TerminalIterator_getStringAttribute 1 2 3",
               "qvrocoapi_TerminalIterator_getBoolAttribute 4 5 6"}));

  const auto* names = static_cast<const char* const*>(
      client.getTerminalNamesAndAttributesForDevice(21, {"isExported", "canonicalName"}));
  ASSERT_NE(names, nullptr);
  EXPECT_STREQ(names[1], "PXI_Trig0");
  client.getTerminalNamesAndAttributesForDevice(22, {});
  EXPECT_EQ(client.calculateResetTerminal(1, 2), 0x5E7u);
  client.destroyImmediateRoute(3, 4);
  EXPECT_EQ(client.validateTerminalURI(5), 1u);
  EXPECT_EQ(client.areTerminalURIsEqual(6, 6), 1u);
  EXPECT_EQ(
      newCalls(),
      (Strings{"qvrocoapi_createSession -> S1",
               "qvrocoapi_getTerminalNamesAndAttributesForDevice S1 21 isExported "
               "canonicalName",
               "qvrocoapi_getTerminalNamesAndAttributesForDevice S1 22",
               "qvrocoapi_calculateResetTerminal S1 1 2", "qvrocoapi_destroyImmediateRoute S1 3 4",
               "qvrocoapi_validateTerminalURI S1 5", "qvrocoapi_areTerminalURIsEqual S1 6 6"}));
}

}  // namespace
