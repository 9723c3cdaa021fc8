// The host's stream requests through their dispatch: the order of the checks and the size of
// every record and reply, raw reads, start, write and scaled reads, with records and replies
// written and read by hand at their offsets.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "StreamTestbed.h"
#include "sim/device/StreamData.h"
#include "streaming/ScaledReads.h"

namespace {

using streamtest::RequestRecord;

constexpr int32_t kNone = -1;  // a null reply
constexpr uint32_t kI16 = 4, kU16 = 5;
constexpr uint32_t kReleaseFifo = 0x4020832C;

// Element `index` of type T in `bytes`.
template <typename T>
T load(const std::vector<uint8_t>& bytes, size_t index) {
  T value;
  std::memcpy(&value, bytes.data() + index * sizeof value, sizeof value);
  return value;
}

class StreamRequestTest : public streamtest::StreamTestbed {
 protected:
  void SetUp() override { openRequestDesign(); }
  int32_t send(const RequestRecord& record, size_t size = 64, int32_t replySize = 28) {
    reply.assign(28, 0xFF);
    return request(record, size, replySize == kNone ? nullptr : reply.data(),
                   replySize == kNone ? 0 : static_cast<size_t>(replySize));
  }
  // A scaled read of `channels` x `bytesPerChannel` into `out`, records into `info`.
  int32_t scaledRead(uint32_t stream, uint64_t channels, uint64_t bytesPerChannel, uint32_t code) {
    out.assign(channels * bytesPerChannel, 0xEE);
    info.assign(channels * 10, ~uint64_t{0});
    RequestRecord read(277, stream);
    read.u64(24, bytesPerChannel).u64(32, channels).address(40, out.data());
    read.address(48, info.data()).u32(56, 10).u32(60, code);
    return send(read);
  }
  double infoDouble(size_t channel, size_t word) const {
    return std::bit_cast<double>(info[channel * 10 + word]);
  }

  std::vector<uint8_t> reply, out;
  std::vector<uint64_t> info;
};

TEST_F(StreamRequestTest, ChecksComeInTheirOrderAndEverySizeIsChecked) {
  struct Row {
    uint32_t code, stream, version, oldest;
    size_t recordSize;
    int32_t replySize, expected;
  } rows[] = {
      {273, 1, 1, 0, 64, 28, -52005},     {273, 9, 1, 0, 64, 28, -304405},
      {270, 1, 1, 0, 64, 28, -52005},     {280, 1, 1, 0, 64, 28, -52005},
      {271, 1, 1, 0, 23, 28, -52005},     {276, 1, 1, 0, 35, 28, -52005},
      {275, 1, 1, 0, 43, 28, -52005},     {279, 5, 1, 0, 55, 28, -52005},
      {277, 1, 1, 0, 63, 28, -52005},     {271, 1, 1, 0, 64, kNone, -52005},
      {271, 1, 1, 0, 64, 8, -52005},      {276, 1, 1, 0, 64, 8, -52005},
      {275, 1, 1, 0, 64, 27, -52005},     {277, 1, 1, 0, 64, 27, -52005},
      {279, 5, 1, 0, 64, 27, -52005},     {275, 1, 0, 0, 64, 28, -304502},
      {277, 1, 0, 0, 64, 28, -304502},    {271, 1, 1, 1, 24, 9, -304502},
      {272, 1, 1, 1, 24, kNone, -304502}, {276, 1, 1, 1, 36, 9, -304502},
      {278, 1, 1, 1, 24, kNone, -304502}, {279, 5, 1, 1, 56, 28, -304502},
      {275, 5, 1, 0, 64, 28, -304429},    {279, 1, 1, 0, 64, 28, -304429},
      {275, 2, 1, 0, 64, 28, -304401},    {275, 7, 1, 0, 64, 28, -304503},
      {272, 1, 0, 0, 24, kNone, 0},       {278, 1, 0, 0, 24, kNone, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(send(RequestRecord(row.code, row.stream, row.version, row.oldest), row.recordSize,
                   row.replySize),
              row.expected)
        << row.code << " stream " << row.stream << " sizes " << row.recordSize << "/"
        << row.replySize;
  }
  EXPECT_EQ(locks, 0);
}

class RestrictedStreamRequestTest : public StreamRequestTest {
  void SetUp() override { openRequestDesign(qvkel::user::Session::kRestricted); }
};

TEST_F(RestrictedStreamRequestTest, RefusesDataMovesBeforeTheLookupAndServesTheRest) {
  for (uint32_t code : {275u, 277u, 279u}) EXPECT_EQ(send(RequestRecord(code, 9)), -63193);
  RequestRecord wait(276, 1);
  wait.u64(24, 0).u32(32, 100);
  for (const RequestRecord& served :
       {RequestRecord(278, 1), RequestRecord(271, 1), wait, RequestRecord(272, 1)})
    EXPECT_EQ(send(served), 0);
  EXPECT_EQ(unit(1).requests(), (std::vector<uint8_t>{1, 6, 0}));
}

TEST_F(StreamRequestTest, ARawReadMovesWholeElementsAndReportsATimeOut) {
  const std::vector<uint8_t> samples = sim::channelSamples(kU16, 0, 0, 4);
  ASSERT_TRUE(push("stream.to host 1", samples));
  out.assign(8, 0xEE);
  RequestRecord read(275, 1);
  read.u64(24, 7).address(32, out.data()).u32(40, 100);
  ASSERT_EQ(send(read), 0);
  // 3 elements moved, one still waiting, bit 1 cleared and the other flags kept.
  EXPECT_EQ(load<uint64_t>(reply, 0), 6u);
  EXPECT_EQ(load<uint64_t>(reply, 1), 2u);
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFDu);
  EXPECT_TRUE(std::equal(samples.begin(), samples.begin() + 6, out.begin()));
  EXPECT_EQ(out[6], 0xEE);

  read.u32(40, 10);
  ASSERT_EQ(send(read), 0);
  EXPECT_EQ(load<uint64_t>(reply, 0), 0u);
  EXPECT_EQ(load<uint64_t>(reply, 1), 2u);
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFFu);
}

TEST_F(StreamRequestTest, AWriteCommitsFirstThenWaitsForTheWrittenCount) {
  stream(5).attributes().fifoSize.set(2048);  // the commit of the write reconfigures the FIFO
  unit(5).feedLoopFrom(fifoNumber("stream.to target 5.0"), 4, 8);
  std::vector<uint32_t> source(20, 0x5A5A5A5A);
  RequestRecord write(279, 5);
  write.u64(24, 40).u32(32, 2).address(40, source.data()).u32(52, 100);
  sim.device().clearLog();
  ASSERT_EQ(send(write), 0);
  EXPECT_EQ(load<uint64_t>(reply, 0), 80u);  // 40 / 4 x 2 elements
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFDu);
  EXPECT_GE(unit(5).loopWritten(), 20u);
  const std::vector<uint32_t> commands = sim.commands();
  const auto written = std::find(commands.begin(), commands.end(), kReleaseFifo);
  ASSERT_NE(written, commands.end());
  EXPECT_LT(std::find(commands.begin(), commands.end(), streamtest::kFifoSetBuffer), written);

  // With the FIFO full and the buffer still, a write times out: reported, not waited for.
  unit(5).freezeLoop(true);
  bool full = false;
  uint64_t room = 0;
  session->writeFifo(qvkel::TypeU32(), fifoNumber("stream.to target 5.0"), source.data(), 0, 0,
                     &full, &room);
  source.resize(std::max<uint64_t>(room, 20));
  session->writeFifo(qvkel::TypeU32(), fifoNumber("stream.to target 5.0"), source.data(), room, 0,
                     &full, &room);
  ASSERT_EQ(send(write.address(40, source.data()).u32(52, 1)), 0);
  EXPECT_EQ(load<uint64_t>(reply, 0), 0u);
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFFu);
  EXPECT_EQ(locks, 0);
}

TEST_F(StreamRequestTest, ScaledReadsOfOneFifoPerChannelAreContinuousInTime) {
  ASSERT_EQ(send(RequestRecord(278, 2)), 0);
  for (uint32_t c = 0; c < 3; ++c)
    ASSERT_TRUE(push(("stream.to host 2." + std::to_string(c)).c_str(),
                     sim::channelSamples(kI16, c, 0, 1010)));
  EXPECT_EQ(scaledRead(2, 2, 8000, 1), -304401);
  ASSERT_EQ(scaledRead(2, 3, 8000, 1), 0);
  EXPECT_EQ(load<uint64_t>(reply, 0), 24000u);
  EXPECT_EQ(load<uint64_t>(reply, 1), 0u);
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFDu);
  const double gains[] = {2, 0.5, 4}, offsets[] = {20, 5, 40};
  for (uint32_t c = 0; c < 3; ++c) {
    for (uint64_t s : {0u, 99u, 999u})
      EXPECT_EQ(load<double>(out, c * 1000 + s),
                static_cast<int16_t>(sim::streamSample(c, s)) * gains[c] + offsets[c]);
    EXPECT_EQ(infoDouble(c, 2), streamtest::kTimeOffset);
    EXPECT_EQ(infoDouble(c, 3), 0.5);
    EXPECT_EQ(infoDouble(c, 4), gains[c]);
    EXPECT_EQ(infoDouble(c, 5), offsets[c]);
    EXPECT_EQ(info[c * 10 + 8], 1000u);
    EXPECT_EQ(info[c * 10 + 0], ~uint64_t{0});  // the caller's words
  }
  ASSERT_EQ(scaledRead(2, 3, 80, 1), 0);
  EXPECT_EQ(infoDouble(0, 2), 500 + streamtest::kTimeOffset);
}

TEST_F(StreamRequestTest, ARawReadStopsAtTheFirstChannelThatTimesOut) {
  ASSERT_EQ(send(RequestRecord(278, 2)), 0);
  ASSERT_TRUE(push("stream.to host 2.0", sim::channelSamples(kI16, 0, 0, 5)));
  EXPECT_EQ(scaledRead(2, 3, 10, 9), -304401);  // the I8 code
  ASSERT_EQ(scaledRead(2, 3, 10, 7), 0);
  EXPECT_EQ(load<uint64_t>(reply, 0), 0u);
  EXPECT_EQ(load<uint32_t>(reply, 6), 0xFFFFFFFFu);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10),
            sim::channelSamples(kI16, 0, 0, 5));
  EXPECT_EQ(info[8], 5u);
  EXPECT_EQ(info[18], 0u);
  EXPECT_EQ(api->getStreamSampleCounters(2).get(0), 5u);
  EXPECT_EQ(api->getStreamSampleCounters(2).get(1), 0u);
}

TEST_F(StreamRequestTest, InterleavedReadsSplitTheChannelsIntoBlocks) {
  for (uint64_t channels : {0u, 3u, 128u}) EXPECT_EQ(scaledRead(1, channels, 8, 8), -304401);
  EXPECT_EQ(scaledRead(7, 2, 8, 1), -304503);
  ASSERT_TRUE(push("stream.to host 1", sim::interleavedSamples(kU16, 2, 0, 4)));
  ASSERT_EQ(scaledRead(1, 2, 8, 8), 0);
  std::vector<uint8_t> expected = sim::channelSamples(kU16, 0, 0, 4);
  const std::vector<uint8_t> second = sim::channelSamples(kU16, 1, 0, 4);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(out, expected);
  EXPECT_EQ(load<uint64_t>(reply, 0), 16u);

  // Channel 3 has no scaling coefficients: gain 1, offset 0.
  ASSERT_TRUE(push("stream.to host 1", sim::interleavedSamples(kU16, 4, 10, 2)));
  ASSERT_EQ(scaledRead(1, 4, 16, 1), 0);
  EXPECT_EQ(load<double>(out, 1), static_cast<uint16_t>(sim::streamSample(0, 11)) * 2.0 + 20);
  EXPECT_EQ(load<double>(out, 6), static_cast<uint16_t>(sim::streamSample(3, 10)));
  EXPECT_EQ(infoDouble(3, 4), 1.0);
  EXPECT_EQ(infoDouble(3, 5), 0.0);
  EXPECT_EQ(info[3 * 10 + 8], 2u);
}

TEST(ChannelTimestampTest, IsExactBeforeItIsRounded) {
  qvvandrel::ChannelCounters counters;
  counters.set(0, 27828);
  // Rounded at every step, 27828 x 0.0047 + 4/7 gives 131.3630285714286.
  EXPECT_EQ(qvvandrel::computeChannelTimestamp(counters, 0, 0.0047, 4.0 / 7), 131.36302857142857);
  counters.set(1, ~uint64_t{0});
  EXPECT_EQ(qvvandrel::computeChannelTimestamp(counters, 1, 1e300, 0),
            std::numeric_limits<double>::max());
  EXPECT_EQ(qvvandrel::computeChannelTimestamp(counters, 1, -1e300, 0),
            std::numeric_limits<double>::lowest());
}

}  // namespace
