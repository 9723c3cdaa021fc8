// Loop buffers: their attributes, their compile and deploy, the write path's completion
// tracker; and the stream reset that a stop runs.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "StreamTestbed.h"
#include "devkit/DmaChannels.h"
#include "devkit/ElementType.h"

namespace {

using attrtest::catchError;
using Access = sim::StreamUnit::Access;

constexpr uint32_t kStartFifoCommand = 0x40208329, kStopFifoCommand = 0x4020832A;

// Stream 4: two target FIFOs, a loop buffer and the optional registers; stream 5: a loop
// buffer without its reset register; stream 3: two host FIFOs with the optional registers.
class LoopBufferTest : public streamtest::StreamTestbed {
 protected:
  void SetUp() override {
    design.addStream(
        {.number = 4, .targetFifos = {0, 1}, .loopBuffer = true, .optionalRegisters = true});
    design.addStream({.number = 5,
                      .targetFifos = {0},
                      .loopBuffer = true,
                      .omit = {"vandrel.buffer.circular.reset"}});
    design.addStream({.number = 3, .hostFifos = {0, 1}, .optionalRegisters = true});
    openStreams({3, 4, 5});
    unit(4).setLoopSize(4096);
  }

  uint32_t channel(const char* name) { return transport->findFifo(name)->getNumber(); }
  size_t accessesTo(uint32_t n, const char* name, bool write) {
    size_t count = 0;
    for (const Access& access : unit(n).accesses())
      count += access.name == name && access.write == write;
    return count;
  }
  // The host writes `count` elements into the loop buffer's FIFO.
  void writeElements(uint64_t count) {
    std::vector<uint32_t> data(count, 0xA5A5A5A5);
    bool timedOut = true;
    session->writeFifo(qvkel::TypeU32(), channel("stream.to target 4.0"), data.data(), count, 1000,
                       &timedOut, nullptr);
    ASSERT_FALSE(timedOut);
  }
  qvvandrel::WriteSettings::SampleCompletion& completion() {
    return *api->getOutputStream(4).sampleCompletion;
  }
};

TEST_F(LoopBufferTest, OnlyAStreamWithAllThreeRegistersHasOne) {
  EXPECT_NE(stream(4).loopBuffer(), nullptr);
  EXPECT_TRUE(registry.contains(0x50000006, "4"));
  EXPECT_TRUE(registry.contains(0x50000007, "4"));
  EXPECT_EQ(stream(5).loopBuffer(), nullptr);
  EXPECT_FALSE(registry.contains(0x50000006, "5"));
  EXPECT_FALSE(registry.contains(0x50000007, "5"));
  EXPECT_FALSE(registry.contains(0x10000118, "4"));

  commit();
  EXPECT_EQ(stream(4).deployedSettings().write.sampleCompletion, &completion());
  EXPECT_EQ(stream(5).deployedSettings().write.sampleCompletion, nullptr);
}

TEST_F(LoopBufferTest, TheSizeIsTheRegistersAtEveryCompile) {
  auto& size = stream(4).loopBuffer()->size();
  commit();
  EXPECT_EQ(size.getCoerced(), 4096u);
  size.set(10);
  EXPECT_EQ(size.getCoerced(), 10u);
  unit(4).setLoopSize(8192);
  commit();
  EXPECT_EQ(size.getCoerced(), 8192u);
  EXPECT_EQ(size.getDesired(), 10u);
}

TEST_F(LoopBufferTest, ElementsWrittenIsReadOnEveryGetAndNeverSet) {
  commit();
  unit(4).feedLoopFrom(channel("stream.to target 4.0"), 4, 100);
  writeElements(300);
  atat::Attribute<unsigned long>& written = stream(4).loopBuffer()->written();
  sim.device().clearLog();
  EXPECT_EQ(written.get(), 100u);
  EXPECT_EQ(written.get(), 200u);
  EXPECT_EQ(accessesTo(4, "vandrel.buffer.circular.written", false), 2u);

  attrtest::Thrown thrown = catchError([&] { written.set(5); });
  EXPECT_EQ(thrown.code, -304414);
  EXPECT_NE(thrown.detail.find(R"("usage":"kUsageTypeChannelName","value":"4")"), std::string::npos)
      << thrown.detail;
  EXPECT_EQ(written.getCoerced(), 200u);
}

TEST_F(LoopBufferTest, DeployResetsTheBufferWhenItsCompileRanOrOnARedeploy) {
  commit();
  EXPECT_EQ(unit(4).loopResets(), 1u);
  commit();
  EXPECT_EQ(unit(4).loopResets(), 1u);
  kommissar.requestRedeploy();
  sim.device().clearLog();
  commit();
  EXPECT_EQ(unit(4).loopResets(), 2u);
  EXPECT_EQ(accessesTo(4, "vandrel.buffer.circular.reset", true), 1u);
  stream(4).loopBuffer()->size().set(1);
  commit();
  EXPECT_EQ(unit(4).loopResets(), 3u);
}

TEST_F(LoopBufferTest, AWriteWaitsUntilTheDeviceTookItsElements) {
  commit();
  unit(4).feedLoopFrom(channel("stream.to target 4.0"), 4, 10);
  writeElements(20);
  EXPECT_EQ(stream(4).loopBuffer()->written().get(), 10u);
  EXPECT_EQ(completion().targetPosition(0, nullptr), 20u);

  const uint64_t target = completion().targetPosition(50, nullptr);
  EXPECT_EQ(target, 20u + 50u);
  writeElements(50);
  sim.device().clearLog();
  completion().waitForPosition(target);
  EXPECT_EQ(unit(4).loopWritten(), target);
  EXPECT_EQ(accessesTo(4, "vandrel.buffer.circular.written", false), 5u);

  // A target already reached: one read.
  sim.device().clearLog();
  completion().waitForPosition(target);
  EXPECT_EQ(accessesTo(4, "vandrel.buffer.circular.written", false), 1u);
  // The count wraps with the target.
  EXPECT_EQ(completion().targetPosition(~uint64_t{0}, nullptr), target - 1);
}

TEST_F(LoopBufferTest, AWriteWhoseElementsNeverArriveGivesUpAfterTenSeconds) {
  commit();
  unit(4).freezeLoop(true);
  const auto start = std::chrono::steady_clock::now();
  attrtest::Thrown thrown = catchError([&] { completion().waitForPosition(1); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(thrown.code, -304427);
  EXPECT_EQ(thrown.detail, "");
  EXPECT_GE(elapsed, std::chrono::milliseconds(10000));
  EXPECT_LT(elapsed, std::chrono::milliseconds(20000));
}

TEST_F(LoopBufferTest, AResetRestartsEveryFifoAndClearsItsDirectionsTable) {
  commit();
  for (uint32_t n : {3u, 4u}) {
    api->getStreamSampleCounters(n).set(0, 11);
    api->getStreamOutputTable(n).set(63, 12);
  }
  sim.device().clearLog();
  api->resetStream(4);
  EXPECT_EQ(count(kStopFifoCommand), 2u);
  EXPECT_EQ(count(kStartFifoCommand), 2u);
  EXPECT_EQ(unit(4).loopResets(), 2u);
  EXPECT_EQ(accessesTo(4, "vandrel.buffer.fifo.reset", true), 1u);
  EXPECT_EQ(unit(4).value("vandrel.buffer.fifo.reset"), 1u);
  EXPECT_EQ(api->getStreamOutputTable(4).get(63), 0u);
  EXPECT_EQ(api->getStreamSampleCounters(4).get(0), 11u);

  sim.device().clearLog();
  api->resetStream(3);
  EXPECT_EQ(count(kStopFifoCommand), 2u);
  EXPECT_EQ(count(kStartFifoCommand), 2u);
  EXPECT_EQ(api->getStreamSampleCounters(3).get(0), 0u);
  EXPECT_EQ(api->getStreamOutputTable(3).get(63), 12u);

  // A failing register write is raised.
  failNext(sessiontest::kWrite32, -61046);
  EXPECT_EQ(catchError([&] { api->resetStream(3); }).code, -61046);
}

}  // namespace
