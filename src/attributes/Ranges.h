#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "attributes/Policies.h"
#include "foundation/text/CompareUtf8NoCase.h"

namespace atat {

// Three-way comparison used by ranges: 0 equal, -1 when a sorts before b, else 1.
template <typename T>
struct DefaultComparison {
  static int compare(const T& a, const T& b) {
    if (std::less<T>()(a, b)) return -1;
    if (std::less<T>()(b, a)) return 1;
    return 0;
  }
};

template <>
struct DefaultComparison<std::string> {
  static int compare(const std::string& a, const std::string& b) { return compareUtf8NoCase(a, b); }
};

// How far apart two different doubles are, relative to the larger magnitude; against 0, the
// other's magnitude.
inline double relativeDifference(double a, double b) {
  if (a == 0) return std::fabs(b);
  if (b == 0) return std::fabs(a);
  return std::fabs(a - b) / std::max(std::fabs(a), std::fabs(b));
}

// 0 when a and b are equal or their relative difference is below `tolerance`; otherwise -1
// when b is larger, else 1 (also for every comparison with NaN).
inline int compareWithTolerance(double a, double b, double tolerance) {
  if (a == b) return 0;
  if (tolerance > relativeDifference(a, b)) return 0;
  return b > a ? -1 : 1;
}

// Doubles are equal within a relative difference of 1e-12.
template <>
struct DefaultComparison<double> {
  static int compare(double a, double b) { return compareWithTolerance(a, b, 1e-12); }
};

// The same comparison to `digits` decimal digits (a tolerance of 10^-digits).
inline int compareWithDigits(double a, double b, int digits) {
  return compareWithTolerance(a, b, std::pow(10.0, -digits));
}

enum CoarseCoercionType : std::uint32_t {
  coarseCoercionTypeNone = 0,
  coarseCoercionTypeUp = 1,
  coarseCoercionTypeDown = 2,
  coarseCoercionTypeNearest = 3,
};

// Error code of the shared null ranges.
inline constexpr std::int32_t kNullRangeErrorCode = -1074097882;

namespace detail {

[[noreturn]] void raiseNotANumber(std::int32_t errorCode, double value);
[[noreturn]] void raiseEnumRejected(std::int32_t errorCode, std::uint32_t attributeId,
                                    std::int32_t value, const std::vector<std::int32_t>& allowed);
// The type a discrete range of T reports its values in: integers in 32 or 64 bits, keeping
// the signedness; doubles as doubles.
template <typename T>
using ReportedInteger =
    std::conditional_t<(sizeof(T) <= 4),
                       std::conditional_t<std::is_signed_v<T>, std::int32_t, std::uint32_t>,
                       std::conditional_t<std::is_signed_v<T>, std::int64_t, std::uint64_t>>;
template <typename T>
using ReportedValue =
    typename std::conditional_t<std::is_floating_point_v<T>, std::type_identity<double>,
                                std::type_identity<ReportedInteger<T>>>::type;
// `allowed` is sorted; empty means the range has neither minimum nor maximum. Built for the
// four ReportedInteger types and double.
template <typename V>
[[noreturn]] void raiseDiscreteRejected(std::int32_t errorCode, CoarseCoercionType type, V value,
                                        const std::vector<V>& allowed);
[[noreturn]] void raiseStringRejected(std::int32_t errorCode, const std::string& value,
                                      const std::vector<std::string>& allowed);

// Inserts `value` at its sorted position unless an equal value is already present.
template <typename T, typename Less>
void insertSorted(std::vector<T>& values, const T& value, Less less) {
  auto position = std::lower_bound(values.begin(), values.end(), value, less);
  if (position != values.end() && !less(value, *position)) return;
  values.insert(position, value);
}

}  // namespace detail

// Accepts every value; a double range rejects NaN.
template <typename T, typename Comparison = DefaultComparison<T>>
class NullRange : public Range<T> {
 public:
  explicit NullRange(std::int32_t errorCode = kNullRangeErrorCode) : errorCode_(errorCode) {}
  T coerce(const T& value) override {
    if constexpr (std::is_floating_point_v<T>) {
      if (value != value) detail::raiseNotANumber(errorCode_, value);
    }
    return value;
  }
  bool equal(const T& lhs, const T& rhs) override { return Comparison::compare(lhs, rhs) == 0; }

 private:
  std::int32_t errorCode_;
};

// Accepts exactly the listed members of an enumeration.
template <typename T>
class EnumRange : public Range<T> {
 public:
  EnumRange(std::uint32_t attributeId, std::int32_t errorCode)
      : attributeId_(attributeId), errorCode_(errorCode) {}
  EnumRange(std::uint32_t attributeId, std::int32_t errorCode, std::initializer_list<T> values)
      : EnumRange(attributeId, errorCode) {
    for (const T& value : values) addValue(value);
  }

  void addValue(const T& value) { detail::insertSorted(values_, value, std::less<T>()); }
  const std::vector<T>& values() const { return values_; }
  std::uint32_t attributeId() const { return attributeId_; }

  T coerce(const T& value) override {
    auto found = std::lower_bound(values_.begin(), values_.end(), value);
    if (found != values_.end() && *found == value) return *found;
    std::vector<std::int32_t> allowed;
    allowed.reserve(values_.size());
    for (const T& v : values_) allowed.push_back(static_cast<std::int32_t>(v));
    detail::raiseEnumRejected(errorCode_, attributeId_, static_cast<std::int32_t>(value), allowed);
  }
  bool equal(const T& lhs, const T& rhs) override { return lhs == rhs; }

 private:
  std::uint32_t attributeId_;
  std::int32_t errorCode_;
  std::vector<T> values_;
};

// Coerces a number to one of a set of allowed values, rounding up, down or to the nearest.
// Comparison orders and matches the values; it must order them as the numbers do (for doubles
// within its tolerance). A NaN double matches nothing.
template <typename T, typename Comparison = DefaultComparison<T>>
class DiscreteRange : public Range<T> {
  static_assert((std::is_integral_v<T> && !std::is_same_v<T, bool> && sizeof(T) <= 8) ||
                    std::is_same_v<T, double>,
                "discrete ranges of other types belong to their owners");

 public:
  DiscreteRange(std::int32_t errorCode, CoarseCoercionType coercionType)
      : errorCode_(errorCode), coercionType_(coercionType) {}
  DiscreteRange(std::int32_t errorCode, CoarseCoercionType coercionType,
                std::initializer_list<T> values)
      : DiscreteRange(errorCode, coercionType) {
    for (const T& value : values) addValue(value);
  }

  void addValue(const T& value) { detail::insertSorted(values_, value, less); }
  const std::vector<T>& values() const { return values_; }
  CoarseCoercionType coercionType() const { return coercionType_; }

  T coerce(const T& value) override {
    if constexpr (std::is_floating_point_v<T>) {
      // NaN is unordered: no search may see it.
      if (value != value) reject(value);
    }
    // upper: the first allowed value >= value.
    auto upper = std::lower_bound(values_.begin(), values_.end(), value, less);
    const bool exact = upper != values_.end() && Comparison::compare(*upper, value) == 0;
    switch (coercionType_) {
      case coarseCoercionTypeUp:
        if (upper != values_.end()) return *upper;
        break;
      case coarseCoercionTypeDown:
        if (exact) return *upper;
        if (upper != values_.begin()) return *(upper - 1);
        break;
      case coarseCoercionTypeNearest:
        if (exact) return *upper;
        if (upper != values_.end() && upper != values_.begin()) {
          const T lower = *(upper - 1);
          return isBelowHalfway(lower, value, *upper) ? lower : *upper;  // a tie goes up
        }
        break;
      default:
        if (exact) return *upper;
        break;
    }
    reject(value);
  }
  bool equal(const T& lhs, const T& rhs) override { return lhs == rhs; }

 private:
  static bool less(const T& lhs, const T& rhs) { return Comparison::compare(lhs, rhs) < 0; }

  // lower < value < upper: whether value lies nearer to lower.
  static bool isBelowHalfway(T lower, T value, T upper) {
    if constexpr (std::is_floating_point_v<T>) {
      return value - lower < upper - value;
    } else {
      // Each distance fits the unsigned type of T, where the difference wraps to its true
      // value even when the signed one would overflow.
      using Distance = std::make_unsigned_t<T>;
      const auto below =
          static_cast<Distance>(static_cast<Distance>(value) - static_cast<Distance>(lower));
      const auto above =
          static_cast<Distance>(static_cast<Distance>(upper) - static_cast<Distance>(value));
      return below < above;
    }
  }

  [[noreturn]] void reject(const T& value) const {
    using Reported = detail::ReportedValue<T>;
    const std::vector<Reported> allowed(values_.begin(), values_.end());
    detail::raiseDiscreteRejected(errorCode_, coercionType_, static_cast<Reported>(value), allowed);
  }

  std::int32_t errorCode_;
  CoarseCoercionType coercionType_;
  std::vector<T> values_;
};

// Accepts the listed texts without regard to case and hands back the listed spelling.
template <typename Comparison = DefaultComparison<std::string>>
class StringRange : public Range<std::string> {
 public:
  explicit StringRange(std::int32_t errorCode) : errorCode_(errorCode) {}
  StringRange(std::int32_t errorCode, std::initializer_list<std::string> values)
      : StringRange(errorCode) {
    for (const std::string& value : values) addValue(value);
  }

  void addValue(const std::string& value) { detail::insertSorted(values_, value, less); }
  const std::vector<std::string>& values() const { return values_; }

  std::string coerce(const std::string& value) override {
    auto found = std::lower_bound(values_.begin(), values_.end(), value, less);
    if (found != values_.end() && Comparison::compare(*found, value) == 0) return *found;
    detail::raiseStringRejected(errorCode_, value, values_);
  }
  bool equal(const std::string& lhs, const std::string& rhs) override {
    return Comparison::compare(lhs, rhs) == 0;
  }

 private:
  static bool less(const std::string& lhs, const std::string& rhs) {
    return Comparison::compare(lhs, rhs) < 0;
  }

  std::int32_t errorCode_;
  std::vector<std::string> values_;
};

}  // namespace atat
