#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "CommaLocale.h"
#include "foundation/errors/Json.h"
#include "foundation/errors/RequestHeader.h"

namespace json = qverr::json;

namespace {

struct Rejection {
  const char* text;
  uint32_t code;
  size_t offset;
};

json::Token numberToken(const char* text) {
  json::Token token;
  EXPECT_NE(nullptr, json::readValue(text, &token)) << text;
  EXPECT_EQ(json::kTokenNumber, token.kind) << text;
  return token;
}

std::string decoded(const char* rawString) {
  json::Token token;
  const std::string quoted = std::string("\"") + rawString + "\"";
  if (json::readValue(quoted.c_str(), &token) == nullptr) return "<unreadable>";
  char out[64];
  char* end = json::copyDecoded(token.start, token.length, out);
  if (end == nullptr) return "<bad escape>";
  return std::string(out, static_cast<size_t>(end - out));
}

}  // namespace

TEST(JsonReaderValidate, AcceptsWellFormedDocuments) {
  const char* documents[] = {
      "{}",
      " [ ] ",
      "null",
      "true",
      "false",
      "0",
      "-",
      "-1.5e+3",
      "1.",
      "010",
      "\"a\\/b\\u00e9\"",
      "{\"a\":[1,{\"b\":null}],\"c\":\"\xC3\xA9\"}",
      "\t\n\r{ \"x\" : 1 }\n",
  };
  for (const char* text : documents) {
    json::ParseError error;
    EXPECT_TRUE(json::validateDocument(text, &error)) << text << " code " << error.code;
  }
}

TEST(JsonReaderValidate, RejectsWithCodeAndPosition) {
  const Rejection cases[] = {
      {"{\"a\":1,}", 8, 7},  {"{\"a\" 1}", 5, 5}, {"[\"x\\q\"]", 7, 3}, {"{} x", 9, 3},
      {"{", 3, 1},           {"[", 4, 1},         {"[1 2]", 6, 3},      {"{\"a\":1", 3, 6},
      {"[1,]", 8, 3},        {"{1:2}", 2, 1},     {"\"ab", 2, 3},       {"\"a\x01\"", 2, 2},
      {"\"\\u12g4\"", 7, 1}, {"", 2, 0},          {"nul", 2, 0},        {"1e", 6, 2},
      {"[1,,2]", 2, 3},
  };
  for (const Rejection& c : cases) {
    json::ParseError error;
    EXPECT_FALSE(json::validateDocument(c.text, &error)) << c.text;
    EXPECT_EQ(c.code, error.code) << c.text;
    EXPECT_EQ(c.text + c.offset, error.position) << c.text;
  }
  json::ParseError error;
  EXPECT_FALSE(json::validateDocument(nullptr, &error));
  EXPECT_EQ(1u, error.code);
}

TEST(JsonReaderValidate, DeepNestingIsRejectedNotOverflowed) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  json::ParseError error;
  EXPECT_FALSE(json::validateDocument(deep.c_str(), &error));
  EXPECT_EQ(4u, error.code);
  const std::string fine = std::string(100, '[') + std::string(100, ']');
  EXPECT_TRUE(json::validateDocument(fine.c_str(), nullptr));
}

TEST(JsonReaderTokens, KindsStartsAndLengths) {
  json::Token token;
  const char* text = "  \"ab\\ncd\" rest";
  const char* end = json::readValue(text, &token);
  ASSERT_NE(nullptr, end);
  EXPECT_EQ(json::kTokenString, token.kind);
  EXPECT_EQ(text + 3, token.start);
  EXPECT_EQ(6u, token.length);
  EXPECT_EQ(text + 10, end);

  end = json::readValue("true,", &token);
  EXPECT_EQ(json::kTokenBool, token.kind);
  EXPECT_EQ(reinterpret_cast<const char*>(1), token.start);
  end = json::readValue("false", &token);
  EXPECT_EQ(json::kTokenBool, token.kind);
  EXPECT_EQ(nullptr, token.start);

  const char* number = "-12.5e3]";
  end = json::readValue(number, &token);
  EXPECT_EQ(json::kTokenNumber, token.kind);
  EXPECT_EQ(7u, token.length);
  EXPECT_TRUE(token.hasFraction);
  EXPECT_EQ(number + 7, end);

  const char* object = "{\"a\":[1]} ";
  end = json::readValue(object, &token);
  EXPECT_EQ(json::kTokenObject, token.kind);
  EXPECT_EQ(object, token.start);
  EXPECT_EQ(object + 9, end);

  end = json::readValue("[x]", &token);
  EXPECT_EQ(nullptr, end);
  EXPECT_EQ(json::kTokenError, token.kind);
  EXPECT_EQ(2u, token.length);
}

TEST(JsonReaderTokens, ShallowStopsAtTheOpener) {
  json::Token token;
  const char* text = " [oops";
  EXPECT_EQ(text + 1, json::readValueShallow(text, &token));
  EXPECT_EQ(json::kTokenArray, token.kind);
  EXPECT_EQ(nullptr, json::readValue(text, &token));
}

TEST(JsonReaderNavigate, MembersInOrder) {
  const char* text = " { \"a\" : 1 , \"b\\u0021\":[true] } ";
  json::Token key;
  bool found = false;
  const char* value = json::firstMember(text, &key, &found);
  ASSERT_TRUE(found);
  EXPECT_EQ("a", std::string(key.start, key.length));
  EXPECT_EQ('1', *value);
  json::Token skipped;
  value = json::nextMember(json::readValue(value, &skipped), &key, &found);
  ASSERT_TRUE(found);
  EXPECT_EQ("b\\u0021", std::string(key.start, key.length)) << "the raw slice";
  EXPECT_EQ('[', *value);
  const char* after = json::nextMember(json::readValue(value, &skipped), &key, &found);
  EXPECT_FALSE(found);
  ASSERT_NE(nullptr, after);
  EXPECT_EQ(' ', *after);
}

TEST(JsonReaderNavigate, EmptyObjectAndErrors) {
  bool found = true;
  const char* text = "{ }x";
  EXPECT_EQ(text + 3, json::firstMember(text, nullptr, &found));
  EXPECT_FALSE(found);

  json::ParseError error;
  EXPECT_EQ(nullptr, json::firstMember("[1]", nullptr, &found, &error));
  EXPECT_EQ(3u, error.code);
  EXPECT_EQ(nullptr, json::firstMember("{\"a\" 1}", nullptr, &found, &error));
  EXPECT_EQ(5u, error.code);
  EXPECT_EQ(nullptr, json::nextMember(" 2", nullptr, &found, &error));
  EXPECT_EQ(6u, error.code);
  EXPECT_EQ(nullptr, json::nextMember(", }", nullptr, &found, &error));
  EXPECT_EQ(8u, error.code);
}

TEST(JsonReaderNavigate, ArrayElements) {
  const char* text = "[ 1, \"two\" ,3 ]";
  bool found = false;
  const char* element = json::firstArrayElement(text, &found);
  ASSERT_TRUE(found);
  EXPECT_EQ('1', *element);
  json::Token token;
  element = json::nextArrayElement(json::readValue(element, &token), &found);
  ASSERT_TRUE(found);
  EXPECT_EQ('"', *element);
  element = json::nextArrayElementOrNull(json::readValue(element, &token));
  ASSERT_NE(nullptr, element);
  EXPECT_EQ('3', *element);
  const char* end = json::nextArrayElement(json::readValue(element, &token), &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(text + std::strlen(text), end);
  EXPECT_EQ(nullptr, json::nextArrayElementOrNull(json::readValue(element, &token)));

  EXPECT_EQ(nullptr, json::firstArrayElementOrNull("[]"));
  EXPECT_EQ(nullptr, json::firstArrayElement("{}", &found));
  EXPECT_EQ(nullptr, json::nextArrayElement(" 5", &found));
  EXPECT_EQ(nullptr, json::nextArrayElement(", ]", &found));
}

TEST(JsonReaderNavigate, FindMemberComparesDecodedKeys) {
  const char* text = "{\"x\":{\"ab\":1},\"a\\u0062\":5,\"ab\":6}";
  const char* value = json::findMember(text, "ab");
  ASSERT_NE(nullptr, value);
  EXPECT_EQ(5, json::getInt(value, -1, nullptr));
  EXPECT_EQ(nullptr, json::findMember(text, "a"));
  EXPECT_EQ(nullptr, json::findMember(text, "abc"));
  EXPECT_EQ(nullptr, json::findMember("{\"a\":}", "b"));
  EXPECT_EQ(nullptr, json::findMember("[1]", "a"));
  EXPECT_EQ(nullptr, json::findMember(nullptr, "a"));
  const char* nested = json::findMember(text, "x");
  ASSERT_NE(nullptr, nested);
  EXPECT_EQ(1, json::getInt(json::findMember(nested, "ab"), 0, nullptr));
}

TEST(JsonReaderNavigate, SkipContainerFindsTheClosingCharacter) {
  const char* text = "{\"a\":[1,2],\"b\":{}} tail";
  EXPECT_EQ(text + 17, json::skipContainer(text));
  EXPECT_EQ(text + 9, json::skipContainer(text + 5));
  EXPECT_EQ(nullptr, json::skipContainer("  {}"));
  EXPECT_EQ(nullptr, json::skipContainer("{\"a\":}"));
  EXPECT_EQ(nullptr, json::skipContainer("\"s\""));
  EXPECT_EQ(nullptr, json::skipContainer(nullptr));
}

TEST(JsonReaderConvert, GetStringAndGetInt) {
  size_t length = 99;
  const char* end = nullptr;
  const char* text = "\"a\\tb\",";
  const char* raw = json::getString(text, "dflt", &length, &end);
  EXPECT_EQ(text + 1, raw);
  EXPECT_EQ(4u, length);
  EXPECT_EQ(text + 6, end);
  EXPECT_STREQ("dflt", json::getString("12", "dflt", &length, nullptr));
  EXPECT_EQ(4u, length);
  EXPECT_EQ(nullptr, json::getString("12", nullptr, &length, nullptr));
  EXPECT_EQ(0u, length);

  EXPECT_EQ(12, json::getInt("12.9", -1, nullptr));
  EXPECT_EQ(-12, json::getInt("-12.9", -1, nullptr));
  EXPECT_EQ(-1, json::getInt("\"12\"", -1, nullptr));
  EXPECT_EQ(-1, json::getInt(nullptr, -1, nullptr));
  EXPECT_EQ(4000000000u, json::getUInt("4000000000", 7, nullptr));
  EXPECT_EQ(7u, json::getUInt("-1", 7, nullptr));
  EXPECT_EQ(7u, json::getUInt("\"12\"", 7, nullptr));
}

TEST(JsonReaderConvert, ParseIntReadsDecimal) {
  int32_t value = 0;
  ASSERT_TRUE(json::parseInt(numberToken("010"), &value));
  EXPECT_EQ(10, value);
  ASSERT_TRUE(json::parseInt(numberToken("09"), &value));
  EXPECT_EQ(9, value);
  ASSERT_TRUE(json::parseInt(numberToken("-0012"), &value));
  EXPECT_EQ(-12, value);
  ASSERT_TRUE(json::parseInt(numberToken("2147483647"), &value));
  EXPECT_EQ(2147483647, value);
  ASSERT_TRUE(json::parseInt(numberToken("-2147483648"), &value));
  EXPECT_EQ(-2147483647 - 1, value);
  ASSERT_TRUE(json::parseInt(numberToken("1e3"), &value));
  EXPECT_EQ(1000, value);
  ASSERT_TRUE(json::parseInt(numberToken("-7.99"), &value));
  EXPECT_EQ(-7, value);
}

TEST(JsonReaderConvert, ParseIntRejectsOutOfRangeAndNonFinite) {
  int32_t value = 123;
  const char* rejected[] = {"2147483648",
                            "-2147483649",
                            "99999999999999999999999",
                            "2147483648.0",
                            "-2147483649.5",
                            "1e10",
                            "1e400",
                            "-",
                            "-.",
                            "1e+"};
  for (const char* text : rejected) {
    json::Token token;
    ASSERT_NE(nullptr, json::readValue(text, &token)) << text;
    EXPECT_FALSE(json::parseInt(token, &value)) << text;
  }
  EXPECT_EQ(123, value) << "a failed parse leaves the output alone";
  json::Token notNumber;
  json::readValue("\"5\"", &notNumber);
  EXPECT_FALSE(json::parseInt(notNumber, &value));
}

TEST(JsonReaderConvert, ParseUIntAndDouble) {
  uint32_t u = 0;
  ASSERT_TRUE(json::parseUInt(numberToken("4294967295"), &u));
  EXPECT_EQ(4294967295u, u);
  ASSERT_TRUE(json::parseUInt(numberToken("007"), &u));
  EXPECT_EQ(7u, u);
  ASSERT_TRUE(json::parseUInt(numberToken("12.7"), &u));
  EXPECT_EQ(12u, u);
  EXPECT_FALSE(json::parseUInt(numberToken("4294967296"), &u));
  EXPECT_FALSE(json::parseUInt(numberToken("-1"), &u));
  EXPECT_FALSE(json::parseUInt(numberToken("-1.5"), &u));

  double d = 0;
  ASSERT_TRUE(json::parseDouble(numberToken("-1.5e-3"), &d));
  EXPECT_DOUBLE_EQ(-0.0015, d);
  ASSERT_TRUE(json::parseDouble(numberToken("010"), &d));
  EXPECT_DOUBLE_EQ(10.0, d);
  EXPECT_FALSE(json::parseDouble(numberToken("1e999"), &d));
  EXPECT_FALSE(json::parseDouble(numberToken("-"), &d));
}

TEST(JsonReaderConvert, TooSmallForADoubleReadsAsZero) {
  double d = 7;
  ASSERT_TRUE(json::parseDouble(numberToken("1e-400"), &d));
  EXPECT_EQ(0.0, d);
  d = 7;
  ASSERT_TRUE(json::parseDouble(numberToken("-2.5e-999"), &d));
  EXPECT_EQ(0.0, d);
  EXPECT_TRUE(std::signbit(d));
  int32_t i = 7;
  ASSERT_TRUE(json::parseInt(numberToken("3e-400"), &i));
  EXPECT_EQ(0, i);
  EXPECT_EQ(0, json::getInt("1e-400", -1, nullptr));
  uint32_t u = 7;
  ASSERT_TRUE(json::parseUInt(numberToken("0.1e-330"), &u));
  EXPECT_EQ(0u, u);
  EXPECT_FALSE(json::parseDouble(numberToken("-1e400"), &d)) << "too large stays rejected";
}

TEST(JsonReaderConvert, ParseDoubleIgnoresCommaLocale) {
  qvtest::CommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma can be built here";
  double d = 0;
  ASSERT_TRUE(json::parseDouble(numberToken("0.5"), &d));
  EXPECT_DOUBLE_EQ(0.5, d);
  int32_t i = 0;
  ASSERT_TRUE(json::parseInt(numberToken("3.75"), &i));
  EXPECT_EQ(3, i);
}

TEST(JsonReaderDecode, EscapesAndSurrogates) {
  EXPECT_EQ("\"\\/\b\f\n\r\t", decoded("\\\"\\\\\\/\\b\\f\\n\\r\\t"));
  EXPECT_EQ("\xC3\xA9", decoded("\\u00e9"));
  EXPECT_EQ("\xE2\x82\xAC", decoded("\\u20AC"));
  EXPECT_EQ("\xF0\x9F\x98\x80", decoded("\\ud83d\\ude00"));
  EXPECT_EQ("ab", decoded("ab\\u0000cd")) << "code point 0 ends the text";
  EXPECT_EQ("<bad escape>", decoded("\\ud83dx"));
  EXPECT_EQ("<bad escape>", decoded("\\udfff\\uffff")) << "pair beyond 0x1FFFFF";
}

TEST(JsonReaderDecode, BadEscapeInSliceKeepsWhatCameBefore) {
  char out[16];
  const char raw[] = "ab\\";
  EXPECT_EQ(nullptr, json::copyDecoded(raw, 3, out));
  EXPECT_STREQ("ab", out);
  EXPECT_EQ(nullptr, json::copyDecoded("\\u12", 4, out));
  EXPECT_EQ(nullptr, json::copyDecoded("\\q", 2, out));
  char* end = json::copyDecoded("\\u0041\\u0042", 6, out);
  ASSERT_NE(nullptr, end);
  EXPECT_STREQ("A", out) << "the length bounds the slice";
}

TEST(RequestHeaderTest, InitAndCompatibility) {
  qvkel::RequestHeader header;
  std::memset(&header, 0xFF, sizeof header);
  qvkel::initRequestHeader(&header, 258);
  const unsigned char expected[16] = {0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(&header, expected, sizeof expected));
  EXPECT_TRUE(qvkel::isVersionCompatible(header, 0, 0));
  header.version = 3;
  EXPECT_TRUE(qvkel::isVersionCompatible(header, 0, 0));
  EXPECT_FALSE(qvkel::isVersionCompatible(header, 0, 4));
  header.oldestCompatibleVersion = 1;
  EXPECT_FALSE(qvkel::isVersionCompatible(header, 0, 0));
  EXPECT_TRUE(qvkel::isVersionCompatible(header, 1, 0));
}
