// The PLL divider search and its parts on capability trees built without a CLIP: the numeric
// examples, first fit against best fit, the failures, and the bounds that keep wide ranges and
// extreme values finite and defined.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "UserClockSupport.h"
#include "clocks/OutputDividerEnumerator.h"
#include "clocks/PllDividerSearch.h"

namespace {

using namespace userclocktest;
using qvvandrel::OutputDividerEnumerator;
using qvvandrel::PllSettings;
using sim::SectionFields;
namespace pll = qvvandrel::pll;

// A clock on PLL 0 with codes min..max, a base and optionally a step.
SectionFields clock(uint32_t min, uint32_t max, std::optional<uint32_t> base = std::nullopt,
                    std::optional<uint32_t> stepMilliHz = std::nullopt) {
  SectionFields c = {{600, {0}}, {601, {max}}, {602, {min}}};
  if (base) c[605] = {*base};
  if (stepMilliHz) c[606] = {*stepMilliHz};
  return c;
}

// A PLL of the given chip type without R, P or fraction limits: R 1..1, P 1..1, N rounded.
SectionFields plainPll(uint32_t chip, uint32_t vcoMinKHz, uint32_t vcoMaxKHz) {
  return {{500, {chip}},   {501, {vcoMinKHz}}, {502, {vcoMaxKHz}}, {521, {1000}},
          {522, {100000}}, {509, {4095}},      {510, {1}}};
}

std::string pllFailure(int line, const std::string& data) {
  return attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", line,
                                  "QVVANDREL_Status_InvalidPllCapabilities") +
         data + attrtest::kSectionEnd;
}

// The convergents of a double, exactly: x is m / 2^e, expanded by Euclid's algorithm.
std::vector<std::pair<uint64_t, uint64_t>> exactConvergents(double x) {
  int exponent = 0;
  const double mantissa = std::frexp(x, &exponent);
  unsigned __int128 p = static_cast<uint64_t>(std::ldexp(mantissa, 53));
  unsigned __int128 q = static_cast<unsigned __int128>(1) << (53 - exponent);
  std::vector<std::pair<uint64_t, uint64_t>> convergents;
  unsigned __int128 h2 = 0, h1 = 1, k2 = 1, k1 = 0;
  while (q != 0 && h1 <= 0xFFFFFFFFull && k1 <= 0xFFFFFFFFull) {
    const unsigned __int128 a = p / q;
    const unsigned __int128 h = a * h1 + h2;
    const unsigned __int128 k = a * k1 + k2;
    convergents.emplace_back(static_cast<uint64_t>(h), static_cast<uint64_t>(k));
    const unsigned __int128 r = p - a * q;
    p = q;
    q = r;
    h2 = h1, h1 = h, k2 = k1, k1 = k;
  }
  return convergents;
}

TEST(PllDividerSearch, ContinuedFractionsOfRandomFractionsAreTheirConvergents) {
  std::mt19937_64 random(22);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  constexpr uint64_t kLimit = 0x3FFFFF;
  constexpr double kEpsilon = 2.384186359449949e-07;
  for (int i = 0; i < 2000; ++i) {
    const double x = i % 4 == 0 ? uniform(random) * 1e-3 : uniform(random);
    const pll::Fraction f = pll::continuedFraction(x);
    const auto convergents = exactConvergents(x);
    const auto at = std::find(convergents.begin(), convergents.end(),
                              std::pair<uint64_t, uint64_t>(f.numerator, f.denominator));
    ASSERT_NE(at, convergents.end()) << x << " gave " << f.numerator << "/" << f.denominator;
    EXPECT_LE(f.denominator, kLimit);
    EXPECT_LE(f.numerator, kLimit);
    // The expansion stops once the next term would be at least 1 / epsilon, unless the next
    // convergent no longer fits: so it lies within epsilon / den^2 of x.
    const auto next = at + 1;
    if (next != convergents.end() && next->first <= kLimit && next->second <= kLimit) {
      const double den = f.denominator;
      EXPECT_LE(std::fabs(x - static_cast<double>(f.numerator) / den),
                1.01 * kEpsilon / (den * den))
          << x;
    }
  }
}

TEST(PllDividerSearch, FractionsAndBandCodesOfWorkedExamples) {
  const struct {
    double x;
    uint32_t numerator, denominator, eighths;
  } fractions[] = {{1.0 / 3, 1, 3, 3},   {0.5, 1, 2, 4},    {0.3, 3, 10, 2},
                   {0.9999999, 1, 1, 7}, {0.0, 0, 1, 0},    {0.97, 97, 100, 7},
                   {0.9375, 15, 16, 7},  {0.0625, 1, 16, 0}};
  for (const auto& c : fractions) {
    const pll::Fraction f = pll::continuedFraction(c.x);
    EXPECT_EQ(std::make_pair(f.numerator, f.denominator),
              std::make_pair(c.numerator, c.denominator))
        << c.x;
    EXPECT_EQ(pll::nearestEighth(c.x), c.eighths) << c.x;  // never 8/8; a tie takes the smaller
  }
  const struct {
    double n;
    uint8_t a, b;
  } bands[] = {{65.25998, 2, 2},     {65.259980246, 2, 3}, {65.26, 2, 3},
               {67.859763463, 3, 3}, {72.937624981, 3, 4}, {75.843265045, 3, 4},
               {75.843265046, 4, 4}, {500.0, 4, 4}};
  for (const auto& c : bands) EXPECT_EQ(pll::bandCodes(c.n), std::make_pair(c.a, c.b)) << c.n;
}

TEST(PllDividerSearch, FractionsByChipType) {
  // N = 100.3 from a 1003 MHz clock divided by 1 on a 10 MHz phase detector.
  SectionFields chip0 = plainPll(0, 1000000, 1010000);
  chip0.insert({{511, {0x3FFFFF}},
                {512, {0}},
                {513, {0x3FFFFF}},
                {514, {1}},
                {515, {1}},
                {516, {1}},
                {503, {1}},
                {504, {1}}});
  SectionFields chip3 = chip0;
  chip3[500] = {3};
  PllSettings lmk = search(*treeOf(chip0, {clock(1, 1)}), {0}, {1003e6});
  EXPECT_EQ(lmk.nDividerFracNum, 3u);
  EXPECT_EQ(lmk.nDividerFracDen, 10u);
  EXPECT_DOUBLE_EQ(lmk.nDivider, 100.3);
  // Chip type 3 sets eighths: 100 + 2/8.
  PllSettings eighths = search(*treeOf(chip3, {clock(1, 1)}), {0}, {1002.5e6});
  EXPECT_EQ(eighths.nDividerFracNum, 2u);
  EXPECT_EQ(eighths.nDividerFracDen, 8u);
  EXPECT_EQ(eighths.nDivider, 100.25);

  // The fixed-point fraction (525 without 513): half of 2^29, N unchanged.
  SectionFields fixed = plainPll(2, 1000000, 1010000);
  fixed[525] = {0x1FFFFFFF};
  const PllSettings half = search(*treeOf(fixed, {clock(1, 1)}), {0}, {1005e6});
  EXPECT_EQ(half.nDividerFracFixed, 268435456u);
  EXPECT_EQ(half.nDivider, 100.5);
  // Neither: N rounded, halves away from zero.
  EXPECT_EQ(search(*treeOf(plainPll(2, 1000000, 1010000), {clock(1, 1)}), {0}, {1005e6}).nDivider,
            101.0);

  // A fraction the chip type cannot set.
  for (uint32_t chip : {1u, 2u}) {
    SectionFields other = plainPll(chip, 1000000, 1010000);
    other[513] = {0x3FFFFF};
    const attrtest::Thrown thrown =
        attrtest::catchError([&] { search(*treeOf(other, {clock(1, 1)}), {0}, {1005e6}); });
    EXPECT_EQ(thrown.code, -304510);
    EXPECT_EQ(thrown.detail,
              pllFailure(611, R"("Unhandled fractional divider for PLL chip type ",)" +
                                  std::to_string(chip)));
  }
}

TEST(PllDividerSearch, FirstFitTakesTheFirstRAndBestFitTheClosest) {
  // 33.3333 MHz undivided: N = 3.33333 R, rounded. R = 1 gives 30 MHz, R = 3 gives 33.333 MHz,
  // within the default 1 kHz tolerance.
  SectionFields first = plainPll(2, 30000, 40000);
  first.insert({{503, {10}}, {504, {1}}});
  SectionFields best = first;
  best[500] = {1};
  const PllSettings quick = search(*treeOf(first, {clock(1, 1)}), {0}, {33.3333e6});
  EXPECT_EQ(quick.rDivider, 1u);
  EXPECT_EQ(quick.nDivider, 3.0);
  const PllSettings close = search(*treeOf(best, {clock(1, 1)}), {0}, {33.3333e6});
  EXPECT_EQ(close.rDivider, 3u);
  EXPECT_EQ(close.nDivider, 10.0);

  // A step of 0 asks for an exact hit: no R gives one, so after the last R the best one stands,
  // 33.3 Hz off; with R up to 2 only, the best is 1.67 MHz off, beyond the 10 kHz allowed.
  const PllSettings exact = search(*treeOf(best, {clock(1, 1, std::nullopt, 0)}), {0}, {33.3333e6});
  EXPECT_EQ(exact.rDivider, 3u);
  best[503] = {2};
  EXPECT_THROW(search(*treeOf(best, {clock(1, 1, std::nullopt, 0)}), {0}, {33.3333e6}), GroupError);
}

TEST(PllDividerSearch, NoPhaseDetectorWindow) {
  const std::string items =
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"10.0e6","value_type":"float"},)"
      R"({"type":"usage","usage":"kUsageTypeMinValue","value":1000000,"value_type":"uint32_t"},)";
  const auto detail = [&](const std::string& max) {
    return attrtest::locationPrefix("qvvandrelbrenmooru/source/UserClock", 573,
                                    "QVVANDREL_Status_RefClkRangeUnsupported") +
           items + max + attrtest::kSectionEnd;
  };
  // An empty R range fails before anything else, even a P step of 0.
  SectionFields pll = plainPll(2, 1000000, 1010000);
  pll.insert({{503, {2}}, {504, {3}}, {524, {0}}});
  EXPECT_EQ(
      attrtest::catchError([&] { search(*treeOf(pll, {clock(1, 1)}), {0}, {1005e6}); }).detail,
      detail(
          R"({"type":"usage","usage":"kUsageTypeMaxValue","value":100000000,"value_type":"uint32_t"})"));
  // No R brings 10 MHz into [1, 5 GHz]... from above: the window's top, 5,000,000 kHz, is past
  // 32 bits in Hz and reported as a 64-bit value.
  pll = plainPll(2, 1000000, 1010000);
  pll[521] = {1000};
  pll[522] = {5000000};
  pll.insert({{503, {4}}, {504, {1}}});
  const attrtest::Thrown thrown =
      attrtest::catchError([&] { search(*treeOf(pll, {clock(1, 1)}), {0}, {1005e6}, 1e8); });
  EXPECT_EQ(thrown.code, -304434);
  EXPECT_NE(thrown.detail.find(R"("value":5000000000,"value_type":"uint64_t")"), std::string::npos)
      << thrown.detail;
}

TEST(PllDividerSearch, APStepOfZeroFailsOnlyWhereItWouldRepeatForEver) {
  SectionFields pll = sim::lmk03328Pll();
  pll[524] = {0};
  // P = 2 fits at once.
  EXPECT_EQ(search(*treeOf(pll, {sim::pllClock({0})}), {0}, {156.25e6}).pDivider, 2u);
  // 1.7 GHz needs a total division of 2.8..3.2, which only P 3 reaches, and a step of 0 never
  // gets there.
  pll[516] = {2};
  pll[515] = {3};
  const attrtest::Thrown thrown =
      attrtest::catchError([&] { search(*treeOf(pll, {sim::pllClock({0})}), {0}, {1.7e9}); });
  EXPECT_EQ(thrown.code, -304510);
  EXPECT_EQ(thrown.detail, pllFailure(617, R"("Invalid pDividerIntStep in section: ",0)"));
}

TEST(PllDividerSearch, WideRangesEndAndValuesWithoutAnIntegerFormFailCleanly) {
  // R 1..0xFFFFFFFF with only the largest R in the window, P 1..0xFFFFFFFF: the search does not
  // count through either range.
  SectionFields pll = plainPll(1, 1000000, 1010000);
  pll.insert({{503, {0xFFFFFFFF}}, {504, {1}}, {515, {0xFFFFFFFF}}, {516, {1}}});
  pll[521] = {10000};
  pll[522] = {10000};
  const double reference = 10000.0 * 0xFFFFFFFF;
  const PllSettings settings = search(*treeOf(pll, {clock(1, 1)}), {0}, {1e9}, reference);
  EXPECT_EQ(settings.rDivider, 0xFFFFFFFFu);
  EXPECT_EQ(settings.pDivider, 1u);
  // Nothing fits at any P: the largest P still leaves the divider's product below the range.
  pll[501] = {0xFFFFFFFF};
  pll[502] = {0xFFFFFFFF};
  EXPECT_THROW(search(*treeOf(pll, {clock(1, 1)}), {0}, {1e-3}, reference), GroupError);

  // N's integer part is compared as a double: 0xFFFFFFFF fits, 2^32 does not (where a 32-bit
  // conversion would be undefined).
  pll = plainPll(2, 1, 0xFFFFFFFF);
  pll[509] = {0xFFFFFFFF};
  pll[521] = {0};
  const auto n = [&](double target) {
    // One clock undivided on a 1 kHz phase detector: N = f / 1000 Hz.
    return search(*treeOf(pll, {clock(1, 1)}), {0}, {target * 1000.0}, 1.0).nDivider;
  };
  EXPECT_EQ(n(4294967295.0), 4294967295.0);
  EXPECT_THROW(n(4294967296.0), GroupError);
  EXPECT_THROW(n(1e300), GroupError);
  // A reference of 0 puts the phase detector at 0, in this window, and N at infinity; one that is
  // not a number is in every window and makes N no number; an infinite one is in none.
  EXPECT_THROW(search(*treeOf(pll, {clock(1, 1)}), {0}, {1e6}, 0.0), GroupError);
  EXPECT_THROW(search(*treeOf(pll, {clock(1, 1)}), {0}, {1e6}, std::nan("")), GroupError);
  EXPECT_EQ(
      attrtest::catchError([&] { search(*treeOf(pll, {clock(1, 1)}), {0}, {1e6}, HUGE_VAL); }).code,
      -304434);
  // Dividers past the double range, and a requested frequency that is not a number.
  EXPECT_THROW(search(*treeOf(pll, {clock(1000, 2000, 7)}), {0}, {1e6}, 1.0), GroupError);
  EXPECT_THROW(search(*treeOf(pll, {clock(1, 1)}), {0}, {std::nan("")}, 1.0), GroupError);
}

TEST(OutputDividerEnumerator, WideRangesCostTheirLengthNotTheirProduct) {
  // Five constraints over 65,536 codes each, of which the fifth matches nothing: 2^80
  // combinations, found empty in one walk per constraint.
  std::vector<qvvandrel::DividerConstraint> constraints;
  for (double f : {1e9, 5e8, 2.5e8, 1.25e8}) constraints.push_back({f, 1, 65536, 0});
  constraints.push_back({3e8 + 1, 1, 65536, 0});
  EXPECT_FALSE(OutputDividerEnumerator(constraints).hasMatch());
  constraints.pop_back();
  OutputDividerEnumerator four(constraints);
  EXPECT_EQ(four.next(), (OutputDividerEnumerator::Combination{1, 2, 4, 8}));
  EXPECT_EQ(four.firstMatchWithFirstCodeIn(1000, 2000),
            (OutputDividerEnumerator::Combination{1000, 2000, 4000, 8000}));
  EXPECT_EQ(four.lastFirstCodeBelow(9000), 8192u);  // 8192 x 8 is the last fourth code
}

}  // namespace
