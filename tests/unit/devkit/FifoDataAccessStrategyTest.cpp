#include "devkit/FifoDataAccessStrategy.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

using nQVVUSKS100::tStatus;

// A kernel whose hardware has made `availableBytes` available; records every call.
struct FakeKernel : qvkel::IFifoAcquirerReleaser {
  uint64_t availableBytes = 0;
  bool timeOut = false;
  std::vector<uint64_t> waits;
  std::vector<uint64_t> releases;

  uint64_t waitForBytes(uint64_t bytes, uint32_t, bool* timedOut, tStatus*) override {
    waits.push_back(bytes);
    *timedOut = timeOut;
    return availableBytes;
  }
  void releaseBytes(uint64_t bytes, tStatus*) override { releases.push_back(bytes); }
};

// A ring of 1024 u32 elements holding 0, 1, 2, ... in its first 1024 slots, with room for a
// mirror of the same size after it.
struct StrategyTest : ::testing::Test {
  static constexpr uint64_t kDepth = 1024;
  std::vector<uint32_t> memory = std::vector<uint32_t>(2 * kDepth);
  FakeKernel kernel;
  qvkel::FifoDataAccessStrategyKestin strategy{kernel, sizeof(uint32_t)};

  StrategyTest() { std::iota(memory.begin(), memory.begin() + kDepth, 0u); }

  // Configures with the mirror, then consumes `position` elements through a read.
  void at(uint64_t position, uint64_t mirror) {
    if (mirror != 0) std::iota(memory.begin() + kDepth, memory.begin() + kDepth + mirror, 0u);
    strategy.configure(memory.data(), kDepth, mirror);
    kernel.availableBytes = position * 4;
    std::vector<uint32_t> sink(position);
    tStatus status;
    strategy.read(sink.data(), position, 0, nullptr, nullptr, &status);
    ASSERT_EQ(status.code, 0);
    kernel.waits.clear();
    kernel.releases.clear();
  }
};

TEST_F(StrategyTest, AcquireHandsOutTheContiguousPartOnly) {
  struct Case {
    uint64_t mirror;
    uint64_t handedOut;
  };
  for (const Case& c : {Case{0, 24}, Case{kDepth, 100}}) {
    at(1000, c.mirror);
    kernel.availableBytes = 1100 * 4;
    void* elements = nullptr;
    uint64_t acquired = 0;
    uint64_t remaining = 0;
    bool timedOut = true;
    tStatus status;
    strategy.acquire(&elements, 100, 0, &timedOut, &acquired, &remaining, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(acquired, c.handedOut) << "mirror " << c.mirror;
    EXPECT_EQ(elements, memory.data() + 1000);
    EXPECT_EQ(strategy.getAcquiredCount(), c.handedOut);
    EXPECT_EQ(remaining, 100 - c.handedOut);
    // Through the mirror the elements after the end are those of the ring's start.
    EXPECT_EQ(static_cast<uint32_t*>(elements)[acquired - 1], (1000 + acquired - 1) % kDepth);
  }
}

TEST_F(StrategyTest, ReadAcrossTheEndCopiesTwoPiecesAndReleasesAtOnce) {
  at(1000, 0);
  kernel.availableBytes = 1100 * 4;
  std::vector<uint32_t> data(100);
  tStatus status;
  strategy.read(data.data(), 100, 0, nullptr, nullptr, &status);
  ASSERT_EQ(status.code, 0);
  for (uint32_t i = 0; i < 100; ++i) EXPECT_EQ(data[i], (1000 + i) % kDepth) << i;
  EXPECT_EQ(strategy.getPosition(), 1100u);
  EXPECT_EQ(strategy.getAcquiredCount(), 0u);
  EXPECT_EQ(kernel.releases, std::vector<uint64_t>{400});
  EXPECT_EQ(kernel.waits, std::vector<uint64_t>{1100 * 4});
}

TEST_F(StrategyTest, ElementsKnownAvailableNeedNoWait) {
  at(0, 0);
  kernel.availableBytes = 500 * 4;
  std::vector<uint32_t> data(200);
  tStatus status;
  strategy.read(data.data(), 100, 0, nullptr, nullptr, &status);
  ASSERT_EQ(kernel.waits.size(), 1u);
  strategy.read(data.data(), 200, 0, nullptr, nullptr, &status);
  EXPECT_EQ(kernel.waits.size(), 1u) << "300 of 500 were known available";
  EXPECT_EQ(kernel.releases.size(), 2u);
  // Asking for the remaining count always asks the kernel.
  uint64_t remaining = 0;
  strategy.read(data.data(), 100, 0, nullptr, &remaining, &status);
  EXPECT_EQ(kernel.waits.size(), 2u);
  EXPECT_EQ(remaining, 100u);
  EXPECT_EQ(status.code, 0);
}

TEST_F(StrategyTest, TimeOutMovesNothing) {
  at(0, 0);
  kernel.availableBytes = 10 * 4;
  kernel.timeOut = true;
  std::vector<uint32_t> data(20, 0xFFFFFFFF);
  bool timedOut = false;
  uint64_t remaining = 99;
  tStatus status;
  strategy.read(data.data(), 20, 5, &timedOut, &remaining, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(remaining, 10u);
  EXPECT_EQ(data[0], 0xFFFFFFFFu);
  EXPECT_EQ(strategy.getPosition(), 0u);
  EXPECT_TRUE(kernel.releases.empty());
}

TEST_F(StrategyTest, Refusals) {
  at(0, 0);
  kernel.availableBytes = kDepth * 4;
  std::vector<uint32_t> data(kDepth + 1);
  auto codeOf = [](auto&& call) {
    tStatus status;
    call(&status);
    return status.code;
  };
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.read(data.data(), kDepth + 1, 0, 0, 0, s); }),
            -61073);
  void* elements;
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.acquire(&elements, 1000, 0, 0, 0, 0, s); }), 0);
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.acquire(&elements, 25, 0, 0, 0, 0, s); }), -61219);
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.write(data.data(), 1, 0, 0, 0, s); }), -63083);
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.release(1001, s); }), -61073);
  kernel.releases.clear();
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.release(0, s); }), 0);
  EXPECT_TRUE(kernel.releases.empty()) << "releasing nothing makes no kernel call";
  EXPECT_EQ(codeOf([&](tStatus* s) { strategy.release(1000, s); }), 0);
  EXPECT_EQ(kernel.releases, std::vector<uint64_t>{4000});
  // An error already recorded makes every operation do nothing.
  tStatus failed;
  failed.code = -1;
  strategy.read(data.data(), 1, 0, nullptr, nullptr, &failed);
  EXPECT_EQ(strategy.getPosition(), 1000u);
}

TEST_F(StrategyTest, WriteGoesIntoTheRingAtThePosition) {
  at(1020, 0);
  kernel.availableBytes = (1020 + kDepth) * 4;  // host-to-target: consumed + ring size
  const std::vector<uint32_t> data = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
  tStatus status;
  strategy.write(data.data(), data.size(), 0, nullptr, nullptr, &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_EQ(memory[1020], 0xA0u);
  EXPECT_EQ(memory[1023], 0xA3u);
  EXPECT_EQ(memory[0], 0xA4u);
  EXPECT_EQ(memory[3], 0xA7u);
  EXPECT_EQ(kernel.releases, std::vector<uint64_t>{32});
}

}  // namespace
