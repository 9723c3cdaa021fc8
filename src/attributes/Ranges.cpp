#include "attributes/Ranges.h"

#include <type_traits>

#include <boost/lexical_cast.hpp>

#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"

namespace atat::detail {
namespace {

constexpr const char* kComponent = qverr::kComponent;
constexpr qverr::StatusLocation kNullRangeLocation{"atat/ranges/NullRange", 82, kComponent,
                                                   qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kEnumRangeLocation{"atat/ranges/EnumRange", 103, kComponent,
                                                   qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kDiscreteNoneLocation{"atat/ranges/DiscreteRange", 192, kComponent,
                                                      qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kDiscreteUpLocation{"atat/ranges/DiscreteRange", 200, kComponent,
                                                    qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kDiscreteDownLocation{"atat/ranges/DiscreteRange", 208, kComponent,
                                                      qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kDiscreteNearestLocation{"atat/ranges/DiscreteRange", 217,
                                                         kComponent, qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kStringRangeLocation{"atat/ranges/StringRange", 70, kComponent,
                                                     qverr::constant::kErrorCode};

const char* coercionTypeName(CoarseCoercionType type) {
  switch (type) {
    case coarseCoercionTypeUp:
      return "coarseCoercionTypeUp";
    case coarseCoercionTypeDown:
      return "coarseCoercionTypeDown";
    case coarseCoercionTypeNearest:
      return "coarseCoercionTypeNearest";
    default:
      return "coarseCoercionTypeNone";
  }
}

// "coercionType=<name>(<number>)".
std::string coercionComment(CoarseCoercionType type) {
  return std::string("coercionType=") + coercionTypeName(type) + "(" +
         boost::lexical_cast<std::string>(static_cast<std::uint32_t>(type)) + ")";
}

}  // namespace

void raiseNotANumber(std::int32_t errorCode, double value) {
  raiseWithDetails(errorCode, kNullRangeLocation, [&](elaboration::Cursor cursor) {
    cursor = elaboration::appendUsageDouble(cursor, "kUsageTypeInvalidInput", value);
    writeCommentItem(cursor, "The input value is not a number.");
  });
}

void raiseEnumRejected(std::int32_t errorCode, std::uint32_t attributeId, std::int32_t value,
                       const std::vector<std::int32_t>& allowed) {
  raiseWithDetails(errorCode, kEnumRangeLocation, [&](elaboration::Cursor cursor) {
    cursor =
        elaboration::appendUsageEnumValue(cursor, "kUsageTypeRequestedValue", attributeId, value);
    elaboration::appendUsageEnumList(cursor, "kUsageTypePossibleValues", attributeId, allowed);
  });
}

namespace {

using elaboration::Cursor;

// The usage-item writers for each width a discrete range reports in. A 32-bit signed range
// writes its items as every int attribute detail does.
Cursor appendItem(Cursor cursor, const char* tag, std::int32_t value) {
  return elaboration::appendUsageInt32WithAttributeName(cursor, tag, value);
}
Cursor appendItem(Cursor cursor, const char* tag, std::uint32_t value) {
  return elaboration::appendUsageUInt32(cursor, tag, value);
}
Cursor appendItem(Cursor cursor, const char* tag, std::int64_t value) {
  return elaboration::appendUsageInt64(cursor, tag, value);
}
Cursor appendItem(Cursor cursor, const char* tag, std::uint64_t value) {
  return elaboration::appendUsageUInt64(cursor, tag, value);
}
Cursor appendItem(Cursor cursor, const char* tag, double value) {
  return elaboration::appendUsageDouble(cursor, tag, value);
}
Cursor appendList(Cursor cursor, const char* tag, const std::vector<std::int32_t>& values) {
  return elaboration::appendUsageInt32List(cursor, tag, values);
}
Cursor appendList(Cursor cursor, const char* tag, const std::vector<std::uint32_t>& values) {
  return elaboration::appendUsageUInt32List(cursor, tag, values);
}
Cursor appendList(Cursor cursor, const char* tag, const std::vector<std::int64_t>& values) {
  return elaboration::appendUsageInt64List(cursor, tag, values);
}
Cursor appendList(Cursor cursor, const char* tag, const std::vector<std::uint64_t>& values) {
  return elaboration::appendUsageUInt64List(cursor, tag, values);
}
Cursor appendList(Cursor cursor, const char* tag, const std::vector<double>& values) {
  return elaboration::appendUsageDoubleList(cursor, tag, values);
}

}  // namespace

template <typename V>
void raiseDiscreteRejected(std::int32_t errorCode, CoarseCoercionType type, V value,
                           const std::vector<V>& allowed) {
  const qverr::StatusLocation* location = &kDiscreteNoneLocation;
  bool reportsMinimum = false;
  bool reportsMaximum = false;
  switch (type) {
    case coarseCoercionTypeUp:
      location = &kDiscreteUpLocation;
      reportsMaximum = true;
      break;
    case coarseCoercionTypeDown:
      location = &kDiscreteDownLocation;
      reportsMinimum = true;
      break;
    case coarseCoercionTypeNearest:
      location = &kDiscreteNearestLocation;
      reportsMinimum = reportsMaximum = true;
      break;
    default:
      type = coarseCoercionTypeNone;
      break;
  }
  raiseWithDetails(errorCode, *location, [&](elaboration::Cursor cursor) {
    cursor = appendItem(cursor, "kUsageTypeRequestedValue", value);
    // A double range filled from a list the device reported empty names the request alone.
    const bool reportsList = !allowed.empty() || !std::is_floating_point_v<V>;
    if (type == coarseCoercionTypeNone && reportsList) {
      cursor = appendList(cursor, "kUsageTypePossibleValues", allowed);
    }
    // An empty range has no minimum or maximum to report.
    if (reportsMinimum && !allowed.empty()) {
      cursor = appendItem(cursor, "kUsageTypeMinValue", allowed.front());
    }
    if (reportsMaximum && !allowed.empty()) {
      cursor = appendItem(cursor, "kUsageTypeMaxValue", allowed.back());
    }
    writeCommentItem(cursor, coercionComment(type).c_str());
  });
}

template void raiseDiscreteRejected(std::int32_t, CoarseCoercionType, std::int32_t,
                                    const std::vector<std::int32_t>&);
template void raiseDiscreteRejected(std::int32_t, CoarseCoercionType, std::uint32_t,
                                    const std::vector<std::uint32_t>&);
template void raiseDiscreteRejected(std::int32_t, CoarseCoercionType, std::int64_t,
                                    const std::vector<std::int64_t>&);
template void raiseDiscreteRejected(std::int32_t, CoarseCoercionType, std::uint64_t,
                                    const std::vector<std::uint64_t>&);
template void raiseDiscreteRejected(std::int32_t, CoarseCoercionType, double,
                                    const std::vector<double>&);

void raiseStringRejected(std::int32_t errorCode, const std::string& value,
                         const std::vector<std::string>& allowed) {
  raiseWithDetails(errorCode, kStringRangeLocation, [&](elaboration::Cursor cursor) {
    cursor = elaboration::appendUsageString(cursor, "kUsageTypeRequestedValue", value.c_str());
    elaboration::appendUsageStringList(cursor, "kUsageTypePossibleValues", allowed);
  });
}

}  // namespace atat::detail
