// The session's reader thread: which notices reach the engine's demotion function, and how the
// loop behaves when reading keeps failing.

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/notify/tThreadController.h"
#include "routing/LinkedExports.h"
#include "routing/ZUZSession.h"
#include "tests/unit/Eventually.h"

namespace {

using namespace routingtest;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tIONotificationReader;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController;

TEST(RoutingNotices, OnlyKindZeroNoticesForTheSessionReachTheDemotionFunction) {
  RoutingBed bed(linkedExports());
  Demotions demotions;
  ZUZSession* s = bed.open(&demotions);
  ASSERT_NE(s, nullptr);
  const auto registration = bed.model.notices().registration(sim::RoutingModel::kDemotionId);
  ASSERT_TRUE(registration.has_value());
  // The other kind of message, and a notice echoing something other than the session's own
  // registration, are read and dropped; the notices arrive in order, so the one call seen is
  // the last notice's.
  ASSERT_EQ(bed.model.notices().notify(sim::RoutingModel::kDemotionId, 2, {}), 0);
  ASSERT_EQ(bed.model.notices().sendRaw(
                registration->port,
                sim::RoutingNotices::message(sim::RoutingNotices::kMessageType, 1, 0x1234, {})),
            0);
  const uint8_t payload[3] = {1, 2, 3};
  ASSERT_EQ(bed.model.demote(payload), 0);
  ASSERT_TRUE(demotions.waitFor([](Demotions& d) { return d.finished; }));
  bed.x.destroySession(s);
  EXPECT_EQ(demotions.calls, 1);
}

TEST(RoutingNotices, WithoutADemotionFunctionNoticesAreDropped) {
  RoutingBed bed(linkedExports());
  ZUZSession* s = bed.open();
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(bed.model.demote(), 0);
  bed.x.destroySession(s);
  EXPECT_EQ(bed.model.notices().armedCount(), 0u);
}

// A reader whose every wait fails, as with a persistent poll error.
class FailingReader : public tIONotificationReader {
 public:
  FailingReader(nQVVUSKS100::tStatus* status) : tIONotificationReader(0, status) {}
  uint64_t read(uint32_t*, uint8_t*, uint32_t*, nQVVUSKS100::tStatus* status, int32_t) override {
    ++reads;
    status->setCode(-52008, "qvvandrelbrenmooru", "test", 1);
    return 0;
  }
  std::atomic<int> reads{0};
};

class CountingHandler : public qvvandrelbrenmoorra::iNotificationHandler {
 public:
  void onNotification(uint32_t, uint64_t, const uint8_t*, uint32_t,
                      const nQVVUSKS100::tStatus& status) override {
    if (status.isError()) ++failures;
  }
  std::atomic<int> failures{0};
};

TEST(NotificationLoop, FailingReadsAreRetriedWithBackOffAndStopEndsTheWait) {
  nQVVUSKS100::tStatus status;
  FailingReader reader(&status);
  CountingHandler handler;
  qvvandrelbrenmoorra::NotificationLoop loop(reader, handler);
  tThreadController thread;
  const auto start = std::chrono::steady_clock::now();
  thread.start(&loop, 0, "loop", &status);
  ASSERT_EQ(status.code, 0);
  // The ninth read follows waits of 1, 2, 4 ... 64 and 100 ms, 227 ms in all, where a spinning
  // loop gets there in microseconds; a busy machine only makes it later.
  unittest::eventually([&] { return reader.reads.load() >= 9; });
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(reader.reads.load(), 9) << "the loop stopped retrying";
  EXPECT_GE(took, std::chrono::milliseconds(227));
  // Reads never stop failing: only stop can end the loop.
  loop.stop();
  thread.join();
  // Every failed read was still offered to the handler, which ignores it.
  EXPECT_EQ(handler.failures.load(), reader.reads.load());
}

}  // namespace
