#pragma once
// Helpers shared by the device-kit tests.

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/XmlValues.h"
#include "foundation/errors/Exception.h"

namespace devkit_test {

// The status code a call raises, or 0 when it returns normally.
template <typename F>
int32_t codeOf(F&& call) {
  try {
    call();
  } catch (const qverr::Exception& e) {
    return e.code();
  }
  return 0;
}

// An XML text parsed the way the bitfile reader parses it; keeps its buffer alive.
struct XmlSnippet {
  explicit XmlSnippet(std::string source) : text(std::move(source)) {
    root = qvkel::parseXml<qvkel::kXmlParseFlags>(document, text.data(), text.size());
  }
  std::string text;
  qvkel::XmlDocument document;
  qvkel::XmlNode* root = nullptr;
};

inline std::vector<uint8_t> bytesOf(const uint8_t* data, uint64_t size) {
  return data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>();
}

}  // namespace devkit_test
