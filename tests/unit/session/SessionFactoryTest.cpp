#include <gtest/gtest.h>

#include "session/SessionFactoryBrenmoor.h"

namespace {

TEST(SessionFactory, OnlyTheThreeImageNamesInFullSelectAFlashImage) {
  using qvvandrelbrenmooru::flashImageIndex;
  EXPECT_EQ(flashImageIndex("qvvandrelbrenmooru::image::golden"), 0u);
  EXPECT_EQ(flashImageIndex("qvvandrelbrenmooru::image::default"), 1u);
  EXPECT_EQ(flashImageIndex("qvvandrelbrenmooru::image::user"), 2u);
  for (const char* other : {"qvvandrelbrenmooru::image::users", "qvvandrelbrenmooru::image::",
                            "qvvandrelbrenmooru::image::Golden", "<Bitfile/>", ""})
    EXPECT_FALSE(flashImageIndex(other).has_value()) << other;
  EXPECT_FALSE(flashImageIndex(nullptr).has_value());
}

}  // namespace
