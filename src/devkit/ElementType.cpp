#include "devkit/ElementType.h"

#include "devkit/DevkitCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/shared/DataType";
constexpr qverr::StatusLocation kBadWordLength{kSource, 87, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadIntegerWordLength{kSource, 94, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoCompositeSize{kSource, 121, qverr::kComponent, nullptr};

struct Scalar {
  std::string_view name;
  ElementType code;
  uint32_t wordLength;
  uint32_t size;
  bool isSigned;
};

constexpr Scalar kScalars[] = {
    {"Boolean", ElementType::Bool, 1, 1, false}, {"I8", ElementType::I8, 8, 1, true},
    {"U8", ElementType::U8, 8, 1, false},        {"EnumU8", ElementType::U8, 8, 1, false},
    {"I16", ElementType::I16, 16, 2, true},      {"U16", ElementType::U16, 16, 2, false},
    {"EnumU16", ElementType::U16, 16, 2, false}, {"I32", ElementType::I32, 32, 4, true},
    {"U32", ElementType::U32, 32, 4, false},     {"EnumU32", ElementType::U32, 32, 4, false},
    {"I64", ElementType::I64, 64, 8, true},      {"U64", ElementType::U64, 64, 8, false},
    {"EnumU64", ElementType::U64, 64, 8, false}, {"SGL", ElementType::Sgl, 32, 4, true},
    {"DBL", ElementType::Dbl, 64, 8, true},
};

void appendType(const Type& type, qvhtl::ByteVector& buffer, qverr::Status& status) {
  buffer.appendU8(static_cast<uint8_t>(type.getElementType()), status);
  buffer.appendU32(type.getWordLength(), status);
  buffer.appendU32(type.getSize(), status);
  buffer.appendU8(type.isSigned() ? 1 : 0, status);
  buffer.appendI32(type.getIntegerWordLength(), status);
}

}  // namespace

void Type::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  appendType(*this, buffer, status);
}

void ResourceDescriptor::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  buffer.appendU8(kind_, status);
  buffer.appendU8(subKind_, status);
  appendType(type_, buffer, status);
}

Type typeFromXml(std::string_view name, const XmlNode* typeElement, const XmlNode* owner) {
  for (const Scalar& scalar : kScalars) {
    if (scalar.name == name)
      return Type(scalar.code, scalar.wordLength, scalar.size, scalar.isSigned,
                  static_cast<int32_t>(scalar.wordLength));
  }
  if (name == "FXP") {
    const XmlNode* wordLengthNode = findXmlNode(typeElement, "WordLength");
    const XmlNode* integerNode = findXmlNode(typeElement, "IntegerWordLength");
    const XmlNode* signedNode = findXmlNode(typeElement, "Signed");
    if (!wordLengthNode || !integerNode || !signedNode) return Type();
    const uint32_t wordLength = readXmlUnsigned(wordLengthNode);
    if (wordLength < 1 || wordLength > 64) qverr::raise(kBitfileCorrupt, kBadWordLength);
    const int32_t integerWordLength = readXmlSigned(integerNode);
    if (integerWordLength < -2048 || integerWordLength > 2047)
      qverr::raise(kBitfileCorrupt, kBadIntegerWordLength);
    const bool isSigned = readXmlBool(signedNode);
    const uint32_t size = wordLength <= 8 ? 1 : wordLength <= 16 ? 2 : wordLength <= 32 ? 4 : 8;
    return Type(ElementType::Fxp, wordLength, size, isSigned, integerWordLength);
  }
  if (name == "Cluster" || name == "Array" || name == "CFXP") {
    uint32_t wordLength = 0;
    uint32_t size = 0;
    if (const XmlNode* bits = findXmlNode(owner, "SizeInBits")) {
      wordLength = readXmlUnsigned(bits);
      size = static_cast<uint32_t>((uint64_t{wordLength} + 7) / 8);
    } else {
      const XmlNode* bytes = findXmlNode(owner, "TransferSizeBytes");
      if (bytes == nullptr) qverr::raise(kBitfileCorrupt, kNoCompositeSize);
      const uint32_t count = readXmlUnsigned(bytes);
      wordLength = count * 8u;
      size = count & 0x1FFFFFFFu;
    }
    return Type(ElementType::Composite, wordLength, size, false, static_cast<int32_t>(wordLength));
  }
  return Type();
}

Type readDatatype(const XmlNode* registerElement, bool& isArray) {
  isArray = false;
  const XmlNode* datatype = getRequiredXmlNode(registerElement, "Datatype");
  const XmlNode* typeElement = getRequiredXmlNode(datatype, nullptr);
  std::string_view name(typeElement->name(), typeElement->name_size());
  if (name == "Array") {
    isArray = true;
    typeElement = getRequiredXmlNode(getRequiredXmlNode(typeElement, "Type"), nullptr);
    name = std::string_view(typeElement->name(), typeElement->name_size());
  }
  return typeFromXml(name, typeElement, registerElement);
}

}  // namespace qvkel
