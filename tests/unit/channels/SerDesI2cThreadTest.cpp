// Transfers run on the host's threads without the session mutex: two first transfers at once
// both find the I2C interface unchecked.

#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "SerialTestbed.h"

namespace {

using namespace serialtest;
using qvvandrel::SerialChannels;

using SerDesI2cThreadTest = SerialTestbed;

TEST_F(SerDesI2cThreadTest, FirstTransfersOnTwoThreads) {
  sim::SerDesI2cEngine engine{module.deviceInterface()};
  tree = loadTree({input(0, 1), output(0, 2)});
  auto context = SerialChannels::buildI2cBusMap(proxy, *tree, ref);
  clip.state<sim::I2cBusesState>().addChip(1, 0x40);
  clip.state<sim::I2cBusesState>().addChip(2, 0x40);
  clip.clearLog();

  constexpr int kRounds = 20;
  std::vector<int> failures(2, 0);
  std::latch start(2);
  std::thread writer([&] {
    const uint8_t data[3] = {0, 1, 2};
    start.arrive_and_wait();
    for (int k = 0; k < kRounds; ++k)
      if (SerialChannels::i2cWrite(*context, "Ser2_I2C", 0x40, data, 3, 0) != 3) ++failures[0];
  });
  std::thread reader([&] {
    uint8_t out[2];
    start.arrive_and_wait();
    for (int k = 0; k < kRounds; ++k)
      if (SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, out, 2, 0) != 2) ++failures[1];
  });
  writer.join();
  reader.join();
  EXPECT_EQ(failures, (std::vector<int>{0, 0}));
  EXPECT_TRUE(context->fifo.checked.load());
  // Each thread may have checked once; never more.
  EXPECT_GE(clip.log(0x009).size(), 1u);
  EXPECT_LE(clip.log(0x009).size(), 2u);
  EXPECT_EQ(engine.grants(), static_cast<uint32_t>(kRounds));
  EXPECT_EQ(engine.releases(), static_cast<uint32_t>(kRounds));
}

}  // namespace
