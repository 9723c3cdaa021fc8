// A stop request on one thread beside scaled reads on another: the stop takes no session mutex
// and resets the stream (stops and restarts its FIFOs, clears its counters) while the reads hold
// the mutex and convert in place.

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "StreamTestbed.h"
#include "sim/device/StreamData.h"

namespace {

using streamtest::RequestRecord;

class StreamThreadsTest : public streamtest::StreamTestbed {};

TEST_F(StreamThreadsTest, AStopMeetsScaledReads) {
  openRequestDesign();
  ASSERT_EQ(request(RequestRecord(278, 2), 24, nullptr, 0), 0);
  std::vector<uint8_t> destination(3 * 80);
  std::vector<uint64_t> info(30);
  RequestRecord read(277, 2);
  read.u64(24, 80).u64(32, 3).address(40, destination.data());
  read.address(48, info.data()).u32(56, 1).u32(60, 1);
  int failedReads = 0;
  std::thread reader([&] {
    uint8_t reply[28];
    for (int i = 0; i < 30; ++i) {
      for (const char* fifo : {"stream.to host 2.0", "stream.to host 2.1", "stream.to host 2.2"}) {
        try {
          push(fifo, sim::channelSamples(4, 0, 0, 10));
        } catch (const std::out_of_range&) {  // between the stop and the restart
        }
      }
      failedReads += request(read, 64, reply, sizeof reply) != 0;
    }
  });
  // A stop finding elements held by a read refuses with -63083 and changes nothing.
  for (int i = 0; i < 30; ++i) {
    const int32_t code = request(RequestRecord(272, 2), 24, nullptr, 0);
    EXPECT_TRUE(code == 0 || code == -63083) << code;
  }
  reader.join();
  EXPECT_EQ(failedReads, 0);
  EXPECT_EQ(locks, 0);
}

}  // namespace
