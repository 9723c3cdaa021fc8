#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/errors/Status.h"

using nQVVUSKS100::tStatus;

namespace {

// Reads a little-endian u64 at a byte offset of a raw record.
uint64_t u64At(const unsigned char* bytes, size_t offset) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[offset + static_cast<size_t>(i)];
  return value;
}

std::string repeat(char c, size_t n) {
  return std::string(n, c);
}

}  // namespace

TEST(StatusRecordLayout, FullRecordFieldsLandAtTheirByteOffsets) {
  alignas(8) unsigned char bytes[216];
  std::memset(bytes, 0xEE, sizeof bytes);
  auto* record = reinterpret_cast<tStatus*>(bytes);
  const uint64_t size = 216;
  std::memcpy(bytes, &size, 8);
  std::memset(bytes + 8, 0, 8);

  ASSERT_TRUE(record->setCode(-52006, "comp", "file.cpp", 0x0102030405060708ull));

  // code -52006 = 0xFFFFFFFFFFFF34DA in two's complement, little-endian.
  const unsigned char code[8] = {0xDA, 0x34, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(bytes + 8, code, 8));
  const unsigned char component[10] = {'c', 'o', 'm', 'p', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(bytes + 16, component, 10));
  EXPECT_EQ(0, std::memcmp(bytes + 26, "file.cpp", 9));
  for (size_t i = 26 + 8; i < 127; ++i) EXPECT_EQ(0, bytes[i]) << "file byte " << i;
  EXPECT_EQ(0xEE, bytes[127]) << "the pad byte is never written";
  const unsigned char line[8] = {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(0, std::memcmp(bytes + 128, line, 8));
  EXPECT_EQ(0u, u64At(bytes, 136)) << "extension[0] cleared";
  for (size_t i = 144; i < 216; ++i) EXPECT_EQ(0xEE, bytes[i]) << "extension byte " << i;
}

TEST(StatusRecordLayout, ShortRecordReceivesOnlyTheCode) {
  alignas(8) unsigned char bytes[216];
  std::memset(bytes, 0xA5, sizeof bytes);
  const uint64_t size = 16;
  std::memcpy(bytes, &size, 8);
  std::memset(bytes + 8, 0, 8);
  auto* record = reinterpret_cast<tStatus*>(bytes);

  EXPECT_TRUE(record->setCode(-52000, "component", "some/file.cpp", 12));
  EXPECT_EQ(static_cast<uint64_t>(-52000), u64At(bytes, 8));
  for (size_t i = 16; i < sizeof bytes; ++i) ASSERT_EQ(0xA5, bytes[i]) << "byte " << i;
}

TEST(StatusRecordMerge, FirstErrorWinsAndWarningYieldsOnlyToError) {
  tStatus record;
  EXPECT_FALSE(record.setCode(0, "zero", "zero.cpp", 1));
  EXPECT_EQ(0, record.code);
  EXPECT_STREQ("", record.component);
  EXPECT_STREQ("", record.file);

  EXPECT_TRUE(record.setCode(5, "warn", "warn.cpp", 10));
  EXPECT_FALSE(record.setCode(6, "warn2", "warn2.cpp", 11)) << "a warning does not replace one";
  EXPECT_EQ(5, record.code);
  EXPECT_STREQ("warn", record.component);

  EXPECT_TRUE(record.setCode(-52000, "err", "err.cpp", 20));
  EXPECT_EQ(-52000, record.code);
  EXPECT_STREQ("err", record.component);
  EXPECT_STREQ("err.cpp", record.file);
  EXPECT_EQ(20u, record.line);

  EXPECT_FALSE(record.setCode(-52005, "other", "other.cpp", 30));
  EXPECT_FALSE(record.setCode(7, "w", "w.cpp", 31));
  EXPECT_EQ(-52000, record.code);
  EXPECT_STREQ("err", record.component);
  EXPECT_STREQ("err.cpp", record.file);
  EXPECT_EQ(20u, record.line);
}

TEST(StatusRecordMerge, MergeCarriesLocationOfTheTakenCode) {
  tStatus target;
  target.setCode(5, "w", "w.cpp", 1);
  tStatus error;
  error.setCode(-52000, "qvvandrel", "src.cpp", 77);
  EXPECT_TRUE(target.merge(&error));
  EXPECT_EQ(-52000, target.code);
  EXPECT_STREQ("qvvandrel", target.component);
  EXPECT_STREQ("src.cpp", target.file);
  EXPECT_EQ(77u, target.line);

  tStatus second;
  second.setCode(-52005, "x", "y.cpp", 3);
  EXPECT_FALSE(target.merge(&second));
  EXPECT_EQ(-52000, target.code);
  EXPECT_STREQ("src.cpp", target.file);
  EXPECT_FALSE(target.merge(nullptr));
}

TEST(StatusRecordMerge, ShortSourceGivesEmptyTextsAndLineZero) {
  tStatus target;
  target.setCode(3, "w", "w.cpp", 9);
  alignas(8) unsigned char bytes[216];
  std::memset(bytes, 'X', sizeof bytes);
  const uint64_t size = 16;
  const int64_t code = -52024;
  std::memcpy(bytes, &size, 8);
  std::memcpy(bytes + 8, &code, 8);
  EXPECT_TRUE(target.merge(reinterpret_cast<const tStatus*>(bytes)));
  EXPECT_EQ(-52024, target.code);
  EXPECT_STREQ("", target.component);
  EXPECT_STREQ("", target.file);
  EXPECT_EQ(0u, target.line);
}

TEST(StatusRecordMerge, ExtensionWordsCopiedUpToAndIncludingFirstZero) {
  tStatus source;
  source.setCode(-1, "c", "f", 1);
  for (size_t i = 0; i < 10; ++i) source.extension[i] = 100 + i;
  source.extension[3] = 0;

  tStatus target;
  for (auto& word : target.extension) word = 0xDEAD;
  ASSERT_TRUE(target.merge(&source));
  EXPECT_EQ(100u, target.extension[0]);
  EXPECT_EQ(101u, target.extension[1]);
  EXPECT_EQ(102u, target.extension[2]);
  EXPECT_EQ(0u, target.extension[3]);
  for (size_t i = 4; i < 10; ++i) EXPECT_EQ(0xDEADu, target.extension[i]) << i;
}

TEST(StatusRecordMerge, TenNonZeroExtensionWordsAllCopiedAndNothingMore) {
  struct Guarded {
    tStatus record;
    uint64_t after = 0x5555;
  } target;
  tStatus source;
  source.setCode(-1, "c", "f", 1);
  for (size_t i = 0; i < 10; ++i) source.extension[i] = i + 1;
  ASSERT_TRUE(target.record.merge(&source));
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(i + 1, target.record.extension[i]);
  EXPECT_EQ(0x5555u, target.after);
}

TEST(StatusRecordTexts, LongFileNameKeepsBothEnds) {
  std::string name;
  for (int i = 0; i < 150; ++i) name.push_back(static_cast<char>('A' + i % 26));
  tStatus record;
  record.setCode(-1, "c", name.c_str(), 1);
  const std::string expected = name.substr(0, 49) + ".." + name.substr(150 - 49);
  EXPECT_EQ(100u, expected.size());
  EXPECT_EQ(expected, std::string(record.file));
  EXPECT_EQ('\0', record.file[100]);
}

TEST(StatusRecordTexts, HundredAndHundredOneCharacterNames) {
  const std::string hundred = repeat('h', 99) + "Z";
  tStatus record;
  record.setCode(-1, "c", hundred.c_str(), 1);
  EXPECT_EQ(hundred, std::string(record.file));

  const std::string hundredOne = repeat('a', 50) + repeat('b', 51);
  tStatus shortened;
  shortened.setCode(-1, "c", hundredOne.c_str(), 1);
  EXPECT_EQ(repeat('a', 49) + ".." + repeat('b', 49), std::string(shortened.file));
}

TEST(StatusRecordTexts, ComponentCutToNineCharacters) {
  tStatus record;
  record.setCode(-1, "abcdefghijkl", "f", 1);
  EXPECT_STREQ("abcdefghi", record.component);
  for (size_t i = 9; i < 10; ++i) EXPECT_EQ('\0', record.component[i]);
}

TEST(StatusRecordTexts, NewTextZeroFillsWhatAnEarlierLongerTextLeft) {
  tStatus record;
  std::memset(record.file, 'q', sizeof record.file);
  std::memset(record.component, 'q', sizeof record.component);
  record.setCode(-3, "ab", "x.c", 2);
  for (size_t i = 2; i < sizeof record.component; ++i) EXPECT_EQ('\0', record.component[i]);
  for (size_t i = 3; i < sizeof record.file; ++i) EXPECT_EQ('\0', record.file[i]);
}
