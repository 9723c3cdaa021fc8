// The capability tree read from the simulated controller's profiles and from word lists made
// for one case. Expected values are the profile's words converted by hand.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ClipTestbed.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"
#include "sim/device/ClipCapabilityProfiles.h"

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
  clip.setCapabilities(sim::capabilityWords(sim::CapabilityProfile::FullWithFlaws));
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
  // The version asked after the read is kept even when its call fails, then the failure raised.
  clip.script(0x006, {2, 0});
  clip.script(0x006, {7, -50550});
  ClipCapabilities late(true);
  EXPECT_EQ(load(late), -50550);
  EXPECT_EQ(late.interfaceVersion, 7u);
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

// Every identifier of the tree with its handler kind, value type and conversion, as the
// identifier table lists them; each handler's converter is probed with the same words.
namespace registration {

namespace ir = ififo_rpc;
namespace attr = qvvandrel::oobx::attribute;
namespace clipenum = qvvandrel::ififo;

using Expect = boost::optional<double> (*)(uint32_t);
using Check = std::function<bool(ir::CapabilityHandler*)>;

boost::optional<double> asIs(uint32_t w) {
  return double(w);
}
boost::optional<double> asSigned(uint32_t w) {
  return double(int32_t(w));
}
boost::optional<double> nonZero(uint32_t w) {
  return w != 0 ? 1.0 : 0.0;
}
boost::optional<double> micro(uint32_t w) {
  return double(w) / 1000000.0;
}
boost::optional<double> kilo(uint32_t w) {
  return double(w) * 1000.0;
}
template <uint32_t kLast>
boost::optional<double> upTo(uint32_t w) {
  return w <= kLast ? boost::optional<double>(w) : boost::none;
}
// With the PXI flag: 0 -> 4, 1 -> 1, 2 -> 2, 3 -> 3, 4 -> 6.
boost::optional<double> refClk(uint32_t w) {
  const double codes[] = {4, 1, 2, 3, 6};
  return w < 5 ? boost::optional<double>(codes[w]) : boost::none;
}

template <typename H>
bool converts(const H& handler, Expect expect) {
  for (uint32_t w : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 125u, 2500000u, 0x80000000u, 0xFFFFFFFFu}) {
    const auto got = handler.converter(w);
    const auto want = expect(w);
    if (bool(got) != bool(want) || (got && static_cast<double>(*got) != *want)) return false;
  }
  return true;
}
template <template <typename> class H, typename T>
Check is(Expect expect) {
  return [expect](ir::CapabilityHandler* h) {
    const auto* typed = dynamic_cast<H<T>*>(h);
    return typed != nullptr && converts(*typed, expect);
  };
}
template <template <typename> class H, typename T>
Check fieldOf(const uint32_t& index, Expect expect) {
  return [&index, expect](ir::CapabilityHandler* h) {
    const auto* typed = dynamic_cast<H<T>*>(h);
    return typed != nullptr && typed->index == &index && converts(*typed, expect);
  };
}
template <typename S>
Check indexOf(ir::SectionManager<S>& m) {
  return
      [&m](ir::CapabilityHandler* h) { return h == &m.indexRef && m.indexRef.target == &m.index; };
}
template <typename S>
Check countOf(ir::SectionManager<S>& m) {
  return [&m](ir::CapabilityHandler* h) { return h == &m; };
}

}  // namespace registration

TEST(ClipCapabilitiesRegistration, EveryIdentifierWithItsKindTypeAndConversion) {
  using namespace registration;
  using ir::Capability, ir::ListCapability, ir::section::Value, ir::section::ListValue;
  ClipCapabilities tree(true);
  const uint32_t& pll = tree.plls.index;
  const uint32_t& clock = tree.userClocks.index;
  const uint32_t& serial = tree.serialChannels.index;
  const uint32_t& ao = tree.aoChannels.index;
  const std::vector<std::pair<uint32_t, Check>> rows = {
      // Analog input.
      {100, is<Capability, unsigned>(asIs)},
      {104, is<Capability, unsigned>(asIs)},
      {105, is<Capability, unsigned>(asIs)},
      {101, is<ListCapability, double>(micro)},
      {109, is<ListCapability, int>(asSigned)},
      {108, is<ListCapability, double>(kilo)},
      {107, is<ListCapability, double>(asIs)},
      {106, is<ListCapability, attr::Coupling>(upTo<1>)},
      {110, is<ListCapability, int>(asSigned)},
      {111, is<ListCapability, clipenum::ClipAnalogInput::Interleaving>(upTo<2>)},
      {115, is<Capability, unsigned>(asIs)},
      {116, is<Capability, unsigned>(asIs)},
      {102, is<ListCapability, unsigned>(asIs)},
      {103, is<ListCapability, unsigned>(asIs)},
      {112, is<ListCapability, int>(asSigned)},
      {113, is<ListCapability, int>(asSigned)},
      {114, is<ListCapability, int>(asSigned)},
      // Analog output.
      {300, is<Capability, unsigned>(asIs)},
      {303, is<ListCapability, double>(micro)},
      {308, is<ListCapability, double>(micro)},
      {304, is<Capability, unsigned>(asIs)},
      {306, is<ListCapability, double>(asIs)},
      {302, is<Capability, unsigned>(asIs)},
      {307, is<ListCapability, attr::DacDigitalUpconverterMode>(upTo<3>)},
      {11, indexOf(tree.aoChannels)},
      {310, fieldOf<ListValue, double>(ao, micro)},
      {309, countOf(tree.aoChannels)},
      {311, is<Capability, unsigned>(asIs)},
      // Clocks.
      {200, is<ListCapability, attr::RefClkSrc>(refClk)},
      {201, is<Capability, double>(kilo)},
      {202, is<Capability, double>(kilo)},
      {203, is<ListCapability, attr::SampleClkSrc>(upTo<1>)},
      {206, is<Capability, double>(kilo)},
      {204, is<Capability, double>(kilo)},
      {205, is<Capability, double>(kilo)},
      {207, is<Capability, unsigned>(asIs)},
      {208, is<Capability, unsigned>(asIs)},
      {209, is<Capability, unsigned>(asIs)},
      // External trigger.
      {400, is<Capability, unsigned>(asIs)},
      {401, is<Capability, unsigned>(asIs)},
      {402, is<Capability, int>(asSigned)},
      {404, is<Capability, int>(asSigned)},
      {403, is<Capability, int>(asSigned)},
      {405, is<Capability, double>(micro)},
      // PLLs.
      {5, indexOf(tree.plls)},
      {500, fieldOf<Value, clipenum::PllConfiguration::PllChipType>(pll, asIs)},
      {501, fieldOf<ListValue, unsigned>(pll, asIs)},
      {502, fieldOf<ListValue, unsigned>(pll, asIs)},
      {210, countOf(tree.plls)},
      // User clocks.
      {7, indexOf(tree.userClocks)},
      {600, fieldOf<ListValue, clipenum::PllConfiguration::OutputDividerSource>(clock, asIs)},
      {211, countOf(tree.userClocks)},
      {212, is<ListCapability, unsigned>(asIs)},
      {213, is<ListCapability, attr::QVA100_RXClockSource>(upTo<1>)},
      {214, is<Capability, unsigned>(asIs)},
      // Digital and PFI lines.
      {1000, is<Capability, unsigned>(asIs)},
      {1007, is<Capability, bool>(nonZero)},
      {1001, is<Capability, unsigned>(asIs)},
      {1008, is<Capability, bool>(nonZero)},
      {1002, is<Capability, unsigned>(asIs)},
      {1003, is<Capability, unsigned>(asIs)},
      {1009, is<Capability, bool>(nonZero)},
      {1010, is<Capability, bool>(nonZero)},
      {1011, is<ListCapability, double>(micro)},
      {1004, is<Capability, unsigned>(asIs)},
      {1005, is<ListCapability, double>(micro)},
      {1006, is<ListCapability, attr::DioConfiguration>(upTo<1>)},
      {700, is<Capability, unsigned>(asIs)},
      // Serial channels.
      {9, indexOf(tree.serialChannels)},
      {800, fieldOf<Value, clipenum::ClipCapabilities::SerialChannelType>(serial, asIs)},
      {804, countOf(tree.serialChannels)},
      {900, is<Capability, unsigned>(asIs)},
  };
  std::vector<std::pair<uint32_t, Check>> all = rows;
  // The plain u32 fields of the three sections that have them.
  for (uint32_t id : {521, 522, 503, 504, 509, 510, 525, 526, 511, 512, 513, 514,
                      528, 515, 516, 524, 517, 518, 519, 520, 529, 523, 527})
    all.emplace_back(id, fieldOf<Value, unsigned>(pll, asIs));
  for (uint32_t id : {601, 602, 605, 603, 604, 606, 607})
    all.emplace_back(id, fieldOf<Value, unsigned>(clock, asIs));
  for (uint32_t id : {801, 802, 803, 811, 812})
    all.emplace_back(id, fieldOf<Value, unsigned>(serial, asIs));

  EXPECT_EQ(tree.handlers().size(), all.size());  // nothing else, 505 to 508 included
  for (const auto& [id, check] : all) {
    SCOPED_TRACE(id);
    const auto found = tree.handlers().find(id);
    ASSERT_NE(found, tree.handlers().end());
    EXPECT_TRUE(check(found->second));
  }
  // Each section's fields are the resize interfaces of exactly its field identifiers.
  EXPECT_EQ(tree.plls.section.fields.size(), 26u);
  EXPECT_EQ(tree.userClocks.section.fields.size(), 8u);
  EXPECT_EQ(tree.serialChannels.section.fields.size(), 6u);
  EXPECT_EQ(tree.aoChannels.section.fields.size(), 1u);
}

TEST_F(ClipCapabilitiesTest, ACopyHoldsTheValuesAndItsOwnHandlers) {
  clip.setCapabilities(sim::capabilityWords(sim::CapabilityProfile::FullWithFlaws));
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
