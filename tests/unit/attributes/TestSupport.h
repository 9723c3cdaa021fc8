#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "foundation/errors/Exception.h"

namespace attrtest {

// Runs `body`, which must throw qverr::Exception, and returns the exception's status code and
// detail text.
struct Thrown {
  int code = 0;
  std::string detail;
  bool thrown = false;
};

inline Thrown catchError(const std::function<void()>& body) {
  Thrown result;
  try {
    body();
  } catch (const qverr::Exception& error) {
    result.code = error.code();
    result.detail = error.status().detailText();
    result.thrown = true;
  }
  return result;
}

// The detail written by a raise site of the attribute library, before the translator section.
inline std::string locationPrefix(const char* file, int line,
                                  const char* errorConstant = "errorCode") {
  return std::string(R"({"error_constant":")") + errorConstant + R"(","file":")" + file +
         R"(","line":)" + std::to_string(line) +
         R"(,"component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
         R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)";
}

inline constexpr const char* kSectionEnd = "]}}";

}  // namespace attrtest
