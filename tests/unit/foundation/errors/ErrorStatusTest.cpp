#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/errors/Status.h"

using nQVVUSKS100::tStatus;
using qverr::Status;
using qverr::StatusLocation;

namespace {

constexpr StatusLocation kRaise{"tRaiseSite", 44, "qvvandrelbrenmooru", "qvvuskerr_osFault"};
constexpr StatusLocation kNoComponent{"plain.cpp", 3000000000u};

// The bytes of a fixed buffer after the text's NUL up to the marker must be zero.
void expectFixedForm(const Status& status) {
  ASSERT_NE(nullptr, status.detail);
  const size_t length = std::strlen(status.detail);
  ASSERT_LE(length + 2, status.capacity);
  for (size_t i = length; i + 1 < status.capacity; ++i) ASSERT_EQ('\0', status.detail[i]) << i;
  EXPECT_EQ('J', status.detail[status.capacity - 1]);
}

int growCalls = 0;
bool countingGrow(Status& status, uint32_t needed) {
  ++growCalls;
  return Status::growDefault(status, needed);
}

bool failingGrow(Status& status, uint32_t needed) {
  if (needed == 0) return Status::growDefault(status, 0);
  return false;
}

}  // namespace

TEST(ErrorStatusMerge, FollowsTheSameRuleAsTheRecord) {
  Status status;
  EXPECT_FALSE(status.setCode(0));
  EXPECT_EQ(nullptr, status.detail) << "a status without a buffer stays without one";
  EXPECT_TRUE(status.setCode(4));
  EXPECT_FALSE(status.setCode(9));
  EXPECT_TRUE(status.setCode(-52005));
  EXPECT_FALSE(status.setCode(-52000));
  EXPECT_FALSE(status.setCode(3));
  EXPECT_EQ(-52005, status.code);
  EXPECT_EQ(nullptr, status.detail);
}

TEST(ErrorStatusMerge, NewCodeResetsDetailBeforeNewMembers) {
  Status status;
  status.setCode(2);
  ASSERT_NE(nullptr, status.setDetail(R"({"old":1})"));
  ASSERT_TRUE(status.setCode(-52006));
  EXPECT_STREQ("{}", status.detail);
  expectFixedForm(status);
}

TEST(ErrorStatusMerge, MergeCopiesDetailOnlyWhenTaken) {
  Status source;
  source.setCodeWithLocation(-52013, kRaise);
  Status target;
  bool ok = false;
  EXPECT_TRUE(target.merge(source, &ok));
  EXPECT_TRUE(ok);
  EXPECT_STREQ(source.detail, target.detail);
  EXPECT_NE(source.detail, target.detail);

  Status other;
  other.setDetail(R"({"x":1})");
  other.code = -1;
  EXPECT_FALSE(target.merge(other, &ok));
  EXPECT_EQ(-52013, target.code);
  EXPECT_STREQ(source.detail, target.detail);
}

TEST(ErrorStatusMerge, MergeMoveWithSameCallbackHandsOverTheBuffer) {
  Status source;
  source.setCodeWithErrorConstant(-52008, kRaise);
  const std::string text = source.detail;
  const char* buffer = source.detail;
  Status target;
  target.setDetail(R"({"mine":true})");
  bool ok = false;
  ASSERT_TRUE(target.mergeMove(source, &ok));
  EXPECT_TRUE(ok);
  EXPECT_EQ(buffer, target.detail);
  EXPECT_EQ(text, target.detail);
  EXPECT_EQ(nullptr, source.detail);
  EXPECT_EQ(0u, source.capacity);
}

TEST(ErrorStatusMerge, MergeMoveWithOtherCallbackCopies) {
  Status source;
  source.grow = countingGrow;
  source.setCodeWithLocation(-52007, kRaise);
  Status target;
  bool ok = false;
  ASSERT_TRUE(target.mergeMove(source, &ok));
  EXPECT_TRUE(ok);
  EXPECT_STREQ(source.detail, target.detail);
  EXPECT_NE(source.detail, target.detail);

  Status bare;
  bare.grow = countingGrow;
  bare.code = -4;
  Status receiver;
  ASSERT_TRUE(receiver.mergeMove(bare, &ok));
  EXPECT_STREQ("{}", receiver.detail) << "an absent text arrives as {}";
}

TEST(ErrorStatusMerge, AssignIsUnconditional) {
  Status target;
  target.setCodeWithLocation(-1, kRaise);
  Status source;
  source.code = 5;
  EXPECT_TRUE(target.assign(source));
  EXPECT_EQ(5, target.code);
  EXPECT_EQ(nullptr, target.detail);

  Status withText;
  withText.setCodeWithLocation(-9, kRaise);
  EXPECT_TRUE(target.assign(withText));
  EXPECT_EQ(-9, target.code);
  EXPECT_STREQ(withText.detail, target.detail);
}

TEST(ErrorStatusMerge, AssignFailingCopyChangesNothing) {
  Status target;
  target.grow = failingGrow;
  target.code = 1;
  Status source;
  source.setCodeWithLocation(-2, kRaise);
  EXPECT_FALSE(target.assign(source));
  EXPECT_EQ(1, target.code);
  EXPECT_EQ(nullptr, target.detail);
}

TEST(ErrorStatusMerge, MoveLeavesTheSourceEmpty) {
  Status source;
  source.setCodeWithLocation(-52019, kRaise);
  const char* buffer = source.detail;
  Status moved(std::move(source));
  EXPECT_EQ(-52019, moved.code);
  EXPECT_EQ(buffer, moved.detail);
  EXPECT_EQ(0, source.code);
  EXPECT_EQ(nullptr, source.detail);
  EXPECT_EQ(0u, source.capacity);

  Status target;
  target.setCodeWithLocation(-1, kNoComponent);
  target = std::move(moved);
  EXPECT_EQ(-52019, target.code);
  EXPECT_EQ(buffer, target.detail);
  EXPECT_EQ(nullptr, moved.detail);
}

TEST(ErrorStatusGrowth, SizesFollowFirst512ThenPowersOfTwo) {
  Status a;
  ASSERT_TRUE(Status::growDefault(a, 100));
  EXPECT_EQ(512u, a.capacity);
  EXPECT_STREQ("{}", a.detail);
  expectFixedForm(a);
  ASSERT_TRUE(Status::growDefault(a, 1000));
  EXPECT_EQ(1024u, a.capacity);
  expectFixedForm(a);

  Status b;
  ASSERT_TRUE(Status::growDefault(b, 513));
  EXPECT_EQ(1024u, b.capacity);

  Status c;
  EXPECT_FALSE(Status::growDefault(c, 0x80000000u));
  EXPECT_EQ(0u, c.capacity);
  EXPECT_TRUE(Status::growDefault(c, 0));
}

TEST(ErrorStatusGrowth, GrowingKeepsTheText) {
  Status status;
  ASSERT_NE(nullptr, status.setDetail(R"({"keep":"me"})"));
  const uint32_t before = status.capacity;
  ASSERT_TRUE(Status::growDefault(status, before + 1));
  EXPECT_EQ(before * 2, status.capacity);
  EXPECT_STREQ(R"({"keep":"me"})", status.detail);
  expectFixedForm(status);
}

TEST(ErrorStatusDetail, SetDetailReturnsCursorAtClosingBrace) {
  Status status;
  char* cursor = status.setDetail(nullptr);
  ASSERT_NE(nullptr, cursor);
  EXPECT_STREQ("{}", status.detail);
  EXPECT_EQ('}', *cursor);
  cursor = status.setDetail(R"({"a":1})");
  EXPECT_EQ(status.detail + 6, cursor);
}

TEST(ErrorStatusDetail, ReserveDetailRejectsHugeAndMalformed) {
  Status status;
  EXPECT_EQ(nullptr, status.reserveDetail(0x7FFFFFFEu));
  char* cursor = status.reserveDetail(10);
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ('}', *cursor);
  status.setDetail(R"({"a":)");
  EXPECT_EQ(nullptr, status.reserveDetail(10));
}

TEST(ErrorStatusDetail, GrowDetailDoublesAndRebasesTheCursor) {
  Status status;
  status.setDetail("{}");
  ASSERT_EQ(512u, status.capacity);
  std::string longValue(700, 'v');
  char* cursor = status.addString(status.reserveDetail(0), "long", longValue.c_str());
  ASSERT_NE(nullptr, cursor);
  EXPECT_EQ(1024u, status.capacity);
  EXPECT_EQ(R"({"long":")" + longValue + R"("})", std::string(status.detail));
  EXPECT_EQ('}', *cursor);
  expectFixedForm(status);
}

TEST(ErrorStatusDetail, FailedGrowthKeepsCodeAndReportsNotOk) {
  Status status;
  status.grow = failingGrow;
  bool ok = true;
  EXPECT_TRUE(status.setCodeWithLocation(-52000, kRaise, &ok));
  EXPECT_FALSE(ok);
  EXPECT_EQ(-52000, status.code);
}

TEST(ErrorStatusLocation, ErrorConstantDetailHasTheExactMembersInOrder) {
  Status status;
  bool ok = false;
  ASSERT_TRUE(status.setCodeWithErrorConstant(-52008, kRaise, &ok));
  EXPECT_TRUE(ok);
  EXPECT_STREQ(R"({"error_constant":"qvvuskerr_osFault","file":"tRaiseSite","line":44,)"
               R"("component":"qvvandrelbrenmooru"})",
               status.detail);
}

TEST(ErrorStatusLocation, LineWrittenFromLowWordAsSignedAndComponentOptional) {
  Status status;
  ASSERT_TRUE(status.setCodeWithLocation(-1, kNoComponent));
  // 3000000000 as a signed 32-bit value is -1294967296.
  EXPECT_STREQ(R"({"file":"plain.cpp","line":-1294967296})", status.detail);
}

TEST(ErrorStatusLocation, NotTakenCodeWritesNothing) {
  Status status;
  status.setCodeWithLocation(-5, kRaise);
  const std::string before = status.detail;
  bool ok = false;
  EXPECT_FALSE(status.setCodeWithErrorConstant(-6, kNoComponent, &ok));
  EXPECT_EQ(before, status.detail);
}

TEST(StatusConversion, RecordIntoStatusCarriesFileLineComponent) {
  tStatus record;
  record.setCode(-52006, "qvvandrel", "tDeviceInterfaceProxy", 4000000000u);
  Status status;
  ASSERT_TRUE(qverr::mergeRecordIntoStatus(record, status));
  EXPECT_EQ(-52006, status.code);
  EXPECT_STREQ(R"({"file":"tDeviceInterfaceProxy","line":4000000000,"component":"qvvandrel"})",
               status.detail);
}

TEST(StatusConversion, RecordThroughStatusKeepsEveryThirtyTwoBitLine) {
  for (const uint64_t line : {0ull, 77ull, 0x7FFFFFFFull, 0x80000000ull, 0xFFFFFFFFull}) {
    tStatus record;
    record.setCode(-52006, "qvvandrel", "tDeviceInterfaceProxy", line);
    Status status;
    ASSERT_TRUE(qverr::mergeRecordIntoStatus(record, status));
    tStatus back;
    ASSERT_TRUE(qverr::mergeStatusIntoRecord(status, back));
    EXPECT_EQ(line, back.line) << status.detail;
  }
}

TEST(StatusConversion, RecordIntoStatusEdgeCases) {
  tStatus success;
  Status untouched;
  EXPECT_TRUE(qverr::mergeRecordIntoStatus(success, untouched));
  EXPECT_EQ(0, untouched.code);
  EXPECT_EQ(nullptr, untouched.detail);

  alignas(8) unsigned char bytes[216];
  std::memset(bytes, 'Z', sizeof bytes);
  const uint64_t size = 16;
  const int64_t code = -52031;
  std::memcpy(bytes, &size, 8);
  std::memcpy(bytes + 8, &code, 8);
  Status fromShort;
  EXPECT_TRUE(qverr::mergeRecordIntoStatus(*reinterpret_cast<const tStatus*>(bytes), fromShort));
  EXPECT_EQ(-52031, fromShort.code);
  EXPECT_EQ(nullptr, fromShort.detail) << "a short record carries the code only";

  tStatus noTexts;
  noTexts.setCode(-7, "", "", 5);
  Status bare;
  EXPECT_TRUE(qverr::mergeRecordIntoStatus(noTexts, bare));
  EXPECT_EQ(-7, bare.code);
  EXPECT_EQ(nullptr, bare.detail);

  Status holding;
  holding.setCodeWithLocation(-1, kRaise);
  const std::string before = holding.detail;
  tStatus other;
  other.setCode(-2, "x", "y", 1);
  EXPECT_TRUE(qverr::mergeRecordIntoStatus(other, holding));
  EXPECT_EQ(-1, holding.code);
  EXPECT_EQ(before, holding.detail);
}

TEST(StatusConversion, RecordIntoStatusDoesNotGrowPastItsReservation) {
  // 100 control bytes escape to 600 characters: more than the 256 reserved, so "file" and
  // "line" are left out, the component still goes in, and the result reports the loss.
  tStatus record;
  record.setCode(-52024, "comp", std::string(100, '\x01').c_str(), 9);
  ASSERT_EQ(100u, std::strlen(record.file));
  Status status;
  EXPECT_FALSE(qverr::mergeRecordIntoStatus(record, status));
  EXPECT_EQ(-52024, status.code);
  EXPECT_EQ(512u, status.capacity);
  EXPECT_STREQ(R"({"component":"comp"})", status.detail);
  expectFixedForm(status);
}

TEST(StatusConversion, StatusIntoRecordReadsDecodedMembers) {
  Status status;
  status.setCode(-52013);
  status.setDetail(R"({"line":77,"component":"q\u0076vandrelbrenmooru","file":"a\tb.cpp"})");
  tStatus record;
  ASSERT_TRUE(qverr::mergeStatusIntoRecord(status, record));
  EXPECT_EQ(-52013, record.code);
  // The raw text is cut to nine characters before decoding: q\u0076va.
  EXPECT_STREQ("qvva", record.component);
  EXPECT_STREQ("a\tb.cpp", record.file);
  EXPECT_EQ(77u, record.line);
}

TEST(StatusConversion, StatusIntoRecordComponentCutThroughAnEscapeKeepsTheDecodedPart) {
  Status status;
  status.setCode(-1);
  status.setDetail(R"({"component":"abcdefgh\nmore","line":-1})");
  tStatus record;
  ASSERT_TRUE(qverr::mergeStatusIntoRecord(status, record));
  EXPECT_STREQ("abcdefgh", record.component);
  EXPECT_EQ(0xFFFFFFFFu, record.line) << "the line's low 32 bits survive";
}

TEST(StatusConversion, StatusIntoRecordLongFileKeepsLastHundred) {
  const std::string name = std::string(20, 'p') + std::string(90, 'x') + "abcdefghij";
  Status status;
  status.setCode(-1);
  status.setDetail((R"({"file":")" + name + R"("})").c_str());
  tStatus record;
  qverr::mergeStatusIntoRecord(status, record);
  EXPECT_EQ(name.substr(20), std::string(record.file));
}

TEST(StatusConversion, StatusIntoRecordDropsLeadingBackslashesOfTheKeptPiece) {
  // 20 raw characters are cut off; the kept 100 begin with four backslashes (two escapes).
  const std::string raw = std::string(20, 'p') + R"(\\\\)" + std::string(93, 'y') + R"(\\z)";
  ASSERT_EQ(120u, raw.size());
  Status status;
  status.setCode(-1);
  status.setDetail((R"({"file":")" + raw + R"("})").c_str());
  tStatus record;
  qverr::mergeStatusIntoRecord(status, record);
  EXPECT_EQ(std::string(93, 'y') + R"(\z)", std::string(record.file));
}

TEST(StatusConversion, StatusIntoRecordNeverReplacesAnError) {
  tStatus record;
  record.setCode(-52000, "first", "first.cpp", 1);
  Status status;
  status.setCodeWithLocation(-52005, kRaise);
  EXPECT_TRUE(qverr::mergeStatusIntoRecord(status, record));
  EXPECT_EQ(-52000, record.code);
  EXPECT_STREQ("first", record.component);
  EXPECT_STREQ("first.cpp", record.file);
  EXPECT_EQ(1u, record.line);
}

TEST(StatusConversion, StatusWithoutDetailGivesEmptyTexts) {
  Status status;
  status.setCode(-52004);
  tStatus record;
  record.setCode(2, "w", "w.cpp", 9);
  EXPECT_TRUE(qverr::mergeStatusIntoRecord(status, record));
  EXPECT_EQ(-52004, record.code);
  EXPECT_STREQ("", record.component);
  EXPECT_STREQ("", record.file);
  EXPECT_EQ(0u, record.line);
}
