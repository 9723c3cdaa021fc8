#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/errors/Json.h"
#include "foundation/errors/Status.h"

namespace iattr {
class AttributeInfoBaseInterface;
}  // namespace iattr

namespace atat {

// The translator that turns this library's error details into user messages.
inline constexpr const char* kTranslatorName = "dovrane_qvvandrelapi";

namespace elaboration {

// A writing position inside a status detail together with the way to grow the detail.
// A null cursor means an earlier step failed: every writer then does nothing.
using Cursor = qverr::json::Writer;

// Positions a cursor at the end of the "ordered_data" array of the translator section of
// the status detail, creating the section when needed. Null when the detail cannot be
// written or already belongs to another translator.
Cursor openTranslatorElaboration(qverr::Status& status, const char* translatorName);

Cursor appendUsageUInt32(Cursor cursor, const char* tag, std::uint32_t value);
Cursor appendUsageInt32(Cursor cursor, const char* tag, std::int32_t value);
Cursor appendUsageUInt64(Cursor cursor, const char* tag, std::uint64_t value);
Cursor appendUsageInt64(Cursor cursor, const char* tag, std::int64_t value);
// As appendUsageInt32; identifier tags also get the attribute's display name as "comment".
Cursor appendUsageInt32WithAttributeName(Cursor cursor, const char* tag, std::int32_t value);
Cursor appendUsageString(Cursor cursor, const char* tag, const char* value);
Cursor appendUsageStringList(Cursor cursor, const char* tag,
                             const std::vector<std::string>& values);
Cursor appendUsageBool(Cursor cursor, const char* tag, bool value);
// Doubles are written as engineering-notation texts ("NaN", "Infinity", "-Infinity" for the
// values without digits), typed "float".
Cursor appendUsageDouble(Cursor cursor, const char* tag, double value);
Cursor appendUsageDoubleList(Cursor cursor, const char* tag, const std::vector<double>& values);
Cursor appendUsageInt32List(Cursor cursor, const char* tag,
                            const std::vector<std::int32_t>& values);
Cursor appendUsageUInt32List(Cursor cursor, const char* tag,
                             const std::vector<std::uint32_t>& values);
Cursor appendUsageInt64List(Cursor cursor, const char* tag,
                            const std::vector<std::int64_t>& values);
Cursor appendUsageUInt64List(Cursor cursor, const char* tag,
                             const std::vector<std::uint64_t>& values);
Cursor appendUsageEnumValue(Cursor cursor, const char* tag, std::uint32_t attributeId,
                            std::int32_t value);
Cursor appendUsageEnumList(Cursor cursor, const char* tag, std::uint32_t attributeId,
                           const std::vector<std::int32_t>& values);
Cursor appendAttributeIdAndChannel(Cursor cursor, std::uint32_t attributeId,
                                   const std::string& channelName);
Cursor appendNamedAttributeIdAndChannel(Cursor cursor, std::uint32_t attributeId,
                                        const std::string& channelName, const char* channelTag);

}  // namespace elaboration

// Appends a {"type": "comment"} item.
elaboration::Cursor writeCommentItem(elaboration::Cursor cursor, const char* text);

struct AttributeDescription {
  std::uint32_t id;
  std::string name;
};

AttributeDescription describeAttribute(const iattr::AttributeInfoBaseInterface& attribute);

// Engineering notation of a finite double: mantissa in [1, 1000), exponent a multiple of 3.
void formatDoubleText(char* buffer, std::size_t size, int precision, double value);

// Opens the translator section of `status` and appends the attribute's identifier and
// channel name. Used wherever an error from inside an attribute gains the attribute's name.
void appendAttributeToStatus(qverr::Status& status, std::uint32_t attributeId,
                             const std::string& channelName);

}  // namespace atat
