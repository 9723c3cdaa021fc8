#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "CommaLocale.h"
#include "foundation/errors/Json.h"
#include "foundation/errors/StatusDetailWriter.h"

namespace json = qverr::json;

namespace {

// A fixed buffer with a guard zone behind it to catch writes past the marker.
class Buffer {
 public:
  explicit Buffer(size_t size, const char* text = "{}") : bytes_(size + 16, '#'), size_(size) {
    cursor_ = json::initBuffer(bytes_.data(), size, text);
  }
  char* data() { return bytes_.data(); }
  char* cursor() { return cursor_; }
  std::string text() const { return bytes_.data(); }
  void expectIntact() const {
    const size_t length = std::strlen(bytes_.data());
    for (size_t i = length; i + 1 < size_; ++i) ASSERT_EQ('\0', bytes_[i]) << "byte " << i;
    EXPECT_EQ('J', bytes_[size_ - 1]);
    for (size_t i = size_; i < bytes_.size(); ++i) ASSERT_EQ('#', bytes_[i]) << "guard " << i;
  }

 private:
  std::vector<char> bytes_;
  size_t size_;
  char* cursor_;
};

// A grow callback enlarging a std::vector-backed buffer by doubling it.
struct Growable {
  std::vector<char> bytes;
  int calls = 0;
  static char* grow(char* cursor, void* context) {
    auto* self = static_cast<Growable*>(context);
    ++self->calls;
    const size_t offset = static_cast<size_t>(cursor - self->bytes.data());
    std::vector<char> bigger(self->bytes.size() * 2);
    json::initBuffer(bigger.data(), bigger.size(), self->bytes.data());
    self->bytes.swap(bigger);
    return self->bytes.data() + offset;
  }
};

}  // namespace

TEST(JsonWriterBuffer, InitBufferFixedFormAndCursor) {
  Buffer buffer(8, "{}");
  ASSERT_NE(nullptr, buffer.cursor());
  EXPECT_EQ(buffer.data() + 1, buffer.cursor());
  buffer.expectIntact();

  char small[3];
  EXPECT_EQ(nullptr, json::initBuffer(small, sizeof small, "{}"));
  char exact[4];
  EXPECT_NE(nullptr, json::initBuffer(exact, sizeof exact, "{}"));
  EXPECT_EQ('J', exact[3]);

  char own[10] = "[1]";
  char* cursor = json::initBuffer(own, sizeof own, nullptr);
  EXPECT_STREQ("[1]", own);
  EXPECT_EQ(own + 2, cursor);
  EXPECT_EQ('J', own[9]);
}

TEST(JsonWriterInsert, SixteenByteBufferFillsThenRefuses) {
  Buffer buffer(16);
  char* cursor = json::addString(buffer.cursor(), "a", "b");
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ("{\"a\":\"b\"}", buffer.text());
  EXPECT_EQ('}', *cursor);
  EXPECT_EQ(nullptr, json::addString(cursor, "cc", "dd"));
  EXPECT_EQ("{\"a\":\"b\"}", buffer.text());
  buffer.expectIntact();
}

TEST(JsonWriterInsert, ExactFitUsesEveryByteUpToTheMarker) {
  // {"a":1} is 7 characters: 9 bytes hold it, 8 do not.
  Buffer fits(9);
  ASSERT_NE(nullptr, json::addInt(fits.cursor(), "a", 1));
  EXPECT_EQ("{\"a\":1}", fits.text());
  fits.expectIntact();
  Buffer tight(8);
  EXPECT_EQ(nullptr, json::addInt(tight.cursor(), "a", 1));
  EXPECT_EQ("{}", tight.text());
  tight.expectIntact();
}

TEST(JsonWriterInsert, CommaRulesAtClosingAndOpeningCharacters) {
  Buffer atEnd(64, "{\"a\":1}");
  char* closing = atEnd.data() + 6;
  ASSERT_NE(nullptr, json::addInt(closing, "b", 2));
  EXPECT_EQ("{\"a\":1,\"b\":2}", atEnd.text());

  Buffer atStart(64, "{\"a\":1}");
  char* cursor = json::addInt(atStart.data(), "b", 2);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ("{\"b\":2,\"a\":1}", atStart.text());
  EXPECT_EQ(',', *cursor);
  ASSERT_NE(nullptr, json::addInt(cursor, "c", 3)) << "chaining inserts in order";
  EXPECT_EQ("{\"b\":2,\"c\":3,\"a\":1}", atStart.text());
}

TEST(JsonWriterInsert, EmptyContainersWithWhiteSpaceNeedNoComma) {
  Buffer object(64, "{ \n}");
  ASSERT_NE(nullptr, json::addBool(object.data() + 3, "t", true));
  EXPECT_EQ("{ \n\"t\":true}", object.text());

  Buffer array(64, "[\t]");
  ASSERT_NE(nullptr, json::addBool(array.data(), nullptr, false));
  EXPECT_EQ("[false\t]", array.text());
}

TEST(JsonWriterInsert, ArrayElementsAppendWithoutKeys) {
  Buffer buffer(64, "[]");
  char* cursor = buffer.cursor();
  cursor = json::addInt(cursor, nullptr, -7);
  cursor = json::addString(cursor, nullptr, "x");
  cursor = json::addRawValue(cursor, nullptr, "{\"r\":null}");
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ("[-7,\"x\",{\"r\":null}]", buffer.text());
}

TEST(JsonWriterInsert, CursorAtNulAppendsAtTopLevel) {
  Buffer buffer(32, "");
  char* cursor = json::addRawValue(buffer.data(), nullptr, "{}");
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ("{}", buffer.text());
  EXPECT_EQ('\0', *cursor);
}

TEST(JsonWriterInsert, CursorAtOtherCharacterInsertsWithLeadingComma) {
  Buffer buffer(64, "{\"a\":1,\"c\":3}");
  char* comma = buffer.data() + 6;
  ASSERT_EQ(',', *comma);
  ASSERT_NE(nullptr, json::addInt(comma, "b", 2));
  EXPECT_EQ("{\"a\":1,\"b\":2,\"c\":3}", buffer.text());
}

TEST(JsonWriterInsert, NullCursorChainsToNull) {
  EXPECT_EQ(nullptr, json::addString(nullptr, "k", "v"));
  EXPECT_EQ(nullptr, json::addInt(nullptr, "k", 1));
  EXPECT_EQ(nullptr, json::beginObject(nullptr, "k"));
  EXPECT_EQ(nullptr, json::endObject(nullptr));
  EXPECT_EQ(nullptr, json::endArray(nullptr));
  Growable growable{std::vector<char>(8)};
  EXPECT_EQ(nullptr, json::addString(nullptr, "k", "v", {&Growable::grow, &growable}));
  EXPECT_EQ(0, growable.calls);
  Buffer buffer(32);
  EXPECT_EQ(nullptr, json::addString(buffer.cursor(), "k", nullptr));
  EXPECT_EQ("{}", buffer.text());
}

TEST(JsonWriterValues, NumbersBoolsAndRaw) {
  Buffer buffer(256);
  char* cursor = buffer.cursor();
  cursor = json::addInt(cursor, "i", -2147483647 - 1);
  cursor = json::addUInt(cursor, "u", 4294967295u);
  cursor = json::addByte(cursor, "y", 255);
  cursor = json::addULong(cursor, "l", 18446744073709551615ull);
  cursor = json::addDouble(cursor, "d", 0.25);
  cursor = json::addBool(cursor, "t", true);
  cursor = json::addBool(cursor, "f", false);
  cursor = json::addRawValue(cursor, "r", "[1,2]");
  const char* value = "ref";
  cursor = json::addStringRef(cursor, "s", &value);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ(
      "{\"i\":-2147483648,\"u\":4294967295,\"y\":255,\"l\":18446744073709551615,\"d\":0.25,"
      "\"t\":true,\"f\":false,\"r\":[1,2],\"s\":\"ref\"}",
      buffer.text());
}

TEST(JsonWriterValues, DoubleUsesTwentySignificantDigits) {
  Buffer buffer(128);
  ASSERT_NE(nullptr, json::addDouble(buffer.cursor(), "x", 0.1));
  EXPECT_EQ("{\"x\":0.10000000000000000555}", buffer.text());
}

TEST(JsonWriterValues, NonFiniteDoublesStayReadable) {
  Buffer buffer(128);
  char* cursor = json::addDouble(buffer.cursor(), "n", std::nan(""));
  cursor = json::addDouble(cursor, "i", HUGE_VAL);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ("{\"n\":null,\"i\":null}", buffer.text());
  EXPECT_TRUE(json::validateDocument(buffer.data(), nullptr));
}

TEST(JsonWriterValues, DoubleInCommaLocaleWritesPoint) {
  qvtest::CommaLocale locale;
  if (!locale.active()) GTEST_SKIP() << "no locale with a decimal comma can be built here";
  Buffer buffer(64);
  ASSERT_NE(nullptr, json::addDouble(buffer.cursor(), "v", 0.5));
  EXPECT_EQ("{\"v\":0.5}", buffer.text());
}

TEST(JsonWriterEscapes, ControlBytesAndHighBytes) {
  Buffer buffer(64);
  ASSERT_NE(nullptr, json::addString(buffer.cursor(), "k", "\t\x01\xC3\xA9"));
  EXPECT_EQ("{\"k\":\"\\t\\u0001\xC3\xA9\"}", buffer.text());
}

TEST(JsonWriterEscapes, EveryEscapeFormAndItsLength) {
  const char input[] = "\b\t\n\f\r\"\\\x1F\x7F/";
  const std::string expected = "\\b\\t\\n\\f\\r\\\"\\\\\\u001f\\u007f/";
  EXPECT_EQ(expected.size(), json::escapedLength(input));
  Buffer buffer(128);
  ASSERT_NE(nullptr, json::addString(buffer.cursor(), "\"key\n", input));
  EXPECT_EQ("{\"\\\"key\\n\":\"" + expected + "\"}", buffer.text());
}

TEST(JsonWriterEscapes, RoundTripOfEveryByte) {
  std::string original;
  for (int c = 1; c < 256; ++c) original.push_back(static_cast<char>(c));
  Buffer buffer(2048);
  ASSERT_NE(nullptr, json::addString(buffer.cursor(), original.c_str(), original.c_str()));
  ASSERT_TRUE(json::validateDocument(buffer.data(), nullptr));

  const char* value = json::findMember(buffer.data(), original.c_str());
  ASSERT_NE(nullptr, value) << "the key is found by its decoded bytes";
  size_t length = 0;
  const char* raw = json::getString(value, nullptr, &length, nullptr);
  ASSERT_NE(nullptr, raw);
  std::vector<char> decoded(length + 1);
  char* end = json::copyDecoded(raw, length, decoded.data());
  ASSERT_NE(nullptr, end);
  EXPECT_EQ(original, std::string(decoded.data(), static_cast<size_t>(end - decoded.data())));
}

TEST(JsonWriterNesting, BeginAndEndObjectReturnToTheParent) {
  Buffer buffer(64);
  char* inner = json::beginObject(buffer.cursor(), "k");
  ASSERT_NE(nullptr, inner);
  EXPECT_EQ('}', *inner);
  inner = json::addInt(inner, "n", 3);
  char* outer = json::endObject(inner);
  ASSERT_NE(nullptr, outer);
  EXPECT_EQ("{\"k\":{\"n\":3}}", buffer.text());
  EXPECT_EQ(buffer.data() + 12, outer) << "back at the root's closing brace";
  ASSERT_NE(nullptr, json::addInt(outer, "m", 4));
  EXPECT_EQ("{\"k\":{\"n\":3},\"m\":4}", buffer.text());
}

TEST(JsonWriterNesting, ArraysNest) {
  Buffer buffer(64);
  char* array = json::beginArray(buffer.cursor(), "a");
  array = json::addInt(array, nullptr, 1);
  char* object = json::beginObject(array, nullptr);
  object = json::addBool(object, "b", true);
  array = json::endObject(object);
  char* root = json::endArray(array);
  ASSERT_NE(nullptr, root);
  EXPECT_EQ("{\"a\":[1,{\"b\":true}]}", buffer.text());
  EXPECT_EQ('}', *root);
}

TEST(JsonWriterGrow, RetriesAfterGrowingUntilItFits) {
  Growable growable{std::vector<char>(8)};
  char* cursor = json::initBuffer(growable.bytes.data(), growable.bytes.size(), "{}");
  const json::Grow grow{&Growable::grow, &growable};
  const std::string value(100, 'v');
  cursor = json::addString(cursor, "key", value.c_str(), grow);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ(4, growable.calls) << "8 -> 16 -> 32 -> 64 -> 128";
  EXPECT_EQ("{\"key\":\"" + value + "\"}", std::string(growable.bytes.data()));
  EXPECT_EQ('}', *cursor);
  cursor = json::addULong(cursor, "n", 1, grow);
  cursor = json::beginArray(cursor, "a", grow);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ(']', *cursor);
}

TEST(JsonWriterGrow, WithoutGrowFunctionOrFailingGrowGivesNull) {
  Buffer buffer(8);
  EXPECT_EQ(nullptr, json::addInt(buffer.cursor(), "abc", 1, json::Grow{}));
  const json::Grow failing{[](char*, void*) -> char* { return nullptr; }, nullptr};
  EXPECT_EQ(nullptr, json::addInt(buffer.cursor(), "abc", 1, failing));
  EXPECT_EQ("{}", buffer.text());
  buffer.expectIntact();
}

TEST(StatusDetailElementTest, AddsItselfToTheParentOnScopeExit) {
  Growable growable{std::vector<char>(16)};
  json::Writer parent{json::initBuffer(growable.bytes.data(), growable.bytes.size(), "{}"),
                      json::Grow{&Growable::grow, &growable}};
  parent.cursor = json::addInt(parent.cursor, "first", 1, parent.grow);
  {
    qverr::StatusDetailElement element(&parent, "internal_error");
    json::Writer& w = element.writer();
    w.cursor = json::addString(w.cursor, "api", "qvkel_initializePlugin", w.grow);
    w.cursor = json::addInt(w.cursor, "code", -52003, w.grow);
    const std::string longText(400, 's');
    w.cursor = json::addString(w.cursor, "string", longText.c_str(), w.grow);
    ASSERT_NE(nullptr, w.cursor) << "the element grows its own buffer";
  }
  ASSERT_NE(nullptr, parent.cursor);
  const std::string expected =
      "{\"first\":1,\"internal_error\":{\"api\":\"qvkel_initializePlugin\","
      "\"code\":-52003,\"string\":\"" +
      std::string(400, 's') + "\"}}";
  EXPECT_EQ(expected, std::string(growable.bytes.data()));
  EXPECT_EQ('}', *parent.cursor);
}

TEST(StatusDetailElementTest, ParentThatCannotTakeItStaysUnchanged) {
  Buffer buffer(16);
  json::Writer parent{buffer.cursor(), json::Grow{}};
  {
    qverr::StatusDetailElement element(&parent, "element");
    json::Writer& w = element.writer();
    w.cursor = json::addInt(w.cursor, "n", 1, w.grow);
  }
  EXPECT_EQ("{}", buffer.text());
  EXPECT_EQ(buffer.cursor(), parent.cursor);
  buffer.expectIntact();
}

TEST(StatusDetailWriterTest, GrowsByDoublingAndKeepsTheFixedForm) {
  qverr::StatusDetailWriter report;
  EXPECT_STREQ("{}", report.text());
  EXPECT_EQ(256u, report.capacity());
  json::Writer& w = report.writer();
  w.cursor = json::addString(w.cursor, "first", std::string(200, 'a').c_str(), w.grow);
  w.cursor = json::addString(w.cursor, "second", std::string(300, 'b').c_str(), w.grow);
  ASSERT_NE(nullptr, w.cursor);
  EXPECT_EQ(1024u, report.capacity());
  const std::string expected =
      "{\"first\":\"" + std::string(200, 'a') + "\",\"second\":\"" + std::string(300, 'b') + "\"}";
  EXPECT_EQ(expected, report.text());
  EXPECT_EQ('}', *w.cursor);
  // Zero after the text, the marker in the last byte only.
  const std::string bytes(report.text(), report.capacity());
  EXPECT_EQ(std::string(report.capacity() - expected.size() - 1, '\0'),
            bytes.substr(expected.size(), report.capacity() - expected.size() - 1));
  EXPECT_EQ(json::kMarker, bytes.back());
}
