// The capability tree read from the simulated controller's profiles and from word lists made
// for one case. Expected values are the profile's words converted by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClipTestbed.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"

namespace {

using cliptest::ClipTestbed;
using qvvandrel::ClipCapabilities;

template <typename T>
std::vector<int64_t> asInts(const std::vector<T>& values) {
  return std::vector<int64_t>(values.begin(), values.end());
}

class ClipCapabilitiesTest : public ClipTestbed {
 protected:
  // Loads a tree and returns the code it raised (0 when none); `detail` gets its detail text.
  int32_t load(ClipCapabilities& tree, std::string* detail = nullptr) {
    try {
      tree.load(fifo);
      return 0;
    } catch (const qverr::Exception& e) {
      if (detail != nullptr) *detail = e.what();
      return e.code();
    }
  }
};

TEST_F(ClipCapabilitiesTest, FullProfileGivesEveryKindWithItsConversion) {
  ClipCapabilities tree(true);
  ASSERT_EQ(load(tree), 0);
  EXPECT_EQ(tree.interfaceVersion, 1u);

  EXPECT_EQ(tree.cap100.value, 4u);
  EXPECT_EQ(tree.cap101.values, (std::vector<double>{0.5, 1.0, 2.0}));
  EXPECT_EQ(tree.cap109.values, (std::vector<int>{-1, 5}));
  EXPECT_EQ(tree.cap108.values, (std::vector<double>{125000.0}));
  EXPECT_EQ(tree.cap107.values, (std::vector<double>{50.0, 1000000.0}));
  EXPECT_EQ(asInts(tree.cap106.values), (std::vector<int64_t>{0, 1}));  // 2 rejected
  EXPECT_EQ(tree.cap106.rawValues, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(asInts(tree.cap111.values), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(asInts(tree.cap307.values), (std::vector<int64_t>{0, 1, 2}));    // 4 rejected
  EXPECT_EQ(tree.cap200.rawValues, (std::vector<uint32_t>{0, 1, 2, 3, 4}));  // 7 rejected
  EXPECT_EQ(asInts(tree.cap200.values), (std::vector<int64_t>{4, 1, 2, 3, 6}));
  EXPECT_EQ(tree.cap201.value, 1e7);
  EXPECT_EQ(tree.cap206.value, 1e9);
  EXPECT_EQ(tree.cap402.value, -5);
  EXPECT_EQ(tree.cap405.value, 2.5);
  EXPECT_EQ(tree.cap1007.value, true);
  EXPECT_EQ(tree.cap1005.values, (std::vector<double>{3.3, 2.5, 1.8, 1.5, 1.2}));
  EXPECT_EQ(tree.cap900.value, 38u);

  // Sections: counts, per-instance fields, the word for PLL 2 (which does not exist) ignored.
  EXPECT_EQ(tree.aoChannels.count, 2u);
  EXPECT_EQ(tree.aoChannels.section.ranges.at(0), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(tree.aoChannels.section.ranges.at(1), (std::vector<double>{0.5}));
  EXPECT_EQ(tree.plls.count, 2u);
  EXPECT_EQ(asInts(std::vector<uint32_t>{*tree.plls.section.chipType.at(0),
                                         *tree.plls.section.chipType.at(1)}),
            (std::vector<int64_t>{0, 1}));
  EXPECT_EQ(tree.plls.section.vcoMinFreqKHz.at(0), (std::vector<unsigned>{4800000, 5600000}));
  EXPECT_EQ(tree.plls.section.pfdMinFreqKHz.values,
            (std::vector<boost::optional<unsigned>>{5000u, 10000u}));
  EXPECT_EQ(tree.plls.section.refFreqKHz.at(0), 100000u);
  EXPECT_FALSE(tree.plls.section.refFreqKHz.at(1));
  EXPECT_EQ(tree.userClocks.count, 2u);
  EXPECT_EQ(asInts(tree.userClocks.section.outputDividerSource.at(0)),
            (std::vector<int64_t>{0, 0xFFFFFFFF}));
  EXPECT_EQ(tree.userClocks.section.defaultFreqKHz.at(0), 156250u);
  EXPECT_EQ(tree.serialChannels.count, 2u);
  EXPECT_EQ(static_cast<uint32_t>(*tree.serialChannels.section.type.at(1)), 1u);
  EXPECT_EQ(tree.serialChannels.section.dataClockNumber.at(1), 3u);
  EXPECT_FALSE(tree.serialChannels.section.dataClockNumber.at(0));

  // Unknown identifiers (505 among the PLL fields, 9999) have no handler.
  EXPECT_EQ(tree.handlers().count(505), 0u);
  EXPECT_EQ(tree.handlers().count(9999), 0u);

  // Without the PXI flag reference code 2 is DRAL7.
  ClipCapabilities noPxi(false);
  ASSERT_EQ(load(noPxi), 0);
  EXPECT_EQ(asInts(noPxi.cap200.values), (std::vector<int64_t>{4, 1, 5, 3, 6}));
}

TEST_F(ClipCapabilitiesTest, ListsKeepOnlyTheWordsThatConvert) {
  clip.setCapabilities({200, 1, 200, 7, 200, 2, 106, 0, 106, 2, 106, 1});
  for (const bool pxi : {true, false}) {
    SCOPED_TRACE(pxi);
    ClipCapabilities tree(pxi);
    ASSERT_EQ(load(tree), 0);
    EXPECT_EQ(tree.cap200.rawValues, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(asInts(tree.cap200.values), (std::vector<int64_t>{1, pxi ? 2 : 5}));
    EXPECT_EQ(tree.cap106.rawValues, (std::vector<uint32_t>{0, 1}));
    EXPECT_EQ(asInts(tree.cap106.values), (std::vector<int64_t>{0, 1}));
  }
}

TEST_F(ClipCapabilitiesTest, ReadSequenceOnFifoOne) {
  clip.setCapabilities({100, 2, 104, 14});
  clip.setInterface(12, {true, 0x4C, 2, 1});
  ClipCapabilities tree(true);
  ASSERT_EQ(load(tree), 0);
  // Support, handle, oldest before current, count, two pairs, then handle and version again.
  const std::vector<uint64_t> expected = {0xC00100009, 0xC00100003, 0x4C00100007, 0x4C00100006,
                                          0xC00,       0x00100C01,  0x100100C01,  0x200100C01,
                                          0x300100C01, 0xC00100003, 0x4C00100006};
  const auto sent = clip.log();
  ASSERT_EQ(sent.size(), expected.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sent[i].words, std::vector<uint64_t>{expected[i]});
    EXPECT_EQ(sent[i].fifo, 1u);
    EXPECT_EQ(sent[i].flags, 2u);
  }
  EXPECT_EQ(tree.interfaceVersion, 2u);
}

TEST_F(ClipCapabilitiesTest, VersionWindowOfTheCapabilityInterface) {
  struct Row {
    uint32_t oldest, current;
    int32_t code;
  };
  const Row rows[] = {{2, 2, 0},       {2, 5, 0},       {0, 1, 0},      {3, 3, -304307},
                      {0, 0, -304307}, {3, 5, -304307}, {2, 1, -304307}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.oldest << "/" << row.current);
    clip.setVersions(12, row.current, row.oldest);
    ClipCapabilities tree(true);
    std::string detail;
    EXPECT_EQ(load(tree, &detail), row.code);
    if (row.code != 0) {
      EXPECT_NE(detail.find("\"file\":\"ififo_rpc_host/Capabilities\""), std::string::npos);
      EXPECT_NE(detail.find("\"line\":54"), std::string::npos);
      EXPECT_FALSE(tree.interfaceVersion);
    }
  }
}

TEST_F(ClipCapabilitiesTest, MissingInterfaceAndFailedQueries) {
  ClipCapabilities tree(true);
  std::string detail;
  // Not supported.
  clip.setInterface(12, {false, 0x4C, 1, 0});
  EXPECT_EQ(load(tree, &detail), -304306);
  EXPECT_NE(detail.find("\"error_constant\":\"QVVANDREL_Status_iFifoUnsupportedInterface\""),
            std::string::npos);
  EXPECT_NE(detail.find("\"line\":51"), std::string::npos);
  // Supported, but without a handle.
  clip.setInterface(12, {true, 0xFFFFFFFF, 1, 0});
  EXPECT_EQ(load(tree), -304307);
  // A failed query is raised as itself, wherever it happens.
  clip.setInterface(12, {true, 0x4C, 1, 0});
  for (uint16_t opcode : {0x009, 0x003, 0x007, 0x006, 0xC00, 0xC01}) {
    SCOPED_TRACE(opcode);
    clip.script(opcode, {0, -50550});
    EXPECT_EQ(load(tree), -50550);
  }
}

TEST_F(ClipCapabilitiesTest, CountEdgeCases) {
  // Nothing reported.
  clip.setCapabilities({});
  ClipCapabilities none(true);
  ASSERT_EQ(load(none), 0);
  EXPECT_FALSE(none.cap100.value);
  EXPECT_EQ(none.plls.count, 0u);
  EXPECT_EQ(none.interfaceVersion, 1u);

  // An odd count still reads the last pair whole: word 3 is asked for and is the value.
  clip.setCapabilities({100, 3, 104});
  clip.clearLog();
  ClipCapabilities odd(true);
  ASSERT_EQ(load(odd), 0);
  EXPECT_EQ(odd.cap104.value, 0u);
  EXPECT_EQ(clip.log(0xC01).back().args, std::vector<uint32_t>{3});

  // A value sent twice keeps the last; a field lands in the slot its index names.
  clip.setCapabilities({100, 1, 211, 2, 7, 1, 601, 7, 100, 2});
  ClipCapabilities sections(true);
  ASSERT_EQ(load(sections), 0);
  EXPECT_EQ(sections.cap100.value, 2u);
  EXPECT_FALSE(sections.userClocks.section.outputDividerMax.at(0));
  EXPECT_EQ(sections.userClocks.section.outputDividerMax.at(1), 7u);
}

TEST_F(ClipCapabilitiesTest, CountsBeyondWhatTheStreamCanFillAreRefused) {
  // A section count no stream of this length could describe.
  for (uint32_t count : {0xFFFFFFFFu, 3u}) {
    SCOPED_TRACE(count);
    clip.setCapabilities({100, 1, 210, count});
    ClipCapabilities tree(true);
    std::string detail;
    EXPECT_EQ(load(tree, &detail), -304307);
    EXPECT_NE(detail.find("\"line\":88"), std::string::npos);
    EXPECT_EQ(tree.plls.section.chipType.values.size(), 0u);
  }
  // A word count above any CLIP's is refused before a word is read.
  clip.script(0xC00, {0x10001, 0});
  clip.clearLog();
  ClipCapabilities tree(true);
  std::string detail;
  EXPECT_EQ(load(tree, &detail), -304307);
  EXPECT_NE(detail.find("\"line\":61"), std::string::npos);
  EXPECT_TRUE(clip.log(0xC01).empty());
}

TEST_F(ClipCapabilitiesTest, ACopyHoldsTheValuesAndItsOwnHandlers) {
  ClipCapabilities tree(false);
  ASSERT_EQ(load(tree), 0);
  const ClipCapabilities copy(tree);
  EXPECT_EQ(copy.cap101.values, tree.cap101.values);
  EXPECT_EQ(copy.plls.count, 2u);
  EXPECT_EQ(copy.plls.section.vcoMaxFreqKHz.at(1), (std::vector<unsigned>{3000000}));
  EXPECT_EQ(copy.interfaceVersion, 1u);
  EXPECT_EQ(copy.handlers().at(100), &copy.cap100);
  EXPECT_EQ(copy.handlers().at(5), &copy.plls.indexRef);
  EXPECT_EQ(copy.plls.section.pfdMinFreqKHz.index, &copy.plls.index);
  // The copied converter keeps the flag it was built with.
  EXPECT_EQ(*copy.cap200.converter(2), 5);
}

}  // namespace
