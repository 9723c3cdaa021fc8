#include "devkit/ElementType.h"

#include <gtest/gtest.h>

#include "DevkitTestUtil.h"
#include "devkit/ByteVector.h"

namespace {

using devkit_test::codeOf;
using devkit_test::XmlSnippet;
using qvkel::ElementType;
using qvkel::Type;

Type typeOf(const std::string& name, const std::string& typeChildren = "",
            const std::string& ownerChildren = "") {
  XmlSnippet owner("<Owner>" + ownerChildren + "<T>" + typeChildren + "</T></Owner>");
  return qvkel::typeFromXml(name, qvkel::findXmlNode(owner.root, "T"), owner.root);
}

std::string fxp(const std::string& wordLength, const std::string& integerWordLength,
                const std::string& isSigned = "true") {
  return "<WordLength>" + wordLength + "</WordLength><IntegerWordLength>" + integerWordLength +
         "</IntegerWordLength><Signed>" + isSigned + "</Signed>";
}

TEST(ElementTypeFromXml, ScalarNamesGiveTheirRows) {
  struct Row {
    const char* name;
    ElementType code;
    uint32_t wordLength, size;
    bool isSigned;
  };
  const Row rows[] = {
      {"Boolean", ElementType::Bool, 1, 1, false}, {"I8", ElementType::I8, 8, 1, true},
      {"U8", ElementType::U8, 8, 1, false},        {"EnumU8", ElementType::U8, 8, 1, false},
      {"I16", ElementType::I16, 16, 2, true},      {"EnumU16", ElementType::U16, 16, 2, false},
      {"I32", ElementType::I32, 32, 4, true},      {"EnumU32", ElementType::U32, 32, 4, false},
      {"I64", ElementType::I64, 64, 8, true},      {"U64", ElementType::U64, 64, 8, false},
      {"EnumU64", ElementType::U64, 64, 8, false}, {"SGL", ElementType::Sgl, 32, 4, true},
      {"DBL", ElementType::Dbl, 64, 8, true},
  };
  for (const Row& row : rows) {
    const Type type = typeOf(row.name);
    EXPECT_EQ(type.getElementType(), row.code) << row.name;
    EXPECT_EQ(type.getWordLength(), row.wordLength) << row.name;
    EXPECT_EQ(type.getSize(), row.size) << row.name;
    EXPECT_EQ(type.isSigned(), row.isSigned) << row.name;
    EXPECT_EQ(type.getIntegerWordLength(), static_cast<int32_t>(row.wordLength)) << row.name;
  }
}

TEST(ElementTypeFromXml, UnknownOrWronglyCasedNamesGiveNoType) {
  for (const char* name : {"boolean", "EnumI8", "u32", "Float", ""}) {
    const Type type = typeOf(name);
    EXPECT_EQ(type.getElementType(), ElementType::None) << name;
    EXPECT_EQ(type.getSize(), 0u);
    EXPECT_EQ(type.getWordLength(), 0u);
  }
}

TEST(ElementTypeFromXml, FixedPointSizesFollowTheWordLength) {
  EXPECT_EQ(typeOf("FXP", fxp("8", "4")).getSize(), 1u);
  EXPECT_EQ(typeOf("FXP", fxp("9", "4")).getSize(), 2u);
  const Type twenty = typeOf("FXP", fxp("20", "-3", "FALSE"));
  EXPECT_EQ(twenty.getElementType(), ElementType::Fxp);
  EXPECT_EQ(twenty.getWordLength(), 20u);
  EXPECT_EQ(twenty.getSize(), 4u);
  EXPECT_EQ(twenty.getIntegerWordLength(), -3);
  EXPECT_FALSE(twenty.isSigned());
  EXPECT_EQ(typeOf("FXP", fxp("33", "0")).getSize(), 8u);
  EXPECT_EQ(typeOf("FXP", fxp("64", "0")).getSize(), 8u);
}

TEST(ElementTypeFromXml, FixedPointLimits) {
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("0", "0")); }), -61070);
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("65", "0")); }), -61070);
  EXPECT_EQ(typeOf("FXP", fxp("16", "-2048")).getIntegerWordLength(), -2048);
  EXPECT_EQ(typeOf("FXP", fxp("16", "2047")).getIntegerWordLength(), 2047);
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("16", "-2049")); }), -61070);
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("16", "2048")); }), -61070);
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("16", "0", "yes")); }), -61070);
  EXPECT_EQ(codeOf([] { typeOf("FXP", fxp("sixteen", "0")); }), -61070);
}

TEST(ElementTypeFromXml, FixedPointWithoutAllParametersIsNoType) {
  const Type type =
      typeOf("FXP", "<WordLength>16</WordLength><IntegerWordLength>4</IntegerWordLength>");
  EXPECT_EQ(type, Type());
}

TEST(ElementTypeFromXml, CompositeSizesComeFromTheOwner) {
  const Type bits = typeOf("Cluster", "", "<SizeInBits>12</SizeInBits>");
  EXPECT_EQ(bits.getElementType(), ElementType::Composite);
  EXPECT_EQ(bits.getWordLength(), 12u);
  EXPECT_EQ(bits.getSize(), 2u);
  EXPECT_EQ(bits.getIntegerWordLength(), 12);
  EXPECT_FALSE(bits.isSigned());

  const Type bytes = typeOf("Array", "", "<TransferSizeBytes>6</TransferSizeBytes>");
  EXPECT_EQ(bytes.getWordLength(), 48u);
  EXPECT_EQ(bytes.getSize(), 6u);

  // SizeInBits wins over TransferSizeBytes.
  const Type both =
      typeOf("CFXP", "", "<SizeInBits>64</SizeInBits><TransferSizeBytes>2</TransferSizeBytes>");
  EXPECT_EQ(both.getSize(), 8u);

  EXPECT_EQ(codeOf([] { typeOf("Cluster"); }), -61070);
}

TEST(ElementTypeFromXml, CompositeByteCountWrapsLikeThe32BitWordLength) {
  const Type big = typeOf("Cluster", "", "<TransferSizeBytes>0x20000001</TransferSizeBytes>");
  EXPECT_EQ(big.getWordLength(), 8u);
  EXPECT_EQ(big.getSize(), 1u);
  const qvkel::Composite composite(0x20000002);
  EXPECT_EQ(composite.getWordLength(), 16u);
  EXPECT_EQ(composite.getSize(), 2u);
  EXPECT_EQ(composite.getElementType(), ElementType::Composite);
}

TEST(ElementTypeReadDatatype, ArrayIsUnwrappedOnce) {
  XmlSnippet reg(
      "<Register><Datatype><Array><Size>4</Size><Type><U16/></Type></Array></Datatype>"
      "</Register>");
  bool isArray = false;
  const Type type = qvkel::readDatatype(reg.root, isArray);
  EXPECT_TRUE(isArray);
  EXPECT_EQ(type.getElementType(), ElementType::U16);

  XmlSnippet scalar("<Register><Datatype><I64/></Datatype></Register>");
  EXPECT_EQ(qvkel::readDatatype(scalar.root, isArray).getElementType(), ElementType::I64);
  EXPECT_FALSE(isArray);
}

TEST(ElementTypeReadDatatype, MissingPiecesAreCorrupt) {
  for (const char* text :
       {"<Register/>", "<Register><DataType><U8/></DataType></Register>",
        "<Register><Datatype>U8</Datatype></Register>",
        "<Register><Datatype><Array><Size>2</Size></Array></Datatype></Register>",
        "<Register><Datatype><Array><Type/></Array></Datatype></Register>"}) {
    XmlSnippet reg(text);
    bool isArray = false;
    EXPECT_EQ(codeOf([&] { qvkel::readDatatype(reg.root, isArray); }), -61070) << text;
  }
}

TEST(ElementTypeReadDatatype, UnknownRegisterTypeIsKept) {
  XmlSnippet reg("<Register><Datatype><String/></Datatype></Register>");
  bool isArray = true;
  EXPECT_EQ(qvkel::readDatatype(reg.root, isArray), Type());
  EXPECT_FALSE(isArray);
}

TEST(ElementTypeSerialize, TypeIsFourteenPackedBytes) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  Type(ElementType::Fxp, 20, 4, true, -3).serialize(buffer, status);
  const std::vector<uint8_t> expected = {0x0A, 0x14, 0x00, 0x00, 0x00, 0x04, 0x00,
                                         0x00, 0x00, 0x01, 0xFD, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(devkit_test::bytesOf(buffer.data(), buffer.size()), expected);
  EXPECT_EQ(status.code, 0);
}

TEST(ElementTypeSerialize, DescriptorIsKindSubKindThenType) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  qvkel::RegisterDescriptor(3, qvkel::TypeU16()).serialize(buffer, status);
  qvkel::FifoDescriptor(1, qvkel::TypeDbl()).serialize(buffer, status);
  const std::vector<uint8_t> expected = {0x00, 0x03, 0x05, 0x10, 0x00, 0x00, 0x00, 0x02,
                                         0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00,
                                         0x01, 0x01, 0x0C, 0x40, 0x00, 0x00, 0x00, 0x08,
                                         0x00, 0x00, 0x00, 0x01, 0x40, 0x00, 0x00, 0x00};
  EXPECT_EQ(devkit_test::bytesOf(buffer.data(), buffer.size()), expected);
}

TEST(ElementTypeSerialize, NothingIsAppendedAfterAnError) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  status.setCode(-52005);
  qvkel::TypeU32().serialize(buffer, status);
  EXPECT_EQ(buffer.size(), 0u);
  EXPECT_EQ(status.code, -52005);
}

TEST(ElementTypeDescriptor, EqualityComparesEveryField) {
  const qvkel::RegisterDescriptor a(1, qvkel::TypeU32());
  EXPECT_EQ(a, qvkel::RegisterDescriptor(1, qvkel::TypeU32()));
  EXPECT_FALSE(a == qvkel::RegisterDescriptor(0, qvkel::TypeU32()));
  EXPECT_FALSE(a == qvkel::RegisterDescriptor(1, qvkel::TypeI32()));
  EXPECT_FALSE(a == qvkel::ResourceDescriptor(1, 1, qvkel::TypeU32()));
  EXPECT_FALSE(a == qvkel::RegisterDescriptor(1, Type(ElementType::U32, 32, 4, false, 31)));
}

TEST(ElementTypeTemplates, FixedDescriptorsCarryTheirConstants) {
  EXPECT_EQ(qvkel::TypeBool(), Type(ElementType::Bool, 1, 1, false, 1));
  EXPECT_EQ(qvkel::TypeI8(), Type(ElementType::I8, 8, 1, true, 8));
  EXPECT_EQ(qvkel::TypeU64(), Type(ElementType::U64, 64, 8, false, 64));
  EXPECT_EQ(qvkel::TypeSgl(), Type(ElementType::Sgl, 32, 4, true, 32));
  static_assert(std::is_same_v<qvkel::TypeI16::ValueType, int16_t>);
  static_assert(std::is_same_v<qvkel::TypeDbl::ValueType, double>);
}

}  // namespace
