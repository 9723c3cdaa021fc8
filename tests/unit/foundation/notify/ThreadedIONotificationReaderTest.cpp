#include <atomic>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "foundation/notify/tDemotionNotification.h"
#include "foundation/notify/tThreadedIONotificationReader.h"
#include "sim/device/Module.h"
#include "sim/device/RoutingNotices.h"
#include "sim/kernel/Testbed.h"

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadedIONotificationReader;

// Reads until cancelled, counting what it got.
class ReadLoop : public iThread {
 public:
  explicit ReadLoop(tThreadedIONotificationReader* r) : reader(r) {}
  int32_t run() override {
    for (;;) {
      nQVVUSKS100::tStatus status;
      uint32_t kind = 0, length = 0;
      uint8_t payload[32];
      const uint64_t echo = reader->read(&kind, payload, &length, &status, -1);
      if (status.isError() || kind == 2) break;
      lastEcho.store(echo);
      received.fetch_add(1);
    }
    finished.store(true);
    return 0;
  }
  tThreadedIONotificationReader* reader;
  std::atomic<int> received{0};
  std::atomic<uint64_t> lastEcho{0};
  std::atomic<bool> finished{false};
};

TEST(ThreadedIONotificationReader, DestroyingWhileBlockedInReadReturnsPromptly) {
  nQVVUSKS100::tStatus status;
  auto reader = std::make_unique<tThreadedIONotificationReader>(0, &status);
  ASSERT_EQ(status.code, 0);
  ReadLoop loop(reader.get());
  reader->start(&loop, 0, "qvvandrelbrenmooru", &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_TRUE(reader->isRunning());
  // Gives the thread time to block in its read; that nothing ends the read is a negative check.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(loop.finished.load());
  // A read that the teardown does not cancel never returns; the limit leaves room for a busy
  // machine.
  const auto start = std::chrono::steady_clock::now();
  reader.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(loop.finished.load());
}

TEST(ThreadedIONotificationReader, ItsThreadReceivesModelNotices) {
  sim::Testbed testbed;
  sim::Module module(testbed, "R0");
  sim::RoutingNotices notices(module.routingInterface());
  nQVVUSKS100::tStatus status;
  auto reader = std::make_unique<tThreadedIONotificationReader>(0, &status);
  ReadLoop loop(reader.get());
  reader->start(&loop, 0, "qvvandrelbrenmooru", &status);
  ASSERT_EQ(status.code, 0);
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_routing proxy;
  proxy.open(module.routingInterface().nodePath().c_str(), &status);
  nQVVANDRELBRENMOORU_22_8::tDemotionNotification demotion;
  const uint32_t route = 3;
  demotion.arm(*reader, &proxy, route, &status);
  ASSERT_EQ(status.code, 0);
  const uint64_t object = reinterpret_cast<uint64_t>(&demotion);
  ASSERT_EQ(notices.notify(route, 1, {}), 0);
  for (int i = 0; i < 1000 && loop.received.load() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(loop.received.load(), 1);
  EXPECT_EQ(loop.lastEcho.load(), object);
  demotion.disarm();
  reader.reset();
  EXPECT_TRUE(loop.finished.load());
}

}  // namespace
