// The analog-input properties the CLIP offers as lists: Nyquist zone, decimation filter band,
// impedance and coupling.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiTestbed.h"
#include "model/TrivialClipProperty.h"

namespace {

using aitest::Settings;
namespace attr = qvvandrel::oobx::attribute;

using AiPropertiesTest = aitest::AiTestbed;

TEST_F(AiPropertiesTest, EachPropertyOffersWhatTheClipListsAndDefaultsToItsFirst) {
  ASSERT_EQ(open(), 0);
  // Nyquist zones listed 4, 1, 2, 1.
  EXPECT_EQ(attribute<int>(aitest::kNyquistZone, "AI2").getCoerced(), 4);
  // After the 4 enables, the range and the offset: AI0's Nyquist zone.
  const auto* zone = dynamic_cast<qvvandrel::TrivialClipProperty<0x1000000E>*>(
      channels->features().children().at(6).get());
  ASSERT_NE(zone, nullptr);
  EXPECT_EQ(zone->range()->range().values(), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(attribute<int>(aitest::kBand, "AI3").getCoerced(), 0);
  EXPECT_EQ(attribute<double>(aitest::kImpedance, "AI0").getCoerced(), 50.0);
  EXPECT_EQ(attribute<attr::Coupling>(aitest::kCoupling, "AI1").getCoerced(), 0);
  // 4 enables, range, offset, then 4 channels of each of the four properties.
  EXPECT_EQ(channels->features().children().size(), 4u + 2u + 4u * 4u);
}

TEST_F(AiPropertiesTest, AnEmptyListMakesNoAttribute) {
  clip.setCapabilities({100, 2, 109, 1, 107, 50});
  ASSERT_EQ(open(), 0);
  EXPECT_TRUE(registry.contains(aitest::kNyquistZone, "AI1"));
  EXPECT_FALSE(registry.contains(aitest::kBand, "AI0"));
  EXPECT_FALSE(registry.contains(aitest::kCoupling, "AI0"));
}

TEST_F(AiPropertiesTest, ANyquistZoneIsSentAsItsCodeWord) {
  openAndCommit();
  attribute<int>(aitest::kNyquistZone, "AI1").set(2);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x903, 1, 2}}));
  EXPECT_EQ(clip.log(0x903).at(0).words.at(0), 0x100200903u);
}

TEST_F(AiPropertiesTest, ImpedanceIsCheckedButNotSent) {
  openAndCommit();
  auto& impedance = attribute<double>(aitest::kImpedance, "AI0");
  impedance.set(1e6 * (1 + 5e-13));
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(impedance.getCoerced(), 1e6);
  EXPECT_TRUE(clip.log().empty());
  impedance.set(75.0);
  EXPECT_EQ(commit().code, -304408);
}

TEST_F(AiPropertiesTest, AnUnlistedCouplingIsRefusedWithTheListedMembers) {
  openAndCommit();
  auto& coupling = attribute<attr::Coupling>(aitest::kCoupling, "AI0");
  coupling.set(static_cast<attr::Coupling>(2));
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(thrown.detail, channeltest::enumRejection(268435473, "AI Coupling", 2, "[0,1]", "AI0"));
  EXPECT_TRUE(clip.log().empty());
}

}  // namespace
