// The validation checks on desired values, and the error each failure carries.

#include "clocks/AttributeValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../attributes/TestSupport.h"
#include "model/DependencyAttribute.h"

namespace {

using attrtest::catchError;
using qvvandrel::DependencyAttribute;

constexpr double kNaN = NAN;
constexpr std::uint32_t kTimebase = 0x20000017;  // "Sample Clock Timebase Rate"
constexpr std::uint32_t kDivisor = 0x10000015;   // "Data Clock Divisor"

// An attribute whose desired value is `requested` (also NaN, which no write lets in) and whose
// coerced value differs, so that only the desired value can decide.
template <typename T>
struct Checked {
  Checked(std::uint32_t id, T requested) : attribute(id, nullptr, &requested) {
    attribute.setCoerced(T{});
  }
  void desire(T value) {
    attribute.set(value);
    attribute.setCoerced(T{});
  }
  DependencyAttribute<T> attribute;
};

std::string item(const char* tag, const std::string& value, const char* type) {
  return std::string(R"({"type":"usage","usage":")") + tag + R"(","value":)" + value +
         R"(,"value_type":")" + type + R"("})";
}

std::string identifier(std::uint32_t id, const char* name) {
  return std::string(R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)") +
         std::to_string(id) + R"(,"value_type":"int32_t","comment":")" + name + R"("})";
}

std::string detail(int line, const std::string& items) {
  return attrtest::locationPrefix("qvvandrelbrenmooru/source/attributeValidation", line,
                                  "QVVANDREL_Status_InvalidAttributeValue") +
         items + attrtest::kSectionEnd;
}

TEST(AttributeValidation, ValidValueWithinTheDefaultTolerance) {
  struct Row {
    double allowed, requested;
    bool passes;
  };
  const Row rows[] = {
      {1e9, 1e9 * (1 + 5e-13), true},
      {1e9, 1e9 * (1 + 2e-12), false},
      {0.0, 1e-13, true},
      {0.0, 1e-11, false},
      {1e9, kNaN, false},
      {kNaN, 1e9, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.allowed << " / " << row.requested);
    Checked<double> rate(kTimebase, row.requested);
    const auto thrown = catchError([&] { validateAttributeValue(rate.attribute, row.allowed); });
    EXPECT_EQ(thrown.code, row.passes ? 0 : -304408);
  }

  Checked<double> rate(kTimebase, 9.99e8);
  EXPECT_EQ(catchError([&] { validateAttributeValue(rate.attribute, 1e9); }).detail,
            detail(95, item("kUsageTypeRequestedValue", R"("999.0e6")", "float") + "," +
                           item("kUsageTypeValidValues", R"("1.0e9")", "float") + "," +
                           identifier(kTimebase, "Sample Clock Timebase Rate")));
}

TEST(AttributeValidation, DoubleRangeWithNaNBounds) {
  const double inf = INFINITY;
  struct Row {
    double requested, minimum, maximum;
    bool passes;
  };
  const Row rows[] = {
      {7.5e8, 5e8, 1e9, true},
      {4e8, 5e8, 1e9, false},
      {1e9 * (1 + 5e-13), 5e8, 1e9, true},  // within tolerance of the maximum
      {1.1e9, 5e8, 1e9, false},
      {1e30, 5e8, kNaN, true},   // a NaN maximum is no upper bound
      {4e8, 5e8, kNaN, false},   // but the minimum still holds
      {-1e30, kNaN, 1e9, true},  // a NaN minimum holds nothing below
      {2e9, kNaN, 1e9, false},
      {kNaN, 5e8, 1e9, true},  // a NaN value passes
      {inf, 5e8, 1e9, false},
      {-inf, 5e8, 1e9, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.requested << " in " << row.minimum << ".." << row.maximum);
    Checked<double> rate(kTimebase, row.requested);
    const auto thrown =
        catchError([&] { validateAttributeRange(rate.attribute, row.minimum, row.maximum); });
    EXPECT_EQ(thrown.code, row.passes ? 0 : -304408);
  }

  Checked<double> rate(kTimebase, 4e8);
  EXPECT_EQ(catchError([&] { validateAttributeRange(rate.attribute, 5e8, 1e9); }).detail,
            detail(126, item("kUsageTypeRequestedValue", R"("400.0e6")", "float") + "," +
                            item("kUsageTypeMinValue", R"("500.0e6")", "float") + "," +
                            item("kUsageTypeMaxValue", R"("1.0e9")", "float") + "," +
                            identifier(kTimebase, "Sample Clock Timebase Rate")));
}

TEST(AttributeValidation, IntegersCompareSigned) {
  Checked<int> divisor(kDivisor, 1);
  EXPECT_EQ(catchError([&] { validateAttributeMinimum(divisor.attribute, 1); }).code, 0);
  for (int requested : {0, -5}) {
    divisor.desire(requested);
    EXPECT_EQ(catchError([&] { validateAttributeMinimum(divisor.attribute, 1); }).detail,
              detail(141, item("kUsageTypeRequestedValue", std::to_string(requested), "int32_t") +
                              "," + item("kUsageTypeMinValue", "1", "int32_t") + "," +
                              identifier(kDivisor, "Data Clock Divisor")));
  }

  divisor.desire(-5);
  EXPECT_EQ(catchError([&] { validateAttributeRange(divisor.attribute, -5, 3); }).code, 0);
  divisor.desire(4);
  EXPECT_EQ(catchError([&] { validateAttributeRange(divisor.attribute, -5, 3); }).detail,
            detail(126, item("kUsageTypeRequestedValue", "4", "int32_t") + "," +
                            item("kUsageTypeMinValue", "-5", "int32_t") + "," +
                            item("kUsageTypeMaxValue", "3", "int32_t") + "," +
                            identifier(kDivisor, "Data Clock Divisor")));
}

TEST(AttributeValidation, ChannelsAndPublicIdentifiersReportTheIdentifierAlone) {
  DependencyAttribute<double> perChannel(0x20000010, "AI3", nullptr);  // "AI Range"
  perChannel.set(11.0);
  EXPECT_EQ(catchError([&] { validateAttributeRange(perChannel, 0.0, 10.0); }).detail,
            detail(126, item("kUsageTypeRequestedValue", R"("11.0")", "float") + "," +
                            item("kUsageTypeMinValue", R"("0.0")", "float") + "," +
                            item("kUsageTypeMaxValue", R"("10.0")", "float") + "," +
                            identifier(0x20000010, "AI Range")));
  DependencyAttribute<double> publicRate(10882, nullptr, nullptr);
  EXPECT_NE(catchError([&] {
              validateAttributeValue(publicRate, 1.0);
            }).detail.find(identifier(10882, "Not Available")),
            std::string::npos);
}

}  // namespace
