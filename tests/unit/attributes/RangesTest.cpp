#include "attributes/Ranges.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>

#include "TestSupport.h"
#include "attributes/NullPolicies.h"

namespace {

using attrtest::catchError;
using attrtest::kSectionEnd;
using attrtest::locationPrefix;

constexpr int kCode = -304001;

TEST(DefaultComparison, DoublesUseARelativeTolerance) {
  using C = atat::DefaultComparison<double>;
  EXPECT_EQ(C::compare(1.0, 1.0 + 1e-13), 0);
  EXPECT_EQ(C::compare(0.0, 1e-13), 0);
  EXPECT_EQ(C::compare(0.0, 1e-12), -1);  // strict test: d == 1e-12 is a difference
  EXPECT_EQ(C::compare(1e-12, 0.0), 1);
  EXPECT_EQ(C::compare(1.0, 2.0), -1);
  EXPECT_EQ(C::compare(2.0, 1.0), 1);
  EXPECT_EQ(C::compare(1e20, 1e20 * (1 + 1e-13)), 0);
  EXPECT_EQ(C::compare(1e-20, 2e-20), -1);  // tiny but relatively far apart
  EXPECT_NE(C::compare(std::nan(""), std::nan("")), 0);
}

TEST(DefaultComparison, DigitsSetTheTolerance) {
  // 3 digits, as delay rounding uses it; 10 digits, as the I/O voltage is matched.
  EXPECT_EQ(atat::compareWithDigits(2.0, 2.0 * (1 + 9e-4), 3), 0);
  EXPECT_EQ(atat::compareWithDigits(2.0, 2.0 * (1 + 2e-3), 3), -1);
  EXPECT_EQ(atat::compareWithDigits(0.0, 9e-4, 3), 0);
  EXPECT_EQ(atat::compareWithDigits(1.8000000001, 1.8, 10), 0);
  EXPECT_EQ(atat::compareWithDigits(1.9, 1.8, 10), 1);
  EXPECT_EQ(atat::compareWithDigits(1.8, 1.80000001, 10), -1);
  EXPECT_EQ(atat::compareWithDigits(0.0, 1e-11, 10), 0);
  EXPECT_EQ(atat::compareWithDigits(0.0, 1e-9, 10), -1);
  // 12 digits is the default comparison.
  EXPECT_EQ(atat::compareWithDigits(1e9, 1e9 * (1 + 5e-13), 12), 0);
  EXPECT_EQ(atat::compareWithDigits(1e9, 1e9 * (1 + 2e-12), 12), -1);
  EXPECT_EQ(atat::compareWithDigits(std::nan(""), 1.0, 3), 1);
}

TEST(DefaultComparison, StringsIgnoreCaseAndIntegersCompareExactly) {
  using S = atat::DefaultComparison<std::string>;
  EXPECT_EQ(S::compare("AI0", "ai0"), 0);
  EXPECT_EQ(S::compare("ai0", "AI1"), -1);
  using I = atat::DefaultComparison<int>;
  EXPECT_EQ(I::compare(-1, 1), -1);
  EXPECT_EQ(I::compare(5, 5), 0);
  EXPECT_EQ(I::compare(7, 5), 1);
}

TEST(NullRange, PassesValuesAndRejectsNaN) {
  atat::Range<double>& range = atat::nullRange<double>();
  EXPECT_EQ(range.coerce(2.5), 2.5);
  EXPECT_EQ(range.coerce(std::numeric_limits<double>::infinity()),
            std::numeric_limits<double>::infinity());
  EXPECT_TRUE(range.equal(1.0, 1.0 + 1e-13));
  const auto thrown = catchError([&] { range.coerce(std::nan("")); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, -1074097882);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/ranges/NullRange", 82) +
          R"({"type":"usage","usage":"kUsageTypeInvalidInput","value":"NaN","value_type":"float"},)"
          R"({"type":"comment","comment":"The input value is not a number."})" +
          kSectionEnd);
  EXPECT_EQ(atat::nullRange<int>().coerce(-7), -7);
  EXPECT_EQ(atat::nullRange<std::string>().coerce("x"), "x");
}

TEST(NullRange, ZeroCodeStillThrowsWithoutDetail) {
  atat::NullRange<double> range(0);
  const auto thrown = catchError([&] { range.coerce(std::nan("")); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, 0);
  EXPECT_EQ(thrown.detail, "");
}

enum class Mode : int { kA = 0, kB = 2, kC = 5 };

TEST(EnumRange, AcceptsOnlyListedMembers) {
  atat::EnumRange<Mode> range(0x10000022, kCode, {Mode::kC, Mode::kA, Mode::kA});
  ASSERT_EQ(range.values().size(), 2u);
  EXPECT_EQ(range.values()[0], Mode::kA);
  EXPECT_EQ(range.coerce(Mode::kC), Mode::kC);
  EXPECT_EQ(range.coerce(Mode::kA), Mode::kA);
  const auto thrown = catchError([&] { range.coerce(Mode::kB); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, kCode);
  const std::string enumType =
      R"({"type":"enum","id":268435490,"comment":"DAC Digital Upconverter Mode","value_type":"int32_t"})";
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/ranges/EnumRange", 103) +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":2,"value_type":)" +
          enumType +
          R"(},{"type":"usage","usage":"kUsageTypePossibleValues","value":[0,5],"value_type":)" +
          enumType + "}" + kSectionEnd);
}

TEST(EnumRange, EmptyRangeRejectsEverything) {
  atat::EnumRange<Mode> range(0x10000022, kCode);
  const auto thrown = catchError([&] { range.coerce(Mode::kA); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_NE(thrown.detail.find(R"("usage":"kUsageTypePossibleValues","value":[],)"),
            std::string::npos);
}

atat::DiscreteRange<int> discrete(atat::CoarseCoercionType type) {
  return atat::DiscreteRange<int>(kCode, type, {20, 10, 20});
}

std::string requested(int value) {
  return R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":)" + std::to_string(value) +
         R"(,"value_type":"int32_t"})";
}
std::string bound(const char* tag, int value) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" +
         std::to_string(value) + R"(,"value_type":"int32_t"})";
}
std::string comment(const char* text) {
  return std::string(R"({"type":"comment","comment":")") + text + R"("})";
}

TEST(DiscreteRange, NearestTiesGoUp) {
  auto range = discrete(atat::coarseCoercionTypeNearest);
  EXPECT_EQ(range.coerce(15), 20);
  EXPECT_EQ(range.coerce(14), 10);
  EXPECT_EQ(range.coerce(16), 20);
  EXPECT_EQ(range.coerce(20), 20);
  EXPECT_EQ(range.coerce(10), 10);
  for (int outside : {9, 21}) {
    const auto thrown = catchError([&] { range.coerce(outside); });
    ASSERT_TRUE(thrown.thrown);
    EXPECT_EQ(thrown.code, kCode);
    EXPECT_EQ(thrown.detail,
              locationPrefix("atat/ranges/DiscreteRange", 217) + requested(outside) + "," +
                  bound("kUsageTypeMinValue", 10) + "," + bound("kUsageTypeMaxValue", 20) + "," +
                  comment("coercionType=coarseCoercionTypeNearest(3)") + kSectionEnd);
  }
}

TEST(DiscreteRange, NearestDistancesDoNotOverflow) {
  const int lowest = std::numeric_limits<int>::min();
  const int highest = std::numeric_limits<int>::max();
  atat::DiscreteRange<int> range(kCode, atat::coarseCoercionTypeNearest, {lowest, highest});
  // Both distances exceed the 32-bit range; 0 is one closer to the top.
  EXPECT_EQ(range.coerce(0), highest);
  EXPECT_EQ(range.coerce(-1), lowest);
  EXPECT_EQ(range.coerce(highest - 1), highest);
}

template <typename T>
class DiscreteRangeOfEveryWidth : public ::testing::Test {};
using DiscreteTypes =
    ::testing::Types<signed char, unsigned short, int, unsigned, std::int64_t, std::uint64_t>;
TYPED_TEST_SUITE(DiscreteRangeOfEveryWidth, DiscreteTypes);

TYPED_TEST(DiscreteRangeOfEveryWidth, NearestSpansTheWholeTypeWithoutOverflow) {
  using T = TypeParam;
  using U = std::make_unsigned_t<T>;
  const T lowest = std::numeric_limits<T>::min();
  const T highest = std::numeric_limits<T>::max();
  // The midpoint of the type is one step nearer the bottom (the span is odd).
  const U span = static_cast<U>(static_cast<U>(highest) - static_cast<U>(lowest));
  const T middle = static_cast<T>(static_cast<U>(lowest) + span / 2);
  atat::DiscreteRange<T> range(kCode, atat::coarseCoercionTypeNearest, {highest, lowest});
  EXPECT_EQ(range.coerce(middle), lowest);
  EXPECT_EQ(range.coerce(static_cast<T>(middle + 1)), highest);
  EXPECT_EQ(range.coerce(static_cast<T>(lowest + 1)), lowest);
  EXPECT_EQ(range.coerce(static_cast<T>(highest - 1)), highest);
}

std::string usage(const char* tag, const char* value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}

TEST(DiscreteRange, DetailsCarryTheValuesInTheirOwnType) {
  atat::DiscreteRange<unsigned> none(kCode, atat::coarseCoercionTypeNone,
                                     {4000000000u, 3000000000u});
  EXPECT_EQ(catchError([&] { none.coerce(3000000001u); }).detail,
            locationPrefix("atat/ranges/DiscreteRange", 192) +
                usage("kUsageTypeRequestedValue", "3000000001", "uint32_t") + "," +
                usage("kUsageTypePossibleValues", "[3000000000,4000000000]", "uint32_t") + "," +
                comment("coercionType=coarseCoercionTypeNone(0)") + kSectionEnd);

  atat::DiscreteRange<std::int64_t> nearest(kCode, atat::coarseCoercionTypeNearest,
                                            {std::numeric_limits<std::int64_t>::min(), -1});
  EXPECT_EQ(catchError([&] { nearest.coerce(5000000000); }).detail,
            locationPrefix("atat/ranges/DiscreteRange", 217) +
                usage("kUsageTypeRequestedValue", "5000000000", "int64_t") + "," +
                usage("kUsageTypeMinValue", "-9223372036854775808", "int64_t") + "," +
                usage("kUsageTypeMaxValue", "-1", "int64_t") + "," +
                comment("coercionType=coarseCoercionTypeNearest(3)") + kSectionEnd);

  atat::DiscreteRange<std::uint64_t> down(kCode, atat::coarseCoercionTypeDown,
                                          {18446744073709551615u});
  EXPECT_EQ(catchError([&] { down.coerce(5); }).detail,
            locationPrefix("atat/ranges/DiscreteRange", 208) +
                usage("kUsageTypeRequestedValue", "5", "uint64_t") + "," +
                usage("kUsageTypeMinValue", "18446744073709551615", "uint64_t") + "," +
                comment("coercionType=coarseCoercionTypeDown(2)") + kSectionEnd);

  atat::DiscreteRange<unsigned char> narrow(kCode, atat::coarseCoercionTypeUp, {200});
  EXPECT_EQ(catchError([&] { narrow.coerce(201); }).detail,
            locationPrefix("atat/ranges/DiscreteRange", 200) +
                usage("kUsageTypeRequestedValue", "201", "uint32_t") + "," +
                usage("kUsageTypeMaxValue", "200", "uint32_t") + "," +
                comment("coercionType=coarseCoercionTypeUp(1)") + kSectionEnd);
}

// Values within 2 of each other are one value.
struct WithinTwo {
  static int compare(int a, int b) {
    if (a - b <= 2 && b - a <= 2) return 0;
    return a < b ? -1 : 1;
  }
};

TEST(DiscreteRange, TheComparisonDecidesWhatMatches) {
  atat::DiscreteRange<int, WithinTwo> range(kCode, atat::coarseCoercionTypeNone, {10, 21, 20});
  EXPECT_EQ(range.values(), (std::vector<int>{10, 21}));  // 20 is 21 to the comparison
  EXPECT_EQ(range.coerce(12), 10);
  EXPECT_EQ(range.coerce(19), 21);
  EXPECT_TRUE(catchError([&] { range.coerce(15); }).thrown);
  atat::DiscreteRange<int, WithinTwo> up(kCode, atat::coarseCoercionTypeUp, {10, 20});
  EXPECT_EQ(up.coerce(11), 10);
  EXPECT_EQ(up.coerce(13), 20);
}

TEST(DiscreteRange, Up) {
  auto range = discrete(atat::coarseCoercionTypeUp);
  EXPECT_EQ(range.coerce(11), 20);
  EXPECT_EQ(range.coerce(5), 10);
  EXPECT_EQ(range.coerce(10), 10);
  const auto thrown = catchError([&] { range.coerce(21); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.detail, locationPrefix("atat/ranges/DiscreteRange", 200) + requested(21) + "," +
                               bound("kUsageTypeMaxValue", 20) + "," +
                               comment("coercionType=coarseCoercionTypeUp(1)") + kSectionEnd);
}

TEST(DiscreteRange, Down) {
  auto range = discrete(atat::coarseCoercionTypeDown);
  EXPECT_EQ(range.coerce(19), 10);
  EXPECT_EQ(range.coerce(25), 20);
  EXPECT_EQ(range.coerce(20), 20);
  const auto thrown = catchError([&] { range.coerce(9); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.detail, locationPrefix("atat/ranges/DiscreteRange", 208) + requested(9) + "," +
                               bound("kUsageTypeMinValue", 10) + "," +
                               comment("coercionType=coarseCoercionTypeDown(2)") + kSectionEnd);
}

TEST(DiscreteRange, None) {
  auto range = discrete(atat::coarseCoercionTypeNone);
  EXPECT_EQ(range.coerce(10), 10);
  EXPECT_EQ(range.coerce(20), 20);
  const auto thrown = catchError([&] { range.coerce(15); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/ranges/DiscreteRange", 192) + requested(15) +
          R"(,{"type":"usage","usage":"kUsageTypePossibleValues","value":[10,20],"value_type":"int32_t"},)" +
          comment("coercionType=coarseCoercionTypeNone(0)") + kSectionEnd);
}

TEST(DiscreteRange, EmptyRangeReportsNoBounds) {
  const struct {
    atat::CoarseCoercionType type;
    int line;
    const char* comment;
  } cases[] = {
      {atat::coarseCoercionTypeUp, 200, "coercionType=coarseCoercionTypeUp(1)"},
      {atat::coarseCoercionTypeDown, 208, "coercionType=coarseCoercionTypeDown(2)"},
      {atat::coarseCoercionTypeNearest, 217, "coercionType=coarseCoercionTypeNearest(3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comment);
    atat::DiscreteRange<int> range(kCode, c.type);
    const auto thrown = catchError([&] { range.coerce(3); });
    ASSERT_TRUE(thrown.thrown);
    EXPECT_EQ(thrown.detail, locationPrefix("atat/ranges/DiscreteRange", c.line) + requested(3) +
                                 "," + comment(c.comment) + kSectionEnd);
  }
  atat::DiscreteRange<int> none(kCode, atat::coarseCoercionTypeNone);
  const auto thrown = catchError([&] { none.coerce(3); });
  EXPECT_NE(thrown.detail.find(R"("kUsageTypePossibleValues","value":[],)"), std::string::npos);
}

TEST(DiscreteRange, DoublesMatchWithinTheToleranceAndRejectNaN) {
  atat::DiscreteRange<double> up(kCode, atat::coarseCoercionTypeUp, {1.0, 0.5, 1.0 + 1e-13});
  EXPECT_EQ(up.values(), (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(up.coerce(0.7), 1.0);
  EXPECT_EQ(up.coerce(1.0 * (1 + 5e-13)), 1.0);
  EXPECT_EQ(catchError([&] { up.coerce(1.0 * (1 + 2e-12)); }).code, kCode);
  EXPECT_EQ(
      catchError([&] { up.coerce(std::nan("")); }).detail,
      locationPrefix("atat/ranges/DiscreteRange", 200) +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"NaN","value_type":"float"},)"
          R"({"type":"usage","usage":"kUsageTypeMaxValue","value":"1.0","value_type":"float"},)" +
          comment("coercionType=coarseCoercionTypeUp(1)") + kSectionEnd);

  atat::DiscreteRange<double> none(kCode, atat::coarseCoercionTypeNone, {1.0, 0.5});
  EXPECT_EQ(none.coerce(0.5 * (1 - 5e-13)), 0.5);
  EXPECT_EQ(
      catchError([&] { none.coerce(0.75); }).detail,
      locationPrefix("atat/ranges/DiscreteRange", 192) +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"750.0e-3","value_type":"float"},)"
          R"({"type":"usage","usage":"kUsageTypePossibleValues","value":["500.0e-3","1.0"],"value_type":"float"},)" +
          comment("coercionType=coarseCoercionTypeNone(0)") + kSectionEnd);

  atat::DiscreteRange<double> nearest(kCode, atat::coarseCoercionTypeNearest, {1.0, 2.0});
  EXPECT_EQ(nearest.coerce(1.5), 2.0);
  EXPECT_EQ(nearest.coerce(1.4), 1.0);
  EXPECT_TRUE(catchError([&] { nearest.coerce(std::nan("")); }).thrown);
}

// Over {1.0, 2.0}: a value each mode coerces, one it refuses (with its items) and NaN; an empty
// range refuses with the request alone, whatever the mode.
TEST(DiscreteRange, DoublesInEveryMode) {
  const std::string one = R"("1.0")", two = R"("2.0")";
  const struct {
    atat::CoarseCoercionType type;
    double accepted, coerced, refused;
    int line;
    std::string bounds;  // the items after the request
    const char* comment;
  } cases[] = {
      {atat::coarseCoercionTypeNone, 2.0 * (1 + 5e-13), 2.0, 1.5, 192,
       usage("kUsageTypePossibleValues", R"(["1.0","2.0"])", "float") + ",",
       "coercionType=coarseCoercionTypeNone(0)"},
      {atat::coarseCoercionTypeUp, 1.2, 2.0, 2.5, 200,
       usage("kUsageTypeMaxValue", two.c_str(), "float") + ",",
       "coercionType=coarseCoercionTypeUp(1)"},
      {atat::coarseCoercionTypeDown, 1.8, 1.0, 0.5, 208,
       usage("kUsageTypeMinValue", one.c_str(), "float") + ",",
       "coercionType=coarseCoercionTypeDown(2)"},
      {atat::coarseCoercionTypeNearest, 1.5, 2.0, 2.5, 217,
       usage("kUsageTypeMinValue", one.c_str(), "float") + "," +
           usage("kUsageTypeMaxValue", two.c_str(), "float") + ",",
       "coercionType=coarseCoercionTypeNearest(3)"},
  };
  const std::map<double, std::string> texts{
      {0.5, R"("500.0e-3")"}, {1.5, R"("1.500000")"}, {2.5, R"("2.500000")"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.comment);
    atat::DiscreteRange<double> range(kCode, c.type, {2.0, 1.0});
    EXPECT_EQ(range.coerce(c.accepted), c.coerced);
    const auto refused = catchError([&] { range.coerce(c.refused); });
    EXPECT_EQ(refused.code, kCode);
    EXPECT_EQ(refused.detail,
              locationPrefix("atat/ranges/DiscreteRange", c.line) +
                  usage("kUsageTypeRequestedValue", texts.at(c.refused).c_str(), "float") + "," +
                  c.bounds + comment(c.comment) + kSectionEnd);
    const auto nan = catchError([&] { range.coerce(std::nan("")); });
    EXPECT_EQ(nan.detail, locationPrefix("atat/ranges/DiscreteRange", c.line) +
                              usage("kUsageTypeRequestedValue", R"("NaN")", "float") + "," +
                              c.bounds + comment(c.comment) + kSectionEnd);

    atat::DiscreteRange<double> empty(kCode, c.type);
    EXPECT_EQ(catchError([&] { empty.coerce(1.5); }).detail,
              locationPrefix("atat/ranges/DiscreteRange", c.line) +
                  usage("kUsageTypeRequestedValue", R"("1.500000")", "float") + "," +
                  comment(c.comment) + kSectionEnd);
  }
  atat::DiscreteRange<double> nearest(kCode, atat::coarseCoercionTypeNearest, {1.0, 2.0});
  EXPECT_EQ(nearest.coerce(1.4), 1.0);
  EXPECT_EQ(nearest.coerce(1.6), 2.0);
}

TEST(StringRange, ReturnsTheListedSpelling) {
  atat::StringRange<> range(kCode, {"AI1", "AI0", "ai1"});
  ASSERT_EQ(range.values().size(), 2u);
  EXPECT_EQ(range.values()[0], "AI0");
  EXPECT_EQ(range.coerce("ai1"), "AI1");
  EXPECT_EQ(range.coerce("Ai0"), "AI0");
  EXPECT_TRUE(range.equal("ai0", "AI0"));
  EXPECT_FALSE(range.equal("ai0", "AI1"));
  const auto thrown = catchError([&] { range.coerce("AI2"); });
  ASSERT_TRUE(thrown.thrown);
  EXPECT_EQ(thrown.code, kCode);
  EXPECT_EQ(
      thrown.detail,
      locationPrefix("atat/ranges/StringRange", 70) +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"AI2","value_type":"string"},)"
          R"({"type":"usage","usage":"kUsageTypePossibleValues","value":["AI0","AI1"],"value_type":"string"})" +
          kSectionEnd);
}

TEST(StringRange, EmptyRangeRejectsEverything) {
  atat::StringRange<> range(kCode);
  EXPECT_TRUE(catchError([&] { range.coerce(""); }).thrown);
}

}  // namespace
