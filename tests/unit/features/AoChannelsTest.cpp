// The analog-output channels: the channel set, the output ranges with their sources, the
// inverse-sinc filters, the impedances and the channel status, against the simulated CLIP.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "AoTestbed.h"
#include "features/AoChannelStatus.h"
#include "features/AoRangeBuilder.h"
#include "features/InverseSincFilter.h"
#include "model/TrivialClipProperty.h"
#include "sim/device/ClipAnalogOutput.h"

namespace {

using aotest::Sent;
using aotest::SentList;
using attrtest::catchError;
using attrtest::kSectionEnd;
using attrtest::locationPrefix;
using Impedance = qvvandrel::TrivialClipProperty<0x2000001B>;

constexpr uint32_t kFilterPost = 0xD02, kRangePost = 0xD04, kStatusCall = 0xD07;

// Detail items written by hand.
std::string usage(const char* tag, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}
std::string number(const char* text) {
  return std::string("\"") + text + "\"";
}
std::string comment(const char* text) {
  return std::string(R"({"type":"comment","comment":")") + text + R"("})";
}
std::string identity(const char* id, const char* name, const char* channel) {
  return std::string(R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)") + id +
         R"(,"value_type":"int32_t","comment":")" + name + R"("},)" +
         usage("kUsageTypeChannelName", number(channel), "string");
}

class AoChannelsTest : public aotest::AoTestbed {
 protected:
  // The profile's words with `words` in place of the analog outputs' (the inputs stay).
  void report(const std::vector<uint32_t>& words) {
    std::vector<uint32_t> all{100, 4};
    all.insert(all.end(), words.begin(), words.end());
    clip.setCapabilities(all);
  }
  qvvandrel::DependencyAttribute<double>& range(const char* channel) {
    return attribute<double>(aotest::kRange, channel);
  }
  qvvandrel::AoRangeBuilder& builder(size_t channel) {
    for (const auto& child : outputs->channelObjects().children())
      if (auto* b = dynamic_cast<qvvandrel::AoRangeBuilder*>(child.get()); b && channel-- == 0)
        return *b;
    throw std::out_of_range("no such builder");
  }
};

TEST_F(AoChannelsTest, TheChannelObjectsFollowTheReportedCapabilities) {
  // No channel count: nothing but the count, which reads 0; nothing is sent.
  report({302, 1, 303, 1000000, 311, 1});
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_TRUE(outputs->channelObjects().children().empty());
  EXPECT_EQ(registry.size(), 1u);
  EXPECT_EQ(registry.getTyped<iattr::AttributeInterface<int>>(aotest::kCount, "")->get(), 0);
  EXPECT_TRUE(commitAndSent().empty());
}

TEST_F(AoChannelsTest, TwoChannelsInTheOrderFiltersRangesImpedancesStatuses) {
  ASSERT_EQ(openOutputs(), 0);
  std::vector<std::string> kinds;
  for (const auto& child : outputs->channelObjects().children()) {
    const auto& object = *child;
    kinds.push_back(typeid(object).name());
  }
  const std::string filter = typeid(qvvandrel::InverseSincFilter).name();
  const std::string builder = typeid(qvvandrel::AoRangeBuilder).name();
  const std::string impedance = typeid(Impedance).name();
  const std::string status = typeid(qvvandrel::AoChannelStatus).name();
  EXPECT_EQ(kinds, (std::vector<std::string>{filter, filter, builder, builder, impedance, impedance,
                                             status, status}));
  EXPECT_EQ(builder, "N9qvvandrel14AoRangeBuilderE");
  EXPECT_EQ(status, "N9qvvandrel15AoChannelStatusE");
  EXPECT_EQ(filter, "N9qvvandrel17InverseSincFilterE");
  EXPECT_EQ(impedance, "N9qvvandrel19TrivialClipPropertyILi536870939EEE");
  for (uint32_t id : {aotest::kFilter, aotest::kRange, aotest::kImpedance, aotest::kStatus})
    EXPECT_EQ(registry.getChannelNames(id), (std::vector<std::string>{"AO0", "AO1"})) << id;

  auto& count = *registry.getTyped<iattr::AttributeInterface<int>>(aotest::kCount, "");
  EXPECT_EQ(count.get(), 2);
  EXPECT_EQ(catchError([&] { count.set(3); }).code, -304414);
  EXPECT_EQ(count.get(), 2);
}

TEST_F(AoChannelsTest, AnAbsurdChannelCountIsRefusedBeforeAnythingIsBuilt) {
  for (uint32_t count : {1025u, 0x7FFFFFFFu}) {
    report({300, count});
    EXPECT_EQ(openOutputs(), -52003) << count;
    EXPECT_TRUE(clip.log().empty());
  }
}

// Output 0 lists its own ranges 1.0, 0.5 and 1.0 (words 1000000, 500000, 1000000); output 1 has
// none and takes the device's 0.5 and 1.0.
TEST_F(AoChannelsTest, TheChannelsOwnRangesAreCoercedUpAndSentAsTheirWord) {
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_TRUE(builder(0).perChannel());
  EXPECT_EQ(range("AO0").getDefault(), 1.0);  // the first listed, not the smallest
  EXPECT_EQ(range("AO1").getDefault(), 0.0);  // no list of its own
  EXPECT_EQ(commitAndSent(), (SentList{{kFilterPost, {0, 1}},
                                       {kFilterPost, {1, 1}},
                                       {kRangePost, {0, 1000000}},
                                       {kRangePost, {1, 500000}}}));
  EXPECT_EQ(range("AO1").getCoerced(), 0.5);

  range("AO0").set(0.7);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 1000000}}}));
  EXPECT_EQ(range("AO0").getCoerced(), 1.0);
  range("AO0").set(0.5 * (1 + 5e-13));
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 500000}}}));
  EXPECT_EQ(range("AO0").getCoerced(), 0.5);

  // Above the largest range: refused; the compile leaves the attribute as the write made it
  // and keeps the code.
  range("AO0").set(1.2);
  const attrtest::Thrown above = commit();
  EXPECT_EQ(above.code, -304408);
  EXPECT_EQ(above.detail, locationPrefix("atat/ranges/DiscreteRange", 200) +
                              usage("kUsageTypeRequestedValue", number("1.200000"), "float") + "," +
                              usage("kUsageTypeMaxValue", number("1.0"), "float") + "," +
                              comment("coercionType=coarseCoercionTypeUp(1)") + "," +
                              identity("536870942", "AO Range", "AO0") + kSectionEnd);
  EXPECT_EQ(range("AO0").getDesired(), 1.2);
  EXPECT_EQ(builder(0).rangeCode(), 500000u);

  // A full redeploy sends every selectable code again.
  range("AO0").set(1.0);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 1000000}}}));
  roots.redeploy.invalidateIfResolved();
  EXPECT_EQ(commitAndSent(), (SentList{{kFilterPost, {0, 1}},
                                       {kFilterPost, {1, 1}},
                                       {kRangePost, {0, 1000000}},
                                       {kRangePost, {1, 500000}}}));
}

TEST_F(AoChannelsTest, OfTwoWordsWithOneValueTheFirstIsTheCode) {
  report({300, 1, 309, 1, 11, 0, 310, 9, 310, 7, 310, 5});
  tree.aoChannels.section.ranges.converter = [](unsigned int word) {
    return boost::optional<double>(word == 5 ? 1.0 : 2.0);
  };
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 9}}}));  // default 2.0
  range("AO0").set(1.5);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 9}}}));
  range("AO0").set(0.5);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {0, 5}}}));
}

TEST_F(AoChannelsTest, ASingleRangeIsCoercedButNotSent) {
  report({300, 1, 303, 1000000});
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_FALSE(builder(0).selectable());
  EXPECT_TRUE(commitAndSent().empty());
  EXPECT_EQ(supportQueries(), 0u);
  EXPECT_EQ(range("AO0").getCoerced(), 1.0);
  EXPECT_EQ(builder(0).rangeCode(), 1000000u);
}

TEST_F(AoChannelsTest, AnEmptySourceRefusesEveryRangeWithTheRequestAlone) {
  report({300, 1, 308, 250000});
  ASSERT_EQ(openOutputs(), 0);
  const attrtest::Thrown refused = commit();
  EXPECT_EQ(refused.code, -304408);
  EXPECT_EQ(refused.detail, locationPrefix("atat/ranges/DiscreteRange", 200) +
                                usage("kUsageTypeRequestedValue", number("0.0"), "float") + "," +
                                comment("coercionType=coarseCoercionTypeUp(1)") + "," +
                                identity("536870942", "AO Range", "AO0") + kSectionEnd);
}

// The up-converter's list (0.25) replaces the device's (0.5, 1.0) while the channel's
// up-converter is on; output 1 stays selectable, since the device lists two ranges.
TEST_F(AoChannelsTest, TheUpconvertersRangesApplyWhileItIsEnabled) {
  std::vector<uint32_t> words = sim::capabilityWords(sim::CapabilityProfile::AnalogOutput);
  words.insert(words.end(), {307, 0, 307, 1, 307, 2});
  clip.setCapabilities(words);
  ASSERT_EQ(open([&] {
              features.push_back(&outputs.emplace(tree, configuration));
              features.push_back(&upconverter.emplace(tree, configuration));
            }),
            0);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(range("AO1").getCoerced(), 0.5);

  attribute<bool>(aotest::kUpconverter, "AO1").set(true);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {1, 250000}}, {0xD00, {2}}}));
  EXPECT_EQ(range("AO1").getCoerced(), 0.25);
  attribute<bool>(aotest::kUpconverter, "AO1").set(false);
  EXPECT_EQ(commitAndSent(), (SentList{{kRangePost, {1, 500000}}, {0xD00, {0}}}));

  // The links are made once: a second commission fails at the first linked builder.
  EXPECT_EQ(catchError([&] { outputs->commission(&roots.record, &registry); }).code, -52003);
}

TEST_F(AoChannelsTest, TheFiltersAreSentOnEveryDeployOfTheirChannel) {
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_TRUE(attribute<bool>(aotest::kFilter, "AO1").getCoerced());
  commitAndSent();
  EXPECT_EQ(supportQueries(), 1u);  // interface 13, once

  attribute<bool>(aotest::kFilter, "AO1").set(false);
  EXPECT_EQ(commitAndSent(), (SentList{{kFilterPost, {1, 0}}}));
  EXPECT_EQ(supportQueries(), 0u);
  EXPECT_TRUE(commitAndSent().empty());
}

TEST_F(AoChannelsTest, WithoutFilterImpedancesOrStatusOnlyTheRangesAreBuilt) {
  report({300, 2, 303, 500000});
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_EQ(outputs->channelObjects().children().size(), 2u);
  EXPECT_EQ(registry.getChannelNames(aotest::kRange), (std::vector<std::string>{"AO0", "AO1"}));
  EXPECT_EQ(registry.size(), 3u);
}

TEST_F(AoChannelsTest, AMissingInterface13FailsEveryDeployUntilItIsThere) {
  clip.removeInterface(13);
  ASSERT_EQ(openOutputs(), 0);
  EXPECT_EQ(commit().code, -304306);
  EXPECT_FALSE(configuration.interface13.done);
  clip.setInterface(13, {true, 0x400D, 1, 0});
  clip.clearLog();
  EXPECT_EQ(commit().code, 0);
  EXPECT_EQ(supportQueries(), 1u);
  EXPECT_TRUE(configuration.interface13.done);
}

TEST_F(AoChannelsTest, TheImpedanceMustBeOneTheClipLists) {
  ASSERT_EQ(openOutputs(), 0);
  auto& impedance = attribute<double>(aotest::kImpedance, "AO1");
  EXPECT_EQ(impedance.getCoerced(), 50.0);
  impedance.set(1000000.0);
  EXPECT_EQ(commitAndSent().size(), 4u);  // filters and ranges only
  const auto& property =
      dynamic_cast<const Impedance&>(*outputs->channelObjects().children().at(5));
  EXPECT_EQ(property.codeWord(), 1000000u);

  impedance.set(75.0);
  const attrtest::Thrown refused = commit();
  EXPECT_EQ(refused.code, -304408);
  EXPECT_EQ(refused.detail, locationPrefix("atat/ranges/DiscreteRange", 192) +
                                usage("kUsageTypeRequestedValue", number("75.0"), "float") + "," +
                                usage("kUsageTypePossibleValues", R"(["50.0","1.0e6"])", "float") +
                                "," + comment("coercionType=coarseCoercionTypeNone(0)") + "," +
                                identity("536870939", "AO Impedance", "AO1") + kSectionEnd);
  EXPECT_EQ(property.codeWord(), 1000000u);
}

TEST_F(AoChannelsTest, TheStatusIsAskedOnEveryRead) {
  ASSERT_EQ(openOutputs(), 0);
  auto& status = *registry.getTyped<iattr::AttributeInterface<qvvandrel::AoChannelStatus::Status>>(
      aotest::kStatus, "AO1");
  clip.state<sim::ClipAnalogOutput>().status[1] = 2;
  EXPECT_EQ(status.get(), 2);
  EXPECT_EQ(status.get(), 2);
  EXPECT_EQ(sent(13), (SentList{{kStatusCall, {1}}, {kStatusCall, {1}}}));
  EXPECT_EQ(supportQueries(), 1u);

  clip.state<sim::ClipAnalogOutput>().status[1] = 7;
  EXPECT_EQ(catchError([&] { status.get(); }).code, -52003);
  EXPECT_EQ(catchError([&] { status.set(qvvandrel::AoChannelStatus::Status{1}); }).code, -304414);
  // The status takes no part in a commit.
  clip.clearLog();
  EXPECT_EQ(commit().code, 0);
  EXPECT_TRUE(clip.log(kStatusCall).empty());
}

}  // namespace
