#include "clocks/AttributeValidation.h"

#include <cmath>
#include <utility>

#include "attributes/Elaboration.h"
#include "attributes/RaiseWithDetails.h"
#include "attributes/Ranges.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {

namespace {

using atat::elaboration::Cursor;

constexpr const char* kSource = kAttributeOutsideRangeLocation.file;

constexpr qverr::StatusLocation kNotTheValidValue{kSource, 95, qverr::kComponent,
                                                  qverr::constant::kInvalidAttributeValue};
constexpr qverr::StatusLocation kBelowMinimum{kSource, 141, qverr::kComponent,
                                              qverr::constant::kInvalidAttributeValue};

Cursor append(Cursor cursor, const char* tag, double value) {
  return atat::elaboration::appendUsageDouble(cursor, tag, value);
}
Cursor append(Cursor cursor, const char* tag, int value) {
  return atat::elaboration::appendUsageInt32(cursor, tag, value);
}

// -304408 at `location` with the requested value, then `items` (tag, bound) in order, then the
// attribute's identifier with its display name.
template <typename T, typename... Bounds>
[[noreturn]] void raiseInvalid(const qverr::StatusLocation& location, std::uint32_t id, T value,
                               const Bounds&... items) {
  atat::detail::raiseWithDetails(qverr::kInvalidAttributeValue, location, [&](Cursor cursor) {
    cursor = append(cursor, "kUsageTypeRequestedValue", value);
    ((cursor = append(cursor, items.first, items.second)), ...);
    atat::elaboration::appendUsageInt32WithAttributeName(cursor, "kUsageTypeAttributeIdentifier",
                                                         static_cast<std::int32_t>(id));
  });
}

template <typename T>
std::pair<const char*, T> minimumItem(T minimum) {
  return {"kUsageTypeMinValue", minimum};
}
template <typename T>
std::pair<const char*, T> maximumItem(T maximum) {
  return {"kUsageTypeMaxValue", maximum};
}

int compare(double a, double b) {
  return atat::DefaultComparison<double>::compare(a, b);
}

}  // namespace

void raiseOutsideRange(std::uint32_t attributeId, double value, double minimum, double maximum,
                       const qverr::StatusLocation& where) {
  raiseInvalid(where, attributeId, value, minimumItem(minimum), maximumItem(maximum));
}

void validateAttributeValue(const iattr::AttributeInterface<double>& attribute, double allowed) {
  const double value = attribute.getDesired();
  if (compare(value, allowed) == 0) return;
  raiseInvalid(kNotTheValidValue, attribute.getId(), value,
               std::pair<const char*, double>{"kUsageTypeValidValues", allowed});
}

void validateAttributeRange(const iattr::AttributeInterface<double>& attribute, double minimum,
                            double maximum) {
  const double value = attribute.getDesired();
  // Every comparison with a NaN answers 1: a NaN value or minimum passes below, and a NaN
  // value or maximum is no upper bound.
  const bool outside = compare(value, minimum) == -1 ||
                       (!std::isnan(value) && !std::isnan(maximum) && compare(value, maximum) == 1);
  if (outside) raiseOutsideRange(attribute.getId(), value, minimum, maximum);
}

void validateAttributeRange(const iattr::AttributeInterface<int>& attribute, int minimum,
                            int maximum) {
  const int value = attribute.getDesired();
  if (value < minimum || value > maximum) {
    raiseInvalid(kAttributeOutsideRangeLocation, attribute.getId(), value, minimumItem(minimum),
                 maximumItem(maximum));
  }
}

void validateAttributeMinimum(const iattr::AttributeInterface<int>& attribute, int minimum) {
  const int value = attribute.getDesired();
  if (value < minimum) {
    raiseInvalid(kBelowMinimum, attribute.getId(), value, minimumItem(minimum));
  }
}

}  // namespace qvvandrel
