// Feeds arbitrary text to the JSON detail reader (and through it to the status conversions),
// and checks that what the writer escapes decodes back to the same bytes.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors/Json.h"
#include "foundation/errors/Status.h"

namespace json = qverr::json;

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void visitValue(const char* value, int depth);

void visitString(const char* value) {
  size_t length = 0;
  const char* end = nullptr;
  const char* raw = json::getString(value, nullptr, &length, &end);
  if (raw == nullptr) return;
  std::vector<char> decoded(length + 1);
  json::copyDecoded(raw, length, decoded.data());
}

void visitValue(const char* value, int depth) {
  if (value == nullptr || depth > 8) return;
  json::Token token;
  const char* end = json::readValue(value, &token);
  if (end == nullptr) {
    check(token.kind == json::kTokenError);
    return;
  }
  switch (token.kind) {
    case json::kTokenNumber: {
      double d;
      int32_t i;
      uint32_t u;
      json::parseDouble(token, &d);
      json::parseInt(token, &i);
      json::parseUInt(token, &u);
      json::getInt(value, 0, nullptr);
      break;
    }
    case json::kTokenString:
      visitString(value);
      break;
    case json::kTokenObject: {
      check(json::skipContainer(token.start) == end - 1);
      json::Token key;
      bool found = false;
      const char* member = json::firstMember(value, &key, &found);
      while (member != nullptr && found) {
        std::vector<char> name(key.length + 1);
        if (json::copyDecoded(key.start, key.length, name.data()) != nullptr) {
          check(json::findMember(value, name.data()) != nullptr);
        }
        visitValue(member, depth + 1);
        json::Token skipped;
        const char* after = json::readValue(member, &skipped);
        check(after != nullptr);
        member = json::nextMember(after, &key, &found);
      }
      check(member != nullptr);
      break;
    }
    case json::kTokenArray: {
      bool found = false;
      const char* element = json::firstArrayElement(value, &found);
      while (element != nullptr && found) {
        visitValue(element, depth + 1);
        json::Token skipped;
        const char* after = json::readValue(element, &skipped);
        check(after != nullptr);
        element = json::nextArrayElement(after, &found);
      }
      check(element != nullptr);
      break;
    }
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* input = text.c_str();  // stops at the first NUL, as every C text does

  json::ParseError error;
  const bool valid = json::validateDocument(input, &error);
  json::Token token;
  const char* end = json::readValue(input, &token);
  if (valid) check(end != nullptr);
  visitValue(input, 0);
  json::readValueShallow(input, &token);

  // Arbitrary detail texts reach the record through the status conversion.
  qverr::Status status;
  status.setCode(-52003);
  if (status.setDetail(input) != nullptr) {
    nQVVUSKS100::tStatus record;
    qverr::mergeStatusIntoRecord(status, record);
    check(record.code == -52003);
    check(record.component[9] == '\0' && record.file[100] == '\0');
    char* cursor = status.reserveDetail(16);
    if (cursor != nullptr) {
      check(status.addString(cursor, "k", "v") != nullptr);
      // Text after the root object stays where it was; a valid detail stays valid.
      if (valid) check(json::validateDocument(status.detail, nullptr));
    }
  }

  // Whatever the writer escapes must decode back to the same bytes.
  const size_t length = std::strlen(input);
  std::vector<char> buffer(12 * length + 64);
  char* cursor = json::initBuffer(buffer.data(), buffer.size(), "{}");
  check(json::addString(cursor, input, input) != nullptr);
  check(json::validateDocument(buffer.data(), nullptr));
  const char* value = json::findMember(buffer.data(), input);
  check(value != nullptr);
  size_t rawLength = 0;
  const char* raw = json::getString(value, nullptr, &rawLength, nullptr);
  check(raw != nullptr);
  std::vector<char> decoded(rawLength + 1);
  const char* decodedEnd = json::copyDecoded(raw, rawLength, decoded.data());
  check(decodedEnd != nullptr);
  check(static_cast<size_t>(decodedEnd - decoded.data()) == length);
  check(std::memcmp(decoded.data(), input, length) == 0);
  return 0;
}
