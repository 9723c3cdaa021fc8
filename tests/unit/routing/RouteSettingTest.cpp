// Route settings of device Dev1 over the route library stand-in: the destination-list text, and
// which routes the three route operations release and build.
#include <string>
#include <vector>

#include "RouteLibraryTestbed.h"
#include "routing/RouteSetting.h"

namespace {

using routingtest::built;
using routingtest::raised;
using routingtest::released;
using routingtest::RoCoControl;
using routingtest::Strings;
using routingtest::operator+;

class RouteSettingTest : public routingtest::RouteLibraryTestbed {
 protected:
  RouteSettingTest() {
    library_.setTerminals("Dev1", "Mosk,PFI0,PFI1,PFI2,PXI_Trig0,PXI_Trig1");
    library_.setTerminals("Dev2", "PFI3");
  }

  // Source and destinations set, stale routes released, missing ones built; the library calls
  // this made.
  Strings deploy(const std::string& source, const std::string& destinations) {
    setting_.setSource(source);
    setting_.setDestinations(destinations);
    setting_.releaseStaleRoutes();
    setting_.establishRoutes();
    return newCalls();
  }

  Strings heldKeys() const {
    Strings keys;
    for (const auto& route : setting_.heldRoutes()) keys.push_back(route.first);
    return keys;
  }

  rocout::RoCoSession client_;
  rocout::RouteSetting setting_{&client_, "Dev1"};
};

TEST(TerminalList, EntriesBecomePathsAndCaseBlindDuplicatesGo) {
  const struct {
    const char* text;
    Strings paths;
  } cases[] = {
      {"PFI0, /Dev2/PFI3,, pfi0 ", {"/Dev1/PFI0", "/Dev2/PFI3"}},
      {"/ab", {"/Dev1//ab"}},
      {"/abc", {"/Dev1//abc"}},
      {"\tPXI_Trig1\n,PFI 2", {"/Dev1/PFI 2", "/Dev1/PXI_Trig1"}},
      {"", {}},
      {" , ,\t,", {}},
  };
  for (const auto& c : cases) {
    const rocout::TerminalSet set = rocout::parseTerminalList("Dev1", c.text);
    EXPECT_EQ(Strings(set.begin(), set.end()), c.paths) << c.text;
  }
}

TEST_F(RouteSettingTest, OnlyChangedRoutesReachTheLibrary) {
  EXPECT_EQ(deploy("Mosk", "PXI_Trig0, PXI_Trig1"), Strings{"qvrocoapi_createSession -> S1"} +
                                                        built("/Dev1/Mosk", "/Dev1/PXI_Trig0", 1) +
                                                        built("/Dev1/Mosk", "/Dev1/PXI_Trig1", 2));
  EXPECT_EQ(setting_.appliedSource(), "/Dev1/Mosk");
  EXPECT_TRUE(deploy("Mosk", "PXI_Trig1,pxi_trig0").empty());
  // A source that differs in letter case only is the same source.
  EXPECT_TRUE(deploy("/Dev1/MOSK", "PXI_Trig0, PXI_Trig1").empty());
  EXPECT_EQ(deploy("/Dev1/MOSK", "PXI_Trig1, PFI0"),
            released("/Dev1/PXI_Trig0", 1) + built("/Dev1/MOSK", "/Dev1/PFI0", 3));
  EXPECT_EQ(library_.routes(),
            (Strings{"/Dev1/Mosk /Dev1/PXI_Trig1 3", "/Dev1/MOSK /Dev1/PFI0 3"}));
}

// Held keys sort by bytes ("/Dev1/PXI..." before "/Dev1/pfi0"), destinations without case
// ("pfi0" before "pxi_trig1"): a route must not count as stale for that.
TEST_F(RouteSettingTest, DestinationsWhoseOrdersDisagreeStayHeld) {
  deploy("Mosk", "/Dev1/pfi0, /Dev1/PXI_Trig1");
  EXPECT_EQ(heldKeys(), (Strings{"/Dev1/PXI_Trig1", "/Dev1/pfi0"}));
  EXPECT_TRUE(deploy("Mosk", "/Dev1/pfi0, /Dev1/PXI_Trig1").empty());
  EXPECT_TRUE(deploy("Mosk", "/Dev1/PFI0, /Dev1/pxi_trig1").empty());
  EXPECT_EQ(deploy("Mosk", "/Dev1/PFI0"), released("/Dev1/PXI_Trig1", 2));
}

TEST_F(RouteSettingTest, AnEmptyListReleasesEveryRouteAndResetsItsTerminal) {
  for (const char* text : {"", " , ,"}) {
    deploy("Mosk", "PFI0,PFI1");
    const Strings calls = deploy("Mosk", text);
    ASSERT_EQ(calls.size(), 4u) << text;
    EXPECT_EQ(calls[1], "qvrocoapi_resetTerminal S1 /Dev1/PFI0 default");
    EXPECT_EQ(calls[3], "qvrocoapi_resetTerminal S1 /Dev1/PFI1 default");
    EXPECT_TRUE(setting_.heldRoutes().empty());
  }
  EXPECT_TRUE(library_.routes().empty());
}

TEST_F(RouteSettingTest, AnEmptySourceReleasesAllAndBuildsNothing) {
  deploy("Mosk", "PFI0");
  EXPECT_EQ(deploy(" ", "PFI0, PFI1"), released("/Dev1/PFI0", 1));
  EXPECT_EQ(setting_.appliedSource(), "");
  // A new source then builds every destination.
  EXPECT_EQ(deploy("PFI2", "PFI0, PFI1"),
            built("/Dev1/PFI2", "/Dev1/PFI0", 2) + built("/Dev1/PFI2", "/Dev1/PFI1", 3));
}

TEST_F(RouteSettingTest, AFailedBuildKeepsEarlierRoutesAndTheNextBuildsTheRest) {
  deploy("Mosk", "");
  library_.failAt("qvrocoapi_programRoute", 2, -89000);
  setting_.setDestinations("PFI0,PFI1,PFI2");
  EXPECT_EQ(raised([&] { setting_.establishRoutes(); }).first, -89000);
  EXPECT_EQ(heldKeys(), Strings{"/Dev1/PFI0"});
  // The half-built route is destroyed, without a terminal reset.
  EXPECT_EQ(newCalls(),
            Strings{"qvrocoapi_createSession -> S1"} + built("/Dev1/Mosk", "/Dev1/PFI0", 1) +
                built("/Dev1/Mosk", "/Dev1/PFI1", 2) + Strings{"qvrocoapi_destroyRoute S1 2"});
  setting_.establishRoutes();
  EXPECT_EQ(newCalls(),
            built("/Dev1/Mosk", "/Dev1/PFI1", 3) + built("/Dev1/Mosk", "/Dev1/PFI2", 4));
}

// After a failure with a changed source the applied source stays old: the next deploy releases
// everything again and rebuilds every destination.
TEST_F(RouteSettingTest, AFailedBuildAfterASourceChangeIsRebuiltWhole) {
  library_.failAt("qvrocoapi_reserveRoute", 2, -89000);
  setting_.setSource("Mosk");
  setting_.setDestinations("PFI0,PFI1");
  EXPECT_EQ(raised([&] { setting_.establishRoutes(); }).first, -89000);
  EXPECT_EQ(setting_.appliedSource(), "");
  newCalls();
  EXPECT_EQ(deploy("Mosk", "PFI0,PFI1"), released("/Dev1/PFI0", 1) +
                                             built("/Dev1/Mosk", "/Dev1/PFI0", 3) +
                                             built("/Dev1/Mosk", "/Dev1/PFI1", 4));
}

TEST_F(RouteSettingTest, AChangedSourceRebuildsEverything) {
  deploy("Mosk", "PFI0");
  EXPECT_EQ(deploy("PXI_Trig0", "PFI0"),
            released("/Dev1/PFI0", 1) + built("/Dev1/PXI_Trig0", "/Dev1/PFI0", 2));
}

TEST_F(RouteSettingTest, AFailedResetIsIgnoredAndReleaseGoesOn) {
  deploy("Mosk", "PFI0,PFI1");
  library_.failNext("qvrocoapi_resetTerminal", -89000);
  setting_.releaseAllRoutes();
  EXPECT_EQ(newCalls(), released("/Dev1/PFI0", 1) + released("/Dev1/PFI1", 2));
  EXPECT_TRUE(setting_.heldRoutes().empty());
}

TEST_F(RouteSettingTest, DestructionDestroysRoutesWithoutResettingTerminals) {
  {
    rocout::RouteSetting setting(&client_, "Dev1");
    setting.setSource("Mosk");
    setting.setDestinations("PFI0,PFI1");
    setting.establishRoutes();
    newCalls();
  }
  EXPECT_EQ(newCalls(), (Strings{"qvrocoapi_destroyRoute S1 1", "qvrocoapi_destroyRoute S1 2"}));
}

}  // namespace
