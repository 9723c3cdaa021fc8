#include "devkit/FifoPropertyManager.h"

#include <gtest/gtest.h>

#include <vector>

#include "DevkitTestUtil.h"
#include "FifoTestbed.h"
#include "devkit/HostBuffer.h"

namespace {

using devkit_test::codeOf;
using devkit_test::fieldOf;
using devkit_test::kSessionHandle;
using devkit_test::kSetBuffer;
using qvkel::FifoBufferType;

constexpr uint32_t kChannel = 3;

struct PropertiesTest : devkit_test::FifoTestbed, ::testing::Test {
  qvkel::FifoAcquirerReleaserInterfaceProxy releaser{proxy, kSessionHandle, kChannel};
  std::unique_ptr<qvkel::FifoDataAccessStrategyKestin> strategy;
  std::unique_ptr<qvkel::FifoPropertyManager> properties;

  PropertiesTest() { make(4); }

  void make(uint32_t elementSize, int32_t numaNode = -1, int32_t highestNode = 0) {
    properties.reset();
    strategy = std::make_unique<qvkel::FifoDataAccessStrategyKestin>(releaser, elementSize);
    const uint64_t perPage = std::max<uint64_t>(1, qvkel::getPageSize() / elementSize);
    properties = std::make_unique<qvkel::FifoPropertyManager>(
        proxy, kSessionHandle, kChannel, *strategy,
        qvkel::FifoPropertyDefaults{elementSize, static_cast<uint32_t>(perPage), 16384, numaNode,
                                    highestNode, 512});
  }
};

TEST_F(PropertiesTest, DefaultsDeriveOnFirstRead) {
  const uint32_t perPage = static_cast<uint32_t>(qvkel::getPageSize() / 4);
  EXPECT_EQ(properties->getU32(1), 4u);
  EXPECT_EQ(properties->getU32(2), perPage);
  EXPECT_EQ(properties->getU64(3), 16384u);
  EXPECT_EQ(properties->getU64(4), 16384u) << "the whole ring is mirrored";
  EXPECT_EQ(properties->getI32(5), 1);
  EXPECT_EQ(properties->getVoidPtr(6), nullptr);
  EXPECT_EQ(properties->getI32(7), 2);
  EXPECT_EQ(properties->getU64(8), 0u);
  EXPECT_EQ(properties->getI32(9), -1);
  EXPECT_EQ(properties->getU32(10), 512u);
}

TEST_F(PropertiesTest, CoercionOfDepthGranularityAndNode) {
  properties->setU32(2, 1000);
  EXPECT_EQ(properties->getU32(2), 1024u);
  properties->setU32(2, 0);
  EXPECT_EQ(properties->getU32(2), 1u);
  EXPECT_EQ(codeOf([&] { properties->setU32(2, 0x80000001u); }), -52005);

  properties->setU32(2, 64);
  properties->setU64(3, 100);
  EXPECT_EQ(properties->getU64(3), 128u) << "rounded up to the granularity";
  // Flow control bounds the ring's byte positions to 32 bits.
  properties->setU64(3, uint64_t{1} << 40);
  EXPECT_EQ(properties->getU64(3), (uint64_t{1} << 30) - 64);
  properties->setI32(7, 1);
  EXPECT_EQ(properties->getU64(3), uint64_t{1} << 40);
  // Without a bound, rounding near 2^64 stays the largest multiple; no buffer that size exists.
  properties->setU64(3, ~uint64_t{0});
  EXPECT_EQ(properties->getU64(3), ~uint64_t{0} / 64 * 64);
  EXPECT_EQ(codeOf([&] { properties->commit(); }), -61072);

  // One node on the machine (0): anything else reads as none.
  for (int32_t node : {-5, 1, 7}) {
    properties->setI32(9, node);
    EXPECT_EQ(properties->getI32(9), -1) << node;
  }
  properties->setI32(9, 0);
  EXPECT_EQ(properties->getI32(9), 0);
  // A node the device reports but the machine lacks is no default either.
  make(4, 3, 0);
  EXPECT_EQ(properties->getI32(9), -1);
}

TEST_F(PropertiesTest, RefusalsNameTheirCodes) {
  EXPECT_EQ(codeOf([&] { properties->setU32(1, 8); }), -63193);
  EXPECT_EQ(codeOf([&] { properties->setU64(8, 1); }), -63193);
  EXPECT_EQ(codeOf([&] { properties->setU32(11, 1); }), -63196);
  EXPECT_EQ(codeOf([&] { properties->getU64(0); }), -63196);
  EXPECT_EQ(codeOf([&] { properties->setU64(2, 1); }), -63087);
  EXPECT_EQ(codeOf([&] { properties->getI64(3); }), -63087);
  EXPECT_EQ(codeOf([&] { properties->setI32(5, 3); }), -52005);
  EXPECT_EQ(codeOf([&] { properties->setI32(7, 0); }), -52005);
  EXPECT_EQ(properties->getI32(5), 1);
  EXPECT_EQ(properties->getI32(7), 2);
}

TEST_F(PropertiesTest, LibraryBufferRecordAndOneCallForAnUnchangedCommit) {
  properties->setU64(3, 1024);
  properties->commit();
  properties->commit();
  const auto calls = logOf(kSetBuffer);
  ASSERT_EQ(calls.size(), 1u);
  const std::vector<uint8_t>& in = calls[0].input;
  ASSERT_EQ(in.size(), 56u);
  void* buffer = properties->getVoidPtr(6);
  ASSERT_NE(buffer, nullptr);
  // {u64 handle, u32 channel, pad} then the record: the buffer, 1024 x 4 bytes twice (the
  // whole ring is mirrored), library buffer (1), flow control 2; then the caller's status.
  const std::vector<uint8_t> expected = {
      0xEE, 0xFF, 0xC0, 0x00, 0x5A, 0x0A, 0x00, 0x00,   // handle
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // channel, pad
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // address (below)
      0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // size 0x1000
      0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // mirror 0x1000
      0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,   // type 1, flow control 2
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // status, pad
  std::vector<uint8_t> masked = in;
  std::fill(masked.begin() + 16, masked.begin() + 24, 0);
  EXPECT_EQ(masked, expected);
  EXPECT_EQ(fieldOf<uint64_t>(in, 16), reinterpret_cast<uint64_t>(buffer));

  // The buffer is mirrored: what the device writes at its start shows after its end.
  static_cast<uint32_t*>(buffer)[3] = 0xCAFE;
  EXPECT_EQ(static_cast<uint32_t*>(buffer)[1024 + 3], 0xCAFEu);

  // A change of flow control alone keeps the buffer.
  properties->setI32(7, 1);
  properties->commit();
  ASSERT_EQ(logOf(kSetBuffer).size(), 2u);
  EXPECT_EQ(fieldOf<uint64_t>(logOf(kSetBuffer)[1].input, 16), reinterpret_cast<uint64_t>(buffer));
  EXPECT_EQ(fieldOf<uint32_t>(logOf(kSetBuffer)[1].input, 44), 1u);
  EXPECT_EQ(countOf(devkit_test::kDropBuffer), 0u);
}

TEST_F(PropertiesTest, CallerBufferNeedsDepthAndAddress) {
  properties->setI32(5, 2);
  EXPECT_EQ(properties->getU64(3), 0u) << "a caller buffer has no depth of its own";
  EXPECT_EQ(properties->getU64(4), 0u);
  EXPECT_EQ(properties->getU32(2), 1u);
  EXPECT_EQ(codeOf([&] { properties->commit(); }), -61072);
  properties->setU64(3, 100);
  EXPECT_EQ(codeOf([&] { properties->commit(); }), -63081);

  std::vector<uint32_t> ring(100);
  properties->setVoidPtr(6, ring.data());
  properties->commit();
  const auto calls = logOf(kSetBuffer);
  ASSERT_EQ(calls.size(), 1u);
  const uint64_t address = reinterpret_cast<uint64_t>(ring.data());
  std::vector<uint8_t> record(calls[0].input.begin() + 16, calls[0].input.begin() + 48);
  std::vector<uint8_t> expected(32, 0);
  for (int i = 0; i < 8; ++i) expected[i] = static_cast<uint8_t>(address >> (8 * i));
  expected[8] = 0x90;  // 400 bytes
  expected[9] = 0x01;
  expected[24] = 2;  // caller buffer
  expected[28] = 2;  // flow control
  EXPECT_EQ(record, expected);
}

TEST_F(PropertiesTest, ElementsLargerThanAPageOrRingsOfPartPages) {
  const uint32_t bigElement = static_cast<uint32_t>(2 * qvkel::getPageSize());
  make(bigElement);
  EXPECT_EQ(properties->getU32(2), 1u);
  properties->setU64(3, 3);
  EXPECT_EQ(properties->getU64(3), 3u);
  EXPECT_EQ(properties->getU64(4), 3u) << "every ring of whole elements is whole pages";
  properties->commit();

  // Two-byte elements: a ring of 1001 elements is no whole number of pages, so no mirror.
  make(2);
  properties->setU32(2, 1);
  properties->setU64(3, 1001);
  EXPECT_EQ(properties->getU64(4), 0u);
  properties->commit();
  EXPECT_NE(properties->getVoidPtr(6), nullptr);
  // A desired mirror smaller than the desired depth is kept.
  properties->setU64(3, 4096);
  properties->setU64(4, 100);
  EXPECT_EQ(properties->getU64(4), 100u);
}

TEST_F(PropertiesTest, ResetDropsTheKernelsBufferAndReturnsToDefaults) {
  properties->setU64(3, 2048);
  properties->setI32(7, 1);
  properties->commit();
  properties->reset();
  EXPECT_EQ(countOf(devkit_test::kDropBuffer), 1u);
  EXPECT_EQ(properties->getU64(3), 16384u);
  EXPECT_EQ(properties->getI32(7), 2);
  EXPECT_EQ(properties->getVoidPtr(6), nullptr) << "the freed buffer is not reported";
  properties->commit();
  EXPECT_EQ(logOf(kSetBuffer).size(), 2u);
  EXPECT_EQ(fieldOf<uint64_t>(logOf(kSetBuffer)[1].input, 24), 16384u * 4);
  EXPECT_EQ(properties->getCommittedRecord().size, 16384u * 4);
}

TEST_F(PropertiesTest, AChangedBufferIsDroppedBeforeTheNewOneIsSet) {
  properties->commit();
  properties->setU64(3, 4096);
  properties->commit();
  const auto log = iface.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].command, kSetBuffer);
  EXPECT_EQ(log[1].command, devkit_test::kDropBuffer);
  EXPECT_EQ(log[2].command, kSetBuffer);
}

TEST_F(PropertiesTest, AFailedSetBufferFreesTheLibraryBuffer) {
  iface.script(kSetBuffer, devkit_test::statusReply(-50405));
  EXPECT_EQ(codeOf([&] { properties->commit(); }), -50405);
  EXPECT_EQ(properties->getVoidPtr(6), nullptr);
  properties->commit();
  EXPECT_NE(properties->getVoidPtr(6), nullptr);
  EXPECT_EQ(logOf(kSetBuffer).size(), 2u);
}

}  // namespace
