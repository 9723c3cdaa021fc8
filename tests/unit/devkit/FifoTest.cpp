#include "devkit/Fifo.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <thread>
#include <vector>

#include "DevkitTestUtil.h"
#include "FifoTestbed.h"
#include "devkit/FifoTable.h"
#include "devkit/HostBuffer.h"
#include "tests/unit/Eventually.h"

namespace {

using devkit_test::codeOf;
using devkit_test::fieldOf;
using devkit_test::kReleaseFifo;
using devkit_test::kSessionHandle;
using devkit_test::kStartFifo;
using devkit_test::kWaitFifo;
using qvkel::Fifo;
using qvkel::FifoDescriptor;

constexpr uint64_t kUser = 0x5E55;
constexpr uint64_t kOtherUser = 0x5E56;
const qvkel::TypeU32 kU32;

struct FifoTest : devkit_test::FifoTestbed, ::testing::Test {
  std::unique_ptr<Fifo> make(uint8_t kind, const qvkel::Type& type = kU32, uint32_t number = 0) {
    return std::make_unique<Fifo>(devkit_test::channel(kind, type, number), proxy, kSessionHandle,
                                  -1, 0);
  }

  // Pushes `values` as the device, waiting for free space as it goes.
  void produce(uint32_t channel, const std::vector<uint32_t>& values) {
    size_t done = 0;
    while (done < values.size()) {
      const size_t pushed = dma.push(channel, values.data() + done, (values.size() - done) * 4);
      done += pushed / 4;
      if (pushed == 0) std::this_thread::yield();
    }
  }

  // A started target-to-host FIFO of 1024 u32 elements whose host has read `position`.
  std::unique_ptr<Fifo> readTo(uint64_t position, std::optional<uint64_t> mirror = {}) {
    auto fifo = make(FifoDescriptor::kTargetToHost);
    if (mirror) fifo->setProperty(4, qvkel::FifoPropertyValueType::U64, &*mirror);
    fifo->configure(1024, nullptr, kUser);
    fifo->start(kUser);
    std::vector<uint32_t> values(position);
    std::iota(values.begin(), values.end(), 0u);
    produce(0, values);
    fifo->read(kU32, values.data(), position, 0, nullptr, nullptr, kUser);
    return fifo;
  }
};

std::vector<uint32_t> sequence(uint32_t from, uint32_t count) {
  std::vector<uint32_t> values(count);
  std::iota(values.begin(), values.end(), from);
  return values;
}

// The model's engine on its own, driven through the kernel interface.
TEST_F(FifoTest, TheModelsEngineBlocksAWaitUntilTheDeviceProducesAndBoundsReleases) {
  nQVVUSKS100::tStatus status;
  uint32_t ring[64] = {};
  const uint64_t record[4] = {reinterpret_cast<uint64_t>(ring), sizeof ring, 0, 1 | 2ull << 32};
  proxy->command832E(7, 2, record, &status);
  proxy->command8329(7, 2, &status);
  ASSERT_EQ(status.code, 0);
  ASSERT_TRUE(dma.state(7, 2)->started);

  std::thread host([&] {
    nQVVUSKS100::tStatus waited;
    bool timedOut = true;
    EXPECT_EQ(proxy->command832B(7, 2, 40, Fifo::kWaitForever, &timedOut, &waited), 48u);
    EXPECT_FALSE(timedOut);
  });
  ASSERT_TRUE(dma.awaitWaiter(2, std::chrono::seconds(10)));
  const std::vector<uint32_t> values = sequence(1, 12);
  EXPECT_EQ(dma.push(2, values.data(), 48), 48u);
  host.join();
  EXPECT_EQ(std::vector<uint32_t>(ring, ring + 12), values);

  bool timedOut = false;
  EXPECT_EQ(proxy->command832B(7, 2, 1000, 1, &timedOut, &status), 48u);
  EXPECT_TRUE(timedOut);
  proxy->command832C(7, 2, 16, &status);
  EXPECT_EQ(dma.state(7, 2)->hostBytes, 16u);
  nQVVUSKS100::tStatus tooMuch;
  proxy->command832C(7, 2, 100, &tooMuch);
  EXPECT_EQ(tooMuch.code, -52005) << "more than the device produced";
  // The device fills free space only: 256 - (48 - 16) bytes.
  const std::vector<uint32_t> more(64, 9);
  EXPECT_EQ(dma.push(2, more.data(), 256), 224u);

  proxy->command832D(7, 2, &status);
  EXPECT_FALSE(dma.state(7, 2).has_value());
  nQVVUSKS100::tStatus gone;
  proxy->command832B(7, 2, 4, 1, &timedOut, &gone);
  EXPECT_EQ(gone.code, -50405);
  EXPECT_EQ(status.code, 0);
}

TEST_F(FifoTest, ReadsWhatTheDeviceProducesWhileItProduces) {
  auto fifo = make(FifoDescriptor::kTargetToHost);
  uint64_t depth = 0;
  fifo->configure(1000, &depth, kUser);
  EXPECT_EQ(depth, 1024u) << "rounded up to a page of elements";
  fifo->start(kUser);
  EXPECT_TRUE(fifo->isStarted());

  constexpr uint32_t kTotal = 5000;
  std::thread device([&] {
    for (uint32_t next = 0; next < kTotal; next += 37)
      produce(0, sequence(next, std::min(37u, kTotal - next)));
  });
  std::vector<uint32_t> received(kTotal);
  for (uint32_t at = 0; at < kTotal; at += 250) {
    bool timedOut = true;
    fifo->read(kU32, received.data() + at, 250, Fifo::kWaitForever, &timedOut, nullptr, kUser);
    EXPECT_FALSE(timedOut);
  }
  device.join();
  EXPECT_EQ(received, sequence(0, kTotal));
  EXPECT_EQ(dma.state(kSessionHandle, 0)->hostBytes, kTotal * 4u);
}

TEST_F(FifoTest, WritesWhatTheDeviceConsumes) {
  dma.setDirection(1, sim::DmaFifos::Direction::HostToTarget);
  auto fifo = make(FifoDescriptor::kHostToTarget, kU32, 1);
  fifo->configure(1024, nullptr, kUser);
  constexpr uint32_t kTotal = 3000;
  std::vector<uint32_t> consumed;
  std::thread device([&] {
    while (consumed.size() < kTotal) {
      uint32_t chunk[64];
      size_t bytes = 0;
      try {
        bytes = dma.pull(1, chunk, sizeof chunk);
      } catch (const std::out_of_range&) {  // not started yet
      }
      consumed.insert(consumed.end(), chunk, chunk + bytes / 4);
      if (bytes == 0) std::this_thread::yield();
    }
  });
  const std::vector<uint32_t> values = sequence(100, kTotal);
  for (uint32_t at = 0; at < kTotal; at += 300)
    fifo->write(kU32, values.data() + at, 300, Fifo::kWaitForever, nullptr, nullptr, kUser);
  device.join();
  EXPECT_EQ(consumed, values);
}

TEST_F(FifoTest, AcquireAcrossTheRingsEndThroughTheMirror) {
  struct Case {
    std::optional<uint64_t> mirror;  // by default the whole ring
    uint64_t handedOut;
  };
  for (const Case& c : {Case{{}, 100}, Case{0, 24}}) {
    auto fifo = readTo(1000, c.mirror);
    produce(0, sequence(1000, 100));
    void* elements = nullptr;
    uint64_t acquired = 0;
    fifo->acquireRead(kU32, &elements, 100, 0, nullptr, &acquired, nullptr, kUser);
    ASSERT_EQ(acquired, c.handedOut);
    const auto* values = static_cast<const uint32_t*>(elements);
    EXPECT_EQ(std::vector<uint32_t>(values, values + acquired), sequence(1000, acquired));
    uint64_t held = 0;
    fifo->getProperty(8, qvkel::FifoPropertyValueType::U64, &held);
    EXPECT_EQ(held, acquired);
    fifo->releaseElements(acquired);
    EXPECT_EQ(fieldOf<uint64_t>(logOf(kReleaseFifo).back().input, 16), acquired * 4);
    fifo.reset();
    iface.clearLog();
  }
}

TEST_F(FifoTest, RegionsGoBackInAcquisitionOrder) {
  auto fifo = readTo(0);
  produce(0, sequence(0, 60));
  uint64_t regions[3] = {};
  for (uint64_t i = 0; i < 3; ++i)
    fifo->acquireReadRegion(kU32, &regions[i], nullptr, 10 * (i + 1), 0, nullptr, nullptr, nullptr,
                            kUser);
  const size_t before = countOf(kReleaseFifo);
  fifo->releaseRegion(regions[1]);
  EXPECT_EQ(countOf(kReleaseFifo), before) << "the first region is still held";
  fifo->releaseRegion(regions[0]);
  ASSERT_EQ(countOf(kReleaseFifo), before + 1);
  EXPECT_EQ(fieldOf<uint64_t>(logOf(kReleaseFifo).back().input, 16), 30u * 4) << "both at once";

  // Only handles of outstanding regions are taken: a released one, one of a free slot, one
  // between slots, and a null one are refused and release nothing.
  for (uint64_t stale : {regions[0], regions[1], regions[2] + 8, regions[2] + 3, uint64_t{0}})
    EXPECT_EQ(codeOf([&] { fifo->releaseRegion(stale); }), -52005) << std::hex << stale;
  EXPECT_EQ(countOf(kReleaseFifo), before + 1);
  fifo->releaseRegion(regions[2]);
  EXPECT_EQ(codeOf([&] { fifo->releaseRegion(regions[2]); }), -61073) << "none outstanding";

  // A plain acquire waits for the regions, and a region acquire for the plain elements.
  produce(0, sequence(60, 10));
  fifo->acquireReadRegion(kU32, &regions[0], nullptr, 1, 0, nullptr, nullptr, nullptr, kUser);
  void* elements;
  EXPECT_EQ(codeOf([&] { fifo->acquireRead(kU32, &elements, 1, 0, 0, 0, 0, kUser); }), -63083);
  fifo->releaseRegion(regions[0]);
  fifo->acquireRead(kU32, &elements, 1, 0, nullptr, nullptr, nullptr, kUser);
  EXPECT_EQ(codeOf([&] { fifo->acquireReadRegion(kU32, &regions[0], 0, 1, 0, 0, 0, 0, kUser); }),
            -63083);
}

TEST_F(FifoTest, TheRingHoldsOneRegionLessThanItsSlots) {
  auto fifo = readTo(0);
  produce(0, sequence(0, 600));
  uint64_t region = 0;
  for (int i = 0; i < 511; ++i)
    fifo->acquireReadRegion(kU32, &region, nullptr, 1, 0, nullptr, nullptr, nullptr, kUser);
  EXPECT_EQ(codeOf([&] { fifo->acquireReadRegion(kU32, &region, 0, 1, 0, nullptr, 0, 0, kUser); }),
            -63088);
}

TEST_F(FifoTest, ARingWithoutSlotsRefusesEveryRegion) {
  const uint32_t none = 0;
  auto fifo = make(FifoDescriptor::kTargetToHost);
  fifo->setProperty(10, qvkel::FifoPropertyValueType::U32, &none);
  fifo->start(kUser);
  produce(0, sequence(0, 4));
  uint64_t region = 0;
  EXPECT_EQ(codeOf([&] { fifo->acquireReadRegion(kU32, &region, 0, 1, 0, 0, 0, 0, kUser); }),
            -63088);
  EXPECT_EQ(codeOf([&] { fifo->releaseRegion(0x1000); }), -61073);
}

TEST_F(FifoTest, ASessionGoneOnceRestartsTheFifoTwiceIsAnError) {
  dma.setFreeRunning(0, true);
  auto fifo = make(FifoDescriptor::kTargetToHost);
  std::vector<uint32_t> data(10);
  // Asking for the remaining count makes every read wait in the kernel.
  uint64_t remaining = 0;
  auto read = [&] { fifo->read(kU32, data.data(), 10, 100, nullptr, &remaining, kUser); };
  iface.script(kWaitFifo, devkit_test::statusReply(-52010));
  read();
  EXPECT_EQ(countOf(kStartFifo), 2u);
  EXPECT_TRUE(fifo->isStarted());

  iface.script(kWaitFifo, devkit_test::statusReply(-52010));
  iface.script(kWaitFifo, devkit_test::statusReply(-52010));
  EXPECT_EQ(codeOf(read), -50405);
  EXPECT_FALSE(fifo->isStarted());
  EXPECT_EQ(countOf(kStartFifo), 3u) << "restarted once";

  // The kernel's own "gone", from a wait or a release, stops the FIFO as well.
  for (int32_t status : {-50405, -52010}) {
    read();
    void* elements;
    fifo->acquireRead(kU32, &elements, 5, 100, nullptr, nullptr, nullptr, kUser);
    iface.script(kReleaseFifo, devkit_test::statusReply(status));
    EXPECT_EQ(codeOf([&] { fifo->releaseElements(5); }), -50405) << status;
    EXPECT_FALSE(fifo->isStarted());
  }
  iface.script(kWaitFifo, devkit_test::statusReply(-50405));
  EXPECT_EQ(codeOf(read), -50405);
  EXPECT_FALSE(fifo->isStarted());
}

TEST_F(FifoTest, AnEndlessWaitRunsInSlicesAndNeverTimesOut) {
  dma.setFreeRunning(0, true);
  auto fifo = make(FifoDescriptor::kTargetToHost);
  // Two slices expire ({u64 available 0, u8 timed out}) before the device delivers.
  const std::vector<uint8_t> expired = {0, 0, 0, 0, 0, 0, 0, 0, 1};
  iface.script(kWaitFifo, devkit_test::statusReply(0, expired));
  iface.script(kWaitFifo, devkit_test::statusReply(0, expired));
  std::vector<uint32_t> data(10);
  bool timedOut = true;
  fifo->read(kU32, data.data(), 10, Fifo::kWaitForever, &timedOut, nullptr, kUser);
  EXPECT_FALSE(timedOut);
  const auto waits = logOf(kWaitFifo);
  ASSERT_EQ(waits.size(), 3u);
  for (const auto& wait : waits) EXPECT_EQ(fieldOf<uint32_t>(wait.input, 24), 3000u);

  // A finite wait that expires reports it and moves nothing (asking for the remaining count
  // makes the read ask the kernel).
  iface.script(kWaitFifo, devkit_test::statusReply(0, expired));
  uint64_t remaining = 0;
  fifo->read(kU32, data.data(), 10, 7, &timedOut, &remaining, kUser);
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(fieldOf<uint32_t>(logOf(kWaitFifo).back().input, 24), 7u);
}

TEST_F(FifoTest, DirectionAndElementTypeAreCheckedBeforeAnyWait) {
  auto fifo = make(FifoDescriptor::kTargetToHost, qvkel::TypeI32());
  std::vector<uint32_t> data(4);
  EXPECT_EQ(codeOf([&] { fifo->write(qvkel::TypeI32(), data.data(), 4, 0, 0, 0, kUser); }), -52005);
  EXPECT_EQ(codeOf([&] { fifo->read(kU32, data.data(), 4, 0, 0, 0, kUser); }), -52005);
  EXPECT_EQ(iface.log().size(), 0u) << "no start, no wait";

  // Single, double, Boolean and fixed-point FIFOs take any descriptor.
  dma.setFreeRunning(0, true);
  for (const qvkel::Type& type :
       {qvkel::Type(qvkel::TypeSgl()), qvkel::Type(qvkel::TypeDbl()),
        qvkel::Type(qvkel::TypeBool()), qvkel::Type(qvkel::ElementType::Fxp, 20, 4, true, 5)}) {
    auto any = make(FifoDescriptor::kTargetToHost, type);
    std::vector<uint8_t> bytes(4 * any->getElementSize());
    any->read(kU32, bytes.data(), 4, 0, nullptr, nullptr, kUser);
  }
  // Fixed-point elements travel as 8 bytes.
  EXPECT_EQ(
      make(FifoDescriptor::kTargetToHost, qvkel::Type(qvkel::ElementType::Fxp, 20, 4, true, 5))
          ->getElementSize(),
      8u);

  // Elements to move need a place: refused before anything moves, with the data there.
  dma.setDirection(1, sim::DmaFifos::Direction::HostToTarget);
  dma.setFreeRunning(1, true);
  auto writer = make(FifoDescriptor::kHostToTarget, kU32, 1);
  auto reader = make(FifoDescriptor::kTargetToHost);
  iface.clearLog();
  EXPECT_EQ(codeOf([&] { reader->read(kU32, nullptr, 4, 0, 0, 0, kUser); }), -52005);
  EXPECT_EQ(codeOf([&] { writer->write(kU32, nullptr, 4, 0, 0, 0, kUser); }), -52005);
  EXPECT_EQ(iface.log().size(), 0u);
  reader->read(kU32, nullptr, 0, 0, nullptr, nullptr, kUser);  // none needs none
}

TEST_F(FifoTest, ConfigureStopsAndRefusesADepthItCannotGive) {
  auto fifo = make(FifoDescriptor::kTargetToHost);
  fifo->start(kUser);
  EXPECT_EQ(codeOf([&] { fifo->configure(0, nullptr, kUser); }), -61072);
  EXPECT_TRUE(fifo->isStarted());
  // With flow control u32 rings end below 2^30 elements.
  uint64_t depth = 7;
  EXPECT_EQ(codeOf([&] { fifo->configure(uint64_t{1} << 31, &depth, kUser); }), -61072);
  EXPECT_EQ(depth, 7u);
  EXPECT_FALSE(fifo->isStarted());
  EXPECT_EQ(countOf(devkit_test::kStopFifo), 1u);
}

TEST_F(FifoTest, AnAcquireBeyondTheFreeElementsWaitsForARelease) {
  dma.setFreeRunning(0, true);
  auto fifo = make(FifoDescriptor::kTargetToHost);
  fifo->configure(1024, nullptr, kUser);
  void* held = nullptr;
  uint64_t acquired = 0;
  fifo->acquireRead(kU32, &held, 1000, 100, nullptr, &acquired, nullptr, kUser);
  ASSERT_EQ(acquired, 1000u);
  void* more = nullptr;
  EXPECT_EQ(codeOf([&] { fifo->acquireRead(kU32, &more, 100, 5, 0, 0, 0, kUser); }), -61219)
      << "a finite wait that sees no release";

  std::thread waiter([&] {
    uint64_t got = 0;
    fifo->acquireRead(kU32, &more, 100, Fifo::kWaitForever, nullptr, &got, nullptr, kOtherUser);
    EXPECT_EQ(got, 100u) << "on through the mirror";
  });
  // The waiter has recorded itself and let go of the FIFO only once it waits for space.
  EXPECT_TRUE(unittest::eventually([&] { return fifo->hasUser(kOtherUser); }))
      << "the waiter never waited for space";
  fifo->releaseElements(1000);
  waiter.join();
  EXPECT_EQ(more, static_cast<uint32_t*>(held) + 1000);
}

TEST_F(FifoTest, TheLastUserLeavingStopsTheFifoEvenWithElementsHeld) {
  dma.setFreeRunning(0, true);
  auto fifo = make(FifoDescriptor::kTargetToHost);
  void* held = nullptr;
  fifo->acquireRead(kU32, &held, 10, 100, nullptr, nullptr, nullptr, kUser);
  fifo->start(kOtherUser);
  fifo->detachUser(kOtherUser);
  EXPECT_TRUE(fifo->isStarted()) << "one user is left";
  EXPECT_EQ(countOf(devkit_test::kStopFifo), 0u);

  iface.clearLog();
  fifo->detachUser(kUser);
  EXPECT_FALSE(fifo->isStarted());
  EXPECT_FALSE(fifo->hasUser(kUser));
  const auto log = iface.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].command, devkit_test::kStopFifo);
  EXPECT_EQ(log[1].command, devkit_test::kDropBuffer);
  EXPECT_EQ(log[2].command, devkit_test::kFreeFifo);
  EXPECT_FALSE(dma.state(kSessionHandle, 0).has_value());

  // The next access builds everything again.
  std::vector<uint32_t> data(10);
  fifo->read(kU32, data.data(), 10, 100, nullptr, nullptr, kUser);
  EXPECT_TRUE(dma.state(kSessionHandle, 0)->started);
}

TEST_F(FifoTest, ZeroElementsStartTheFifoAndMoveNothing) {
  auto fifo = make(FifoDescriptor::kTargetToHost);
  fifo->read(kU32, nullptr, 0, 0, nullptr, nullptr, kUser);
  EXPECT_TRUE(fifo->isStarted());
  EXPECT_EQ(countOf(kWaitFifo), 0u);
  EXPECT_TRUE(fifo->hasUser(kUser));
}

TEST_F(FifoTest, PropertiesChangeOnlyWhileStopped) {
  auto fifo = make(FifoDescriptor::kTargetToHost);
  const uint64_t depth = 2048;
  fifo->setProperty(3, qvkel::FifoPropertyValueType::U64, &depth);
  fifo->commitProperties(kUser);
  EXPECT_TRUE(fifo->hasUser(kUser));
  fifo->start(0);
  EXPECT_EQ(codeOf([&] { fifo->setProperty(3, qvkel::FifoPropertyValueType::U64, &depth); }),
            -63086);
  EXPECT_EQ(codeOf([&] { fifo->commitProperties(kUser); }), -63086);
  uint64_t read = 0;
  fifo->getProperty(3, qvkel::FifoPropertyValueType::U64, &read);
  EXPECT_EQ(read, 2048u);
  EXPECT_EQ(codeOf([&] { fifo->getProperty(3, qvkel::FifoPropertyValueType(5), &read); }), -63193);

  fifo->unconfigure();
  EXPECT_FALSE(fifo->isStarted());
  EXPECT_FALSE(fifo->hasUser(kUser));
  fifo->getProperty(3, qvkel::FifoPropertyValueType::U64, &read);
  EXPECT_EQ(read, 16384u);
  EXPECT_EQ(countOf(devkit_test::kFreeFifo), 1u);
}

TEST_F(FifoTest, ConstructionAndTheFpgasTable) {
  EXPECT_EQ(codeOf([&] { make(FifoDescriptor::kPeerToPeerReader); }), -52005);
  EXPECT_EQ(codeOf([&] { make(FifoDescriptor::kTargetToHost, qvkel::Type()); }), -52003);
  // Elements of two pages: one element per page of granularity, every depth can be mirrored.
  const uint32_t big = static_cast<uint32_t>(2 * qvkel::getPageSize());
  dma.setFreeRunning(2, true);
  auto composite = make(FifoDescriptor::kTargetToHost, qvkel::Composite(big), 2);
  composite->configure(3, nullptr, kUser);
  void* elements = nullptr;
  uint64_t acquired = 0;
  composite->acquireRead(qvkel::Composite(big), &elements, 3, 100, nullptr, &acquired, nullptr,
                         kUser);
  EXPECT_EQ(acquired, 3u);

  const std::vector<qvkel::NamedFifo> channels = {
      devkit_test::channel(FifoDescriptor::kTargetToHost, kU32, 0),
      devkit_test::channel(FifoDescriptor::kPeerToPeerWriter, kU32, 1),
      devkit_test::channel(FifoDescriptor::kHostToTarget, kU32, 2, 10, false),
      devkit_test::channel(FifoDescriptor::kHostToTarget, kU32, 3)};
  const qvkel::FifoTable table = qvkel::createFifos(channels, proxy, kSessionHandle, -1, 0);
  ASSERT_EQ(table.size(), 4u);
  EXPECT_EQ(qvkel::getFifo(table, 0).getNumber(), 0u);
  EXPECT_EQ(qvkel::getFifo(table, 3).getNumber(), 3u);
  for (uint32_t n : {1u, 2u, 4u}) EXPECT_EQ(codeOf([&] { qvkel::getFifo(table, n); }), -52005);

  dma.setFreeRunning(0, true);
  qvkel::getFifo(table, 0).start(kUser);
  qvkel::markAllFifosStopped(table);
  EXPECT_FALSE(qvkel::getFifo(table, 0).isStarted());
  qvkel::detachUserFromAllFifos(table, kUser);
  EXPECT_FALSE(qvkel::getFifo(table, 0).hasUser(kUser));
}

}  // namespace
