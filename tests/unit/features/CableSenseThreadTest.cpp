// The two cable-sense entry points called from two threads at once run one after the other.

#include <gtest/gtest.h>

#include <thread>

#include "AoTestbed.h"
#include "sim/device/ClipCableSense.h"

namespace {

using Mode = qvvandrel::CableSense::Mode;

class CableSenseThreadTest : public aotest::AoTestbed {};

TEST_F(CableSenseThreadTest, TheEntryPointsAreSerialised) {
  ASSERT_EQ(open([&] { features.push_back(&cableSense.emplace(tree, configuration)); }), 0);
  for (const char* channel : {"AI0", "AI2"}) attribute<Mode>(aotest::kMode, channel).set(Mode{1});
  for (uint32_t channel : {0u, 2u})
    clip.state<sim::ClipCableSense>().lines[channel].followDelayMs = 1;
  clip.clearLog();

  std::thread high([&] { cableSense->setLinesHigh(); });
  std::thread low([&] { cableSense->setLinesLow(); });
  high.join();
  low.join();

  // Each entry point's drives come together: high, high, low, low or low, low, high, high.
  std::vector<std::vector<uint32_t>> drives;
  for (const sim::ClipInstruction& i : clip.log(0x90F)) drives.push_back(i.args);
  const std::vector<std::vector<uint32_t>> highs{{0, 1}, {2, 1}}, lows{{0, 0}, {2, 0}};
  std::vector<std::vector<uint32_t>> highThenLow = highs, lowThenHigh = lows;
  highThenLow.insert(highThenLow.end(), lows.begin(), lows.end());
  lowThenHigh.insert(lowThenHigh.end(), highs.begin(), highs.end());
  EXPECT_TRUE(drives == highThenLow || drives == lowThenHigh);
  EXPECT_EQ(cableSense->inProgress(), drives == lowThenHigh);
}

}  // namespace
