// The external analog trigger: presence from the DAC's description, the level's range and DAC
// code, the hysteresis check, and the two instructions of a deploy.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../attributes/TestSupport.h"
#include "ConverterTestbed.h"
#include "features/ExternalAnalogTrigger.h"

namespace {

using attrtest::catchError;
using qvvandrel::ExternalAnalogTrigger;

constexpr uint32_t kTriggerLevel = 0x20000004, kRising = 0x4000000B,
                   kTriggerHysteresis = 0x20000021;
// Codes 0..4095, 4095 codes per 10 V, 0 V at code 2048: 409.5 codes per volt.
constexpr std::initializer_list<std::pair<uint32_t, uint32_t>> kDac12 = {
    {400, 0}, {401, 4095}, {402, 4095}, {404, 10}, {403, 2048}};
constexpr double kMinimum = -5.001221001221001, kMaximum = 4.998778998778999;  // -2048, 2047 codes

constexpr uint32_t bits(int32_t v) {
  return static_cast<uint32_t>(v);
}

class ExternalAnalogTriggerTest : public featuretest::ConverterTestbed {
 protected:
  ExternalAnalogTriggerTest() { open({}); }
  std::unique_ptr<ExternalAnalogTrigger> make(
      std::initializer_list<std::pair<uint32_t, uint32_t>> dac = kDac12) {
    report(dac);
    auto trigger = std::make_unique<ExternalAnalogTrigger>(capabilities, configuration);
    commission(*trigger);
    return trigger;
  }
  iattr::AttributeInterface<double>& level() { return attribute<double>(kTriggerLevel); }
  iattr::AttributeInterface<double>& hysteresis() { return attribute<double>(kTriggerHysteresis); }
};

TEST_F(ExternalAnalogTriggerTest, TheDacNeedsAllFiveOfItsValues) {
  std::unique_ptr<ExternalAnalogTrigger> trigger =
      make({{400, 0}, {401, 4095}, {402, 4095}, {404, 10}});  // no offset (403)
  EXPECT_FALSE(trigger->present());
  EXPECT_EQ(registry.size(), 0u);
  commit();
  EXPECT_TRUE(clip.log(0xE00).empty());
  EXPECT_TRUE(clip.log(0xE02).empty());
}

TEST_F(ExternalAnalogTriggerTest, TheLevelBecomesTheVoltageOfItsDacCode) {
  std::unique_ptr<ExternalAnalogTrigger> trigger = make();
  EXPECT_EQ(registry.size(), 3u);
  level().set(1.0);
  commit();
  // trunc(1.0 x 409.5 + 2048 + 0.5) = 2458; rising slope 0.
  EXPECT_EQ(posted(0xE02), std::vector<uint32_t>{2458});
  EXPECT_EQ(posted(0xE00), std::vector<uint32_t>{0});
  EXPECT_EQ(level().get(), (2458 - 2048) / 409.5);
  EXPECT_EQ(clip.log(0x009).size(), 1u);  // interface 14 required once

  attribute<bool>(kRising).set(false);
  commit();
  EXPECT_EQ(posted(0xE00), std::vector<uint32_t>{1});
  EXPECT_TRUE(clip.log(0x009).empty());

  // The ends of the range, the top one exceeded by less than the tolerance.
  for (const auto& [volts, code] : {std::pair{kMinimum, 0u}, {kMaximum * (1 + 5e-13), 4095u}}) {
    level().set(volts);
    commit();
    EXPECT_EQ(posted(0xE02), std::vector<uint32_t>{code});
  }
}

// One double item of the detail.
std::string item(const char* usage, const char* value) {
  return std::string(R"({"type":"usage","usage":")") + usage + R"(","value":")" + value +
         R"(","value_type":"float"},)";
}

TEST_F(ExternalAnalogTriggerTest, ALevelOutOfTheDacsReachIsRefusedWithTheBounds) {
  std::unique_ptr<ExternalAnalogTrigger> trigger = make();
  for (double refused : {kMaximum * (1 + 2e-12), kMinimum * (1 + 2e-12)}) {
    level().set(refused);
    EXPECT_EQ(catchError([&] { commit(); }).code, -304408);
    EXPECT_TRUE(clip.log(0xE02).empty());
  }
  level().set(6.0);
  EXPECT_EQ(catchError([&] { commit(); }).detail,
            attrtest::locationPrefix("qvvandrelbrenmooru/source/attributeValidation", 126,
                                     "QVVANDREL_Status_InvalidAttributeValue") +
                item("kUsageTypeRequestedValue", "6.0") + item("kUsageTypeMinValue", "-5.001221") +
                item("kUsageTypeMaxValue", "4.998779") +
                R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870916,)"
                R"("value_type":"int32_t","comment":"External Analog Edge Trigger Level"})" +
                attrtest::kSectionEnd);
}

TEST_F(ExternalAnalogTriggerTest, TheHysteresisIsCheckedAndIsTheInputsOwn) {
  std::unique_ptr<ExternalAnalogTrigger> trigger = make();  // no maximum (405)
  commit();
  EXPECT_EQ(hysteresis().get(), 0.0);
  hysteresis().set(0.001);
  EXPECT_EQ(catchError([&] { commit(); }).code, -304408);
  EXPECT_TRUE(clip.log(0xE02).empty());

  report({{405, 250000}});  // 0.25 V
  ExternalAnalogTrigger withMaximum(capabilities, configuration);
  EXPECT_EQ(withMaximum.dac().maximumHysteresis, 0.25);
  withMaximum.hysteresis().set(0.1);
  withMaximum.compile();
  EXPECT_EQ(withMaximum.hysteresis().getCoerced(), 0.25);
  withMaximum.hysteresis().set(0.3);
  EXPECT_EQ(catchError([&] { withMaximum.compile(); }).code, -304408);
}

TEST_F(ExternalAnalogTriggerTest, NegativeCodeLimitsAreSigned) {
  // Codes -2048..2047 at 0 V = code 0, 204.8 codes per volt.
  std::unique_ptr<ExternalAnalogTrigger> trigger =
      make({{400, bits(-2048)}, {401, 2047}, {402, 2048}, {404, 10}, {403, 0}});
  level().set(-10.0);
  commit();
  // trunc(-2048 + 0.5): the code the level read back describes is the code sent.
  EXPECT_EQ(posted(0xE02), std::vector<uint32_t>{bits(-2047)});
  EXPECT_EQ(level().get(), -2047 / 204.8);
}

TEST_F(ExternalAnalogTriggerTest, ADacWithoutAScaleGivesNoCodeAndSendsNothing) {
  for (auto [numerator, denominator] : {std::pair{0u, 10u}, {4095u, 0u}}) {
    SCOPED_TRACE(testing::Message() << numerator << "/" << denominator);
    qvvandrel::ClipCapabilities dac(false);
    for (const auto& [id, value] : kDac12) dac.handlers().at(id)->acceptValue(value);
    dac.cap402.acceptValue(numerator);
    dac.cap404.acceptValue(denominator);
    ExternalAnalogTrigger trigger(dac, configuration);
    EXPECT_EQ(catchError([&] { trigger.compile(); }).code, -304408);
  }
  EXPECT_TRUE(clip.log().empty());
}

}  // namespace
