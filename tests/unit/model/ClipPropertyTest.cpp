// CLIP properties over a list capability: the shared range, the code word, the compile and
// deploy steps, driven through the roots of a small graph.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../attributes/TestSupport.h"
#include "TestFeature.h"
#include "model/TrivialClipProperty.h"

namespace {

using attrtest::catchError;
using Property = qvvandrel::TrivialClipProperty<0x1000000E>;

class ClipPropertyTest : public ::testing::Test {
 protected:
  // Words convert to half their value, so two words can list one value.
  ClipPropertyTest() : capability([](unsigned int w) { return boost::optional<int>(w / 2); }) {}

  void build(std::vector<uint32_t> words, uint32_t count) {
    for (uint32_t w : words) capability.acceptValue(w);
    qvvandrel::buildTrivialClipProperties<0x1000000E>(
        features, capability, count, names,
        [this](int channel, unsigned int code) { sent.emplace_back(channel, code); });
    features.registerAttributes(&registry);
    features.commission(&roots.record, &registry);
  }
  void commit() {
    roots.compile.resolve();
    roots.deploy.resolve();
    roots.redeploy.markResolved();
  }
  Property& property(size_t i) { return dynamic_cast<Property&>(*features.children().at(i)); }

  ififo_rpc::ListCapability<int> capability;
  qvvandrel::ChannelNameTable names{"AI", 64};
  qvvandrel::CompositeCommission features;
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
  std::vector<std::pair<int, unsigned int>> sent;
};

TEST_F(ClipPropertyTest, FirstListedValueIsTheDefaultAndEachValueSendsItsFirstWord) {
  build({9, 5, 4}, 2);  // values 4, 2, 2
  ASSERT_EQ(features.children().size(), 2u);
  EXPECT_EQ(property(0).range(), property(1).range());
  EXPECT_EQ(property(0).range()->range().values(), (std::vector<int>{2, 4}));
  EXPECT_EQ(property(1).attribute().getCoerced(), 4);
  EXPECT_STREQ(property(1).attribute().getChannelName(), "AI1");

  commit();
  EXPECT_EQ(sent, (std::vector<std::pair<int, unsigned int>>{{0, 9}, {1, 9}}));
  sent.clear();
  property(1).attribute().set(2);
  commit();
  EXPECT_EQ(sent, (std::vector<std::pair<int, unsigned int>>{{1, 5}}));
}

TEST_F(ClipPropertyTest, AnUnlistedValueFailsTheCompileNamingTheAttribute) {
  build({8, 4}, 2);  // values 4, 2
  commit();
  sent.clear();
  Property& p = property(1);
  p.attribute().set(3);
  p.attribute().setLabel("ai1");
  const auto thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  const std::string identity =
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435470,)"
      R"("value_type":"int32_t","comment":"AI Nyquist Zone"},)"
      R"({"type":"usage","usage":"kUsageTypeChannelName","value":"ai1","value_type":"string"}]}})";
  ASSERT_GE(thrown.detail.size(), identity.size());
  EXPECT_EQ(thrown.detail.substr(thrown.detail.size() - identity.size()), identity);
  EXPECT_NE(thrown.detail.find(R"("kUsageTypePossibleValues","value":[2,4])"), std::string::npos);
  // The request stays, the code word of the last compile too, and nothing was sent.
  EXPECT_EQ(p.attribute().getDesired(), 3);
  EXPECT_EQ(p.codeWord(), 8u);
  EXPECT_TRUE(sent.empty());
}

TEST_F(ClipPropertyTest, NothingIsBuiltWithoutValuesOrChannels) {
  build({}, 3);
  EXPECT_TRUE(features.children().empty());
  build({2}, 0);
  EXPECT_TRUE(features.children().empty());
  EXPECT_EQ(registry.size(), 0u);
}

TEST(ClipPropertyNames, ResolversAreNamedByTheTemplateWithItsIdentifier) {
  EXPECT_STREQ(qvvandrel::resolverName<qvvandrel::TrivialClipProperty<0x2000001B>>(),
               "N9qvvandrel19TrivialClipPropertyILi536870939EEE");
}

}  // namespace
