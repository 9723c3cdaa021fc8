// The timeout on the monotonic clock.

#include "features/Timeout.h"

#include <gtest/gtest.h>

#include <chrono>

#include "../attributes/TestSupport.h"

namespace {

using qvvandrel::Timeout;
namespace platform = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

TEST(Timeout, CountsFromItsStartInItsUnit) {
  Timeout unstarted(1, platform::kHours, true);
  EXPECT_EQ(unstarted.elapsed(), 0u);
  unstarted.waitUntilExpired();  // nothing to wait for before the start
  unstarted.release();

  Timeout immediate(0, platform::kSeconds);
  immediate.start();
  EXPECT_TRUE(immediate.expired());

  const auto before = std::chrono::steady_clock::now();
  Timeout shortWait(3, platform::kMilliseconds, true);
  Timeout micro(3000, platform::kMicroseconds);
  Timeout hours(1, platform::kHours);
  micro.start();
  hours.start();
  shortWait.start();
  shortWait.release();
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(3));
  EXPECT_GE(shortWait.elapsed(), 3u);
  EXPECT_GE(micro.elapsed(), 3000u);  // started before the wait: the same time in µs
  EXPECT_TRUE(micro.expired());
  EXPECT_EQ(hours.elapsed(), 0u);  // truncated
  EXPECT_FALSE(hours.expired());
}

TEST(Timeout, AUnitOutsideTheScaleIsRefused) {
  for (uint32_t unit : {0u, 7u, 0xEFFFFFFFu}) {
    EXPECT_EQ(attrtest::catchError([&] { Timeout(1, static_cast<Timeout::Unit>(unit)); }).code,
              -52005)
        << unit;
  }
}

}  // namespace
