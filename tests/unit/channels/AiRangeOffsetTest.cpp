// The analog-input range and offset. The profile lists ranges 10, 2 and 0.5; the offset DAC of
// 10 takes codes 0 to 65535 with zero 32768 and 32768 / 10 codes per unit (k = 3276.8), that of
// 2 the same codes with k = 16384, that of 0.5 has no scale.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "AiTestbed.h"
#include "channels/ai/VerticalOffset.h"

namespace {

using aitest::Settings;
namespace ai = qvvandrel::config::ai;

using AiRangeOffsetTest = aitest::AiTestbed;

constexpr double kK10 = 32768.0 / 10.0;

std::string usage(const char* tag, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}

// The location and items of a value outside its limits.
std::string outsideLimits(const std::string& requested, const std::string& minimum,
                          const std::string& maximum, const char* type, const std::string& id) {
  return attrtest::locationPrefix("qvvandrelbrenmooru/source/attributeValidation", 126,
                                  "QVVANDREL_Status_InvalidAttributeValue") +
         usage("kUsageTypeRequestedValue", requested, type) + "," +
         usage("kUsageTypeChannelName", R"("AI0")", "string") + "," +
         usage("kUsageTypeMinValue", minimum, type) + "," +
         usage("kUsageTypeMaxValue", maximum, type) + "," + id + attrtest::kSectionEnd;
}

TEST_F(AiRangeOffsetTest, RangesCoerceUpToAListedOneAndAreResentWithTheOffset) {
  openAndCommit();
  auto& range = attribute<double>(aitest::kRange, "AI0");
  EXPECT_EQ(range.getDefault(), 10.0);
  const struct {
    double request, coerced;
    uint32_t word;
  } rows[] = {{1.0, 2.0, 2000000}, {2.0 + 1e-13, 2.0, 2000000}, {10.0, 10.0, 10000000}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    range.set(row.request);
    ASSERT_EQ(commit().code, 0);
    EXPECT_EQ(range.getCoerced(), row.coerced);
    EXPECT_EQ(settings(), (Settings{{0x909, 0, row.word}, {0x90B, 0, 32768}}));
    clip.clearLog();
  }
  range.set(11.0);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_NE(thrown.detail.find(usage("kUsageTypeMaxValue", R"("10.0")", "float")),
            std::string::npos);
  EXPECT_TRUE(settings().empty());
}

TEST_F(AiRangeOffsetTest, ASingleRangeIsCoercedButNeverSent) {
  clip.setCapabilities({100, 1, 101, 5000000, 102, 0, 103, 65535, 112, 1, 113, 1, 114, 100});
  ASSERT_EQ(open(), 0);
  auto& range = attribute<double>(aitest::kRange, "AI0");
  range.set(4.0);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(range.getCoerced(), 5.0);
  EXPECT_EQ(settings(), (Settings{{0x90B, 0, 100}}));
}

TEST_F(AiRangeOffsetTest, AnOffsetIsSentAsTheCodeOfTheOffsetItGives) {
  openAndCommit();
  auto& offset = attribute<double>(aitest::kOffset, "AI0");
  auto& dac = attribute<int>(aitest::kDac, "AI0");
  offset.set(1.0);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x90B, 0, 29491}}));
  EXPECT_EQ(dac.getCoerced(), 29491);
  EXPECT_EQ(offset.getCoerced(), 3277 / kK10);
  EXPECT_EQ(offset.getDesired(), 1.0);

  // The limits: a larger offset takes a smaller code.
  const struct {
    double request;
    int code;
  } rows[] = {{10.0, 0}, {-9.9996, 65535}, {0.0, 32768}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.request);
    clip.clearLog();
    offset.set(row.request);
    ASSERT_EQ(commit().code, 0);
    EXPECT_EQ(dac.getCoerced(), row.code);
    EXPECT_EQ(settings(), (Settings{{0x90B, 0, static_cast<uint32_t>(row.code)}}));
  }
  clip.clearLog();
  const std::string identifier =
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870943,)"
      R"("value_type":"int32_t","comment":"AI Offset"})";
  offset.set(-10.0);  // code 65536
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(thrown.detail,
            outsideLimits(R"("-10.0")", R"("-9.999695")", R"("10.0")", "float", identifier));
  offset.set(10.0001);
  EXPECT_EQ(commit().code, -304408);
  EXPECT_EQ(dac.getCoerced(), 32768);
  EXPECT_TRUE(settings().empty());
}

TEST_F(AiRangeOffsetTest, ADacCodeSetByTheHostDrivesTheOffset) {
  openAndCommit();
  auto& offset = attribute<double>(aitest::kOffset, "AI0");
  auto& dac = attribute<int>(aitest::kDac, "AI0");
  offset.set(5.0);
  dac.set(29491);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x90B, 0, 29491}}));
  EXPECT_EQ(offset.getCoerced(), 3277 / kK10);

  clip.clearLog();
  dac.set(70000);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(
      thrown.detail,
      outsideLimits("70000", "0", "65535", "uint32_t",
                    R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier",)"
                    R"("value":268435484,"value_type":"int32_t","comment":"AI Offset DAC"})"));
  EXPECT_TRUE(settings().empty());

  // Reset, the DAC follows the offset again: 32768 - 5 * 3276.8 + 0.5.
  dac.reset();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(settings(), (Settings{{0x90B, 0, 16384}}));
  EXPECT_EQ(offset.getCoerced(), 5.0);
}

TEST_F(AiRangeOffsetTest, ARangeWhoseDacHasNoScaleFailsTheCompile) {
  openAndCommit();
  attribute<double>(aitest::kRange, "AI0").set(0.3);
  EXPECT_EQ(commit().code, -52003);
  EXPECT_TRUE(settings().empty());
}

TEST_F(AiRangeOffsetTest, AnIncompleteDacTableMakesNoOffset) {
  clip.setCapabilities(sim::capabilityWords(sim::CapabilityProfile::AnalogInputShortOffsetList));
  ASSERT_EQ(open(), 0);
  EXPECT_TRUE(registry.contains(aitest::kRange, "AI0"));
  EXPECT_FALSE(registry.contains(aitest::kOffset, "AI0"));
  EXPECT_FALSE(registry.contains(aitest::kDac, "AI3"));
  ASSERT_EQ(commit().code, 0);
  EXPECT_TRUE(clip.log(0x90B).empty());
}

TEST_F(AiRangeOffsetTest, TheOffsetLinksItsChannelsRangeOnce) {
  // Without the range feature the offset has no range to work from.
  tree.load(fifo);
  ai::VerticalOffset alone(tree, interface9);
  alone.registerAttributes(&registry);
  alone.commission(&roots.record, &registry);
  EXPECT_EQ(commit().code, -52003);

  atat::AttributeRegistry fresh = modeltest::makeRegistry();
  modeltest::Roots freshRoots;
  qvvandrel::IfifoInterfaceCheck check{ref};
  ai::Channels group(tree, check);
  group.registerAttributes(&fresh);
  group.commission(&freshRoots.record, &fresh);
  EXPECT_EQ(attrtest::catchError([&] { group.commission(&freshRoots.record, &fresh); }).code,
            -52003);
}

}  // namespace
