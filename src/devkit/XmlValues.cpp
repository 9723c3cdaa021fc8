#include "devkit/XmlValues.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <sstream>

#include <sys/stat.h>

#include <rapidxml/rapidxml_print.hpp>

#include "devkit/DevkitCodes.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/shared/XmlUtils";
constexpr qverr::StatusLocation kMissingNode{kSource, 48, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kMissingAttribute{kSource, 63, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadNumber{kSource, 118, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadBool{kSource, 151, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadXml{kSource, 176, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTooDeep{kSource, 181, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kFileRead{kSource, 214, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBufferTooSmall{kSource, 247, qverr::kComponent, nullptr};

bool sameName(const char* a, size_t aLength, const char* b, size_t bLength) {
  return aLength == bLength && std::memcmp(a, b, aLength) == 0;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  size_t start = 0;
  size_t found = text.find(from);
  if (found == std::string::npos) return;
  out.reserve(text.size());
  while (found != std::string::npos) {
    out.append(text, start, found - start);
    out.append(to);
    start = found + from.size();
    found = text.find(from, start);
  }
  out.append(text, start, std::string::npos);
  text.swap(out);
}

template <typename T>
T readNumber(const std::string& text) {
  std::istringstream stream(text);
  stream.unsetf(std::ios::basefield);
  T value{};
  stream >> value;
  if (stream.fail()) qverr::raise(kBitfileCorrupt, kBadNumber);
  return value;
}

using Lookup = rapidxml::internal::lookup_tables<0>;
bool isSpace(char c) {
  return Lookup::lookup_whitespace[static_cast<unsigned char>(c)] != 0;
}
bool isNodeNameChar(char c) {
  return Lookup::lookup_node_name[static_cast<unsigned char>(c)] != 0;
}
bool isAttributeNameChar(char c) {
  return Lookup::lookup_attribute_name[static_cast<unsigned char>(c)] != 0;
}

// Position just after `needle` at or after `from`, or null.
const char* skipPast(const char* from, const char* end, std::string_view needle) {
  std::string_view rest(from, static_cast<size_t>(end - from));
  size_t found = rest.find(needle);
  return found == std::string_view::npos ? nullptr : from + found + needle.size();
}

}  // namespace

XmlNode* findXmlNode(const XmlNode* element, const char* name) {
  if (element == nullptr) return nullptr;
  const size_t length = name ? std::strlen(name) : 0;
  for (XmlNode* child = element->first_node(); child; child = child->next_sibling()) {
    if (child->type() != rapidxml::node_element) continue;
    if (name == nullptr || sameName(child->name(), child->name_size(), name, length)) return child;
  }
  return nullptr;
}

XmlNode* getRequiredXmlNode(const XmlNode* element, const char* name) {
  XmlNode* node = findXmlNode(element, name);
  if (node == nullptr) qverr::raise(kBitfileCorrupt, kMissingNode);
  return node;
}

XmlAttribute* getRequiredXmlAttribute(const XmlNode* element, const char* name) {
  const size_t length = name ? std::strlen(name) : 0;
  if (element != nullptr) {
    for (XmlAttribute* a = element->first_attribute(); a; a = a->next_attribute()) {
      if (name == nullptr || sameName(a->name(), a->name_size(), name, length)) return a;
    }
  }
  qverr::raise(kBitfileCorrupt, kMissingAttribute);
}

std::string decodeXmlEntities(std::string_view text) {
  std::string out(text);
  if (out.find('&') == std::string::npos) return out;
  replaceAll(out, "&lt;", "<");
  replaceAll(out, "&gt;", ">");
  replaceAll(out, "&apos;", "'");
  replaceAll(out, "&quot;", "\"");
  replaceAll(out, "&amp;", "&");
  return out;
}

std::string unescapeXmlText(const XmlNode* node, bool raw) {
  if (node == nullptr) return {};
  std::string_view text(node->value(), node->value_size());
  return raw ? std::string(text) : decodeXmlEntities(text);
}

std::string unescapeXmlText(const XmlAttribute* attribute, bool raw) {
  if (attribute == nullptr) return {};
  std::string_view text(attribute->value(), attribute->value_size());
  return raw ? std::string(text) : decodeXmlEntities(text);
}

uint32_t parseXmlUnsigned(const std::string& text) {
  return readNumber<uint32_t>(text);
}

uint32_t readXmlUnsigned(const XmlNode* node, bool raw) {
  return readNumber<uint32_t>(unescapeXmlText(node, raw));
}

uint64_t readXmlUnsigned64(const XmlNode* node, bool raw) {
  return readNumber<uint64_t>(unescapeXmlText(node, raw));
}

int32_t readXmlSigned(const XmlNode* node, bool raw) {
  return readNumber<int32_t>(unescapeXmlText(node, raw));
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool parseXmlBool(std::string_view text) {
  if (equalsIgnoringAsciiCase(text, "true")) return true;
  if (equalsIgnoringAsciiCase(text, "false")) return false;
  qverr::raise(kBitfileCorrupt, kBadBool);
}

bool readXmlBool(const XmlNode* node, bool raw) {
  return parseXmlBool(unescapeXmlText(node, raw));
}

size_t byteOrderMarkLength(const char* text, size_t length) {
  if (length >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
      static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
    return 3;
  return 0;
}

// Follows the XML library's own grammar just far enough to know how deep it would recurse.
// Wherever the library would stop with a parse error the walk stops too: nothing deeper is
// reached then.
bool xmlDepthWithinLimit(const char* text, size_t length) {
  const char* end = text + strnlen(text, length);
  const char* p = text;
  uint32_t depth = 0;
  while (p < end) {
    const char* open = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
    if (open == nullptr) return true;
    p = open + 1;
    if (p >= end) return true;
    if (*p == '/') {
      if (depth == 0) return true;
      --depth;
      ++p;
      continue;
    }
    if (*p == '?') {
      p = skipPast(p + 1, end, "?>");
      if (p == nullptr) return true;
      continue;
    }
    if (*p == '!') {
      std::string_view rest(p, static_cast<size_t>(end - p));
      if (rest.starts_with("!--")) {
        p = skipPast(p + 3, end, "-->");
      } else if (rest.starts_with("![CDATA[")) {
        p = skipPast(p + 8, end, "]]>");
      } else if (rest.starts_with("!DOCTYPE") && rest.size() > 8 && isSpace(rest[8])) {
        p += 9;
        while (p < end && *p != '>') {
          if (*p == '[') {
            ++p;
            int brackets = 1;
            while (brackets > 0) {
              if (p >= end) return true;
              if (*p == '[') ++brackets;
              if (*p == ']') --brackets;
              ++p;
            }
          } else {
            ++p;
          }
        }
        if (p >= end) return true;
        ++p;
      } else {
        p = skipPast(p + 1, end, ">");
      }
      if (p == nullptr) return true;
      continue;
    }
    // Element: name, attributes, then '>' opens a level and "/>" closes at once.
    const char* name = p;
    while (p < end && isNodeNameChar(*p)) ++p;
    if (p == name) return true;
    while (p < end && isSpace(*p)) ++p;
    while (p < end && isAttributeNameChar(*p)) {
      while (p < end && isAttributeNameChar(*p)) ++p;
      while (p < end && isSpace(*p)) ++p;
      if (p >= end || *p != '=') return true;
      ++p;
      while (p < end && isSpace(*p)) ++p;
      if (p >= end || (*p != '"' && *p != '\'')) return true;
      const char quote = *p;
      const char* close =
          static_cast<const char*>(std::memchr(p + 1, quote, static_cast<size_t>(end - p - 1)));
      if (close == nullptr) return true;
      p = close + 1;
      while (p < end && isSpace(*p)) ++p;
    }
    if (p < end && *p == '>') {
      if (++depth > kMaxXmlDepth) return false;
      ++p;
    } else if (p + 1 < end && p[0] == '/' && p[1] == '>') {
      p += 2;
    } else {
      return true;
    }
  }
  return true;
}

template <int Flags>
XmlNode* parseXml(XmlDocument& document, char* text, size_t length) {
  const size_t bom = byteOrderMarkLength(text, length);
  if (!xmlDepthWithinLimit(text + bom, length - bom)) qverr::raise(kBitfileCorrupt, kTooDeep);
  try {
    document.parse<Flags>(text + bom);
  } catch (const rapidxml::parse_error&) {
    qverr::raise(kBitfileCorrupt, kBadXml);
  }
  return findXmlNode(&document, nullptr);
}

template XmlNode* parseXml<kXmlParseFlags>(XmlDocument&, char*, size_t);
template XmlNode* parseXml<kXmlParseFlagsNonDestructive>(XmlDocument&, char*, size_t);

std::string printXmlElement(const XmlNode* element) {
  std::string printed;
  rapidxml::print(std::back_inserter(printed), *element);
  // Undo the printer's second escaping of '&' inside texts and attribute values; names and
  // CDATA sections are printed as they are and stay untouched.
  std::string out;
  out.reserve(printed.size());
  enum { kText, kTag, kValue } state = kText;
  char quote = 0;
  const std::string_view view(printed);
  for (size_t i = 0; i < view.size();) {
    const char c = view[i];
    if (state == kText) {
      if (c == '<' && view.compare(i, 9, "<![CDATA[") == 0) {
        size_t close = view.find("]]>", i + 9);
        size_t stop = close == std::string_view::npos ? view.size() : close + 3;
        out.append(view, i, stop - i);
        i = stop;
        continue;
      }
      if (c == '<') state = kTag;
    } else if (state == kTag) {
      if (c == '"' || c == '\'') {
        state = kValue;
        quote = c;
      } else if (c == '>') {
        state = kText;
      }
    } else if (c == quote) {
      state = kTag;
    }
    if (state != kTag && c == '&' && view.compare(i, 5, "&amp;") == 0) {
      out.push_back('&');
      i += 5;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

const char* readWholeFile(bool isPath, const char* pathOrText, std::unique_ptr<char[]>& holder,
                          int32_t failureCode, size_t* length) {
  if (!isPath) {
    if (length) *length = std::strlen(pathOrText);
    return pathOrText;
  }
  const qverr::StatusLocation failure{kFileRead.file, kFileRead.line, kFileRead.component,
                                      qverr::constant::kErrorCode};
  std::FILE* file = std::fopen(pathOrText, "rbe");
  if (file == nullptr) qverr::raise(failureCode, failure);
  struct Closer {
    std::FILE* file;
    ~Closer() { std::fclose(file); }
  } closer{file};
  // A directory opens and seeks, and then reports an enormous size on some file systems.
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0 || S_ISDIR(info.st_mode))
    qverr::raise(failureCode, failure);
  if (std::fseek(file, 0, SEEK_END) != 0) qverr::raise(failureCode, failure);
  const long size = std::ftell(file);
  if (size < 0 || static_cast<unsigned long>(size) >= std::numeric_limits<size_t>::max())
    qverr::raise(failureCode, failure);
  if (std::fseek(file, 0, SEEK_SET) != 0) qverr::raise(failureCode, failure);
  const size_t count = static_cast<size_t>(size);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[count + 1]);
  if (buffer == nullptr) qverr::raise(failureCode, failure);
  if (std::fread(buffer.get(), 1, count, file) != count) qverr::raise(failureCode, failure);
  buffer[count] = '\0';
  holder = std::move(buffer);
  if (length) *length = count;
  return holder.get();
}

void copyStringOut(const std::string& text, char* buffer, size_t bufferSize, size_t* lengthOut) {
  if (lengthOut) *lengthOut = text.size();
  if (buffer == nullptr) return;
  if (text.size() >= bufferSize) qverr::raise(kStringBufferTooSmall, kBufferTooSmall);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

}  // namespace qvkel
