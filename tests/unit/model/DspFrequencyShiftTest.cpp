#include "model/DspFrequencyShift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "../attributes/TestSupport.h"

namespace {

using attrtest::catchError;
using qvvandrel::DependencyAttribute;

constexpr std::uint32_t kMagnitude = 0x2000002A;  // "DSP Frequency Shift Magnitude"
constexpr std::uint32_t kShift = 0x2000002B;      // "DSP Frequency Shift"
constexpr std::uint32_t kAdcRate = 0x20000016;    // "ADC Sample Rate"

class FrequencyShifts : public ::testing::Test {
 protected:
  DependencyAttribute<double>* add(const char* channel) {
    magnitudes_.push_back(
        std::make_unique<DependencyAttribute<double>>(kMagnitude, channel, &zero_));
    shifts_.push_back(std::make_unique<DependencyAttribute<double>>(kShift, channel, &zero_));
    entries_.push_back({magnitudes_.back().get(), shifts_.back().get()});
    return magnitudes_.back().get();
  }

  std::vector<std::uint64_t> compile(const DependencyAttribute<double>* rate) {
    std::vector<std::uint64_t> words;
    qvvandrel::compileDspFrequencyShifts(entries_, rate, words);
    return words;
  }

  const double zero_ = 0.0;
  std::vector<std::unique_ptr<DependencyAttribute<double>>> magnitudes_, shifts_;
  std::vector<qvvandrel::DspFrequencyShiftEntry> entries_;
};

TEST_F(FrequencyShifts, WordsOfHostMagnitudes) {
  add("AI0")->set(0.25);
  add("AI1")->set(-0.25);
  add("AI2")->set(0.0);
  add("AI3")->set(1.0 / 65536);  // 2^32 << 16
  EXPECT_EQ(compile(nullptr), (std::vector<std::uint64_t>{0x4000000000000000, 0xC000000000000000, 0,
                                                          0x0001000000000000}));
}

TEST_F(FrequencyShifts, UnsetMagnitudesFollowTheFrequency) {
  auto* magnitude = add("AI0");
  shifts_[0]->set(250000.0);
  // No linked rate: the default of one megahertz.
  EXPECT_EQ(compile(nullptr), (std::vector<std::uint64_t>{0x4000000000000000}));
  EXPECT_EQ(magnitude->getCoerced(), 0.25);
  EXPECT_EQ(magnitude->getDesired(), 0.0);

  const double gigahertz = 1.0e9;
  DependencyAttribute<double> rate(kAdcRate, "", &gigahertz);
  // 0.00025 × 2^48 = 70368744177.664, truncated to 0x10624DD2F1, shifted left by 16.
  const std::uint64_t expected = 0x0010624DD2F10000;
  EXPECT_EQ(compile(&rate), (std::vector<std::uint64_t>{expected}));
  EXPECT_EQ(magnitude->getCoerced(), 0.00025);

  // Set by an internal write: still follows the frequency.
  magnitude->setDesired(0.5);
  EXPECT_EQ(compile(&rate), (std::vector<std::uint64_t>{expected}));
}

TEST_F(FrequencyShifts, MagnitudesWithoutAWordAreRejected) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double x : {inf, -inf, std::nan(""), 32768.0, -32768.0, 1.0e300}) {
    SCOPED_TRACE(x);
    DependencyAttribute<double> magnitude(kMagnitude, "AO1", &zero_);
    const auto thrown = catchError([&] { qvvandrel::dspFrequencyShiftWord(magnitude, x); });
    EXPECT_EQ(thrown.code, -304408);
  }
  DependencyAttribute<double> magnitude(kMagnitude, "AO1", &zero_);
  // The largest magnitude below the limit still has a word: (2^63 - 2^10) << 16.
  EXPECT_EQ(qvvandrel::dspFrequencyShiftWord(magnitude, std::nextafter(32768.0, 0.0)),
            0xFFFFFFFFFC000000u);
  const auto thrown = catchError([&] { qvvandrel::dspFrequencyShiftWord(magnitude, inf); });
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("qvvandrel/dsp/FrequencyShift", 37,
                               "QVVANDREL_Status_InvalidAttributeValue") +
          R"({"type":"usage","usage":"kUsageTypeInvalidInput","value":"Infinity","value_type":"float"},)"
          R"({"type":"comment","comment":"The frequency shift magnitude must be a finite number below 32768 in size."},)"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870954,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AO1","value_type":"string"})" +
          attrtest::kSectionEnd);
}

TEST_F(FrequencyShifts, AZeroSampleRateStoresNothing) {
  auto* magnitude = add("AI0");
  shifts_[0]->set(1000.0);
  magnitude->setCoerced(0.125);
  const double none = 0.0;
  DependencyAttribute<double> rate(kAdcRate, "", &none);
  EXPECT_EQ(catchError([&] { compile(&rate); }).code, -304408);
  EXPECT_EQ(magnitude->getCoerced(), 0.125);
}

}  // namespace
