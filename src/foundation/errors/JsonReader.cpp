// Non-allocating JSON reader working directly on the text.

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundation/errors/Json.h"

namespace qverr::json {
namespace {

struct Failure {
  const char* position = nullptr;
  uint32_t code = 0;
};

bool isWhite(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

const char* skipWhite(const char* p) {
  while (isWhite(*p)) ++p;
  return p;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Four hexadecimal digits at p (the NUL stops the scan, as it is no digit).
int readHex4(const char* p) {
  int value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hexValue(p[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

const char* fail(Failure& failure, const char* position, uint32_t code) {
  failure.position = position;
  failure.code = code;
  return nullptr;
}

const char* parseValue(const char* p, Token* token, uint32_t depth, bool shallow, Failure& failure);

const char* parseString(const char* p, Token* token, Failure& failure) {
  if (*p != '"') return fail(failure, p, kErrorString);
  const char* q = p + 1;
  for (;;) {
    const unsigned char c = static_cast<unsigned char>(*q);
    if (c == '"') break;
    if (c < 0x20) return fail(failure, q, kErrorString);
    if (c == '\\') {
      const char e = q[1];
      if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' ||
          e == 't') {
        q += 2;
      } else if (e == 'u' && readHex4(q + 2) >= 0) {
        q += 6;
      } else {
        return fail(failure, q, kErrorEscape);
      }
      continue;
    }
    ++q;
  }
  token->kind = kTokenString;
  token->start = p + 1;
  token->length = static_cast<uint64_t>(q - (p + 1));
  token->hasFraction = false;
  return q + 1;
}

const char* parseNumber(const char* p, Token* token, Failure& failure) {
  const char* q = p;
  bool fraction = false;
  if (*q == '-') ++q;
  while (isDigit(*q)) ++q;
  if (*q == '.') {
    fraction = true;
    ++q;
    while (isDigit(*q)) ++q;
  }
  if (*q == 'e' || *q == 'E') {
    fraction = true;
    ++q;
    if (*q != '+' && *q != '-' && !isDigit(*q)) return fail(failure, q, kErrorSeparator);
    ++q;
    while (isDigit(*q)) ++q;
  }
  token->kind = kTokenNumber;
  token->start = p;
  token->length = static_cast<uint64_t>(q - p);
  token->hasFraction = fraction;
  return q;
}

const char* parseContainer(const char* p, Token* token, uint32_t depth, Failure& failure) {
  const bool object = *p == '{';
  const char closer = object ? '}' : ']';
  const uint32_t shortCode = object ? kErrorObject : kErrorArray;
  if (depth >= kMaxDepth) return fail(failure, p, shortCode);
  const char* q = skipWhite(p + 1);
  if (*q == '\0') return fail(failure, q, shortCode);
  if (*q != closer) {
    for (;;) {
      Token inner;
      if (object) {
        q = parseString(q, &inner, failure);
        if (q == nullptr) return nullptr;
        q = skipWhite(q);
        if (*q != ':') return fail(failure, q, kErrorColon);
        q = skipWhite(q + 1);
      }
      q = parseValue(q, &inner, depth + 1, false, failure);
      if (q == nullptr) return nullptr;
      q = skipWhite(q);
      if (*q == ',') {
        q = skipWhite(q + 1);
        if (*q == closer) return fail(failure, q, kErrorTrailingComma);
        if (*q == '\0') return fail(failure, q, shortCode);
        continue;
      }
      if (*q == closer) break;
      if (*q == '\0') return fail(failure, q, shortCode);
      return fail(failure, q, kErrorSeparator);
    }
  }
  token->kind = object ? kTokenObject : kTokenArray;
  token->start = p;
  token->length = static_cast<uint64_t>(q + 1 - p);
  token->hasFraction = false;
  return q + 1;
}

const char* parseWord(const char* p, Token* token, Failure& failure) {
  struct Word {
    const char* text;
    size_t length;
    uint32_t kind;
    uintptr_t value;
  };
  static const Word kWords[] = {
      {"true", 4, kTokenBool, 1}, {"false", 5, kTokenBool, 0}, {"null", 4, kTokenNull, 0}};
  for (const Word& word : kWords) {
    if (std::strncmp(p, word.text, word.length) == 0) {
      token->kind = word.kind;
      token->start = word.kind == kTokenBool ? reinterpret_cast<const char*>(word.value) : p;
      token->length = word.length;
      token->hasFraction = false;
      return p + word.length;
    }
  }
  // Every kind of value failed right here; the string's complaint is the first of equals.
  return fail(failure, p, kErrorString);
}

// Tries the kinds in the order string, number, object, array, words; a character that starts
// none of them fails every attempt at the same place, where the string's code is reported.
const char* parseValue(const char* p, Token* token, uint32_t depth, bool shallow,
                       Failure& failure) {
  const char c = *p;
  if (c == '"') return parseString(p, token, failure);
  if (c == '-' || isDigit(c)) return parseNumber(p, token, failure);
  if (c == '{' || c == '[') {
    if (shallow) {
      token->kind = c == '{' ? kTokenObject : kTokenArray;
      token->start = p;
      token->length = 1;
      token->hasFraction = false;
      return p;
    }
    return parseContainer(p, token, depth, failure);
  }
  return parseWord(p, token, failure);
}

const char* read(const char* text, Token* token, bool shallow) {
  Token scratch;
  Token* out = token ? token : &scratch;
  Failure failure;
  const char* end = nullptr;
  if (text == nullptr) {
    failure.code = kErrorNoInput;
  } else {
    end = parseValue(skipWhite(text), out, 0, shallow, failure);
  }
  if (end == nullptr) {
    out->kind = kTokenError;
    out->start = failure.position;
    out->length = failure.code;
    out->hasFraction = false;
  }
  return end;
}

void report(ParseError* error, const char* position, uint32_t code) {
  if (error) {
    error->position = position;
    error->code = code;
  }
}

// Reads a member key, the colon and the white space before its value.
const char* readKey(const char* q, Token* keyOut, bool* found, ParseError* error) {
  Token key;
  Failure failure;
  q = parseString(q, &key, failure);
  if (q == nullptr) {
    report(error, failure.position, failure.code);
    return nullptr;
  }
  q = skipWhite(q);
  if (*q != ':') {
    report(error, q, kErrorColon);
    return nullptr;
  }
  if (keyOut) *keyOut = key;
  if (found) *found = true;
  return skipWhite(q + 1);
}

// Decodes one character of a raw string slice: the number of bytes written to `out`, 0 for the
// escape of code point 0 (end of text), -1 for a bad escape.
int decodeOne(const char*& p, const char* end, unsigned char out[4]) {
  if (*p != '\\') {
    out[0] = static_cast<unsigned char>(*p++);
    return 1;
  }
  if (end - p < 2) return -1;
  const char e = p[1];
  unsigned char simple = 0;
  switch (e) {
    case '"':
      simple = '"';
      break;
    case '\\':
      simple = '\\';
      break;
    case '/':
      simple = '/';
      break;
    case 'b':
      simple = '\b';
      break;
    case 'f':
      simple = '\f';
      break;
    case 'n':
      simple = '\n';
      break;
    case 'r':
      simple = '\r';
      break;
    case 't':
      simple = '\t';
      break;
    case 'u':
      break;
    default:
      return -1;
  }
  if (simple != 0) {
    out[0] = simple;
    p += 2;
    return 1;
  }
  if (end - p < 6) return -1;
  int32_t codePoint = readHex4(p + 2);
  if (codePoint < 0) return -1;
  p += 6;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
    if (end - p < 6 || p[0] != '\\' || p[1] != 'u') return -1;
    const int32_t second = readHex4(p + 2);
    if (second < 0) return -1;
    p += 6;
    codePoint = ((codePoint - 0xD800) << 10) + (second - 0xDC00) + 0x10000;
    if (codePoint < 0 || codePoint >= 0x200000) return -1;
  }
  if (codePoint == 0) return 0;
  if (codePoint < 0x80) {
    out[0] = static_cast<unsigned char>(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
  return 4;
}

}  // namespace

bool keyEquals(const Token& rawKey, const char* key) {
  if (key == nullptr || rawKey.start == nullptr) return false;
  const char* p = rawKey.start;
  const char* end = rawKey.start + rawKey.length;
  const unsigned char* k = reinterpret_cast<const unsigned char*>(key);
  while (p < end) {
    unsigned char bytes[4];
    const int n = decodeOne(p, end, bytes);
    if (n < 0) return false;
    if (n == 0) break;
    for (int i = 0; i < n; ++i) {
      if (*k == 0 || *k != bytes[i]) return false;
      ++k;
    }
  }
  return *k == 0;
}

namespace {

const char* numberEnd(const Token& token) {
  return token.start + token.length;
}

// Decimal integer text: optional '-', then at least one digit, nothing else.
bool parseDecimal(const Token& token, bool* negative, uint64_t* magnitude, uint64_t limit) {
  const char* p = token.start;
  const char* end = numberEnd(token);
  *negative = p < end && *p == '-';
  if (*negative) ++p;
  if (p == end) return false;
  uint64_t value = 0;
  for (; p < end; ++p) {
    if (!isDigit(*p)) return false;
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > limit) return false;
  }
  *magnitude = value;
  return true;
}

}  // namespace

const char* readValue(const char* text, Token* token) {
  return read(text, token, false);
}

const char* readValueShallow(const char* text, Token* token) {
  return read(text, token, true);
}

bool validateDocument(const char* text, ParseError* error) {
  Token token;
  const char* end = readValue(text, &token);
  if (end == nullptr) {
    report(error, token.start, static_cast<uint32_t>(token.length));
    return false;
  }
  end = skipWhite(end);
  if (*end != '\0') {
    report(error, end, kErrorTrailingText);
    return false;
  }
  return true;
}

const char* firstMember(const char* object, Token* keyOut, bool* found, ParseError* error) {
  if (found) *found = false;
  if (object == nullptr) {
    report(error, nullptr, kErrorNoInput);
    return nullptr;
  }
  const char* q = skipWhite(object);
  if (*q != '{') {
    report(error, q, kErrorObject);
    return nullptr;
  }
  q = skipWhite(q + 1);
  if (*q == '}') return q + 1;
  return readKey(q, keyOut, found, error);
}

const char* nextMember(const char* afterValue, Token* keyOut, bool* found, ParseError* error) {
  if (found) *found = false;
  if (afterValue == nullptr) {
    report(error, nullptr, kErrorNoInput);
    return nullptr;
  }
  const char* q = skipWhite(afterValue);
  if (*q == '}') return q + 1;
  if (*q != ',') {
    report(error, q, *q == '\0' ? kErrorObject : kErrorSeparator);
    return nullptr;
  }
  q = skipWhite(q + 1);
  if (*q == '}') {
    report(error, q, kErrorTrailingComma);
    return nullptr;
  }
  return readKey(q, keyOut, found, error);
}

const char* firstArrayElement(const char* array, bool* found) {
  if (found) *found = false;
  if (array == nullptr) return nullptr;
  const char* q = skipWhite(array);
  if (*q != '[') return nullptr;
  q = skipWhite(q + 1);
  if (*q == ']') return q + 1;
  if (*q == '\0') return nullptr;
  if (found) *found = true;
  return q;
}

const char* nextArrayElement(const char* afterValue, bool* found) {
  if (found) *found = false;
  if (afterValue == nullptr) return nullptr;
  const char* q = skipWhite(afterValue);
  if (*q == ']') return q + 1;
  if (*q != ',') return nullptr;
  q = skipWhite(q + 1);
  if (*q == ']' || *q == '\0') return nullptr;
  if (found) *found = true;
  return q;
}

const char* firstArrayElementOrNull(const char* array) {
  bool found = false;
  const char* element = firstArrayElement(array, &found);
  return found ? element : nullptr;
}

const char* nextArrayElementOrNull(const char* afterValue) {
  bool found = false;
  const char* element = nextArrayElement(afterValue, &found);
  return found ? element : nullptr;
}

const char* findMember(const char* object, const char* key) {
  if (key == nullptr) return nullptr;
  Token name;
  bool found = false;
  const char* value = firstMember(object, &name, &found);
  while (value != nullptr && found) {
    if (keyEquals(name, key)) return value;
    Token skipped;
    const char* end = readValue(value, &skipped);
    if (end == nullptr) return nullptr;
    value = nextMember(end, &name, &found);
  }
  return nullptr;
}

const char* skipContainer(const char* position) {
  if (position == nullptr || (*position != '{' && *position != '[')) return nullptr;
  Token token;
  Failure failure;
  const char* end = parseContainer(position, &token, 0, failure);
  return end ? end - 1 : nullptr;
}

const char* getString(const char* position, const char* defaultText, size_t* length,
                      const char** end) {
  Token token;
  const char* valueEnd = readValue(position, &token);
  if (end) *end = valueEnd;
  if (valueEnd != nullptr && token.kind == kTokenString) {
    if (length) *length = static_cast<size_t>(token.length);
    return token.start;
  }
  if (length) *length = defaultText ? std::strlen(defaultText) : 0;
  return defaultText;
}

namespace {

template <typename T>
T getNumber(const char* position, T defaultValue, const char** end,
            bool (*parse)(const Token&, T*)) {
  Token token;
  const char* valueEnd = readValue(position, &token);
  if (end) *end = valueEnd;
  T value = 0;
  if (valueEnd != nullptr && token.kind == kTokenNumber && parse(token, &value)) return value;
  return defaultValue;
}

}  // namespace

int32_t getInt(const char* position, int32_t defaultValue, const char** end) {
  return getNumber(position, defaultValue, end, parseInt);
}

uint32_t getUInt(const char* position, uint32_t defaultValue, const char** end) {
  return getNumber(position, defaultValue, end, parseUInt);
}

bool parseDouble(const Token& token, double* out) {
  if (token.kind != kTokenNumber || token.start == nullptr || out == nullptr) return false;
  // from_chars reads the C-locale form whatever the process locale says.
  double value = 0;
  const char* end = numberEnd(token);
  const auto result = std::from_chars(token.start, end, value);
  if (result.ec == std::errc::result_out_of_range && result.ptr == end) {
    // Too small for a double reads as zero, as the C conversion has it; too large stays out.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    if (cLocale == nullptr) return false;
    char* stop = nullptr;
    value = strtod_l(token.start, &stop, cLocale);
    if (stop != end || !std::isfinite(value)) return false;
  } else if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
    return false;
  }
  *out = value;
  return true;
}

bool parseInt(const Token& token, int32_t* out) {
  if (token.kind != kTokenNumber || token.start == nullptr || out == nullptr) return false;
  if (token.hasFraction) {
    double value = 0;
    if (!parseDouble(token, &value)) return false;
    value = std::trunc(value);
    if (value < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        value > static_cast<double>(std::numeric_limits<int32_t>::max())) {
      return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
  }
  bool negative = false;
  uint64_t magnitude = 0;
  if (!parseDecimal(token, &negative, &magnitude, 2147483648ull)) return false;
  if (!negative && magnitude > 2147483647ull) return false;
  *out = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                  : static_cast<int32_t>(magnitude);
  return true;
}

bool parseUInt(const Token& token, uint32_t* out) {
  if (token.kind != kTokenNumber || token.start == nullptr || out == nullptr) return false;
  if (token.hasFraction) {
    double value = 0;
    if (!parseDouble(token, &value)) return false;
    value = std::trunc(value);
    if (value < 0 || value > static_cast<double>(std::numeric_limits<uint32_t>::max())) {
      return false;
    }
    *out = static_cast<uint32_t>(value);
    return true;
  }
  bool negative = false;
  uint64_t magnitude = 0;
  if (!parseDecimal(token, &negative, &magnitude, 4294967295ull)) return false;
  if (negative && magnitude != 0) return false;
  *out = static_cast<uint32_t>(magnitude);
  return true;
}

char* copyDecoded(const char* start, size_t length, char* destination) {
  if (destination == nullptr) return nullptr;
  char* out = destination;
  if (start == nullptr) {
    *out = '\0';
    return length == 0 ? out : nullptr;
  }
  const char* p = start;
  const char* end = start + length;
  while (p < end) {
    unsigned char bytes[4];
    const int n = decodeOne(p, end, bytes);
    if (n < 0) {
      *out = '\0';
      return nullptr;
    }
    if (n == 0) break;
    std::memcpy(out, bytes, static_cast<size_t>(n));
    out += n;
  }
  *out = '\0';
  return out;
}

}  // namespace qverr::json
