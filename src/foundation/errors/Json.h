#pragma once
// JSON error details: an in-place writer for flat buffers and a non-allocating reader.
//
// Fixed buffer: text, NUL, zero fill, and the marker byte 'J' in the last byte. Writers insert
// at a cursor and never write past the marker; a failed insertion leaves the text unchanged.
// A null cursor means an earlier write failed: every writer passes it through as null, so a
// chain of writes is checked once at its end.

#include <cstddef>
#include <cstdint>

namespace qverr::json {

constexpr char kMarker = 'J';

// Re-bases `cursor` into a larger buffer; null when the buffer cannot grow.
using GrowFunction = char* (*)(char* cursor, void* context);

struct Grow {
  GrowFunction function = nullptr;
  void* context = nullptr;
};

// A cursor together with the way to grow its buffer.
struct Writer {
  char* cursor = nullptr;
  Grow grow;
};

// Length of `text` once escaped (without quotes).
size_t escapedLength(const char* text);

// Copies `text` (or keeps the buffer's own text when null) in fixed-buffer form; returns a cursor
// at the text's last character, or null when the buffer is too small.
char* initBuffer(char* buffer, size_t size, const char* text);

// Fixed-buffer writers: null when the member does not fit.
char* addString(char* cursor, const char* key, const char* value);
char* addStringRef(char* cursor, const char* key, const char* const* value);
char* addInt(char* cursor, const char* key, int32_t value);
char* addUInt(char* cursor, const char* key, uint32_t value);
char* addByte(char* cursor, const char* key, uint8_t value);
char* addULong(char* cursor, const char* key, uint64_t value);
char* addDouble(char* cursor, const char* key, double value);
char* addBool(char* cursor, const char* key, bool value);
char* addRawValue(char* cursor, const char* key, const char* raw);
char* beginObject(char* cursor, const char* key);
char* beginArray(char* cursor, const char* key);

// Growing writers: on lack of room they call grow and retry at the re-based cursor.
char* addString(char* cursor, const char* key, const char* value, const Grow& grow);
char* addStringRef(char* cursor, const char* key, const char* const* value, const Grow& grow);
char* addInt(char* cursor, const char* key, int32_t value, const Grow& grow);
char* addUInt(char* cursor, const char* key, uint32_t value, const Grow& grow);
char* addByte(char* cursor, const char* key, uint8_t value, const Grow& grow);
char* addULong(char* cursor, const char* key, uint64_t value, const Grow& grow);
char* addDouble(char* cursor, const char* key, double value, const Grow& grow);
char* addBool(char* cursor, const char* key, bool value, const Grow& grow);
char* addRawValue(char* cursor, const char* key, const char* raw, const Grow& grow);
char* beginObject(char* cursor, const char* key, const Grow& grow);
char* beginArray(char* cursor, const char* key, const Grow& grow);

// Step past the closing character of the container the cursor sits on.
char* endObject(char* cursor);
char* endArray(char* cursor);

// ---- Reader ----------------------------------------------------------------------------------

enum TokenKind : uint32_t {
  kTokenError = 0,
  kTokenNull = 1,
  kTokenBool = 2,
  kTokenNumber = 3,
  kTokenString = 4,
  kTokenArray = 5,
  kTokenObject = 6,
};

enum ParseErrorCode : uint32_t {
  kErrorNoInput = 1,
  kErrorString = 2,
  kErrorObject = 3,
  kErrorArray = 4,
  kErrorColon = 5,
  kErrorSeparator = 6,
  kErrorEscape = 7,
  kErrorTrailingComma = 8,
  kErrorTrailingText = 9,
};

struct Token {
  uint32_t kind = kTokenError;
  // Bool: 1 true / 0 false stored in place of the pointer. Error: the error position.
  const char* start = nullptr;
  // String: raw length between the quotes. Error: the error code.
  uint64_t length = 0;
  bool hasFraction = false;
};

struct ParseError {
  const char* position = nullptr;
  uint32_t code = 0;
};

// Deepest nesting the reader follows; deeper input is rejected as malformed.
constexpr uint32_t kMaxDepth = 256;

const char* readValue(const char* text, Token* token);
const char* readValueShallow(const char* text, Token* token);
bool validateDocument(const char* text, ParseError* error);

// `keyOut` receives the key's raw slice as a string token; `error` is optional.
const char* firstMember(const char* object, Token* keyOut, bool* found,
                        ParseError* error = nullptr);
const char* nextMember(const char* afterValue, Token* keyOut, bool* found,
                       ParseError* error = nullptr);
const char* firstArrayElement(const char* array, bool* found);
const char* nextArrayElement(const char* afterValue, bool* found);
const char* firstArrayElementOrNull(const char* array);
const char* nextArrayElementOrNull(const char* afterValue);

const char* findMember(const char* object, const char* key);
// Whether a raw key slice (a string token), with its escapes decoded, equals `key` byte for byte.
bool keyEquals(const Token& rawKey, const char* key);
const char* skipContainer(const char* position);

const char* getString(const char* position, const char* defaultText, size_t* length,
                      const char** end);
int32_t getInt(const char* position, int32_t defaultValue, const char** end);
uint32_t getUInt(const char* position, uint32_t defaultValue, const char** end);

bool parseDouble(const Token& token, double* out);
bool parseInt(const Token& token, int32_t* out);
bool parseUInt(const Token& token, uint32_t* out);

// Writes the decoded bytes of a raw string slice and a NUL into `destination` (which needs
// length + 1 bytes). On a bad escape returns null; what was decoded before it stays, terminated.
char* copyDecoded(const char* start, size_t length, char* destination);

}  // namespace qverr::json

namespace qverr {

namespace json {

// A writable buffer of its own that doubles when a write needs more room. A failed allocation
// leaves no buffer and a null cursor, so every write through it fails.
class GrowingBuffer {
 public:
  GrowingBuffer(size_t initialSize, const char* text);
  ~GrowingBuffer();
  GrowingBuffer(const GrowingBuffer&) = delete;
  GrowingBuffer& operator=(const GrowingBuffer&) = delete;

  // The writer (cursor at the text's last character, as initBuffer leaves it).
  Writer& writer() { return writer_; }
  // Null when the first allocation failed.
  const char* text() const { return buffer_; }
  // The whole buffer, marker included.
  size_t size() const { return size_; }

 private:
  static char* grow(char* cursor, void* context);

  Writer writer_;
  char* buffer_ = nullptr;
  size_t size_ = 0;
};

}  // namespace json

// A nested object built in a buffer of its own and added to its parent under `key` when the
// element goes out of scope.
class StatusDetailElement {
 public:
  StatusDetailElement(json::Writer* parent, const char* key);
  ~StatusDetailElement();
  StatusDetailElement(const StatusDetailElement&) = delete;
  StatusDetailElement& operator=(const StatusDetailElement&) = delete;

  // The element's own writer (cursor at its closing brace).
  json::Writer& writer() { return buffer_.writer(); }
  const char* text() const { return buffer_.text(); }

 private:
  json::GrowingBuffer buffer_;
  json::Writer* parent_;
  char* key_ = nullptr;
};

}  // namespace qverr
