// Cable sensing: the instances built from the capabilities with the lines' read-back at
// construction, the two entry points, the mode lock and the read-back timeout, against the
// simulated CLIP's sense lines.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "AoTestbed.h"
#include "sim/device/ClipCableSense.h"

namespace {

using aotest::Sent;
using aotest::SentList;
using attrtest::catchError;
using Mode = qvvandrel::CableSense::Mode;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kDrive = 0x90F, kRead = 0x910;

std::string location(const char* file, int line, const char* constant) {
  return std::string(R"({"error_constant":")") + constant + R"(","file":")" + file +
         R"(","line":)" + std::to_string(line) + R"(,"component":"qvvandrelbrenmooru")";
}

class CableSenseTest : public aotest::AoTestbed {
 protected:
  int32_t openCableSense() {
    return open([&] { features.push_back(&cableSense.emplace(tree, configuration)); });
  }
  sim::ClipCableSense::Line& line(uint32_t channel) {
    return clip.state<sim::ClipCableSense>().lines[channel];
  }
  qvvandrel::DependencyAttribute<Mode>& mode(const char* channel) {
    return attribute<Mode>(aotest::kMode, channel);
  }
  // No instance, not even a check of interface 9; both entry points refuse.
  void expectNothingToDrive() {
    ASSERT_EQ(openCableSense(), 0);
    EXPECT_TRUE(cableSense->instances().empty());
    EXPECT_EQ(registry.size(), 0u);
    EXPECT_TRUE(clip.log().empty());
    const attrtest::Thrown high = catchError([&] { cableSense->setLinesHigh(); });
    EXPECT_EQ(high.code, -304438);
    EXPECT_EQ(high.detail,
              location("CableSense", 52, "QVVANDREL_Status_CableSenseNotSupported") + "}");
    const attrtest::Thrown low = catchError([&] { cableSense->setLinesLow(); });
    EXPECT_EQ(low.code, -304438);
    EXPECT_EQ(low.detail,
              location("CableSense", 68, "QVVANDREL_Status_CableSenseNotSupported") + "}");
  }
  // Interface-9 instructions without the repeated polls: a read equal to the one before it
  // is dropped.
  SentList drivesAndReads() {
    SentList list;
    for (const Sent& s : sent(9))
      if (list.empty() || !(list.back() == s)) list.push_back(s);
    return list;
  }
};

TEST_F(CableSenseTest, WithoutTheCapabilityThereIsNothingToDrive) {
  clip.setCapabilities({100, 4});
  expectNothingToDrive();
}

TEST_F(CableSenseTest, WithoutAnAnalogInputCountThereIsNothingToDrive) {
  clip.setCapabilities({116, 1});
  expectNothingToDrive();
}

TEST_F(CableSenseTest, OpeningDrivesLowALineThatReadsHigh) {
  line(2).level = 1;
  line(2).followDelayMs = 2;
  ASSERT_EQ(openCableSense(), 0);
  EXPECT_EQ(
      drivesAndReads(),
      (SentList{
          {kRead, {0}}, {kRead, {1}}, {kRead, {2}}, {kDrive, {2, 0}}, {kRead, {2}}, {kRead, {3}}}));
  EXPECT_EQ(supportQueries(), 1u);
  ASSERT_EQ(cableSense->instances().size(), 4u);
  EXPECT_EQ(registry.getChannelNames(aotest::kMode),
            (std::vector<std::string>{"AI0", "AI1", "AI2", "AI3"}));
  EXPECT_EQ(mode("AI3").getCoerced(), Mode{0});
  EXPECT_STREQ(roots.compile.prerequisites().at(0)->name(), "N9qvvandrel10CableSense8InstanceE");
}

TEST_F(CableSenseTest, ALineStuckHighFailsTheOpen) {
  line(1).stuck = 1;
  EXPECT_EQ(openCableSense(), -304333);
  EXPECT_EQ(drivesAndReads(),
            (SentList{{kRead, {0}}, {kRead, {1}}, {kDrive, {1, 0}}, {kRead, {1}}}));
}

TEST_F(CableSenseTest, TheModesStayLockedFromDrivingHighUntilDrivingLow) {
  ASSERT_EQ(openCableSense(), 0);
  clip.clearLog();
  const attrtest::Thrown none = catchError([&] { cableSense->setLinesHigh(); });
  EXPECT_EQ(none.code, -304439);
  EXPECT_EQ(none.detail,
            location("CableSense", 60, "QVVANDREL_Status_NoCableSenseChannelsEnabled") + "}");
  EXPECT_TRUE(clip.log().empty());
  EXPECT_TRUE(cableSense->inProgress());

  const attrtest::Thrown locked = catchError([&] { mode("AI1").set(Mode{1}); });
  EXPECT_EQ(locked.code, -304440);
  EXPECT_EQ(locked.detail,
            location("CableSenseSetter", 21, "QVVANDREL_Status_CableSenseInProgress") + "}");
  EXPECT_EQ(mode("AI1").getDesired(), Mode{0});
  EXPECT_EQ(mode("AI1").getAuthorship(), atat::kAuthorshipDefault);
  // The library's own writes and resets are not refused.
  mode("AI1").setDesired(Mode{2});
  mode("AI1").reset();

  cableSense->setLinesLow();
  EXPECT_FALSE(cableSense->inProgress());
  mode("AI1").set(Mode{1});
  EXPECT_EQ(mode("AI1").getCoerced(), Mode{1});
}

TEST_F(CableSenseTest, DrivesTheLinesOfChannelsInMode1InChannelOrder) {
  ASSERT_EQ(openCableSense(), 0);
  mode("AI3").set(Mode{1});
  mode("AI1").set(Mode{1});
  mode("AI2").set(Mode{2});  // not acted on
  line(1).followDelayMs = line(3).followDelayMs = 2;
  clip.clearLog();
  cableSense->setLinesHigh();
  EXPECT_EQ(drivesAndReads(),
            (SentList{{kDrive, {1, 1}}, {kRead, {1}}, {kDrive, {3, 1}}, {kRead, {3}}}));
  EXPECT_GT(clip.log(kRead).size(), 2u);  // each line was read until it followed
  EXPECT_EQ(catchError([&] { mode("AI0").set(Mode{1}); }).code, -304440);

  clip.clearLog();
  cableSense->setLinesLow();
  EXPECT_EQ(drivesAndReads(),
            (SentList{{kDrive, {1, 0}}, {kRead, {1}}, {kDrive, {3, 0}}, {kRead, {3}}}));
  EXPECT_EQ(supportQueries(), 0u);
}

TEST_F(CableSenseTest, ALineThatNeverFollowsFailsAfterTheTimeout) {
  ASSERT_EQ(openCableSense(), 0);
  mode("AI3").set(Mode{1});
  line(3).stuck = 0;
  const Clock::time_point start = Clock::now();
  const attrtest::Thrown failed = catchError([&] { cableSense->setLinesHigh(); });
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(failed.code, -304333);
  EXPECT_EQ(failed.detail,
            location("CableSense", 156, "QVVANDREL_Status_CableSensePulseFailed") +
                R"(,"qvvandrelbrenmooru_debug":"CableSense line never became 1 on channel 3"})");
  EXPECT_GE(elapsed, std::chrono::milliseconds(50));
  EXPECT_LT(elapsed, std::chrono::milliseconds(100));  // polled without pausing
  EXPECT_TRUE(cableSense->inProgress());
}

TEST_F(CableSenseTest, WithoutATimeLimitALineIsAwaitedAsLongAsItTakes) {
  tree.load(fifo);
  std::atomic<bool> inProgress{false};
  qvvandrel::CableSenseSetter setter(&inProgress);
  qvvandrel::CableSense::Instance instance(0, configuration.interface9, setter,
                                           qvvandrel::CableSense::kNoTimeLimit);
  line(0).followDelayMs = 60;
  const Clock::time_point start = Clock::now();
  instance.setLineAndWait(1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(60));
  EXPECT_EQ(line(0).level, 1u);
}

}  // namespace
