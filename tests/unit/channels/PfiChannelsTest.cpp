// The PFI and DIFF PFI lines: the line registers, the switches of the differential lines and
// the PFI voltage, against the simulated module and CLIP.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinesTestbed.h"

namespace {

using linestest::lineRegister;
using linestest::Setting;
using linestest::Settings;
using linestest::Writes;
using linestest::attr::DioConfiguration;
namespace attr = linestest::attr;
namespace pfi = qvvandrel::config::pfi;

using PfiChannelsTest = linestest::LinesTestbed;

TEST_F(PfiChannelsTest, WithoutCountsThereIsNoLine) {
  ASSERT_EQ(build({1009, 0, 1004, 0}), 0);
  EXPECT_TRUE(pfi->lines().children().empty());
  EXPECT_EQ(count(linestest::kPfiCount), 0);
  EXPECT_EQ(count(linestest::kDiffPfiCount), 0);
  EXPECT_EQ(registry.size(), 5u);  // the five counts
  EXPECT_EQ(commit().code, 0);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_TRUE(registerWrites().empty());
}

// Every line whose register exists is written at the first commit, unset; afterwards only a
// changed line, until a full redeploy writes every line again.
TEST_F(PfiChannelsTest, LineRegistersAreWrittenAtTheFirstCommitAndWhenChanged) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  ASSERT_EQ(commit().code, 0);
  const Writes unset = {write(lineRegister("pfi", 0), 0), write(lineRegister("pfi", 1), 0),
                        write(lineRegister("pfi", 2), 0), write(lineRegister("diffpfi", 0), 0),
                        write(lineRegister("diffpfi", 1), 0)};
  EXPECT_EQ(registerWrites(), unset);
  forget();

  // No range: any 32-bit value is kept and written as it is.
  auto& line = attribute<DioConfiguration>(linestest::kPfiLineConfig, "PFI1");
  line.set(static_cast<DioConfiguration>(0xDEADBEEF));
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(static_cast<uint32_t>(line.getCoerced()), 0xDEADBEEFu);
  EXPECT_EQ(registerWrites(), (Writes{write(lineRegister("pfi", 1), 0xDEADBEEF)}));
  EXPECT_EQ(registers().peek(address(lineRegister("pfi", 1).c_str())), 0xDEADBEEFu);
  attribute<DioConfiguration>(linestest::kDiffPfiLineConfig, "DIFF PFI0")
      .set(attr::kDioConfigurationOutput);
  forget();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(registerWrites(), (Writes{write(lineRegister("diffpfi", 0), 1)}));

  forget();
  ASSERT_EQ(commit().code, 0);
  EXPECT_TRUE(registerWrites().empty());
  roots.redeploy.invalidateIfResolved();
  ASSERT_EQ(commit().code, 0);
  Writes all = unset;
  all[1].value = 0xDEADBEEF;
  all[3].value = 1;
  EXPECT_EQ(registerWrites(), all);
}

TEST_F(PfiChannelsTest, AMissingOrDuplicatedRegisterLeavesOnlyThatLineOut) {
  std::vector<qvsim::RegisterSpec> registers = {{lineRegister("pfi", 0), 0x200, "U32"},
                                                {lineRegister("pfi", 2), 0x208, "U32"},
                                                {lineRegister("diffpfi", 0), 0x210, "U32"},
                                                {lineRegister("diffpfi", 0), 0x218, "U32"},
                                                {lineRegister("diffpfi", 1), 0x220, "U32"}};
  ASSERT_EQ(build(sim::capabilityWords(sim::CapabilityProfile::DigitalLines), registers), 0);
  const struct {
    uint32_t id;
    const char* channel;
    bool present;
  } lines[] = {{linestest::kPfiLineConfig, "PFI0", true},
               {linestest::kPfiLineConfig, "PFI1", false},
               {linestest::kPfiLineConfig, "PFI2", true},
               {linestest::kDiffPfiLineConfig, "DIFF PFI0", false},
               {linestest::kDiffPfiLineConfig, "DIFF PFI1", true}};
  ASSERT_EQ(pfi->lines().children().size(), 5u);
  for (size_t k = 0; k < 5; ++k) {
    SCOPED_TRACE(lines[k].channel);
    EXPECT_EQ(registry.contains(lines[k].id, lines[k].channel), lines[k].present);
    const auto* child = pfi->lines().children()[k].get();
    const nQVVUSKS100::tStatus& status =
        k < 3 ? dynamic_cast<const pfi::PfiLine&>(*child).resolutionStatus()
              : dynamic_cast<const pfi::DiffPfiLine&>(*child).resolutionStatus();
    EXPECT_EQ(status.code, lines[k].present ? 0 : -52006);
  }
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(registerWrites(),
            (Writes{write(lineRegister("pfi", 0), 0), write(lineRegister("pfi", 2), 0),
                    write(lineRegister("diffpfi", 1), 0)}));
}

TEST_F(PfiChannelsTest, LinesPastTheNameTableAreNamedInvalidIndex) {
  ASSERT_EQ(build({1002, 65}, lineRegisters(65, 0)), 0);
  EXPECT_TRUE(registry.contains(linestest::kPfiLineConfig, "PFI63"));
  EXPECT_FALSE(registry.contains(linestest::kPfiLineConfig, "PFI64"));
  attribute<DioConfiguration>(linestest::kPfiLineConfig, "invalid index")
      .set(attr::kDioConfigurationOutput);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(registerWrites().back(), write(lineRegister("pfi", 64), 1));
}

// A corrupt count would build a line object (and look a register up) per unit of it.
TEST_F(PfiChannelsTest, AbsurdLineCountsAreRefusedBeforeAnyLineIsBuilt) {
  open({});
  const struct {
    boost::optional<unsigned int> pfi, diffPfi, dio;
    int32_t code;
    const char* source;
  } rows[] = {{1025u, 0u, {}, -52003, "qvvandrel/config/pfi/Channels"},
              {0u, 0xFFFFFFFFu, {}, -52003, "qvvandrel/config/pfi/Channels"},
              {{}, {}, 1025u, -52003, "qvvandrel/config/dio/Channels"},
              {1024u, 1024u, 1024u, 0, ""}};
  tree.cap1005.acceptValue(1800000);
  for (const auto& row : rows) {
    tree.cap1002.value = row.pfi;
    tree.cap1003.value = row.diffPfi;
    tree.cap1004.value = row.dio;
    size_t pfiLines = 0, dioLines = 0;
    const auto thrown = attrtest::catchError([&] {
      const pfi::Channels lines(tree, configuration, *transport);
      pfiLines = lines.lines().children().size();
      const qvvandrel::config::dio::Channels dio(tree, configuration);
      dioLines = dynamic_cast<const qvvandrel::DioVoltage&>(*dio.children().children().at(0))
                     .children()
                     .size();
    });
    EXPECT_EQ(thrown.code, row.code);
    if (row.code == 0) {
      EXPECT_EQ(pfiLines, 2048u);
      EXPECT_EQ(dioLines, 1024u);
    }
    EXPECT_NE(thrown.detail.find(row.source), std::string::npos);
  }
  EXPECT_TRUE(clip.log().empty());
}

// Equalization and pre-emphasis of the differential lines and the PFI voltage: sent in that
// order by every deploy that finds one of them changed, the voltage as the CLIP's own word.
TEST_F(PfiChannelsTest, TheDeploySendsEqualizationPreEmphasisAndVoltageInOrder) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  auto& voltage = attribute<double>(linestest::kPfiVoltage, "");
  EXPECT_EQ(voltage.getCoerced(), 3.3);  // the first one listed
  ASSERT_EQ(commit().code, 0);
  const auto pfiSettings = [&] {
    Settings own;
    for (const Setting& s : lineSettings())
      if (s.channel == 4 || s.channel == 0xFFFFFFFF) own.push_back(s);
    return own;
  };
  EXPECT_EQ(pfiSettings(),
            (Settings{{0x1405, 4, 0}, {0x1407, 4, 0}, {0x1402, 0xFFFFFFFF, 3300000}}));

  const struct {
    double volts;
    uint32_t word;
  } steps[] = {{1.8, 1800000}, {1.001, 1001000}, {3.3 * (1 + 5e-13), 3300000}};
  for (const auto& step : steps) {
    forget();
    voltage.set(step.volts);
    ASSERT_EQ(commit().code, 0);
    EXPECT_EQ(lineSettings(),
              (Settings{{0x1405, 4, 0}, {0x1407, 4, 0}, {0x1402, 0xFFFFFFFF, step.word}}));
  }
  forget();
  attribute<bool>(linestest::kDiffPfiPreEmphasis, "").set(true);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(),
            (Settings{{0x1405, 4, 0}, {0x1407, 4, 1}, {0x1402, 0xFFFFFFFF, 3300000}}));
}

// The voltage 3.3 is listed twice and appears once among the possible values; a refused
// voltage names the attribute without a channel, and nothing is sent.
TEST_F(PfiChannelsTest, AnUnlistedVoltageIsRefusedAtCompile) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  commitAndForget();
  auto& voltage = attribute<double>(linestest::kPfiVoltage, "");
  voltage.set(2.5);
  const auto thrown = commit();
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("atat/ranges/DiscreteRange", 192) +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"2.500000","value_type":"float"},)"
          R"({"type":"usage","usage":"kUsageTypePossibleValues",)"
          R"("value":["1.001000","1.800000","3.300000"],)"
          R"x("value_type":"float"},{"type":"comment","comment":"coercionType=coarseCoercionTypeNone(0)"},)x"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870961,)"
          R"("value_type":"int32_t","comment":"PFI Voltage"})" +
          attrtest::kSectionEnd);
  EXPECT_EQ(pfi->voltageWord(), 3300000u);
  EXPECT_TRUE(clip.log().empty());
}

// A failed register write is raised and leaves its line pending, so the next commit writes it.
TEST_F(PfiChannelsTest, AFailedRegisterWriteIsRaisedAndRetried) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  failNext(sessiontest::kWrite32, -61060);
  EXPECT_EQ(commit().code, -61060);
  forget();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(registerWrites().size(), 5u);
  EXPECT_EQ(registerWrites().front(), write(lineRegister("pfi", 0), 0));
}

// A failed instruction is raised; the steps after it do not run, and the next commit sends
// everything again.
TEST_F(PfiChannelsTest, AFailedInstructionStopsTheDeploy) {
  ASSERT_EQ(build(sim::CapabilityProfile::DigitalLines), 0);
  commitAndForget();
  attribute<bool>(linestest::kDiffPfiEqualization, "").set(true);
  clip.script(0x1407, {0, -50550});
  EXPECT_EQ(commit().code, -50550);
  EXPECT_EQ(lineSettings(), (Settings{{0x1405, 4, 1}, {0x1407, 4, 0}}));
  forget();
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(),
            (Settings{{0x1405, 4, 1}, {0x1407, 4, 0}, {0x1402, 0xFFFFFFFF, 3300000}}));
}

// What the CLIP offers decides what exists; a single listed PFI voltage is still sent.
struct Offer {
  const char* name;
  std::vector<uint32_t> words;
  bool equalization, preEmphasis, voltage;
  Settings firstCommit;
};

class PfiOfferTest : public linestest::LinesTestbed, public ::testing::WithParamInterface<Offer> {};

TEST_P(PfiOfferTest, OnlyWhatTheClipOffersIsRegisteredAndSent) {
  const Offer& offer = GetParam();
  ASSERT_EQ(build(offer.words), 0);
  EXPECT_EQ(registry.contains(linestest::kDiffPfiEqualization, ""), offer.equalization);
  EXPECT_EQ(registry.contains(linestest::kDiffPfiPreEmphasis, ""), offer.preEmphasis);
  EXPECT_EQ(registry.contains(linestest::kPfiVoltage, ""), offer.voltage);
  ASSERT_EQ(commit().code, 0);
  EXPECT_EQ(lineSettings(), offer.firstCommit);
}

INSTANTIATE_TEST_SUITE_P(Offers, PfiOfferTest,
                         ::testing::Values(Offer{"equalization",
                                                 {1009, 1, 1011, 0},
                                                 true,
                                                 false,
                                                 true,
                                                 {{0x1405, 4, 0}, {0x1402, 0xFFFFFFFF, 0}}},
                                           Offer{"preEmphasisAndOneVoltage",
                                                 {1009, 0, 1010, 1, 1011, 5000000},
                                                 false,
                                                 true,
                                                 true,
                                                 {{0x1407, 4, 0}, {0x1402, 0xFFFFFFFF, 5000000}}},
                                           Offer{"nothing", {1003, 2}, false, false, false, {}}),
                         [](const ::testing::TestParamInfo<Offer>& info) {
                           return info.param.name;
                         });

}  // namespace
