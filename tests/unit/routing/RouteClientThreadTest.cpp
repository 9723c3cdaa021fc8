// A host route request and a commit reaching one fresh route client from two threads: the
// library session is created once, and the load status is raised without a race.
#include <latch>
#include <thread>

#include "RouteLibraryTestbed.h"
#include "routing/RoCoSession.h"

namespace {

using routingtest::raised;

class RouteClientThreadTest : public routingtest::RouteLibraryTestbed {};

TEST_F(RouteClientThreadTest, ARequestAndACommitOnAFreshClientCreateOneLibrarySession) {
  for (int round = 0; round < 20; ++round) {
    library_.reset();
    library_.setTerminals("Dev1", "PFI0,PXI_Trig0");
    rocout::RoCoSession client;
    std::latch start(2);
    std::thread request([&] {
      start.arrive_and_wait();
      const rocout::u32 route = client.calculateRoute("/Dev1/PFI0", "/Dev1/PXI_Trig0", nullptr);
      client.reserveRoute(route);
      client.programRoute(route);
    });
    std::thread commit([&] {
      start.arrive_and_wait();
      client.resetTerminal("/Dev1/PFI0", "default");
    });
    request.join();
    commit.join();
    int creations = 0;
    for (const std::string& call : calls())
      creations += call.rfind("qvrocoapi_createSession", 0) == 0;
    ASSERT_EQ(creations, 1) << "round " << round;
    ASSERT_EQ(library_.openSessions(), 1);
  }
}

TEST_F(RouteClientThreadTest, TheLoadFailureIsRaisedToOneThreadWithItsDetail) {
  use(sim::LibraryChoice::Absent);
  for (int round = 0; round < 20; ++round) {
    rocout::RoCoSession client;
    std::latch start(2);
    std::string details[2];
    auto operate = [&](int k) {
      start.arrive_and_wait();
      details[k] = raised([&] { client.resetTerminal("/Dev1/PFI0", "default"); }).second;
    };
    std::thread first(operate, 0);
    std::thread second(operate, 1);
    first.join();
    second.join();
    // One of the two carries the loader's detail, the other the code alone.
    ASSERT_NE(details[0].empty(), details[1].empty()) << details[0] << details[1];
  }
}

}  // namespace
