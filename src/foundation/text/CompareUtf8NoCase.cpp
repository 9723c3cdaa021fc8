#include "foundation/text/CompareUtf8NoCase.h"

#include <cstring>

#include "foundation/text/CaseFold.h"
#include "foundation/text/Utf8.h"

namespace {

// One side of the comparison: decodes and folds lazily, handing out folded code points
// one at a time from a three-place buffer.
class FoldedCursor {
 public:
  FoldedCursor(const char* begin, const char* end) : next_(begin), end_(end) {}

  // Writes the next folded code point; false when the text is used up.
  bool take(std::uint32_t& codePoint) {
    if (index_ == count_) {
      if (next_ == end_) return false;
      count_ = qvkel::foldCaseFull(decodeNext(), folded_);
      index_ = 0;
    }
    codePoint = folded_[index_++];
    return true;
  }

 private:
  std::uint32_t decodeNext() {
    const auto lead = static_cast<unsigned char>(*next_);
    // A sequence cut off by the end of the range yields its lead byte on its own, so that
    // nothing past the range is read; the bytes after it follow as code points of their own.
    if (utf8SequenceLength(lead) > static_cast<std::size_t>(end_ - next_)) {
      ++next_;
      return lead;
    }
    return decodeUtf8CodePoint(&next_);
  }

  const char* next_;
  const char* end_;
  std::uint32_t folded_[3] = {};
  unsigned count_ = 0;
  unsigned index_ = 0;
};

}  // namespace

std::int32_t compareUtf8NoCase(const char* lhsBegin, const char* lhsEnd, const char* rhsBegin,
                               const char* rhsEnd) {
  const auto lhsLength = static_cast<std::size_t>(lhsEnd - lhsBegin);
  const auto rhsLength = static_cast<std::size_t>(rhsEnd - rhsBegin);
  if (lhsLength == rhsLength &&
      (lhsLength == 0 || std::memcmp(lhsBegin, rhsBegin, lhsLength) == 0)) {
    return 0;
  }
  FoldedCursor lhs(lhsBegin, lhsEnd);
  FoldedCursor rhs(rhsBegin, rhsEnd);
  for (;;) {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    const bool hasLeft = lhs.take(left);
    const bool hasRight = rhs.take(right);
    if (!hasLeft) return hasRight ? -1 : 0;
    if (!hasRight) return 1;
    if (left != right) return left < right ? -1 : 1;
  }
}
