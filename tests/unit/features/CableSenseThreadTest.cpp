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
    clip.state<sim::ClipCableSense>().lines[channel].followDelayMs = 20;
  clip.clearLog();

  // Driving low is asked for while driving high still waits for its first line.
  attrtest::Thrown highOutcome, lowOutcome;
  std::thread high(
      [&] { highOutcome = attrtest::catchError([&] { cableSense->setLinesHigh(); }); });
  while (clip.log(0x90F).empty()) std::this_thread::yield();
  std::thread low([&] { lowOutcome = attrtest::catchError([&] { cableSense->setLinesLow(); }); });
  high.join();
  low.join();
  EXPECT_EQ(highOutcome.code, 0);
  EXPECT_EQ(lowOutcome.code, 0);

  // Each entry point's drives come together, in the order they were asked for.
  std::vector<std::vector<uint32_t>> drives;
  for (const sim::ClipInstruction& i : clip.log(0x90F)) drives.push_back(i.args);
  EXPECT_EQ(drives, (std::vector<std::vector<uint32_t>>{{0, 1}, {2, 1}, {0, 0}, {2, 0}}));
  EXPECT_FALSE(cableSense->inProgress());
}

}  // namespace
