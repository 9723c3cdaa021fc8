// Route settings of device Dev1 over the route library stand-in: the destination-list text, and
// which routes the three route operations release and build.
#include "RouteLibraryTestbed.h"
#include "routing/RouteSetting.h"

namespace routingtest {
namespace {

class RouteSettingTest : public RouteLibraryTestbed {
 protected:
  RouteSettingTest() { library_.setTerminals("Dev1", "Mosk,PFI0,PFI1,PFI2,PXI_Trig0,PXI_Trig1"); }

  // Source and destinations set, stale routes released, missing ones built; the library calls
  // this made.
  Strings deploy(const std::string& source, const std::string& destinations) {
    setting_.setSource(source);
    setting_.setDestinations(destinations);
    setting_.releaseStaleRoutes();
    setting_.establishRoutes();
    return newCalls();
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
      {"\tPXI_Trig1\n,PFI 2, , ,", {"/Dev1/PFI 2", "/Dev1/PXI_Trig1"}},
  };
  for (const auto& c : cases) {
    const rocout::TerminalSet set = rocout::parseTerminalList("Dev1", c.text);
    EXPECT_EQ(Strings(set.begin(), set.end()), c.paths) << c.text;
  }
}

// Held keys sort by bytes ("/Dev1/PXI..." before "/Dev1/pfi0"), destinations without case
// ("pfi0" before "pxi_trig1"): a route must not count as stale for that. Texts that differ only
// in letter case name the same terminals.
TEST_F(RouteSettingTest, OnlyChangedRoutesReachTheLibrary) {
  EXPECT_EQ(
      deploy("Mosk", "/Dev1/pfi0, /Dev1/PXI_Trig1"),
      kCreated + built("/Dev1/Mosk", "/Dev1/pfi0", 1) + built("/Dev1/Mosk", "/Dev1/PXI_Trig1", 2));
  EXPECT_TRUE(deploy("Mosk", "/Dev1/pfi0, /Dev1/PXI_Trig1").empty());
  EXPECT_TRUE(deploy("/Dev1/MOSK", "/Dev1/PFI0, /Dev1/pxi_trig1").empty());
  EXPECT_EQ(deploy("/Dev1/MOSK", "/Dev1/PFI0, PFI1"),
            released("/Dev1/PXI_Trig1", 2) + built("/Dev1/MOSK", "/Dev1/PFI1", 3));
}

// The second round's first reset fails: it is ignored and the release goes on.
TEST_F(RouteSettingTest, AnEmptyListReleasesEveryRouteAndResetsItsTerminal) {
  for (int round = 0; round < 2; ++round) {
    deploy("Mosk", "PFI0,PFI1");
    if (round == 1) library_.failAt("qvrocoapi_resetTerminal", 1, -89000);
    EXPECT_EQ(deploy("Mosk", round == 0 ? "" : " , ,"),
              released("/Dev1/PFI0", 2 * round + 1) + released("/Dev1/PFI1", 2 * round + 2));
  }
}

TEST_F(RouteSettingTest, AnEmptySourceReleasesAllAndBuildsNothing) {
  deploy("Mosk", "PFI0");
  EXPECT_EQ(deploy(" ", "PFI0, PFI1"), released("/Dev1/PFI0", 1));
}

TEST_F(RouteSettingTest, AFailedBuildKeepsEarlierRoutesAndTheNextBuildsTheRest) {
  deploy("Mosk", "");
  library_.failAt("qvrocoapi_programRoute", 2, -89000);
  setting_.setDestinations("PFI0,PFI1,PFI2");
  EXPECT_EQ(raised([&] { setting_.establishRoutes(); }).first, -89000);
  // The half-built route is destroyed, without a terminal reset.
  EXPECT_EQ(newCalls(), kCreated + built("/Dev1/Mosk", "/Dev1/PFI0", 1) +
                            built("/Dev1/Mosk", "/Dev1/PFI1", 2) +
                            Strings{"qvrocoapi_destroyRoute S1 2"});
  setting_.establishRoutes();
  EXPECT_EQ(newCalls(),
            built("/Dev1/Mosk", "/Dev1/PFI1", 3) + built("/Dev1/Mosk", "/Dev1/PFI2", 4));
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
}  // namespace routingtest
