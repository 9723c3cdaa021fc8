// In-place JSON writer for fixed buffers (text, NUL, zero fill, marker 'J').

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/errors/Json.h"

namespace qverr::json {
namespace {

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Escape of one byte: returns its length and writes it when `out` is given.
size_t escapeByte(unsigned char c, char* out) {
  char simple = 0;
  switch (c) {
    case '\b':
      simple = 'b';
      break;
    case '\t':
      simple = 't';
      break;
    case '\n':
      simple = 'n';
      break;
    case '\f':
      simple = 'f';
      break;
    case '\r':
      simple = 'r';
      break;
    case '"':
      simple = '"';
      break;
    case '\\':
      simple = '\\';
      break;
    default:
      break;
  }
  if (simple != 0) {
    if (out) {
      out[0] = '\\';
      out[1] = simple;
    }
    return 2;
  }
  if (c < 0x20 || c == 0x7F) {
    if (out) {
      static const char kHex[] = "0123456789abcdef";
      out[0] = '\\';
      out[1] = 'u';
      out[2] = '0';
      out[3] = '0';
      out[4] = kHex[c >> 4];
      out[5] = kHex[c & 0xF];
    }
    return 6;
  }
  if (out) out[0] = static_cast<char>(c);
  return 1;
}

char* writeEscaped(char* out, const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    out += escapeByte(*p, out);
  }
  return out;
}

// Opens a gap of `n` bytes at the cursor following the comma rules; returns where the new text
// goes, or null (buffer unchanged) when the room up to the marker is too small.
char* openGap(char* cursor, size_t n) {
  char* point = cursor;
  bool commaBefore = false;
  bool commaAfter = false;
  const char c = *cursor;
  if (c == '{' || c == '[') {
    const char closer = c == '{' ? '}' : ']';
    point = cursor + 1;
    const char* next = point;
    while (isWhite(*next)) ++next;
    commaAfter = *next != closer;
  } else if (c == '}' || c == ']') {
    const char opener = c == '}' ? '{' : '[';
    const char* prev = cursor - 1;
    while (isWhite(*prev)) --prev;
    commaBefore = *prev != opener;
  } else if (c != '\0') {
    commaBefore = true;
  }
  const size_t room = n + ((commaBefore || commaAfter) ? 1 : 0);
  char* nul = point + std::strlen(point);
  const char* p = nul + 1;
  size_t freeBytes = 0;
  while (*p == '\0') {
    ++p;
    ++freeBytes;
  }
  // Anything but the marker after the zero run means the buffer is not ours to extend.
  if (*p != kMarker || freeBytes < room) return nullptr;
  std::memmove(point + room, point, static_cast<size_t>(nul - point) + 1);
  if (commaBefore) {
    *point = ',';
    return point + 1;
  }
  if (commaAfter) point[room - 1] = ',';
  return point;
}

// One member: the key (when given) and a value of `valueLength` bytes produced by `writeValue`.
template <typename WriteValue>
char* addMember(char* cursor, const char* key, size_t valueLength, WriteValue writeValue) {
  if (cursor == nullptr) return nullptr;
  const size_t keyLength = key ? escapedLength(key) + 3 : 0;
  char* out = openGap(cursor, keyLength + valueLength);
  if (out == nullptr) return nullptr;
  if (key) {
    *out++ = '"';
    out = writeEscaped(out, key);
    *out++ = '"';
    *out++ = ':';
  }
  return writeValue(out);
}

char* addLiteral(char* cursor, const char* key, const char* text) {
  const size_t length = std::strlen(text);
  return addMember(cursor, key, length, [&](char* out) {
    std::memcpy(out, text, length);
    return out + length;
  });
}

char* formatDouble(char* scratch, size_t size, double value) {
  if (!std::isfinite(value)) {
    // The reader cannot take back "nan" or "inf"; a detail must stay readable.
    std::snprintf(scratch, size, "null");
    return scratch;
  }
  std::snprintf(scratch, size, "%.20g", value);
  if (char* comma = std::strchr(scratch, ',')) *comma = '.';
  return scratch;
}

// Retries a fixed-buffer write after each growth until it fits or growing fails.
template <typename Write>
char* withGrow(char* cursor, const Grow& grow, Write write) {
  while (cursor != nullptr) {
    if (char* done = write(cursor)) return done;
    if (grow.function == nullptr) return nullptr;
    cursor = grow.function(cursor, grow.context);
  }
  return nullptr;
}

}  // namespace

size_t escapedLength(const char* text) {
  size_t length = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    length += escapeByte(*p, nullptr);
  }
  return length;
}

char* initBuffer(char* buffer, size_t size, const char* text) {
  if (buffer == nullptr || size < 2) return nullptr;
  const size_t length = text ? std::strlen(text) : strnlen(buffer, size);
  if (size <= length + 1) return nullptr;
  if (text) std::memmove(buffer, text, length);
  std::memset(buffer + length, 0, size - 1 - length);
  buffer[size - 1] = kMarker;
  return length == 0 ? buffer : buffer + length - 1;
}

char* addString(char* cursor, const char* key, const char* value) {
  if (value == nullptr) return nullptr;
  return addMember(cursor, key, escapedLength(value) + 2, [&](char* out) {
    *out++ = '"';
    out = writeEscaped(out, value);
    *out++ = '"';
    return out;
  });
}

char* addStringRef(char* cursor, const char* key, const char* const* value) {
  if (value == nullptr) return nullptr;
  return addString(cursor, key, *value);
}

char* addInt(char* cursor, const char* key, int32_t value) {
  char scratch[64];
  std::snprintf(scratch, sizeof scratch, "%i", value);
  return addLiteral(cursor, key, scratch);
}

char* addUInt(char* cursor, const char* key, uint32_t value) {
  char scratch[64];
  std::snprintf(scratch, sizeof scratch, "%u", value);
  return addLiteral(cursor, key, scratch);
}

char* addByte(char* cursor, const char* key, uint8_t value) {
  return addUInt(cursor, key, value);
}

char* addULong(char* cursor, const char* key, uint64_t value) {
  char scratch[64];
  std::snprintf(scratch, sizeof scratch, "%lu", static_cast<unsigned long>(value));
  return addLiteral(cursor, key, scratch);
}

char* addDouble(char* cursor, const char* key, double value) {
  char scratch[64];
  return addLiteral(cursor, key, formatDouble(scratch, sizeof scratch, value));
}

char* addBool(char* cursor, const char* key, bool value) {
  return addLiteral(cursor, key, value ? "true" : "false");
}

char* addRawValue(char* cursor, const char* key, const char* raw) {
  if (raw == nullptr) return nullptr;
  return addLiteral(cursor, key, raw);
}

char* beginObject(char* cursor, const char* key) {
  char* end = addLiteral(cursor, key, "{}");
  return end ? end - 1 : nullptr;
}

char* beginArray(char* cursor, const char* key) {
  char* end = addLiteral(cursor, key, "[]");
  return end ? end - 1 : nullptr;
}

char* endObject(char* cursor) {
  return cursor ? cursor + 1 : nullptr;
}
char* endArray(char* cursor) {
  return cursor ? cursor + 1 : nullptr;
}

char* addString(char* cursor, const char* key, const char* value, const Grow& grow) {
  if (value == nullptr) return nullptr;
  return withGrow(cursor, grow, [&](char* c) { return addString(c, key, value); });
}

char* addStringRef(char* cursor, const char* key, const char* const* value, const Grow& grow) {
  if (value == nullptr) return nullptr;
  return addString(cursor, key, *value, grow);
}

char* addInt(char* cursor, const char* key, int32_t value, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return addInt(c, key, value); });
}

char* addUInt(char* cursor, const char* key, uint32_t value, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return addUInt(c, key, value); });
}

char* addByte(char* cursor, const char* key, uint8_t value, const Grow& grow) {
  return addUInt(cursor, key, value, grow);
}

char* addULong(char* cursor, const char* key, uint64_t value, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return addULong(c, key, value); });
}

char* addDouble(char* cursor, const char* key, double value, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return addDouble(c, key, value); });
}

char* addBool(char* cursor, const char* key, bool value, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return addBool(c, key, value); });
}

char* addRawValue(char* cursor, const char* key, const char* raw, const Grow& grow) {
  if (raw == nullptr) return nullptr;
  return withGrow(cursor, grow, [&](char* c) { return addRawValue(c, key, raw); });
}

char* beginObject(char* cursor, const char* key, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return beginObject(c, key); });
}

char* beginArray(char* cursor, const char* key, const Grow& grow) {
  return withGrow(cursor, grow, [&](char* c) { return beginArray(c, key); });
}

}  // namespace qverr::json

namespace qverr {

namespace json {

GrowingBuffer::GrowingBuffer(size_t initialSize, const char* text) {
  buffer_ = static_cast<char*>(std::malloc(initialSize));
  if (buffer_ != nullptr) {
    size_ = initialSize;
    // A fresh buffer holds no text of its own to keep: a null text starts it empty.
    writer_.cursor = initBuffer(buffer_, size_, text != nullptr ? text : "");
  }
  writer_.grow = Grow{&GrowingBuffer::grow, this};
}

GrowingBuffer::~GrowingBuffer() {
  std::free(buffer_);
}

char* GrowingBuffer::grow(char* cursor, void* context) {
  auto* self = static_cast<GrowingBuffer*>(context);
  if (self->buffer_ == nullptr || self->size_ > (SIZE_MAX >> 2)) return nullptr;
  const size_t offset = static_cast<size_t>(cursor - self->buffer_);
  const size_t newSize = self->size_ * 2;
  char* grown = static_cast<char*>(std::malloc(newSize));
  if (grown == nullptr) return nullptr;
  initBuffer(grown, newSize, self->buffer_);
  std::free(self->buffer_);
  self->buffer_ = grown;
  self->size_ = newSize;
  return grown + offset;
}

}  // namespace json

namespace {
constexpr size_t kElementInitialSize = 256;
}

StatusDetailElement::StatusDetailElement(json::Writer* parent, const char* key)
    : buffer_(kElementInitialSize, "{}"), parent_(parent) {
  if (key != nullptr) {
    const size_t length = std::strlen(key);
    key_ = static_cast<char*>(std::malloc(length + 1));
    if (key_) std::memcpy(key_, key, length + 1);
  }
}

StatusDetailElement::~StatusDetailElement() {
  // A missing key or buffer means the element could not be built; the parent stays as it was.
  // A failed write inside the element left its text whole, so that text is still added.
  if (parent_ != nullptr && buffer_.text() != nullptr && key_ != nullptr) {
    if (char* next = json::addRawValue(parent_->cursor, key_, buffer_.text(), parent_->grow)) {
      parent_->cursor = next;
    }
  }
  std::free(key_);
}

}  // namespace qverr
