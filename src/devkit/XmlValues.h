#pragma once
// Rules shared by the bitfile readers for turning XML nodes into values, plus the XML parse and
// print helpers and the whole-file read they use.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <rapidxml/rapidxml.hpp>

namespace qvkel {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;
using XmlDocument = rapidxml::xml_document<char>;

// Texts keep their entity references; the value readers decode them.
inline constexpr int kXmlParseFlags = rapidxml::parse_no_entity_translation;
// Leaves the text untouched so it can be parsed again later.
inline constexpr int kXmlParseFlagsNonDestructive = rapidxml::parse_non_destructive;

// Deepest element nesting accepted before parsing; the XML library recurses once per level.
inline constexpr uint32_t kMaxXmlDepth = 256;

// First child element named exactly `name`; with no name the first child element; null if none.
XmlNode* findXmlNode(const XmlNode* element, const char* name);
XmlNode* getRequiredXmlNode(const XmlNode* element, const char* name);
XmlAttribute* getRequiredXmlAttribute(const XmlNode* element, const char* name);

// Replace-all passes for the five predefined entities, "&amp;" last.
std::string decodeXmlEntities(std::string_view text);
// The node's text (empty without one), entity-decoded unless `raw`.
std::string unescapeXmlText(const XmlNode* node, bool raw = false);
std::string unescapeXmlText(const XmlAttribute* attribute, bool raw = false);

// Numbers read with the base taken from the text ("0x" hex, leading "0" octal); -61070 when no
// number reads.
uint32_t readXmlUnsigned(const XmlNode* node, bool raw = false);
uint64_t readXmlUnsigned64(const XmlNode* node, bool raw = false);
int32_t readXmlSigned(const XmlNode* node, bool raw = false);
// "true"/"false" in any case, nothing around them; -61070 otherwise.
bool readXmlBool(const XmlNode* node, bool raw = false);
bool parseXmlBool(std::string_view text);
// Equal texts when ASCII letters are compared without regard to case.
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
uint32_t parseXmlUnsigned(const std::string& text);

// Length of a UTF-8 byte-order mark at the start of the text (0 or 3).
size_t byteOrderMarkLength(const char* text, size_t length);

// Checks the nesting depth of a NUL-terminated text the way the XML library walks it; false when
// some element would open deeper than kMaxXmlDepth.
bool xmlDepthWithinLimit(const char* text, size_t length);

// Parses a NUL-terminated text (byte-order mark skipped) into `document`. A library parse error
// or a too deeply nested text gives -61070. Returns the first element or null.
template <int Flags>
XmlNode* parseXml(XmlDocument& document, char* text, size_t length);

// Prints an element with the library's default formatting. The library escapes the texts it
// prints, but this reader keeps texts as written in the file (entities not decoded), so an
// ampersand would come out escaped twice; the printed text keeps each text as it was written.
std::string printXmlElement(const XmlNode* element);

// When `isPath` is false returns `pathOrText` itself. Otherwise reads the file into a new
// NUL-terminated buffer held by `holder`; any failure raises `failureCode`. `length` receives
// the number of bytes before the terminator.
const char* readWholeFile(bool isPath, const char* pathOrText, std::unique_ptr<char[]>& holder,
                          int32_t failureCode, size_t* length = nullptr);

// Writes the length; copies text and terminator into `buffer` when given (-63080 when the
// length is not below `bufferSize`).
void copyStringOut(const std::string& text, char* buffer, size_t bufferSize, size_t* lengthOut);

}  // namespace qvkel
