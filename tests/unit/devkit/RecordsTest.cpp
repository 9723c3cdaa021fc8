#include <gtest/gtest.h>

#include <limits>

#include "DevkitTestUtil.h"
#include "devkit/Bitfile.h"
#include "devkit/ByteVector.h"
#include "devkit/CommonRegisterSet.h"
#include "devkit/FpgaBusyOwner.h"
#include "devkit/FpgaSignature.h"
#include "devkit/PersonalityData.h"
#include "devkit/SemicolonList.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using devkit_test::bytesOf;
using devkit_test::codeOf;
using qvsim::BitfileBuilder;

std::vector<uint8_t> serialized(const qvkel::ISerializable& object) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  object.serialize(buffer, status);
  EXPECT_EQ(status.code, 0);
  return bytesOf(buffer.data(), buffer.size());
}

// Base 0x8000 and the internal offsets of the worked examples.
BitfileBuilder exampleDesign() {
  BitfileBuilder builder;
  builder.clearRegisters()
      .internalRegister("WexControl", 0x4)
      .internalRegister("DiagramReset", 0x7FFC)
      .internalRegister("InterruptEnable", 0x1FFE4)
      .internalRegister("WexSignature", 0x0)
      .signature("0123456789abcdef0011223344556677")
      .bitstreamVersion(5);
  qvsim::TargetSpecificSpec specific;
  specific.hmb = true;
  builder.targetSpecific(specific);
  return builder;
}

TEST(ByteVector, GrowsByHalfWithAMinimumOfEight) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  EXPECT_EQ(buffer.capacity(), 0u);
  EXPECT_TRUE(buffer.appendU8(1, status));
  EXPECT_EQ(buffer.capacity(), 8u);
  for (int i = 0; i < 7; ++i) buffer.appendU8(2, status);
  EXPECT_EQ(buffer.capacity(), 8u);
  buffer.appendU8(3, status);
  EXPECT_EQ(buffer.capacity(), 12u);
  const uint8_t block[40] = {};
  buffer.append(block, sizeof block, status);
  EXPECT_EQ(buffer.capacity(), 49u);
  EXPECT_EQ(buffer.size(), 49u);
  EXPECT_EQ(buffer.data()[8], 3);
  EXPECT_EQ(status.code, 0);
}

TEST(ByteVector, ImpossibleGrowthIsMemoryFullAndAppendsNothing) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  buffer.appendU32(0x11223344, status);
  EXPECT_FALSE(buffer.append(buffer.data(), std::numeric_limits<size_t>::max(), status));
  EXPECT_EQ(status.code, -52000);
  EXPECT_EQ(buffer.size(), 4u);
  EXPECT_FALSE(buffer.appendU8(1, status));
  EXPECT_EQ(buffer.size(), 4u);
  EXPECT_EQ(bytesOf(buffer.data(), buffer.size()), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
}

TEST(CommonRegisterSet, WorkedExampleBytes) {
  const qvkel::Bitfile bitfile(exampleDesign().text().c_str(), false, false);
  const std::vector<uint8_t> expected = {0x04, 0x80, 0x00, 0x00, 0xFC, 0xFF, 0x00,
                                         0x00, 0xE4, 0x7F, 0x02, 0x00, 0x00, 0x80,
                                         0x00, 0x00, 0x00, 0xD0, 0x01, 0x00};
  EXPECT_EQ(serialized(qvkel::CommonRegisterSet(bitfile)), expected);
}

TEST(CommonRegisterSet, AbsentDramOffsetWrapsToBaseMinusOne) {
  BitfileBuilder builder = exampleDesign();
  builder.targetSpecific({});
  const qvkel::Bitfile bitfile(builder.text().c_str(), false, false);
  const qvkel::CommonRegisterSet set(bitfile);
  EXPECT_EQ(set.getDramBase(), 0x7FFFu);
  EXPECT_EQ(set.getInterruptEnable(), 0x27FE4u);
}

TEST(PersonalityData, CommonDataWorkedExample) {
  const qvkel::Bitfile bitfile(exampleDesign().text().c_str(), false, true);
  const qvkel::PersonalityData personality(bitfile, 0);
  const std::vector<uint8_t> expected = {0x04, 0x80, 0x00, 0x00, 0xFC, 0xFF, 0x00, 0x00, 0xE4, 0x7F,
                                         0x02, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xD0, 0x01, 0x00,
                                         0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x10,
                                         0xFF, 0xFF, 0x67, 0x45, 0x23, 0x01, 0xEF, 0xCD, 0xAB, 0x89,
                                         0x33, 0x22, 0x11, 0x00, 0x77, 0x66, 0x55, 0x44};
  EXPECT_EQ(bytesOf(personality.getCommonData(), personality.getCommonDataSize()), expected);
  EXPECT_EQ(personality.getFifoDataSize(), 0u);
  EXPECT_EQ(personality.getFifoData(), nullptr);
  EXPECT_EQ(personality.getBitstreamSize(), 64u);
  EXPECT_EQ(personality.getBitstream(), bitfile.getBitstream().data());
}

TEST(PersonalityData, OpenAttributesAndTheirBusyCode) {
  const qvkel::Bitfile bitfile(exampleDesign().text().c_str(), false, false);
  const qvkel::PersonalityData personality(bitfile, 0x0C000001);
  const auto bytes = bytesOf(personality.getCommonData(), personality.getCommonDataSize());
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 24, bytes.begin() + 32),
            (std::vector<uint8_t>{0x01, 0x00, 0x00, 0x0C, 0xED, 0x10, 0xFF, 0xFF}));
  EXPECT_EQ(personality.getBitstream(), nullptr);
  EXPECT_EQ(personality.getBitstreamSize(), 0u);
}

TEST(PersonalityData, FifoTableFollowsTheBitfileOrder) {
  BitfileBuilder builder = exampleDesign();
  builder.addChannel(qvsim::DmaChannelSpec("second", 1, "I8", 0x80));
  builder.addChannel(qvsim::DmaChannelSpec("first", 0, "U32", 0x40));
  const qvkel::Bitfile bitfile(builder.text().c_str(), false, false);
  const qvkel::PersonalityData personality(bitfile, 0);
  const std::vector<uint8_t> expected = {
      // channel 0: U32 target-to-host at 0x40, depth 1023, visible, no write window
      0x01, 0x00, 0x07, 0x20, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0x01, 0xFF,
      0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
      // channel 1: I8 at 0x80
      0x01, 0x00, 0x02, 0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0x01, 0xFF,
      0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(bytesOf(personality.getFifoData(), personality.getFifoDataSize()), expected);
}

TEST(PersonalityData, BadSignatureTextIsInvalidParameter) {
  BitfileBuilder builder = exampleDesign();
  builder.signature("0123456789abcdef00112233zzzzzzzz");
  const qvkel::Bitfile bitfile(builder.text().c_str(), false, false);
  EXPECT_EQ(codeOf([&] { qvkel::PersonalityData personality(bitfile, 0); }), -52005);
}

TEST(FpgaSignature, TextGivesFourWordsInOrder) {
  const qvkel::FpgaSignature signature("0123456789ABCDEF0011223344556677");
  EXPECT_EQ(signature.getWords(),
            (std::array<uint32_t, 4>{0x01234567, 0x89ABCDEF, 0x00112233, 0x44556677}));
  EXPECT_EQ(serialized(signature),
            (std::vector<uint8_t>{0x67, 0x45, 0x23, 0x01, 0xEF, 0xCD, 0xAB, 0x89, 0x33, 0x22, 0x11,
                                  0x00, 0x77, 0x66, 0x55, 0x44}));
  EXPECT_EQ(signature, qvkel::FpgaSignature("0123456789abcdef0011223344556677"));
  EXPECT_FALSE(signature == qvkel::FpgaSignature("0123456789abcdef0011223344556678"));
  EXPECT_EQ(codeOf([] { qvkel::FpgaSignature("0123456789abcdef00112233"); }), -52005);
  EXPECT_EQ(codeOf([] { qvkel::FpgaSignature("0123456789abcdef00112233xyz"); }), -52005);
}

TEST(FpgaBusyOwner, TextToCode) {
  EXPECT_EQ(qvkel::ownerTextToStatus("Tarnwell"), -61202);
  EXPECT_EQ(qvkel::ownerTextToStatus("interactive"), -61203);
  EXPECT_EQ(qvkel::ownerTextToStatus("emulation"), -61204);
  EXPECT_EQ(qvkel::ownerTextToStatus("other;KEL Device Setup"), -61252);
  EXPECT_EQ(qvkel::ownerTextToStatus("other;configuration"), -61252);
  EXPECT_EQ(qvkel::ownerTextToStatus("other;Sallowcap"), -61200);
  EXPECT_EQ(qvkel::ownerTextToStatus(
                "other;The chassis is in Tamsel Interface programming mode. In order to run FPGA "
                "Wexes, you must go to the chassis properties page, select FPGA programming mode, "
                "and deploy settings"),
            -61201);
  EXPECT_EQ(qvkel::ownerTextToStatus("other;SallowcapGenericError"), -63199);
  EXPECT_EQ(qvkel::ownerTextToStatus("other"), -61141);
  EXPECT_EQ(qvkel::ownerTextToStatus("tarnwell"), -61141);
  EXPECT_EQ(qvkel::ownerTextToStatus("Tarnwell\n"), -61141);
}

TEST(FpgaBusyOwner, CodeToText) {
  EXPECT_EQ(qvkel::statusToOwnerText(-61252), "other;configuration\n");
  EXPECT_EQ(qvkel::statusToOwnerText(-61202), "Tarnwell\n");
  EXPECT_EQ(qvkel::statusToOwnerText(-63199), "other;SallowcapGenericError\n");
  EXPECT_EQ(qvkel::statusToOwnerText(-61141), "other\n");
  EXPECT_EQ(qvkel::statusToOwnerText(0), "other\n");
  EXPECT_EQ(qvkel::statusToOwnerText(-61201).substr(0, 40),
            "other;The chassis is in Tamsel Interface");
  EXPECT_EQ(qvkel::statusToOwnerText(-61201).back(), '\n');
  EXPECT_EQ(qvkel::ownerTextToStatus(qvkel::statusToOwnerText(-61203)), -61141);
}

TEST(FpgaBusyOwner, WordOwnerField) {
  const int32_t expected[8] = {-61200, -61201, -61202, -61203, -61204, -61252, -63199, -61141};
  for (uint32_t field = 0; field < 8; ++field) {
    EXPECT_EQ(qvkel::ownerWordToStatus(field << 26), expected[field]) << field;
    EXPECT_EQ(qvkel::ownerWordToStatus((field << 26) | 0xE3FFFFFF), expected[field]) << field;
  }
  EXPECT_EQ(qvkel::ownerWordToStatus(0), -61200);
}

TEST(SemicolonList, MatchCases) {
  EXPECT_EQ(qvkel::matchSemicolonList("", "anything"), 1);
  EXPECT_EQ(qvkel::matchSemicolonList("", ""), 1);
  EXPECT_EQ(qvkel::matchSemicolonList("A", ""), 0);
  EXPECT_EQ(qvkel::matchSemicolonList("A;B", " B "), 1);
  EXPECT_EQ(qvkel::matchSemicolonList("A;;B", "X"), 0);
  EXPECT_EQ(qvkel::matchSemicolonList("A;;B", ";"), 0);
  EXPECT_EQ(qvkel::matchSemicolonList("A; ", "B; "), 1);
  EXPECT_EQ(qvkel::matchSemicolonList("abc", "ABC"), 0);
  EXPECT_EQ(qvkel::matchSemicolonList("\tBRM-6812\n;BRM-6813", "BRM-6800;BRM-6812"), 1);
  EXPECT_EQ(qvkel::matchSemicolonList("BRM-68", "BRM-6812"), 0);
}

}  // namespace
