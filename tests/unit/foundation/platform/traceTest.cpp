#include "foundation/platform/trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors/Debug.h"

namespace {

using namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

std::vector<std::string>* gCaptured = nullptr;
void capture(const char* text) {
  gCaptured->emplace_back(text);
}

class ConsoleTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    gCaptured = &lines_;
    saved_ = qvsdbg_outputHook;
    qvsdbg_outputHook = &capture;
  }
  void TearDown() override {
    qvsdbg_outputHook = saved_;
    gCaptured = nullptr;
  }
  std::vector<std::string> lines_;
  qvsdbg_OutputHook saved_ = nullptr;
};

TEST_F(ConsoleTrace, WritePrintsTheTextWithoutPrefix) {
  tConsoleTraceDestination& destination = getConsoleTraceDestination();
  destination.write("trace %d text");
  ASSERT_EQ(lines_.size(), 1u);
  // The text is an argument, never a format.
  EXPECT_EQ(lines_[0], "trace %d text");
}

TEST_F(ConsoleTrace, WriteCountPrintsAtMostCountCharacters) {
  iTraceDestination& destination = getConsoleTraceDestination();
  destination.writeCount("abcdefgh", 3);
  destination.writeCount("abc", 10);
  destination.writeCount("abc", 0);
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0], "abc");
  EXPECT_EQ(lines_[1], "abc");
  EXPECT_EQ(lines_[2], "");
}

TEST(ConsoleTraceOptions, OptionTextIsCutAndTerminated) {
  tConsoleTraceDestination& destination = getConsoleTraceDestination();
  char small[5];
  std::memset(small, 'x', sizeof small);
  size_t required = 0;
  destination.getOptionText(small, sizeof small, &required);
  EXPECT_STREQ(small, " --d");
  EXPECT_EQ(required, 20u);

  char whole[64];
  destination.getOptionText(whole, sizeof whole, nullptr);
  EXPECT_STREQ(whole, " --destination vusk");

  char untouched = 'q';
  required = 0;
  destination.getOptionText(&untouched, 0, &required);
  EXPECT_EQ(untouched, 'q');
  EXPECT_EQ(required, 20u);

  char exact[20];
  destination.getOptionText(exact, sizeof exact, &required);
  EXPECT_STREQ(exact, " --destination vusk");
}

TEST(ConsoleTraceOptions, DestinationIdentity) {
  tConsoleTraceDestination& destination = getConsoleTraceDestination();
  EXPECT_STREQ(destination.getName(), "qvsdbg_printf");
  EXPECT_TRUE(destination.isAvailable());
  destination.flush();
  destination.close();
  EXPECT_TRUE(destination.isAvailable());
}

TEST(Trace, BoundToTheConsoleDestinationWithDefaults) {
  const tTrace& trace = getTrace();
  EXPECT_EQ(trace.destination(), &getConsoleTraceDestination());
  const uint8_t expected[tTrace::kSwitchCount] = {1, 1, 0, 1, 1, 0, 0, 0, 1, 1};
  for (size_t i = 0; i < tTrace::kSwitchCount; ++i) {
    EXPECT_EQ(trace.switches()[i], expected[i]) << "switch " << i;
  }
  EXPECT_EQ(trace.setting(), 50u);
  EXPECT_EQ(trace.counter(), 0u);
}

}  // namespace
