#include "model/Resolvers.h"

#include <gtest/gtest.h>

#include "TestFeature.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel::test {
class Probe {};
template <int Id>
class Unary {};
}  // namespace qvvandrel::test

namespace {

using modeltest::AttributeKey;
using modeltest::Journal;
using modeltest::Roots;
using modeltest::TestFeature;

class Local {};

// Identifiers of the test features' attributes.
using modeltest::kDivisor;
using modeltest::kRate;
constexpr std::uint32_t kChannels = 0x10000000;  // "Channels In Stream"
constexpr std::uint32_t kSamples = 0x10000001;   // "Samples Per Clock"

TEST(Resolvers, NamedByTheOwnersTypeName) {
  EXPECT_STREQ(qvvandrel::resolverName<qvvandrel::test::Probe>(), "N9qvvandrel4test5ProbeE");
  EXPECT_STREQ(qvvandrel::resolverName<qvvandrel::test::Unary<1073741828>>(),
               "N9qvvandrel4test5UnaryILi1073741828EEE");
  EXPECT_STREQ(qvvandrel::resolverName<Local>(), "N12_GLOBAL__N_15LocalE");

  Journal journal;
  TestFeature feature("f", journal);
  EXPECT_STREQ(feature.compileResolver.name(), feature.deployResolver.name());
  EXPECT_STREQ(feature.compileResolver.name(), qvvandrel::resolverName<TestFeature>());
}

// Three features commissioned in the order a, b, c; a reads c's attribute.
class ThreeFeatures : public ::testing::Test {
 protected:
  ThreeFeatures()
      : a_("a", journal_, {{kDivisor, ""}}, {{kSamples, "AI0"}}),
        b_("b", journal_, {{kRate, ""}, {kChannels, ""}}),
        c_("c", journal_, {{kSamples, "AI0"}}) {
    for (TestFeature* feature : {&a_, &b_, &c_}) feature->registerAttributes(&registry_);
    for (TestFeature* feature : {&a_, &b_, &c_}) feature->commission(&roots_.record, &registry_);
  }

  void commit() {
    roots_.compile.resolve();
    roots_.deploy.resolve();
    roots_.redeploy.markResolved();
  }

  Journal journal_;
  atat::AttributeRegistry registry_ = modeltest::makeRegistry();
  Roots roots_;
  TestFeature a_, b_, c_;
};

TEST_F(ThreeFeatures, FirstCommitRunsPrerequisitesFirstEachOnce) {
  c_.own(0).set(5);
  a_.own(0).set(1);
  commit();
  EXPECT_EQ(journal_, (Journal{"c.compile", "a.compile", "b.compile", "a.deploy!", "b.deploy!",
                               "c.deploy!"}));
  // a's compile saw c's coerced value.
  EXPECT_EQ(a_.own(0).getCoerced(), 6);
  for (TestFeature* feature : {&a_, &b_, &c_}) {
    EXPECT_FALSE(feature->compileResolver.isNodeDirty());
    EXPECT_FALSE(feature->deployResolver.isNodeDirty());
    EXPECT_FALSE(feature->own(0).isDirty());
    EXPECT_FALSE(feature->own(0).isNodeDirty());
  }
  // Nothing changed: nothing runs.
  journal_.clear();
  commit();
  EXPECT_TRUE(journal_.empty());
}

TEST_F(ThreeFeatures, ASetDirtiesItsFeatureAndItsReadersOnly) {
  commit();
  journal_.clear();
  c_.own(0).set(7);
  EXPECT_TRUE(c_.compileResolver.isNodeDirty());
  EXPECT_TRUE(c_.deployResolver.isNodeDirty());
  EXPECT_TRUE(a_.compileResolver.isNodeDirty());
  EXPECT_TRUE(a_.deployResolver.isNodeDirty());
  EXPECT_TRUE(a_.own(0).isNodeDirty());
  EXPECT_TRUE(roots_.compile.isNodeDirty());
  EXPECT_TRUE(roots_.deploy.isNodeDirty());
  EXPECT_FALSE(b_.compileResolver.isNodeDirty());
  EXPECT_FALSE(b_.own(0).isNodeDirty());
  EXPECT_FALSE(roots_.redeploy.isNodeDirty());

  commit();
  EXPECT_EQ(journal_, (Journal{"c.compile", "a.compile", "a.deploy", "c.deploy"}));
  EXPECT_EQ(a_.own(0).getCoerced(), 7);
}

TEST_F(ThreeFeatures, ASiblingAttributeDirtiesItsOwnFeature) {
  commit();
  journal_.clear();
  b_.own(1).set(3);
  EXPECT_TRUE(b_.own(0).isNodeDirty());  // through the compile resolver
  EXPECT_FALSE(b_.own(0).isDirty());     // the attribute's own byte is its own
  commit();
  EXPECT_EQ(journal_, (Journal{"b.compile", "b.deploy"}));
}

TEST_F(ThreeFeatures, AThrowingHookIsRetriedByTheNextCommit) {
  b_.compileFailures = 1;
  EXPECT_THROW(commit(), std::runtime_error);
  EXPECT_EQ(journal_, (Journal{"c.compile", "a.compile", "b.compile"}));
  EXPECT_FALSE(a_.compileResolver.isNodeDirty());
  EXPECT_TRUE(b_.compileResolver.isNodeDirty());
  EXPECT_TRUE(b_.own(0).isNodeDirty());
  EXPECT_TRUE(b_.own(0).isDirty());
  EXPECT_TRUE(roots_.redeploy.isNodeDirty());

  journal_.clear();
  commit();
  EXPECT_EQ(journal_, (Journal{"b.compile", "a.deploy!", "b.deploy!", "c.deploy!"}));
}

TEST_F(ThreeFeatures, ReadingThroughTheNodeCompilesFirstOnce) {
  commit();
  journal_.clear();
  c_.own(0).set(2);
  a_.own(0).resolve();
  EXPECT_EQ(journal_, (Journal{"c.compile", "a.compile"}));
  EXPECT_EQ(a_.own(0).getCoerced(), 2);
  EXPECT_FALSE(a_.own(0).isNodeDirty());
  a_.own(0).resolve();
  EXPECT_EQ(journal_.size(), 2u);
  // The deploy side still has the change to write.
  EXPECT_TRUE(roots_.deploy.isNodeDirty());
}

TEST_F(ThreeFeatures, ForceFollowsTheRedeployRoot) {
  commit();
  EXPECT_FALSE(a_.deployResolver.force());
  roots_.redeploy.invalidateIfResolved();
  EXPECT_TRUE(a_.deployResolver.force());
  EXPECT_EQ(a_.deployResolver.redeployRoot(), &roots_.redeploy);
  journal_.clear();
  commit();
  EXPECT_EQ(journal_, (Journal{"a.deploy!", "b.deploy!", "c.deploy!"}));
}

TEST_F(ThreeFeatures, ASecondCommissionOfACrossLinkFails) {
  const std::size_t rootLinks = roots_.compile.prerequisites().size();
  const std::size_t ownLinks = b_.compileResolver.coResolved().size();
  // Own attributes are linked once: a second commission of b only adds root links again.
  b_.commission(&roots_.record, &registry_);
  EXPECT_EQ(b_.compileResolver.coResolved().size(), ownLinks);
  EXPECT_EQ(roots_.compile.prerequisites().size(), rootLinks + 1);

  try {
    a_.commission(&roots_.record, &registry_);
    FAIL() << "a second cross link must fail";
  } catch (const qverr::Exception& error) {
    EXPECT_EQ(error.code(), -52003);
  }
  // The root links of that call stay.
  EXPECT_EQ(roots_.compile.prerequisites().size(), rootLinks + 2);
}

TEST(AttributeLink, MissingOrDifferentlyTypedAttributesLinkNothing) {
  auto registry = modeltest::makeRegistry();
  const double rate = 0;
  const int plainValue = 0;
  qvvandrel::DependencyAttribute<double> doubleAttribute(0x20000016, "", &rate);
  atat::Attribute<int> plain(kDivisor, "", false, &plainValue, nullptr, nullptr, nullptr);
  registry.addAttribute(&doubleAttribute);
  registry.addAttribute(&plain);

  qvvandrel::Dependency dependent("dependent");
  qvvandrel::AttributeLink<int> link(&dependent);
  EXPECT_FALSE(link.link(registry, 0x10000099, ""));  // not registered
  EXPECT_FALSE(link.link(registry, 0x20000016, ""));  // a double
  EXPECT_FALSE(link.link(registry, kDivisor, ""));    // not a dependency attribute
  EXPECT_FALSE(link.isLinked());
  EXPECT_EQ(link.attribute(), nullptr);
  EXPECT_TRUE(dependent.prerequisites().empty());

  qvvandrel::AttributeLink<double> rateLink(&dependent);
  EXPECT_TRUE(rateLink.link(registry, 0x20000016, ""));
  EXPECT_EQ(rateLink.attribute(), &doubleAttribute);
  ASSERT_EQ(dependent.prerequisites().size(), 1u);
  EXPECT_EQ(doubleAttribute.dependents(), (std::vector<qvvandrel::Dependency*>{&dependent}));
}

TEST(Resolvers, AnAbsentFeatureIsNeverWired) {
  Journal journal;
  auto registry = modeltest::makeRegistry();
  Roots roots;
  TestFeature absent("absent", journal, {{kDivisor, ""}});
  absent.present = false;
  absent.registerAttributes(&registry);
  absent.commission(&roots.record, &registry);
  EXPECT_EQ(registry.size(), 0u);
  roots.compile.resolve();
  roots.deploy.resolve();
  EXPECT_TRUE(journal.empty());
}

TEST(Resolvers, InputLinksResolveBeforeTheCompileStep) {
  Journal journal;
  Roots roots;
  TestFeature feature("f", journal);
  qvvandrel::Dependency input("input");
  qvvandrel::wireResolvers(roots.record, feature.compileResolver, feature.deployResolver);
  qvvandrel::wireInput(feature.compileResolver, input);
  roots.compile.resolve();
  EXPECT_FALSE(input.isNodeDirty());
  input.invalidateIfResolved();
  EXPECT_TRUE(feature.compileResolver.isNodeDirty());
}

}  // namespace
