// An attribute that stands for another feature's attribute, with identity and with converting
// value types.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "../attributes/TestSupport.h"
#include "TestFeature.h"
#include "foundation/errors/Exception.h"
#include "model/AliasedAttribute.h"
#include "model/DependencyAttribute.h"

namespace {

using qvvandrel::AliasedAttribute;
using qvvandrel::DependencyAttribute;

int32_t codeOf(const std::function<void()>& f) {
  return attrtest::catchError(f).code;
}

class AliasedAttributeTest : public ::testing::Test {
 protected:
  AliasedAttributeTest() {
    registry.addAttribute(&frequency);
    registry.addAttribute(&mode);
  }

  const double initialFrequency = 1e7;
  const int initialMode = 1;
  DependencyAttribute<double> frequency{0x2000002C, "Clk1", &initialFrequency};
  DependencyAttribute<int> mode{0x1000000B, nullptr, &initialMode};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
};

TEST_F(AliasedAttributeTest, EveryValueOperationIsTheTargets) {
  AliasedAttribute<0x2000002C, 0x20000035, double, double> alias("SI0", "Clk1");
  alias.connectTarget(registry);
  EXPECT_EQ(alias.target(), &frequency);
  EXPECT_EQ(alias.getId(), 0x20000035u);
  EXPECT_STREQ(alias.getChannelName(), "SI0");
  EXPECT_EQ(alias.get(), 1e7);

  frequency.markResolved();
  EXPECT_FALSE(alias.isDirty());
  alias.set(2.5e7);
  EXPECT_EQ(frequency.getDesired(), 2.5e7);
  EXPECT_TRUE(frequency.wasSetByUser());
  EXPECT_TRUE(alias.wasSetByUser());
  EXPECT_TRUE(alias.isDirty());
  EXPECT_TRUE(frequency.isNodeDirty());
  EXPECT_EQ(alias.lastWritten(), 2.5e7);
  frequency.setCoerced(2e7);
  EXPECT_EQ(alias.get(), 2e7);
  EXPECT_EQ(alias.getPublic(), 2.5e7);

  alias.setDirty(false);
  EXPECT_FALSE(frequency.isDirty());
  alias.reset();
  EXPECT_EQ(frequency.getDesired(), 1e7);
  EXPECT_FALSE(alias.wasSetByUser());
  frequency.setDesired(3e7);
  EXPECT_TRUE(alias.wasSetInternally());
}

TEST_F(AliasedAttributeTest, ConversionsTranslateBothWays) {
  AliasedAttribute<0x1000000B, 4886, std::string, int> alias(
      nullptr, nullptr, [](const std::string& text) { return text == "ClkIn" ? 5 : 0; },
      [](const int& value) { return value == 5 ? std::string("ClkIn") : std::string("Onboard"); });
  alias.connectTarget(registry);
  EXPECT_EQ(alias.get(), "Onboard");
  alias.set("ClkIn");
  EXPECT_EQ(mode.getDesired(), 5);
  EXPECT_EQ(alias.getPublic(), "ClkIn");
  alias.set("Nonsense");
  EXPECT_EQ(mode.getDesired(), 0);
  EXPECT_EQ(alias.lastWritten(), "Nonsense");
}

TEST_F(AliasedAttributeTest, TargetsAreFoundOnce) {
  AliasedAttribute<0x2000002C, 0x20000035, double, double> missing("SI0", "Clk7");
  EXPECT_EQ(codeOf([&] { missing.connectTarget(registry); }), -304404);
  // Before its target is found an alias has nothing to mark, and no value to give.
  missing.setDirty(true);
  EXPECT_FALSE(missing.isDirty());
  EXPECT_FALSE(missing.wasSetByUser());
  EXPECT_EQ(codeOf([&] { missing.get(); }), -52003);
  EXPECT_EQ(codeOf([&] { missing.set(1.0); }), -52003);
  EXPECT_EQ(codeOf([&] { missing.reset(); }), -52003);

  // An entry of another value type is no target.
  AliasedAttribute<0x1000000B, 9, double, double> otherType(nullptr, nullptr);
  otherType.connectTarget(registry);
  EXPECT_EQ(otherType.target(), nullptr);

  AliasedAttribute<0x2000002C, 0x20000035, double, double> alias("SI0", "clk1");
  alias.connectTarget(registry);
  EXPECT_EQ(codeOf([&] { alias.connectTarget(registry); }), -52003);
  EXPECT_EQ(alias.target(), &frequency);
}

}  // namespace
