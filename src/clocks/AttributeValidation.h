#pragma once
// The checks a feature's compile step runs on the desired value of one of its own attributes:
// one allowed value, a minimum and a maximum, or a minimum. Each failure is -304408 with the
// requested value, the bound or bounds it broke and the attribute's identifier; the channel is
// not reported. Doubles compare with the attribute library's default tolerance.

#include <cstdint>

#include "attributes/Interfaces.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Status.h"

namespace qvvandrel {

// Where a value outside its minimum and maximum is reported, also by checks of other shapes.
inline constexpr qverr::StatusLocation kAttributeOutsideRangeLocation{
    "qvvandrelbrenmooru/source/attributeValidation", 126, qverr::kComponent,
    qverr::constant::kInvalidAttributeValue};

// Fails unless the desired value equals `allowed`.
void validateAttributeValue(const iattr::AttributeInterface<double>& attribute, double allowed);
// Fails when the desired value lies below `minimum` or above `maximum`. For doubles a NaN
// maximum means no upper bound, a NaN minimum no lower bound, and a NaN value passes.
void validateAttributeRange(const iattr::AttributeInterface<double>& attribute, double minimum,
                            double maximum);
void validateAttributeRange(const iattr::AttributeInterface<int>& attribute, int minimum,
                            int maximum);
// Fails when the desired value lies below `minimum`.
void validateAttributeMinimum(const iattr::AttributeInterface<int>& attribute, int minimum);

// The failure of a range check, for a value a feature derived rather than one it was asked
// for, or checked its own way; by default reported where the range checks report theirs.
[[noreturn]] void raiseOutsideRange(
    std::uint32_t attributeId, double value, double minimum, double maximum,
    const qverr::StatusLocation& where = kAttributeOutsideRangeLocation);

}  // namespace qvvandrel
