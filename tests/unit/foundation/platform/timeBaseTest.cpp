#include "foundation/platform/timeBase.h"

#include <gtest/gtest.h>

#include <ctime>

#include "foundation/platform/formatUnsigned.h"

namespace {

using namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

TEST(Clock, MonotonicNanosecondsAgreeWithTheSystemClock) {
  timespec before{};
  clock_gettime(CLOCK_MONOTONIC, &before);
  const uint64_t now = getMonotonicTimeNs();
  timespec after{};
  clock_gettime(CLOCK_MONOTONIC, &after);
  const uint64_t low = before.tv_sec * 1000000000ULL + before.tv_nsec;
  const uint64_t high = after.tv_sec * 1000000000ULL + after.tv_nsec;
  EXPECT_GE(now, low);
  EXPECT_LE(now, high);
}

TEST(Clock, TimeBaseHoldsItsConstants) {
  const tTimeBase& base = getTimeBase();
  EXPECT_TRUE(base.initialized.load());
  EXPECT_EQ(base.unitIndex, 1u);
  EXPECT_EQ(base.reserved, 0u);
  EXPECT_EQ(base.scale, 1u);
  EXPECT_EQ(base.secondFactor, 1000u);
  initTimeBase();
  EXPECT_EQ(&getTimeBase(), &base);
  EXPECT_EQ(base.secondFactor, 1000u);
}

TEST(Clock, UnitStepsUseThousandsBelowSecondsAndSixtiesAbove) {
  EXPECT_EQ(convertTime(1500, kMilliseconds, kSeconds), 1u);
  EXPECT_EQ(convertTime(1999999, kNanoseconds, kMilliseconds), 1u);
  EXPECT_EQ(convertTime(7200, kSeconds, kHours), 2u);
  EXPECT_EQ(convertTime(119, kSeconds, kMinutes), 1u);
  EXPECT_EQ(convertTime(3, kSeconds, kNanoseconds), 3000000000u);
  EXPECT_EQ(convertTime(2, kHours, kSeconds), 7200u);
  EXPECT_EQ(convertTime(1, kMinutes, kMilliseconds), 60000u);
  EXPECT_EQ(convertTime(7, kNanoseconds, kPicoseconds), 7000u);
  EXPECT_EQ(convertTime(42, kMicroseconds, kMicroseconds), 42u);
  EXPECT_EQ(convertTime(42, 7, kSeconds), 0u);
}

TEST(FormatUnsigned, RadixForms) {
  char buffer[80];
  char* end = formatUnsigned(buffer, 0, 10);
  EXPECT_STREQ(buffer, "0");
  EXPECT_EQ(end, buffer + 1);
  EXPECT_EQ(*end, '\0');

  end = formatUnsigned(buffer, 255, 16);
  EXPECT_STREQ(buffer, "0xFF");
  EXPECT_EQ(end, buffer + 4);

  end = formatUnsigned(buffer, 5, 2);
  EXPECT_STREQ(buffer, "2#101");
  EXPECT_EQ(end, buffer + 5);

  formatUnsigned(buffer, 18446744073709551615ULL, 10);
  EXPECT_STREQ(buffer, "18446744073709551615");
  formatUnsigned(buffer, 18446744073709551615ULL, 16);
  EXPECT_STREQ(buffer, "0xFFFFFFFFFFFFFFFF");
  formatUnsigned(buffer, 35, 36);
  EXPECT_STREQ(buffer, "36#Z");
  formatUnsigned(buffer, 64, 8);
  EXPECT_STREQ(buffer, "8#100");
  end = formatUnsigned(buffer, 18446744073709551615ULL, 2);
  EXPECT_EQ(end - buffer, 2 + 64);
}

TEST(FormatUnsigned, RadixWithoutDigitsWritesOnlyItsPrefix) {
  char buffer[16];
  EXPECT_EQ(formatUnsigned(buffer, 12, 1), buffer + 2);
  EXPECT_STREQ(buffer, "1#");
  EXPECT_EQ(formatUnsigned(buffer, 12, 0), buffer + 2);
  EXPECT_STREQ(buffer, "0#");
  formatUnsigned(buffer, 12, 37);
  EXPECT_STREQ(buffer, "37#");
}

}  // namespace
