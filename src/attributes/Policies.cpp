#include "attributes/Policies.h"

#include "attributes/Attribute.h"
#include "attributes/RaiseWithDetails.h"
#include "foundation/errors/ErrorCodes.h"

namespace atat::detail {
namespace {

constexpr qverr::StatusLocation kNotGettableCheckLocation{
    "atat/attributes/NotGettable", 59, qverr::kComponent, qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kNotGettableRefreshLocation{
    "atat/attributes/NotGettable", 67, qverr::kComponent, qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kNotSettableBeforeSetLocation{
    "atat/attributes/NotSettable", 62, qverr::kComponent, qverr::constant::kErrorCode};
constexpr qverr::StatusLocation kNotSettableAfterSetLocation{
    "atat/attributes/NotSettable", 70, qverr::kComponent, qverr::constant::kErrorCode};

const qverr::StatusLocation& accessFailureLocation(AccessFailure where) {
  switch (where) {
    case AccessFailure::kCheckGettable:
      return kNotGettableCheckLocation;
    case AccessFailure::kRefresh:
      return kNotGettableRefreshLocation;
    case AccessFailure::kBeforeSet:
      return kNotSettableBeforeSetLocation;
    case AccessFailure::kAfterSet:
      break;
  }
  return kNotSettableAfterSetLocation;
}

}  // namespace

void raiseAccessError(std::int32_t errorCode, AccessFailure where,
                      const iattr::AttributeInfoBaseInterface& attribute) {
  raiseWithDetails(errorCode, accessFailureLocation(where), [&](elaboration::Cursor cursor) {
    const AttributeDescription description = describeAttribute(attribute);
    elaboration::appendAttributeIdAndChannel(cursor, description.id, description.name);
  });
}

void describeAttributeInError(qverr::ExceptionBase& error,
                              const iattr::AttributeInfoBaseInterface& attribute) {
  const AttributeDescription description = describeAttribute(attribute);
  appendAttributeToStatus(error.status(), description.id, description.name);
}

void describeAttributeInRangeError(qverr::ExceptionBase& error, std::uint32_t attributeId,
                                   const std::string& channelName) {
  appendAttributeToStatus(error.status(), attributeId, channelName);
}

}  // namespace atat::detail
