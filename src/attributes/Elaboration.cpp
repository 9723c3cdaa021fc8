#include "attributes/Elaboration.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "attributes/AttributeNameLookup.h"
#include "attributes/Interfaces.h"

namespace atat {
namespace elaboration {
namespace json = qverr::json;

namespace {

// A detail position handed out by the reader (const) as a writing position of the same buffer.
char* writable(const qverr::Status& status, const char* position) {
  return status.detail + (position - status.detail);
}

Cursor step(Cursor cursor, char* next) {
  cursor.cursor = next;
  return cursor;
}

// Opens an item {"type":"usage","usage":tag} and returns a cursor inside it, where the value
// members follow; finishItem steps past the item's closing brace.
Cursor beginUsage(Cursor cursor, const char* tag) {
  char* c = json::beginObject(cursor.cursor, nullptr, cursor.grow);
  c = json::addString(c, "type", "usage", cursor.grow);
  c = json::addString(c, "usage", tag ? tag : "", cursor.grow);
  return step(cursor, c);
}

Cursor finishItem(Cursor cursor) {
  return step(cursor, json::endObject(cursor.cursor));
}

Cursor addValueType(Cursor cursor, const char* valueType) {
  return step(cursor, json::addString(cursor.cursor, "value_type", valueType, cursor.grow));
}

Cursor addEnumValueType(Cursor cursor, std::uint32_t attributeId) {
  char* c = json::beginObject(cursor.cursor, "value_type", cursor.grow);
  c = json::addString(c, "type", "enum", cursor.grow);
  c = json::addUInt(c, "id", attributeId, cursor.grow);
  c = json::addString(c, "comment", qvvandrel::getAttributeName(attributeId), cursor.grow);
  c = json::addString(c, "value_type", "int32_t", cursor.grow);
  return step(cursor, json::endObject(c));
}

// One JSON number of each width the usage items carry.
char* addNumber(char* c, const char* key, std::int32_t value, const json::Grow& grow) {
  return json::addInt(c, key, value, grow);
}
char* addNumber(char* c, const char* key, std::uint32_t value, const json::Grow& grow) {
  return json::addUInt(c, key, value, grow);
}
char* addNumber(char* c, const char* key, std::uint64_t value, const json::Grow& grow) {
  return json::addULong(c, key, value, grow);
}
char* addNumber(char* c, const char* key, std::int64_t value, const json::Grow& grow) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", static_cast<long>(value));
  return json::addRawValue(c, key, text, grow);
}

template <typename V>
Cursor appendUsageNumber(Cursor cursor, const char* tag, V value, const char* valueType) {
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, addNumber(cursor.cursor, "value", value, cursor.grow));
  return finishItem(addValueType(cursor, valueType));
}

template <typename V>
Cursor addArray(Cursor cursor, const std::vector<V>& values) {
  char* c = json::beginArray(cursor.cursor, "value", cursor.grow);
  for (V value : values) c = addNumber(c, nullptr, value, cursor.grow);
  return step(cursor, json::endArray(c));
}

template <typename V>
Cursor appendUsageNumberList(Cursor cursor, const char* tag, const std::vector<V>& values,
                             const char* valueType) {
  return finishItem(addValueType(addArray(beginUsage(cursor, tag), values), valueType));
}

// Room for the engineering-notation text of any double.
constexpr std::size_t kDoubleTextSize = 100;

bool namesAnAttribute(const char* tag) {
  if (tag == nullptr) return false;
  static const char* const kAttributeTags[] = {
      "kUsageTypeAttributeId",         "kUsageTypeAttributeIdentifier",
      "kUsageTypeAffectedAttribute",   "kUsageTypeConflictingAttr",
      "kUsageTypeConflictingProperty", "kUsageTypeUnspecifiedProperty"};
  for (const char* candidate : kAttributeTags) {
    if (std::strcmp(tag, candidate) == 0) return true;
  }
  return false;
}

}  // namespace

Cursor openTranslatorElaboration(qverr::Status& status, const char* translatorName) {
  Cursor cursor{nullptr, status.detailGrow()};
  char* root = status.reserveDetail(0);
  if (root == nullptr) return cursor;

  char* infoEnd = nullptr;
  const char* translator = json::findMember(status.detail, "translator");
  if (translator == nullptr) {
    char* c = json::addString(root, "translator", translatorName, cursor.grow);
    infoEnd = json::beginObject(c, "translator_info", cursor.grow);
  } else {
    std::size_t length = 0;
    const char* text = json::getString(translator, nullptr, &length, nullptr);
    if (text == nullptr || length != std::strlen(translatorName) ||
        std::memcmp(text, translatorName, length) != 0) {
      return cursor;  // the section belongs to another translator
    }
    const char* info = json::findMember(status.detail, "translator_info");
    if (info == nullptr) {
      infoEnd = json::beginObject(root, "translator_info", cursor.grow);
    } else {
      const char* orderedData = json::findMember(info, "ordered_data");
      if (orderedData != nullptr) {
        const char* arrayEnd = *orderedData == '[' ? json::skipContainer(orderedData) : nullptr;
        return step(cursor, arrayEnd ? writable(status, arrayEnd) : nullptr);
      }
      const char* infoClose = json::skipContainer(info);
      if (infoClose == nullptr || *info != '{') return cursor;
      infoEnd = writable(status, infoClose);
    }
  }
  char* c = json::addString(infoEnd, "is_debug", "0", cursor.grow);
  c = json::addInt(c, "version", 1, cursor.grow);
  return step(cursor, json::beginArray(c, "ordered_data", cursor.grow));
}

Cursor appendUsageUInt32(Cursor cursor, const char* tag, std::uint32_t value) {
  return appendUsageNumber(cursor, tag, value, "uint32_t");
}

Cursor appendUsageInt32(Cursor cursor, const char* tag, std::int32_t value) {
  return appendUsageNumber(cursor, tag, value, "int32_t");
}

Cursor appendUsageUInt64(Cursor cursor, const char* tag, std::uint64_t value) {
  return appendUsageNumber(cursor, tag, value, "uint64_t");
}

Cursor appendUsageInt64(Cursor cursor, const char* tag, std::int64_t value) {
  return appendUsageNumber(cursor, tag, value, "int64_t");
}

Cursor appendUsageInt32WithAttributeName(Cursor cursor, const char* tag, std::int32_t value) {
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, json::addInt(cursor.cursor, "value", value, cursor.grow));
  cursor = addValueType(cursor, "int32_t");
  if (namesAnAttribute(tag)) {
    const char* name = qvvandrel::getAttributeName(static_cast<std::uint32_t>(value));
    cursor = step(cursor, json::addString(cursor.cursor, "comment", name, cursor.grow));
  }
  return finishItem(cursor);
}

Cursor appendUsageString(Cursor cursor, const char* tag, const char* value) {
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, json::addString(cursor.cursor, "value", value ? value : "", cursor.grow));
  return finishItem(addValueType(cursor, "string"));
}

Cursor appendUsageStringList(Cursor cursor, const char* tag,
                             const std::vector<std::string>& values) {
  cursor = beginUsage(cursor, tag);
  char* c = json::beginArray(cursor.cursor, "value", cursor.grow);
  for (const std::string& value : values)
    c = json::addString(c, nullptr, value.c_str(), cursor.grow);
  cursor = step(cursor, json::endArray(c));
  return finishItem(addValueType(cursor, "string"));
}

Cursor appendUsageBool(Cursor cursor, const char* tag, bool value) {
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, json::addBool(cursor.cursor, "value", value, cursor.grow));
  return finishItem(addValueType(cursor, "bool"));
}

Cursor appendUsageDouble(Cursor cursor, const char* tag, double value) {
  char text[kDoubleTextSize];
  formatDoubleText(text, sizeof text, 6, value);
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, json::addString(cursor.cursor, "value", text, cursor.grow));
  return finishItem(addValueType(cursor, "float"));
}

Cursor appendUsageDoubleList(Cursor cursor, const char* tag, const std::vector<double>& values) {
  cursor = beginUsage(cursor, tag);
  char* c = json::beginArray(cursor.cursor, "value", cursor.grow);
  for (double value : values) {
    char text[kDoubleTextSize];
    formatDoubleText(text, sizeof text, 6, value);
    c = json::addString(c, nullptr, text, cursor.grow);
  }
  cursor = step(cursor, json::endArray(c));
  return finishItem(addValueType(cursor, "float"));
}

Cursor appendUsageInt32List(Cursor cursor, const char* tag,
                            const std::vector<std::int32_t>& values) {
  return appendUsageNumberList(cursor, tag, values, "int32_t");
}

Cursor appendUsageUInt32List(Cursor cursor, const char* tag,
                             const std::vector<std::uint32_t>& values) {
  return appendUsageNumberList(cursor, tag, values, "uint32_t");
}

Cursor appendUsageInt64List(Cursor cursor, const char* tag,
                            const std::vector<std::int64_t>& values) {
  return appendUsageNumberList(cursor, tag, values, "int64_t");
}

Cursor appendUsageUInt64List(Cursor cursor, const char* tag,
                             const std::vector<std::uint64_t>& values) {
  return appendUsageNumberList(cursor, tag, values, "uint64_t");
}

Cursor appendUsageEnumValue(Cursor cursor, const char* tag, std::uint32_t attributeId,
                            std::int32_t value) {
  cursor = beginUsage(cursor, tag);
  cursor = step(cursor, json::addInt(cursor.cursor, "value", value, cursor.grow));
  return finishItem(addEnumValueType(cursor, attributeId));
}

Cursor appendUsageEnumList(Cursor cursor, const char* tag, std::uint32_t attributeId,
                           const std::vector<std::int32_t>& values) {
  cursor = addArray(beginUsage(cursor, tag), values);
  return finishItem(addEnumValueType(cursor, attributeId));
}

Cursor appendAttributeIdAndChannel(Cursor cursor, std::uint32_t attributeId,
                                   const std::string& channelName) {
  cursor = appendUsageUInt32(cursor, "kUsageTypeAttributeIdentifier", attributeId);
  if (!channelName.empty()) {
    cursor = appendUsageString(cursor, "kUsageTypeChannelName", channelName.c_str());
  }
  return cursor;
}

Cursor appendNamedAttributeIdAndChannel(Cursor cursor, std::uint32_t attributeId,
                                        const std::string& channelName, const char* channelTag) {
  cursor = appendUsageInt32WithAttributeName(cursor, "kUsageTypeAttributeIdentifier",
                                             static_cast<std::int32_t>(attributeId));
  if (!channelName.empty() && channelTag != nullptr) {
    cursor = appendUsageString(cursor, channelTag, channelName.c_str());
  }
  return cursor;
}

}  // namespace elaboration

elaboration::Cursor writeCommentItem(elaboration::Cursor cursor, const char* text) {
  namespace json = qverr::json;
  char* c = json::beginObject(cursor.cursor, nullptr, cursor.grow);
  c = json::addString(c, "type", "comment", cursor.grow);
  c = json::addString(c, "comment", text ? text : "", cursor.grow);
  cursor.cursor = json::endObject(c);
  return cursor;
}

AttributeDescription describeAttribute(const iattr::AttributeInfoBaseInterface& attribute) {
  const char* name = attribute.getChannelName();
  return AttributeDescription{attribute.getId(), name ? name : ""};
}

void formatDoubleText(char* buffer, std::size_t size, int precision, double value) {
  if (size == 0) return;
  // The scaling loops below never end for non-finite values.
  if (std::isnan(value)) {
    std::snprintf(buffer, size, "NaN");
    return;
  }
  if (std::isinf(value)) {
    std::snprintf(buffer, size, "%s", value > 0 ? "Infinity" : "-Infinity");
    return;
  }
  const char* sign = value >= 0 ? "" : "-";
  double m = std::fabs(value);
  int exponent = 0;
  if (m != 0) {
    while (m <= 1) {
      m *= 1000;
      exponent -= 3;
    }
    while (m >= 1000) {
      m /= 1000;
      exponent += 3;
    }
  }
  if (std::trunc(m) == m) precision = 1;
  if (exponent == 0) {
    std::snprintf(buffer, size, "%s%.*f", sign, precision, m);
  } else {
    std::snprintf(buffer, size, "%s%.*fe%d", sign, precision, m, exponent);
  }
}

void appendAttributeToStatus(qverr::Status& status, std::uint32_t attributeId,
                             const std::string& channelName) {
  elaboration::appendAttributeIdAndChannel(
      elaboration::openTranslatorElaboration(status, kTranslatorName), attributeId, channelName);
}

}  // namespace atat
