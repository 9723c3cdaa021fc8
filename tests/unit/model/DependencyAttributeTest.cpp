#include "model/DependencyAttribute.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "TestFeature.h"
#include "attributes/Ranges.h"

namespace {

using attrtest::catchError;
using modeltest::Journal;
using modeltest::Roots;
using modeltest::TestFeature;

constexpr std::uint32_t kRange = 0x20000010;  // "AI Range"
using modeltest::kDivisor;

TEST(DependencyAttribute, StartsDirtyAndNamedByItsIdentifier) {
  const double initial = 2.0;
  qvvandrel::DepAttr<kRange, qvvandrel::DependencyAttribute<double>> range("AI3", &initial);
  EXPECT_STREQ(range.name(), "AI Range");
  EXPECT_EQ(range.getId(), kRange);
  EXPECT_STREQ(range.getChannelName(), "AI3");
  EXPECT_TRUE(range.isDirty());
  EXPECT_TRUE(range.isNodeDirty());
  EXPECT_TRUE(range.needsWiring());
  EXPECT_EQ(range.getDefault(), 2.0);
  EXPECT_EQ(range.getDesired(), 2.0);
  EXPECT_EQ(range.getCoerced(), 2.0);
  EXPECT_EQ(range.getAuthorship(), 0u);
  EXPECT_EQ(range.range(), &atat::nullRange<double>());

  const std::string text = "x";
  qvvandrel::DepAttr<5127, qvvandrel::DependencyAttribute<std::string>> publicText(nullptr, &text);
  EXPECT_STREQ(publicText.name(), "Not Available");
  EXPECT_STREQ(publicText.getChannelName(), "");
}

// One feature owning two attributes, after its first commit: everything clean.
class OwnedAttributes : public ::testing::Test {
 protected:
  OwnedAttributes() : feature_("f", journal_, {{kDivisor, ""}, {kDivisor, "AI1"}}) {
    feature_.registerAttributes(&registry_);
    feature_.commission(&roots_.record, &registry_);
    commit();
  }

  void commit() {
    journal_.clear();
    roots_.compile.resolve();
    roots_.deploy.resolve();
    roots_.redeploy.markResolved();
  }

  bool graphClean() const {
    return !roots_.compile.isNodeDirty() && !roots_.deploy.isNodeDirty() &&
           !feature_.compileResolver.isNodeDirty() && !feature_.deployResolver.isNodeDirty();
  }

  Journal journal_;
  atat::AttributeRegistry registry_ = modeltest::makeRegistry();
  Roots roots_;
  TestFeature feature_;
};

TEST_F(OwnedAttributes, SetDirtyMarksTheNodeOnlyWhenRaising) {
  auto& attribute = feature_.own(0);
  ASSERT_TRUE(graphClean());
  ASSERT_FALSE(attribute.isDirty());
  EXPECT_FALSE(attribute.needsWiring());

  attribute.setDirty(true);
  EXPECT_TRUE(attribute.isDirty());
  EXPECT_TRUE(attribute.isNodeDirty());
  EXPECT_TRUE(feature_.own(1).isNodeDirty());  // its sibling, through the compile resolver
  EXPECT_TRUE(roots_.deploy.isNodeDirty());

  // Clearing the byte leaves the node to its feature's compile.
  attribute.setDirty(false);
  EXPECT_FALSE(attribute.isDirty());
  EXPECT_TRUE(attribute.isNodeDirty());
  commit();
  EXPECT_EQ(journal_, (Journal{"f.compile", "f.deploy"}));
  EXPECT_FALSE(attribute.isNodeDirty());
}

TEST_F(OwnedAttributes, RegistryMarkAllInvalidatesEveryNode) {
  registry_.setDirty(true);
  EXPECT_TRUE(feature_.own(0).isNodeDirty());
  EXPECT_TRUE(feature_.own(1).isDirty());
  EXPECT_FALSE(graphClean());
}

TEST_F(OwnedAttributes, OnlyChangingWritesInvalidate) {
  auto& attribute = feature_.own(0);
  attribute.setDesired(0);  // the default value, but written internally: authorship 0 -> 2
  EXPECT_FALSE(graphClean());
  commit();
  attribute.setDesired(0);  // nothing changes
  EXPECT_TRUE(graphClean());
  attribute.set(0);  // the same value, now written by the host: authorship 2 -> 1
  EXPECT_TRUE(attribute.wasSetByUser());
  EXPECT_FALSE(graphClean());
  commit();
  attribute.setCoerced(9);  // no write at all
  EXPECT_TRUE(graphClean());
  EXPECT_EQ(attribute.getPublic(), 0);
  attribute.reset();
  EXPECT_EQ(attribute.getAuthorship(), 0u);
  EXPECT_FALSE(graphClean());
}

// A write that fails still leaves the graph dirty, whatever step failed.
TEST(DependencyAttribute, FailedWritesLeaveTheGraphDirty) {
  Journal journal;
  auto registry = modeltest::makeRegistry();
  Roots roots;
  TestFeature feature("f", journal);

  const int initial = 1;
  atat::DiscreteRange<int> divisors(-304408, atat::coarseCoercionTypeNone, {1, 2, 4});
  struct FailingAfterSet : atat::NullSetter<int> {
    void afterSet(iattr::AttributeInterface<int>&) override { throw std::runtime_error("late"); }
  } setter;
  qvvandrel::DependencyAttribute<int> divisor(kDivisor, "", &initial, &divisors, nullptr, &setter);
  qvvandrel::wireResolvers(roots.record, feature.compileResolver, feature.deployResolver);
  qvvandrel::wireOwnAttribute(feature.compileResolver, divisor);
  roots.compile.resolve();
  ASSERT_FALSE(divisor.isNodeDirty());

  // Rejected by the range: old value kept, node and downstream dirty.
  EXPECT_EQ(catchError([&] { divisor.setDesired(3); }).code, -304408);
  EXPECT_EQ(divisor.getDesired(), 1);
  EXPECT_TRUE(divisor.isNodeDirty());
  EXPECT_TRUE(roots.compile.isNodeDirty());

  // After hook fails: undone, and dirty again after the compile cleaned it.
  roots.compile.resolve();
  ASSERT_FALSE(divisor.isNodeDirty());
  EXPECT_THROW(divisor.set(2), std::runtime_error);
  EXPECT_EQ(divisor.getDesired(), 1);
  EXPECT_EQ(divisor.getCoerced(), 1);
  EXPECT_EQ(divisor.getAuthorship(), 0u);
  EXPECT_TRUE(divisor.isDirty());
  EXPECT_TRUE(divisor.isNodeDirty());
  EXPECT_TRUE(feature.compileResolver.isNodeDirty());
}

TEST(DependencyAttribute, NaNIsRejectedNamingTheAttribute) {
  const double initial = 1.0;
  qvvandrel::DependencyAttribute<double> range(kRange, "AI3", &initial);
  range.markResolved();
  const auto thrown = catchError([&] { range.set(std::nan("")); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -1074097882);
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("atat/ranges/NullRange", 82) +
          R"({"type":"usage","usage":"kUsageTypeInvalidInput","value":"NaN","value_type":"float"},)"
          R"({"type":"comment","comment":"The input value is not a number."},)"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870928,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI3","value_type":"string"})" +
          attrtest::kSectionEnd);
  EXPECT_EQ(range.getDesired(), 1.0);
  EXPECT_TRUE(range.isNodeDirty());
  // IEEE equality: 0.0 and -0.0 are one value, so writing -0.0 over 0.0 changes nothing.
  range.setDesired(0.0);
  range.markResolved();
  range.setDesired(-0.0);
  EXPECT_FALSE(range.isNodeDirty());
}

}  // namespace
