#pragma once
// A JSON object text that grows as it is written: reports built up step by step (the
// calibration report) use it where a status detail would be too small.

#include <cstddef>
#include <vector>

#include "foundation/errors/Json.h"

namespace qverr {

class StatusDetailWriter {
 public:
  static constexpr size_t kInitialSize = 256;

  // "{}" in a 256-byte fixed buffer; the writer's cursor at its closing brace.
  StatusDetailWriter();
  StatusDetailWriter(const StatusDetailWriter&) = delete;
  StatusDetailWriter& operator=(const StatusDetailWriter&) = delete;

  // Pass it to the growing writers: a write that does not fit doubles the buffer.
  json::Writer& writer() { return writer_; }
  const char* text() const { return buffer_.data(); }
  size_t capacity() const { return buffer_.size(); }

 private:
  // Doubles the buffer (the new half zero), moves the end marker to the new last byte and
  // returns the cursor at the same offset.
  static char* grow(char* cursor, void* context);

  std::vector<char> buffer_;
  json::Writer writer_;
};

}  // namespace qverr
