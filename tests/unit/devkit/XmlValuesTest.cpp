#include "devkit/XmlValues.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "DevkitTestUtil.h"

namespace {

using devkit_test::codeOf;
using devkit_test::XmlSnippet;

std::string textOf(const std::string& inner, bool raw = false) {
  XmlSnippet snippet("<a>" + inner + "</a>");
  return qvkel::unescapeXmlText(snippet.root, raw);
}

uint32_t unsignedOf(const std::string& inner) {
  XmlSnippet snippet("<a>" + inner + "</a>");
  return qvkel::readXmlUnsigned(snippet.root);
}

TEST(XmlValueText, FiveEntitiesDecodeWithAmpersandLast) {
  EXPECT_EQ(textOf("&lt;"), "<");
  EXPECT_EQ(textOf("&gt;"), ">");
  EXPECT_EQ(textOf("&apos;"), "'");
  EXPECT_EQ(textOf("&quot;"), "\"");
  EXPECT_EQ(textOf("&amp;"), "&");
  EXPECT_EQ(textOf("&amp;lt;"), "&lt;");
  EXPECT_EQ(textOf("a &amp;&amp; b &lt;c&gt;"), "a && b <c>");
  EXPECT_EQ(textOf("&#65;&unknown;"), "&#65;&unknown;");
  EXPECT_EQ(textOf("&lt;&amp;", true), "&lt;&amp;");
  EXPECT_EQ(textOf(""), "");
}

TEST(XmlValueText, AttributesDecodeTheSameWay) {
  XmlSnippet snippet("<a name=\"x&amp;y&quot;\"/>");
  EXPECT_EQ(qvkel::unescapeXmlText(qvkel::getRequiredXmlAttribute(snippet.root, "name")), "x&y\"");
  EXPECT_EQ(codeOf([&] { qvkel::getRequiredXmlAttribute(snippet.root, "Name"); }), -61070);
  EXPECT_NE(qvkel::getRequiredXmlAttribute(snippet.root, nullptr), nullptr);
}

TEST(XmlValueNumbers, BaseFollowsThePrefix) {
  EXPECT_EQ(unsignedOf("0x8000"), 32768u);
  EXPECT_EQ(unsignedOf("0X10"), 16u);
  EXPECT_EQ(unsignedOf("010"), 8u);
  EXPECT_EQ(unsignedOf("12abc"), 12u);
  EXPECT_EQ(unsignedOf("  42"), 42u);
  EXPECT_EQ(unsignedOf("4294967295"), 4294967295u);
}

TEST(XmlValueNumbers, UnreadableNumbersAreCorrupt) {
  for (const char* text : {"", "abc", "4294967296", "0x"}) {
    EXPECT_EQ(codeOf([&] { unsignedOf(text); }), -61070) << text;
  }
  XmlSnippet big("<a>2147483648</a>");
  EXPECT_EQ(codeOf([&] { qvkel::readXmlSigned(big.root); }), -61070);
  XmlSnippet negative("<a>-2147483648</a>");
  EXPECT_EQ(qvkel::readXmlSigned(negative.root), INT32_MIN);
  XmlSnippet wide("<a>0xFEE0000012345678</a>");
  EXPECT_EQ(qvkel::readXmlUnsigned64(wide.root), 0xFEE0000012345678ull);
}

TEST(XmlValueBools, CaseInsensitiveWithoutBlanks) {
  XmlSnippet upper("<a>TRUE</a>");
  XmlSnippet mixed("<a>False</a>");
  EXPECT_TRUE(qvkel::readXmlBool(upper.root));
  EXPECT_FALSE(qvkel::readXmlBool(mixed.root));
  for (const char* text : {" true", "true ", "yes", "1", "", "truex"}) {
    XmlSnippet bad(std::string("<a>") + text + "</a>");
    EXPECT_EQ(codeOf([&] { qvkel::readXmlBool(bad.root); }), -61070) << text;
  }
}

TEST(XmlValueNodes, FindMatchesExactNamesOfElementsOnly) {
  XmlSnippet snippet("<r>text<Ab/><ab>1</ab><abc/></r>");
  EXPECT_EQ(std::string(qvkel::findXmlNode(snippet.root, "ab")->value()), "1");
  EXPECT_EQ(qvkel::findXmlNode(snippet.root, "a"), nullptr);
  EXPECT_EQ(std::string(qvkel::findXmlNode(snippet.root, nullptr)->name()), "Ab");
  EXPECT_EQ(codeOf([&] { qvkel::getRequiredXmlNode(snippet.root, "AB"); }), -61070);
}

TEST(XmlValueCopyOut, LengthQueryAndTooSmallBuffer) {
  size_t length = 0;
  qvkel::copyStringOut("hello", nullptr, 0, &length);
  EXPECT_EQ(length, 5u);
  char small[5] = {'x', 'x', 'x', 'x', 'x'};
  length = 0;
  EXPECT_EQ(codeOf([&] { qvkel::copyStringOut("hello", small, sizeof small, &length); }), -63080);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(small[0], 'x');
  char fits[7] = {'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  qvkel::copyStringOut("hello", fits, 6, nullptr);
  EXPECT_EQ(std::string(fits), "hello");
  EXPECT_EQ(fits[6], 'x');
}

TEST(XmlValueWholeFile, ReadsFileOrPassesTextThrough) {
  const char* text = "<x/>";
  std::unique_ptr<char[]> holder;
  EXPECT_EQ(qvkel::readWholeFile(false, text, holder, -63101), text);
  EXPECT_EQ(holder, nullptr);

  const auto path = std::filesystem::temp_directory_path() / "h-bit-wholefile-test.bin";
  {
    std::ofstream out(path, std::ios::binary);
    out.write("ab\0cd", 5);
  }
  size_t length = 0;
  const char* content = qvkel::readWholeFile(true, path.c_str(), holder, -63101, &length);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(std::string(content, 6), std::string("ab\0cd\0", 6));
  std::filesystem::remove(path);
  EXPECT_EQ(codeOf([&] { qvkel::readWholeFile(true, path.c_str(), holder, -63101); }), -63101);
}

TEST(XmlValueWholeFile, DirectoryIsUnreadable) {
  // Seeking to the end of a directory reports an enormous size on some file systems.
  std::unique_ptr<char[]> holder;
  const auto folder = std::filesystem::temp_directory_path();
  EXPECT_EQ(codeOf([&] { qvkel::readWholeFile(true, folder.c_str(), holder, -63101); }), -63101);
  EXPECT_EQ(holder, nullptr);
}

TEST(XmlValueParse, ByteOrderMarkAndErrors) {
  XmlSnippet bom("\xEF\xBB\xBF<root><a/></root>");
  ASSERT_NE(bom.root, nullptr);
  EXPECT_EQ(std::string(bom.root->name()), "root");
  for (const char* text : {"<root>", "<root></root", "<a b=c/>", "text", "<root>&</root>x"}) {
    EXPECT_EQ(codeOf([&] { XmlSnippet broken(text); }), -61070) << text;
  }
  XmlSnippet empty("  ");
  EXPECT_EQ(empty.root, nullptr);
}

TEST(XmlValueParse, DeepNestingIsRefusedBeforeTheParserRecurses) {
  std::string deep;
  for (uint32_t i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_EQ(codeOf([&] { XmlSnippet nested(deep); }), -61070);
  // Attribute values, comments and CDATA cannot hide an opening tag from the check.
  std::string hidden;
  for (uint32_t i = 0; i < 100000; ++i) hidden += "<a x='/>'><!-- </a> --><![CDATA[</a>]]>";
  EXPECT_FALSE(qvkel::xmlDepthWithinLimit(hidden.c_str(), hidden.size()));

  std::string fine;
  for (uint32_t i = 0; i < qvkel::kMaxXmlDepth; ++i) fine += "<a>";
  for (uint32_t i = 0; i < qvkel::kMaxXmlDepth; ++i) fine += "</a>";
  EXPECT_TRUE(qvkel::xmlDepthWithinLimit(fine.c_str(), fine.size()));
  EXPECT_NO_THROW(XmlSnippet ok(fine));
  std::string flat;
  for (uint32_t i = 0; i < 10000; ++i) flat += "<b/><c x=\"1\"></c>";
  flat = "<r>" + flat + "</r>";
  EXPECT_TRUE(qvkel::xmlDepthWithinLimit(flat.c_str(), flat.size()));
}

TEST(XmlValuePrint, PrintedTextKeepsEntitiesAsWritten) {
  XmlSnippet snippet("<r n=\"a&amp;b\"><t>x &amp;lt; y&gt;</t><c><![CDATA[&amp;]]></c><e/></r>");
  const std::string printed = qvkel::printXmlElement(snippet.root);
  EXPECT_NE(printed.find("n=\"a&amp;b\""), std::string::npos) << printed;
  EXPECT_NE(printed.find("<t>x &amp;lt; y&gt;</t>"), std::string::npos) << printed;
  EXPECT_NE(printed.find("<![CDATA[&amp;]]>"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("&amp;amp;"), std::string::npos) << printed;

  // Reading the printed text gives what reading the original gives.
  XmlSnippet again(printed);
  EXPECT_EQ(qvkel::unescapeXmlText(qvkel::findXmlNode(again.root, "t")), "x &lt; y>");
  EXPECT_EQ(qvkel::unescapeXmlText(qvkel::getRequiredXmlAttribute(again.root, "n")), "a&b");
}

}  // namespace
