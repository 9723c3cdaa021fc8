#pragma once

#include <cstdint>
#include <string_view>

// Compares two UTF-8 byte ranges [begin, end) without regard to case: each code point is
// folded (qvkel::foldCaseFull) and the folded sequences are ordered code point by code
// point. Returns -1 when the left text sorts first, 0 when equal, 1 when the right text
// sorts first. Never reads outside the ranges.
std::int32_t compareUtf8NoCase(const char* lhsBegin, const char* lhsEnd, const char* rhsBegin,
                               const char* rhsEnd);

inline std::int32_t compareUtf8NoCase(std::string_view lhs, std::string_view rhs) {
  return compareUtf8NoCase(lhs.data(), lhs.data() + lhs.size(), rhs.data(),
                           rhs.data() + rhs.size());
}

inline bool equalUtf8NoCase(std::string_view lhs, std::string_view rhs) {
  return compareUtf8NoCase(lhs, rhs) == 0;
}

// Strict weak order for sorted containers keyed by names compared without case.
struct LessUtf8NoCase {
  bool operator()(std::string_view lhs, std::string_view rhs) const {
    return compareUtf8NoCase(lhs, rhs) < 0;
  }
};
