// The sample clock against the simulated CLIP: source and timebase checks, the rates and
// reduced ratios it derives, and the two instructions every deploy sends.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ClockTestbed.h"

namespace {

using namespace clocktest;
using namespace qvvandrel::oobx::attribute;
using Posts = std::vector<std::pair<uint16_t, uint32_t>>;
using qvvandrel::SampleClock;

constexpr uint32_t kSampleSource = SampleClock::kSourceId;
constexpr uint32_t kTimebase = SampleClock::kTimebaseId;
constexpr uint32_t kDataClock = SampleClock::kDataClockRateId;
constexpr uint32_t kDataDivisor = SampleClock::kDataClockDivisorId;
constexpr uint32_t kAdcRate = SampleClock::kAdcRateId;
constexpr uint32_t kAdcDivisor = SampleClock::kAdcDivisorId;
constexpr uint32_t kDacRate = SampleClock::kDacRateId;

// The reference clock on a PXI backplane (10 MHz from "Onboard") with the sample clock.
const std::vector<uint32_t> kReference = {200, 1, 201, 10000, 202, 100000};

std::vector<uint32_t> with(std::vector<uint32_t> words) {
  words.insert(words.begin(), kReference.begin(), kReference.end());
  return words;
}

std::string item(const char* tag, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}
std::string timebaseIdentifier() {
  return R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870935,)"
         R"("value_type":"int32_t","comment":"Sample Clock Timebase Rate"})";
}
std::string validation(int line, const std::string& items) {
  return attrtest::locationPrefix("qvvandrelbrenmooru/source/attributeValidation", line,
                                  "QVVANDREL_Status_InvalidAttributeValue") +
         items + attrtest::kSectionEnd;
}

class SampleClockTest : public ClockTestbed {
 protected:
  auto& timebase() { return attribute<double>(kTimebase); }
  uint64_t count(uint32_t id) { return attribute<uint64_t>(id).getCoerced(); }
  double rate(uint32_t id) { return attribute<double>(id).getCoerced(); }
  // The sample clock's posts since the log was cleared.
  Posts samplePosts() {
    Posts posts;
    for (const auto& post : clockPosts())
      if (post.first != 0x205) posts.push_back(post);
    return posts;
  }
};

TEST_F(SampleClockTest, SourcesAreTheCodesThatConvertAndTheFirstIsTheDefault) {
  open(true);
  auto& source = attribute<SampleClkSrc>(kSampleSource);
  EXPECT_EQ(source.getDefault(), kSampleClkSrcVariable);
  EXPECT_EQ(timebase().getDefault(), 1e9);  // capability 206
  EXPECT_EQ(attribute<int>(kDataDivisor).getDefault(), 4);
  EXPECT_EQ(attribute<int>(kAdcDivisor).getDefault(), 2);
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 1000000}}));
  // Both clocks use interface 2; it is checked once, by the first to deploy.
  EXPECT_EQ(interfaceQueries(), (std::vector<uint16_t>{0x009, 0x003, 0x007, 0x006}));
  EXPECT_TRUE(configuration.interface2.done);

  clearLogs();
  source.set(kSampleClkSrcFixed);
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 0}, {0x201, 1000000}}));
  EXPECT_TRUE(attribute<bool>(12238).getCoerced());

  // Code 7 converted to nothing, so 7 is no member.
  source.set(static_cast<SampleClkSrc>(7));
  const std::string type =
      R"({"type":"enum","id":268435475,"comment":"Sample Clock Source","value_type":"int32_t"})";
  EXPECT_EQ(commit().detail,
            attrtest::locationPrefix("atat/ranges/EnumRange", 103) +
                R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":7,"value_type":)" +
                type +
                R"(},{"type":"usage","usage":"kUsageTypePossibleValues","value":[0,1],)"
                R"("value_type":)" +
                type +
                R"(},{"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435475,)"
                R"("value_type":"int32_t","comment":"Sample Clock Source"})" +
                attrtest::kSectionEnd);
}

TEST_F(SampleClockTest, TheTimebaseIsCheckedAgainstWhatTheSourceAllows) {
  open(true);
  auto& source = attribute<SampleClkSrc>(kSampleSource);
  struct Row {
    SampleClkSrc source;
    double requested;
    bool passes;
  };
  const Row rows[] = {
      {kSampleClkSrcFixed, 1e9, true},          {kSampleClkSrcFixed, 1.0000000000001e9, true},
      {kSampleClkSrcFixed, 9.99e8, false},      {kSampleClkSrcVariable, 7.5e8, true},
      {kSampleClkSrcVariable, 4e8, false},      {kSampleClkSrcVariable, 1e9, true},
      {kSampleClkSrcVariable, 1.0001e9, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.source << ": " << row.requested);
    source.set(row.source);
    timebase().set(row.requested);
    EXPECT_EQ(commit().code, row.passes ? 0 : -304408);
  }

  source.set(kSampleClkSrcFixed);
  timebase().set(9.99e8);
  EXPECT_EQ(commit().detail,
            validation(95, item("kUsageTypeRequestedValue", R"("999.0e6")", "float") + "," +
                               item("kUsageTypeValidValues", R"("1.0e9")", "float") + "," +
                               timebaseIdentifier()));
  source.set(kSampleClkSrcVariable);
  timebase().set(4e8);
  EXPECT_EQ(commit().detail,
            validation(126, item("kUsageTypeRequestedValue", R"("400.0e6")", "float") + "," +
                                item("kUsageTypeMinValue", R"("500.0e6")", "float") + "," +
                                item("kUsageTypeMaxValue", R"("1.0e9")", "float") + "," +
                                timebaseIdentifier()));
}

TEST_F(SampleClockTest, WithoutBothLimitsNoRangeCheckRuns) {
  report(with({203, 1, 204, 500000, 207, 1}));
  open(true);
  timebase().set(4e8);
  commitOk();
  EXPECT_FALSE(attribute<bool>(12238).getCoerced());
  EXPECT_FALSE(registry.contains(kAdcRate, ""));
  EXPECT_FALSE(registry.contains(kDacRate, ""));
  // A timebase of 1234.5 Hz is 1 kHz to the CLIP, truncated.
  clearLogs();
  timebase().set(1234.5);
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 1}}));
}

TEST_F(SampleClockTest, RatesAndReducedRatiosFollowTheDivisors) {
  report(with({203, 1, 207, 4, 208, 2}));
  open(true);
  timebase().set(1e9);
  commitOk();
  EXPECT_EQ(rate(kDataClock), 2.5e8);
  EXPECT_EQ(rate(kAdcRate), 5e8);
  EXPECT_EQ(rate(10734), 5e8);
  EXPECT_EQ(rate(10735), 2.5e8);
  EXPECT_EQ(count(10736), 1u);
  EXPECT_EQ(count(10737), 2u);
  EXPECT_EQ(count(8790), 50u);
  EXPECT_EQ(count(8791), 1u);

  // A divisor below 1 fails before anything is derived.
  attribute<int>(kDataDivisor).set(0);
  EXPECT_EQ(commit().detail,
            validation(141, item("kUsageTypeRequestedValue", "0", "int32_t") + "," +
                                item("kUsageTypeMinValue", "1", "int32_t") + "," +
                                R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier",)"
                                R"("value":268435477,"value_type":"int32_t",)"
                                R"("comment":"Data Clock Divisor"})"));
  EXPECT_EQ(rate(kDataClock), 2.5e8);
  attribute<int>(kDataDivisor).set(8);
  attribute<int>(kAdcDivisor).set(-5);
  EXPECT_EQ(commit().code, -304408);
  EXPECT_EQ(rate(kAdcRate), 5e8);
}

TEST_F(SampleClockTest, WithoutAdcDacOrUserClockTheSampleRateKeepsItsValue) {
  report(with({203, 1, 207, 4}));
  open(true);
  commitOk();
  // 10734 was never set: (0, 2.5e8) reduces to 0 : 1.
  EXPECT_EQ(rate(10734), 0.0);
  EXPECT_EQ(count(10737), 0u);
  EXPECT_EQ(count(10736), 1u);
  // (1e7, 0): B is 0, so g = A.
  EXPECT_EQ(count(8791), 1u);
  EXPECT_EQ(count(8790), 0u);

  // A value the host gives 10734 is what the ratios use; both rounding to 0 stores nothing.
  attribute<double>(10734).set(0.4);
  attribute<int>(kDataDivisor).set(1);
  timebase().set(0.3);
  commitOk();
  EXPECT_EQ(count(10737), 0u);
  EXPECT_EQ(count(10736), 1u);
  attribute<double>(10734).set(7.5e8);
  timebase().set(1e9);
  commitOk();
  EXPECT_EQ(count(10737), 3u);
  EXPECT_EQ(count(10736), 4u);
  EXPECT_EQ(count(8790), 75u);
  EXPECT_EQ(count(8791), 1u);
}

TEST_F(SampleClockTest, TheUserClockDrivesTheTimebase) {
  report(with({203, 1, 207, 4}));
  auto& userClock = addUserClock(2.5e8);
  open(true);
  timebase().set(7.5e8);  // still validated, then replaced
  commitOk();
  EXPECT_EQ(timebase().getCoerced(), 1e9);
  EXPECT_EQ(timebase().getDesired(), 7.5e8);
  EXPECT_EQ(rate(kDataClock), 2.5e8);
  EXPECT_EQ(rate(10734), 2.5e8);
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 1000000}}));

  // The fault mended: a frequency that gives no convertible timebase fails the compile, with
  // the timebase's range items, before anything is derived or sent.
  for (double bad : {std::numeric_limits<double>::infinity(), 1e30, -2.5e8,
                     std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(bad);
    clearLogs();
    userClock.setCoerced(bad);
    userClock.setDirty(true);
    const auto thrown = commit();
    EXPECT_EQ(thrown.code, -304408);
    EXPECT_NE(thrown.detail.find(R"("file":"qvvandrelbrenmooru/source/attributeValidation",)"
                                 R"("line":126)"),
              std::string::npos);
    EXPECT_NE(thrown.detail.find(timebaseIdentifier()), std::string::npos);
    EXPECT_EQ(timebase().getCoerced(), 1e9);
    EXPECT_EQ(rate(kDataClock), 2.5e8);
    EXPECT_TRUE(clip.log().empty());
  }
  userClock.setCoerced(1e8);
  userClock.setDirty(true);
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 400000}}));
}

TEST_F(SampleClockTest, ATimebaseBeyondAnyCountIsRefusedAndNothingSent) {
  report(with({203, 1, 207, 1, 208, 1}));
  open(true);
  commitOk();
  for (double bad : {std::numeric_limits<double>::infinity(), 1e30, 0x1p63}) {
    SCOPED_TRACE(bad);
    clearLogs();
    timebase().set(bad);
    const auto thrown = commit();
    EXPECT_EQ(thrown.code, -304408);
    EXPECT_EQ(thrown.detail.substr(
                  thrown.detail.rfind(R"({"type":"usage","usage":"kUsageTypeMinValue")")),
              item("kUsageTypeMinValue", R"("0.0")", "float") + "," +
                  item("kUsageTypeMaxValue", R"("9.223372e18")", "float") + "," +
                  timebaseIdentifier() + attrtest::kSectionEnd);
    EXPECT_TRUE(clip.log().empty());
    EXPECT_EQ(count(8790), 100u);
  }
  // The largest double below 2^63 still converts.
  timebase().set(std::nextafter(0x1p63, 0.0));
  commitOk();
}

TEST_F(SampleClockTest, EveryDeploySendsBothInstructions) {
  open(true);
  commitOk();
  clearLogs();
  // A divisor changes nothing the CLIP is told, yet both go out again.
  attribute<int>(kDataDivisor).set(8);
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 1000000}}));
  clearLogs();
  kommissar.requestRedeploy();
  commitOk();
  EXPECT_EQ(samplePosts(), (Posts{{0x203, 1}, {0x201, 1000000}}));
  // A post that fails is raised; the source is already sent.
  clearLogs();
  kommissar.requestRedeploy();
  clip.script(0x201, {0, -50553});
  EXPECT_EQ(commit().code, -50553);
  EXPECT_EQ(clip.log(0x203).size(), 1u);
}

TEST_F(SampleClockTest, WithoutTheReferenceRateTheCompileFails) {
  open(true, false, true);
  EXPECT_EQ(commit().code, -52003);
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(SampleClockTest, ASecondConnectIsRefusedAtTheFirstLinkMade) {
  open(true);
  EXPECT_EQ(
      attrtest::catchError([&] { sample->connect(&kommissar.resolverRoots(), &registry); }).code,
      -52003);
}

TEST_F(SampleClockTest, WithoutSourcesTheFeatureIsAbsent) {
  report(kReference);
  open(true);
  EXPECT_FALSE(registry.contains(kSampleSource, ""));
  EXPECT_FALSE(registry.contains(kTimebase, ""));
  commitOk();
  EXPECT_TRUE(samplePosts().empty());
}

}  // namespace
