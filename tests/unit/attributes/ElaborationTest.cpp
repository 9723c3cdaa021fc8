#include "attributes/Elaboration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "foundation/errors/Json.h"
#include "foundation/errors/Status.h"

namespace {

using namespace atat::elaboration;

constexpr const char* kTranslator = "dovrane_qvvandrelapi";
const std::string kSectionStart =
    R"("translator":"dovrane_qvvandrelapi","translator_info":{"is_debug":"0","version":1,"ordered_data":[)";

// The whole detail of a status whose only content is the section with these items.
std::string sectionOnly(const std::string& items) {
  return "{" + kSectionStart + items + "]}}";
}

TEST(TranslatorSection, CreatedInAStatusWithoutDetail) {
  qverr::Status status;
  Cursor cursor = openTranslatorElaboration(status, kTranslator);
  ASSERT_NE(cursor.cursor, nullptr);
  atat::writeCommentItem(cursor, "hello");
  EXPECT_EQ(std::string(status.detailText()),
            sectionOnly(R"({"type":"comment","comment":"hello"})"));
}

TEST(TranslatorSection, FollowsTheLocationMembers) {
  qverr::Status status;
  const qverr::StatusLocation location{"atat/test/Source", 12, "qvvandrelbrenmooru", "errorCode"};
  ASSERT_TRUE(status.setCodeWithErrorConstant(-5, location));
  atat::writeCommentItem(openTranslatorElaboration(status, kTranslator), "c");
  EXPECT_EQ(std::string(status.detailText()),
            R"({"error_constant":"errorCode","file":"atat/test/Source","line":12,)"
            R"("component":"qvvandrelbrenmooru",)" +
                kSectionStart + R"({"type":"comment","comment":"c"}]}})");
}

TEST(TranslatorSection, SecondOpeningAppendsToTheSameArray) {
  qverr::Status status;
  atat::writeCommentItem(openTranslatorElaboration(status, kTranslator), "first");
  appendUsageUInt32(openTranslatorElaboration(status, kTranslator), "kUsageTypeFileVersion", 7);
  EXPECT_EQ(
      std::string(status.detailText()),
      sectionOnly(
          R"({"type":"comment","comment":"first"},)"
          R"({"type":"usage","usage":"kUsageTypeFileVersion","value":7,"value_type":"uint32_t"})"));
}

TEST(TranslatorSection, AnotherTranslatorsSectionIsLeftAlone) {
  qverr::Status status;
  status.setDetail(R"({"translator":"someone_else"})");
  Cursor cursor = openTranslatorElaboration(status, kTranslator);
  EXPECT_EQ(cursor.cursor, nullptr);
  cursor = atat::writeCommentItem(cursor, "dropped");
  cursor = appendUsageBool(cursor, "kUsageTypeInvalidInput", true);
  EXPECT_EQ(cursor.cursor, nullptr);
  EXPECT_EQ(std::string(status.detailText()), R"({"translator":"someone_else"})");
  // A longer name that starts with ours is another translator too.
  status.setDetail(R"({"translator":"dovrane_qvvandrelapi2"})");
  EXPECT_EQ(openTranslatorElaboration(status, kTranslator).cursor, nullptr);
}

TEST(TranslatorSection, CompletesAPartialSection) {
  qverr::Status status;
  status.setDetail(R"({"translator":"dovrane_qvvandrelapi","a":1})");
  atat::writeCommentItem(openTranslatorElaboration(status, kTranslator), "x");
  EXPECT_EQ(std::string(status.detailText()),
            R"({"translator":"dovrane_qvvandrelapi","a":1,"translator_info":{"is_debug":"0",)"
            R"("version":1,"ordered_data":[{"type":"comment","comment":"x"}]}})");

  status.setDetail(R"({"translator":"dovrane_qvvandrelapi","translator_info":{"k":2}})");
  atat::writeCommentItem(openTranslatorElaboration(status, kTranslator), "y");
  EXPECT_EQ(std::string(status.detailText()),
            R"({"translator":"dovrane_qvvandrelapi","translator_info":{"k":2,"is_debug":"0",)"
            R"("version":1,"ordered_data":[{"type":"comment","comment":"y"}]}})");
}

TEST(TranslatorSection, GrowsTheDetailForManyItems) {
  qverr::Status status;
  Cursor cursor = openTranslatorElaboration(status, kTranslator);
  for (int i = 0; i < 100; ++i) cursor = appendUsageInt32(cursor, "kUsageTypeInvalidValue", i);
  ASSERT_NE(cursor.cursor, nullptr);
  EXPECT_GT(status.capacity, 512u);
  qverr::json::ParseError error;
  EXPECT_TRUE(qverr::json::validateDocument(status.detailText(), &error));
  const std::string text = status.detailText();
  EXPECT_NE(text.find(R"("value":99,"value_type":"int32_t"}]}})"), std::string::npos);
}

class ItemWriters : public ::testing::Test {
 protected:
  Cursor open() { return openTranslatorElaboration(status_, kTranslator); }
  std::string items() const {
    const std::string text = status_.detailText();
    const std::string prefix = "{" + kSectionStart;
    EXPECT_EQ(text.compare(0, prefix.size(), prefix), 0) << text;
    EXPECT_EQ(text.substr(text.size() - 3), "]}}");
    return text.substr(prefix.size(), text.size() - prefix.size() - 3);
  }
  qverr::Status status_;
};

TEST_F(ItemWriters, ScalarItems) {
  Cursor c = open();
  c = appendUsageUInt32(c, "kUsageTypeAttributeIdentifier", 4294967295u);
  c = appendUsageInt32(c, "kUsageTypeRequestedValue", -3);
  c = appendUsageString(c, "kUsageTypeFilePath", "a\"b");
  c = appendUsageBool(c, "kUsageTypeInvalidValue", false);
  c = appendUsageUInt64(c, "kUsageTypeRequestedValue", 18446744073709551615u);
  c = appendUsageInt64(c, "kUsageTypeRequestedValue", -5000000000);
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":4294967295,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":-3,"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeFilePath","value":"a\"b","value_type":"string"},)"
      R"({"type":"usage","usage":"kUsageTypeInvalidValue","value":false,"value_type":"bool"},)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":18446744073709551615,"value_type":"uint64_t"},)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":-5000000000,"value_type":"int64_t"})");
}

TEST_F(ItemWriters, ListItems) {
  Cursor c = open();
  c = appendUsageStringList(c, "kUsageTypeValidValues", {"AI0", "AI1"});
  c = appendUsageInt32List(c, "kUsageTypePossibleValues", {10, -20});
  c = appendUsageInt32List(c, "kUsageTypePossibleValues", {});
  c = appendUsageUInt32List(c, "kUsageTypePossibleValues", {4294967295u});
  c = appendUsageInt64List(c, "kUsageTypePossibleValues", {-9223372036854775807 - 1, 5000000000});
  c = appendUsageUInt64List(c, "kUsageTypePossibleValues", {18446744073709551615u, 0});
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeValidValues","value":["AI0","AI1"],"value_type":"string"},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[10,-20],"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[],"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[4294967295],"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[-9223372036854775808,5000000000],"value_type":"int64_t"},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[18446744073709551615,0],"value_type":"uint64_t"})");
}

TEST_F(ItemWriters, EnumerationItemsCarryTheAttributeName) {
  Cursor c = open();
  c = appendUsageEnumValue(c, "kUsageTypeRequestedValue", 0x10000009, 4);
  c = appendUsageEnumList(c, "kUsageTypePossibleValues", 0x10000009, {0, 2});
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":4,"value_type":)"
      R"({"type":"enum","id":268435465,"comment":"Start Trigger Type","value_type":"int32_t"}},)"
      R"({"type":"usage","usage":"kUsageTypePossibleValues","value":[0,2],"value_type":)"
      R"({"type":"enum","id":268435465,"comment":"Start Trigger Type","value_type":"int32_t"}})");
}

TEST_F(ItemWriters, IdentifierTagsAddTheDisplayName) {
  Cursor c = open();
  c = appendUsageInt32WithAttributeName(c, "kUsageTypeRequestedValue", 0x20000010);
  c = appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeId", 0x20000010);
  c = appendUsageInt32WithAttributeName(c, "kUsageTypeConflictingAttr", 42);
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":536870928,"value_type":"int32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeAttributeId","value":536870928,"value_type":"int32_t","comment":"AI Range"},)"
      R"({"type":"usage","usage":"kUsageTypeConflictingAttr","value":42,"value_type":"int32_t","comment":"Not Available"})");
}

TEST_F(ItemWriters, AttributeIdentifierAndChannel) {
  Cursor c = open();
  c = appendAttributeIdAndChannel(c, 0x20000010, "");
  c = appendAttributeIdAndChannel(c, 0x20000010, "AI0");
  c = appendNamedAttributeIdAndChannel(c, 0x10000118, "AI1", "kUsageTypeChannelName");
  c = appendNamedAttributeIdAndChannel(c, 0x10000118, "AI1", nullptr);
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870928,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870928,"value_type":"uint32_t"},)"
      R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI0","value_type":"string"},)"
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435736,"value_type":"int32_t","comment":"Circular Buffer Segments"},)"
      R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI1","value_type":"string"},)"
      R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":268435736,"value_type":"int32_t","comment":"Circular Buffer Segments"})");
}

TEST_F(ItemWriters, DoubleItemsAreText) {
  Cursor c = open();
  c = appendUsageDouble(c, "kUsageTypeRequestedValue", 0.5);
  c = appendUsageDouble(c, "kUsageTypeRequestedValue", std::numeric_limits<double>::infinity());
  c = appendUsageDouble(c, "kUsageTypeRequestedValue", -std::numeric_limits<double>::infinity());
  c = appendUsageDouble(c, "kUsageTypeInvalidInput", std::nan(""));
  ASSERT_NE(c.cursor, nullptr);
  EXPECT_EQ(
      items(),
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"500.0e-3","value_type":"float"},)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"Infinity","value_type":"float"},)"
      R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"-Infinity","value_type":"float"},)"
      R"({"type":"usage","usage":"kUsageTypeInvalidInput","value":"NaN","value_type":"float"})");
}

std::string engineering(double value, int precision = 6) {
  char text[100];
  atat::formatDoubleText(text, sizeof text, precision, value);
  return text;
}

TEST(FormatDoubleText, EngineeringNotation) {
  EXPECT_EQ(engineering(2.5), "2.500000");
  EXPECT_EQ(engineering(0.5), "500.0e-3");
  EXPECT_EQ(engineering(1234.5), "1.234500e3");
  EXPECT_EQ(engineering(1000000), "1.0e6");
  EXPECT_EQ(engineering(0), "0.0");
  EXPECT_EQ(engineering(-0.0), "0.0");
  EXPECT_EQ(engineering(-2.5), "-2.500000");
  EXPECT_EQ(engineering(1), "1.0");  // 1 scales up to 1000e-3 and back down
  EXPECT_EQ(engineering(0.25, 2), "250.0e-3");
  EXPECT_EQ(engineering(12345678.9, 3), "12.346e6");
}

TEST(FormatDoubleText, NonFiniteValuesEndWithoutScaling) {
  EXPECT_EQ(engineering(std::numeric_limits<double>::infinity()), "Infinity");
  EXPECT_EQ(engineering(std::nan("")), "NaN");
}

TEST(FormatDoubleText, TruncatesToTheBuffer) {
  char text[5];
  atat::formatDoubleText(text, sizeof text, 6, 2.5);
  EXPECT_STREQ(text, "2.50");
}

}  // namespace
