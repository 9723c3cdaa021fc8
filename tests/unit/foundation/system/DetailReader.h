#pragma once
// Reads members out of a status detail by a path of keys.

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>

#include "foundation/errors/Json.h"

namespace qvtest {

// The value at `path` in the JSON object `json`, or null.
inline const char* detailMember(const char* json, std::initializer_list<const char*> path) {
  const char* at = json;
  for (const char* key : path) {
    if (at == nullptr) return nullptr;
    at = qverr::json::findMember(at, key);
  }
  return at;
}

// The string at `path` in the JSON object `json` (escapes decoded), or nothing.
inline std::optional<std::string> detailString(const char* json,
                                               std::initializer_list<const char*> path) {
  const char* at = detailMember(json, path);
  if (at == nullptr) return std::nullopt;
  size_t length = 0;
  const char* raw = qverr::json::getString(at, nullptr, &length, nullptr);
  if (raw == nullptr) return std::nullopt;
  std::string out(length + 1, '\0');
  if (qverr::json::copyDecoded(raw, length, out.data()) == nullptr) return std::nullopt;
  out.resize(std::char_traits<char>::length(out.c_str()));
  return out;
}

// The integer at `path`, or nothing.
inline std::optional<long long> detailNumber(const char* json,
                                             std::initializer_list<const char*> path) {
  const char* at = detailMember(json, path);
  if (at == nullptr) return std::nullopt;
  qverr::json::Token token;
  if (qverr::json::readValue(at, &token) == nullptr || token.kind != qverr::json::kTokenNumber)
    return std::nullopt;
  return std::strtoll(token.start, nullptr, 10);
}

}  // namespace qvtest
