#include "devkit/HmbSection.h"

#include <gtest/gtest.h>

#include "DevkitTestUtil.h"
#include "HmbSectionText.h"
#include "devkit/Bitfile.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

using devkit_test::codeOf;
using qvkel::HmbRegion;
using qvkel::HmbSectionState;
using namespace devkit_test::hmb_text;
// Named as well: a test file built into the same unit may have a block() of its own.
using devkit_test::hmb_text::block;

const std::string kSignature = "0123456789abcdef0011223344556677";
const std::string kOtherSignature = "fedcba98765432100011223344556677";

TEST(HmbSection, DynamicBlocksGetOffsetsAndRoundedTotal) {
  HmbSectionState state;
  // 0x180000 bytes (stride 64 bits x 0x30000) and 0x100000 bytes.
  EXPECT_TRUE(qvkel::parseHmbSection(section(block("A", 0x30000, 64) + block("B", 0x100000, 8)),
                                     kSignature, state));
  EXPECT_EQ(state.dynamicTotal, 0x300000u);
  EXPECT_EQ(state.regions.at("A"), (HmbRegion{0, 0x180000, 0, 0xFF}));
  EXPECT_EQ(state.regions.at("B"), (HmbRegion{0x180000, 0x100000, 0, 0xFF}));
  ASSERT_TRUE(state.heldSignature.has_value());
  EXPECT_EQ(*state.heldSignature, qvkel::FpgaSignature(kSignature));
}

TEST(HmbSection, SmallBlockRoundsToOneMegabyte) {
  HmbSectionState state;
  EXPECT_TRUE(qvkel::parseHmbSection(section(block("T", 16, 8)), kSignature, state));
  EXPECT_EQ(state.regions.at("T").size, 16u);
  EXPECT_EQ(state.dynamicTotal, 0x100000u);
}

TEST(HmbSection, BlockBeyondFourMegabytesEndsTheList) {
  HmbSectionState state;
  EXPECT_TRUE(qvkel::parseHmbSection(section(block("A", 0x40000, 64) + block("B", 0x40000, 64) +
                                             block("C", 0x40000, 64) + block("D", 1, 8)),
                                     kSignature, state));
  EXPECT_EQ(state.dynamicTotal, 0x400000u);
  EXPECT_EQ(state.regions.size(), 2u);
  EXPECT_EQ(state.regions.count("C"), 0u);
  EXPECT_EQ(state.regions.count("D"), 0u);
}

TEST(HmbSection, SizesThatWouldWrapIn32BitsEndTheList) {
  HmbSectionState state;
  // 0x20000000 elements of 8 bytes is 4 GiB: in 32 bits the size is 0 and would pass.
  EXPECT_TRUE(qvkel::parseHmbSection(
      section(block("Small", 16, 8) + block("Wrap", 0x20000000, 64) + block("Late", 16, 8)),
      kSignature, state));
  EXPECT_EQ(state.regions.size(), 1u);
  EXPECT_EQ(state.regions.count("Wrap"), 0u);
  EXPECT_EQ(state.dynamicTotal, 0x100000u);

  // A size just below 4 GiB: its 1 MiB round-up wraps to 0 in 32 bits.
  HmbSectionState round;
  EXPECT_FALSE(qvkel::parseHmbSection(section(block("Near", 0xFFFFFFFF, 8)), kSignature, round));
  EXPECT_TRUE(round.regions.empty());
  EXPECT_EQ(round.dynamicTotal, 0u);
  for (const auto& [name, region] : state.regions) {
    EXPECT_LE(uint64_t{region.offset} + region.size, uint64_t{state.dynamicTotal}) << name;
  }
}

TEST(HmbSection, FifthRegionAndBadLayoutAreIncompatible) {
  HmbSectionState state;
  EXPECT_EQ(codeOf([&] {
              qvkel::parseHmbSection(
                  section(block("A", 1, 8) + block("B", 1, 8) + block("C", 1, 8) +
                          block("D", 1, 8) + block("E", 0, 8)),
                  kSignature, state);
            }),
            -63107);
  EXPECT_EQ(codeOf([&] { qvkel::parseHmbSection(section(block("A", 1, 12)), kSignature, state); }),
            -63107);
  EXPECT_EQ(codeOf([&] {
              qvkel::parseHmbSection(
                  section(block("A", 1, 8), "", "",
                          "<BufferIndexBits>3</BufferIndexBits><OffsetBits>22</OffsetBits>"),
                  kSignature, state);
            }),
            -63107);
  EXPECT_EQ(codeOf([&] {
              qvkel::parseHmbSection(
                  section(block("A", 1, 8), "", "", "<OffsetBits>22</OffsetBits>"), kSignature,
                  state);
            }),
            -61070);
  // A failed parse leaves the state as it was.
  EXPECT_TRUE(state.regions.empty());
  EXPECT_FALSE(state.heldSignature.has_value());
}

TEST(HmbSection, FixedBlocksAndBaggage) {
  HmbSectionState state;
  qvkel::parseHmbSection(section(block("A", 16, 8), fixedBlock("A", "0x1000") +
                                                        fixedBlock("Bell", "0xFEE0000000001000") +
                                                        fixedBlock("Big", "0x10", "300")),
                         kSignature, state);
  EXPECT_EQ(state.regions.at("A"), (HmbRegion{0, 16, 0x1000, 0xFF}));
  EXPECT_EQ(state.regions.at("Bell"), (HmbRegion{0, 0, 0xFEE0000000001000ull, 0xFF}));
  EXPECT_EQ(state.regions.at("Big").baggage, 44);
}

// Fixed blocks are read after the four-region check, so they may add entries beyond four.
TEST(HmbSection, FixedBlocksJoinFourDynamicRegions) {
  HmbSectionState state;
  EXPECT_TRUE(qvkel::parseHmbSection(
      section(block("A", 1, 8) + block("B", 1, 8) + block("C", 1, 8) + block("D", 1, 8),
              fixedBlock("E", "0x1000") + fixedBlock("F", "0x2000", "1")),
      kSignature, state));
  EXPECT_EQ(state.regions.size(), 6u);
  EXPECT_EQ(state.dynamicTotal, 0x400000u);
  EXPECT_EQ(state.regions.at("D"), (HmbRegion{3, 1, 0, 0xFF}));
  EXPECT_EQ(state.regions.at("E"), (HmbRegion{0, 0, 0x1000, 0xFF}));
  EXPECT_EQ(state.regions.at("F"), (HmbRegion{0, 0, 0x2000, 1}));
}

// Registration numbers fixed blocks with an 8-bit index from 1: past 255 it would wrap.
TEST(HmbSection, MoreFixedBlocksThanRegistrationIndicesAreIncompatible) {
  const struct {
    int count;
    int32_t code;
    size_t kept;
  } rows[] = {{255, 0, 255}, {256, -63107, 0}};
  for (const auto& row : rows) {
    std::string fixed;
    for (int i = 0; i < row.count; ++i) fixed += fixedBlock("F" + std::to_string(i), "0x1000");
    HmbSectionState state;
    EXPECT_EQ(codeOf([&] { qvkel::parseHmbSection(section("", fixed), kSignature, state); }),
              row.code)
        << row.count;
    EXPECT_EQ(state.regions.size(), row.kept) << row.count;
  }
}

TEST(HmbSection, FixedBlocksAloneUseHostMemoryAndEmptySectionsHoldNoSignature) {
  HmbSectionState fixedOnly;
  EXPECT_TRUE(
      qvkel::parseHmbSection(section("", fixedBlock("F", "0x1000")), kSignature, fixedOnly));
  EXPECT_EQ(fixedOnly.dynamicTotal, 0u);
  EXPECT_TRUE(fixedOnly.heldSignature.has_value());

  // Nothing would ever release a design without blocks, so it holds nothing that would refuse
  // the next design.
  HmbSectionState empty;
  EXPECT_FALSE(qvkel::parseHmbSection(section(""), kSignature, empty));
  EXPECT_FALSE(empty.heldSignature.has_value());
  EXPECT_TRUE(qvkel::parseHmbSection(section(block("A", 1, 8)), kOtherSignature, empty));
}

TEST(HmbSection, SameSignatureReturnsWithoutReading) {
  HmbSectionState state;
  EXPECT_TRUE(qvkel::parseHmbSection(section(block("A", 16, 8)), kSignature, state));
  EXPECT_TRUE(qvkel::parseHmbSection("not even XML", kSignature, state));
  EXPECT_EQ(state.regions.size(), 1u);
}

TEST(HmbSection, DifferentDesignWhileHeldIsRefused) {
  HmbSectionState state;
  qvkel::parseHmbSection(section(block("A", 16, 8)), kSignature, state);
  const HmbSectionState before = state;
  EXPECT_EQ(
      codeOf([&] { qvkel::parseHmbSection(section(block("B", 16, 8)), kOtherSignature, state); }),
      -61499);
  EXPECT_EQ(state.dynamicTotal, before.dynamicTotal);
  EXPECT_EQ(state.regions, before.regions);
  EXPECT_EQ(*state.heldSignature, *before.heldSignature);
}

TEST(HmbSection, NoSectionOrOnlyLlb) {
  HmbSectionState state;
  EXPECT_FALSE(qvkel::parseHmbSection("<CompilationResults/>", kSignature, state));
  EXPECT_FALSE(state.heldSignature.has_value());
  EXPECT_EQ(codeOf([&] { qvkel::parseHmbSection("   ", kSignature, state); }), -61070);

  EXPECT_FALSE(qvkel::parseHmbSection(llbOnly(block("L", 0x20000, 64) + block("M", 0x100000, 8)),
                                      kSignature, state));
  EXPECT_EQ(state.llbBufferName, "M");
  EXPECT_FALSE(state.heldSignature.has_value());
  EXPECT_EQ(
      codeOf([&] { qvkel::parseHmbSection(llbOnly(block("N", 0x20001, 64)), kSignature, state); }),
      -63107);
  EXPECT_EQ(state.llbBufferName, "M");
}

TEST(HmbSection, EarlierTotalSurvivesASectionWithoutBuffers) {
  HmbSectionState state;
  state.dynamicTotal = 0x100000;
  EXPECT_TRUE(qvkel::parseHmbSection(
      "<CompilationResults><TargetSpecificData/></CompilationResults>", kSignature, state));
}

TEST(HmbSection, NamesAreDecodedOnceAndTheTextIsNotChanged) {
  HmbSectionState state;
  const std::string text = section(block("a&amp;lt;b", 16, 8));
  const std::string copy = text;
  qvkel::parseHmbSection(text, kSignature, state);
  EXPECT_EQ(state.regions.count("a&lt;b"), 1u);
  EXPECT_EQ(text, copy);
}

TEST(HmbSection, NamesReadFromTheBitfilesPrintedSectionAreDecodedOnce) {
  qvsim::BitfileBuilder builder;
  qvsim::TargetSpecificSpec specific;
  specific.hmb = true;
  specific.dynamicBlocks = {qvsim::MemoryBlockSpec{"in&out<1>", 16, 8},
                            qvsim::MemoryBlockSpec{"&amp;", 16, 8}};
  specific.fixedBlocks = {qvsim::FixedBlockSpec{"bell\"x'", 0x1000, {}}};
  builder.targetSpecific(specific);
  const qvkel::Bitfile bitfile(builder.text().c_str(), false, false);
  HmbSectionState state;
  EXPECT_TRUE(qvkel::parseHmbSection(bitfile.getXml(), bitfile.getSignature(), state));
  EXPECT_EQ(state.regions.count("in&out<1>"), 1u);
  EXPECT_EQ(state.regions.count("&amp;"), 1u);
  EXPECT_EQ(state.regions.count("bell\"x'"), 1u);
  EXPECT_EQ(state.regions.size(), 3u);
}

TEST(HmbSection, LlbSizeProductDoesNotWrap) {
  // 0x20020000 elements of 64 bits: a 32-bit product would wrap to 0x800000 bits, 1 MiB.
  HmbSectionState state;
  EXPECT_EQ(codeOf([&] {
              qvkel::parseHmbSection(llbOnly(block("Wrapped", 0x20020000, 64)), kSignature, state);
            }),
            -63107);
  EXPECT_EQ(state.llbBufferName, "");
}

TEST(HmbSection, BadSignatureText) {
  HmbSectionState state;
  EXPECT_EQ(codeOf([&] { qvkel::parseHmbSection(section(block("A", 16, 8)), "0123", state); }),
            -52005);
  state.heldSignature = qvkel::FpgaSignature(kSignature);
  EXPECT_EQ(codeOf([&] { qvkel::parseHmbSection("<x/>", "0123", state); }), -52005);
}

}  // namespace
