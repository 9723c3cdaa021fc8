// The AI and AO DSP instances: presence from the design's registers, their attributes, the
// frequency-shift words, the enable and complex bits, the reset pulse and the ready wait.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "ConverterTestbed.h"
#include "features/DacDuc.h"
#include "features/DspInstances.h"
#include "sim/device/DspReadiness.h"

namespace {

using attrtest::catchError;
using qvvandrel::AiDspInstances;
using qvvandrel::AoDspInstances;

constexpr uint32_t kMagnitude = 0x2000002A, kShift = 0x2000002B;
constexpr uint32_t kAdcRate = 0x20000016, kDacRate = 0x2000001A;
constexpr uint32_t kDdcEnabled = 0x4000000F, kDdcIq = 0x40000019;
constexpr uint32_t kDucEnabled = 0x4000001B, kDucIq = 0x4000001C, kDataPathIq = 0x4000001E;

// The registers of one DSP instance in a test design.
struct Dsp {
  const char* side;  // "ddc" or "duc"
  uint32_t number;
  bool reset = true;
  bool ready = true;
  bool enable = false;
  bool complex = false;
  uint32_t magnitudes = 0;
};

std::string name(const std::string& format, uint32_t number) {
  return qvisl::RegisterName(format.c_str(), number).text;
}
std::string magnitudeName(const Dsp& dsp, uint32_t k) {
  return qvisl::RegisterName("vandrel.dsp.%s.freq shift.mag %u.%u", dsp.side, dsp.number, k).text;
}

class DspInstancesTest : public featuretest::ConverterTestbed {
 protected:
  // Opens a session on a design with these instances (the AI and AO instance of one number
  // share the reset and ready registers). Each ready flag comes with its model.
  void openWith(std::initializer_list<Dsp> instances) {
    uint32_t offset = 0x100;
    auto add = [&](const std::string& registerName, const char* type) {
      for (const qvsim::RegisterSpec& reg : design.registers())
        if (reg.name == registerName) return;
      design.addRegister({registerName, offset, type});
      offset += 8;
    };
    for (const Dsp& dsp : instances) {
      if (dsp.reset) add(name("vandrel.dsp.reset %u", dsp.number), "Boolean");
      if (dsp.ready) add(name("vandrel.dsp.ready %u", dsp.number), "Boolean");
      if (dsp.enable)
        add(name(std::string("vandrel.dsp.") + dsp.side + ".enable %u", dsp.number), "Boolean");
      if (dsp.complex) add(name("vandrel.stream.data.complex %u", dsp.number), "Boolean");
      for (uint32_t k = 0; k < dsp.magnitudes; ++k) add(magnitudeName(dsp, k), "U64");
    }
    open({});
    for (const Dsp& dsp : instances) {
      if (!dsp.reset || !dsp.ready || readiness_.count(dsp.number) != 0) continue;
      readiness_[dsp.number] = std::make_unique<sim::DspReadiness>(
          registers(), address(name("vandrel.dsp.reset %u", dsp.number).c_str()),
          address(name("vandrel.dsp.ready %u", dsp.number).c_str()));
    }
  }
  // The ready model of instance `number`.
  sim::DspReadiness& readiness(uint32_t number) { return *readiness_.at(number); }
  uint64_t word(const Dsp& dsp, uint32_t k) {
    return registers().read64(address(magnitudeName(dsp, k).c_str()));
  }
  std::vector<std::string> channels(uint32_t id) { return registry.getChannelNames(id); }

 private:
  std::map<uint32_t, std::unique_ptr<sim::DspReadiness>> readiness_;
};

TEST_F(DspInstancesTest, InstancesExistWhereTheDesignHasTheirRegisters) {
  struct Row {
    const char* what;
    Dsp dsp;
    bool present;
  };
  const Row rows[] = {
      {"AI without reset", {"ddc", 0, false, true, true, false, 2}, false},
      {"AI reset and enable", {"ddc", 0, true, false, true, false, 0}, true},
      {"AI reset and a shift", {"ddc", 0, true, false, false, false, 1}, true},
      {"AI reset alone", {"ddc", 0, true, true, false, false, 0}, false},
      {"AO data-complex alone", {"duc", 0, false, false, false, true, 0}, true},
      {"AO reset and enable", {"duc", 0, true, false, true, false, 0}, true},
      {"AO reset and a shift", {"duc", 0, true, false, false, false, 1}, true},
      {"AO shifts without reset", {"duc", 0, false, true, true, false, 2}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    design = qvsim::BitfileBuilder();
    openWith({row.dsp});
    const bool ai = std::string(row.dsp.side) == "ddc";
    const std::size_t found =
        ai ? AiDspInstances(*transport).size() : AoDspInstances(*transport).size();
    EXPECT_EQ(found, row.present ? 1u : 0u);
  }
}

TEST_F(DspInstancesTest, ShiftsAreRegisteredPerMagnitudeRegisterAndEnablesWithTheirRegister) {
  openWith({{"ddc", 0, true, true, false, false, 3}, {"duc", 0, true, true, true, false, 1}});
  AiDspInstances ai(*transport);
  AoDspInstances ao(*transport);
  ASSERT_EQ(ai.size(), 1u);
  EXPECT_EQ(ai[0].shiftCount(), 3u);
  commission(ai, ao);
  EXPECT_EQ(channels(kMagnitude), (std::vector<std::string>{"AI0", "AI1", "AI2", "AO0"}));
  EXPECT_EQ(channels(kShift), (std::vector<std::string>{"AI0", "AI1", "AI2", "AO0"}));
  EXPECT_TRUE(channels(kDdcEnabled).empty());
  EXPECT_TRUE(channels(kDdcIq).empty());
  EXPECT_EQ(channels(kDucEnabled), std::vector<std::string>{"0"});
  EXPECT_EQ(channels(kDucIq), std::vector<std::string>{"0"});
  EXPECT_TRUE(channels(kDataPathIq).empty());  // computed only
}

TEST_F(DspInstancesTest, TwoInstancesWithShiftsContinueTheChannelNames) {
  openWith({{"ddc", 0, true, true, false, false, 3}, {"ddc", 1, true, true, false, false, 2}});
  AiDspInstances ai(*transport);
  standIn<kAdcRate>("", 1.0e9);
  commission(ai);
  EXPECT_EQ(channels(kMagnitude), (std::vector<std::string>{"AI0", "AI1", "AI2", "AI3", "AI4"}));
  attribute<double>(kShift, "AI3").set(250000.0);
  commit();
  EXPECT_EQ(word({"ddc", 1}, 0), 0x0010624DD2F10000u);
  EXPECT_EQ(word({"ddc", 0}, 0), 0u);
}

TEST_F(DspInstancesTest, ShiftsBecomeFixedPointFractionsOfTheSampleRate) {
  openWith({{"ddc", 0, true, true, false, false, 2}, {"duc", 0, true, false, false, false, 1}});
  AiDspInstances ai(*transport);
  AoDspInstances ao(*transport);
  standIn<kAdcRate>("", 1.0e9);  // no "DAC Sample Rate": the AO side divides by 1e6
  commission(ai, ao);
  attribute<double>(kShift, "AI0").set(250000.0);
  attribute<double>(kShift, "AI1").set(-250000.0);
  attribute<double>(kShift, "AO0").set(250000.0);
  commit();
  // trunc(0.00025 x 2^48) = 0x10624DD2F1, shifted left by 16; the negative its complement.
  EXPECT_EQ(word({"ddc", 0}, 0), 0x0010624DD2F10000u);
  EXPECT_EQ(word({"ddc", 0}, 1), 0xFFEF9DB22D0F0000u);
  EXPECT_EQ(attribute<double>(kMagnitude, "AI0").get(), 0.00025);
  EXPECT_EQ(word({"duc", 0}, 0), 0x4000000000000000u);  // 0.25 = 2^-2
}

TEST_F(DspInstancesTest, AShiftWithoutAWordIsRefusedAndNothingIsWritten) {
  openWith({{"ddc", 0, true, false, false, false, 1}});
  AiDspInstances ai(*transport);
  auto& rate = standIn<kAdcRate>("", 0.0);
  commission(ai);
  attribute<double>(kShift, "AI0").set(1000.0);
  const attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_NE(thrown.detail.find(R"("value":536870954,"value_type":"uint32_t"},)"
                               R"({"type":"usage","usage":"kUsageTypeChannelName","value":"AI0")"),
            std::string::npos);
  EXPECT_TRUE(registers().writeLog().empty());

  rate.set(1.0e6);
  attribute<double>(kMagnitude, "AI0").set(-32768.0);  // the host's own magnitude, too large
  EXPECT_EQ(catchError([&] { commit(); }).code, -304408);
  EXPECT_TRUE(registers().writeLog().empty());
}

TEST_F(DspInstancesTest, TheDataIsComplexWhenTheUpConverterRunsIqOrTheDacTakesAMode) {
  openWith({{"duc", 0, true, false, true, true, 0}});
  report({{300, 2}, {307, 0}, {307, 1}});
  AoDspInstances ao(*transport);
  qvvandrel::DacDuc duc(capabilities, configuration);
  commission(duc, ao);
  struct Row {
    bool ducEnabled;
    bool iq;
    bool ao0UpConverted;  // DAC mode 1
    bool complex;
  };
  const Row rows[] = {{true, true, false, true},
                      {false, true, true, true},
                      {false, true, false, false},
                      {true, false, false, false}};
  const char* complexRegister = "vandrel.stream.data.complex 0";
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.ducEnabled << row.iq << row.ao0UpConverted);
    attribute<bool>(kDucEnabled, "0").set(row.ducEnabled);
    attribute<bool>(kDucIq, "0").set(row.iq);
    attribute<bool>(0x40000009, "AO0").set(row.ao0UpConverted);
    commit();
    EXPECT_EQ(ao[0].complexBit(), row.complex);
    EXPECT_EQ(ao[0].dataPathIq().getCoerced(), row.complex);
    EXPECT_EQ(attribute<bool>(kDucIq, "0").get(), row.ducEnabled && row.iq);
    EXPECT_EQ(writes(complexRegister), std::vector<uint32_t>{row.complex ? 1u : 0u});
    EXPECT_EQ(writes("vandrel.dsp.duc.enable 0"), std::vector<uint32_t>{row.ducEnabled ? 1u : 0u});
  }
}

TEST_F(DspInstancesTest, TheResetIsPulsedOnlyWhenSomethingChanged) {
  openWith({{"ddc", 0, true, true, true, false, 1}});
  sim::DspReadiness& dsp = readiness(0);
  dsp.setDelay(std::chrono::milliseconds(20));
  AiDspInstances ai(*transport);
  commission(ai);
  const std::initializer_list<const char*> order = {
      "vandrel.dsp.ddc.freq shift.mag 0.0", "vandrel.dsp.ddc.enable 0", "vandrel.dsp.reset 0"};
  const auto start = std::chrono::steady_clock::now();
  commit();  // the first deploy writes everything, then waits until the DSP is ready
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
  EXPECT_EQ(writeOrder(order), std::vector<std::string>(order.begin(), order.end()));
  EXPECT_EQ(dsp.resets(), 1u);

  // IQ alone changes neither a word nor the enable: written again, no reset.
  attribute<bool>(kDdcIq, "0").set(false);
  commit();
  EXPECT_EQ(writeOrder(order), (std::vector<std::string>{"vandrel.dsp.ddc.freq shift.mag 0.0",
                                                         "vandrel.dsp.ddc.enable 0"}));
  EXPECT_EQ(dsp.resets(), 1u);

  attribute<bool>(kDdcEnabled, "0").set(true);
  commit();
  EXPECT_EQ(dsp.resets(), 2u);
  EXPECT_TRUE(attribute<bool>(kDdcIq, "0").get() == false);  // IQ not requested

  kommissar.requestRedeploy();
  commit();
  EXPECT_EQ(dsp.resets(), 3u);
}

TEST_F(DspInstancesTest, AStuckDspFailsAfterTheReadyWaitAndIsResetAgain) {
  openWith({{"ddc", 0, true, true, true, false, 1}});
  sim::DspReadiness& dsp = readiness(0);
  AiDspInstances ai(*transport);
  commission(ai);
  commit();
  dsp.setStuck(true);
  // Nothing changed, nothing pulsed: the AI instance does not wait.
  attribute<bool>(kDdcIq, "0").set(false);
  commit();

  attribute<bool>(kDdcEnabled, "0").set(true);
  const auto start = std::chrono::steady_clock::now();
  const attrtest::Thrown thrown = catchError([&] { commit(); });
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(thrown.code, -304426);
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_LT(waited, std::chrono::milliseconds(200));
  EXPECT_EQ(thrown.detail,
            attrtest::locationPrefix("AiDSP", 212, "QVVANDREL_Status_DspNotReady") +
                R"({"type":"usage","usage":"kUsageTypeRegisterName","value":"vandrel.dsp.ready 0",)"
                R"("value_type":"string"})" +
                attrtest::kSectionEnd);
  EXPECT_EQ(dsp.resets(), 2u);

  // Nothing was recorded as deployed: the next deploy pulses again.
  dsp.setStuck(false);
  kommissar.deploy();
  EXPECT_EQ(dsp.resets(), 3u);
}

TEST_F(DspInstancesTest, TheAoInstanceWaitsForReadyOnEveryDeploy) {
  openWith({{"duc", 0, true, true, false, false, 1}});
  sim::DspReadiness& dsp = readiness(0);
  AoDspInstances ao(*transport);
  commission(ao);
  commit();
  EXPECT_EQ(dsp.resets(), 1u);
  // Stuck now: an unchanged deploy pulses nothing, but still waits and fails.
  dsp.setStuck(true);
  attribute<double>(kMagnitude, "AO0").set(0.0);  // the same word as before
  const attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304426);
  EXPECT_NE(thrown.detail.find(R"("file":"AoDSP","line":256)"), std::string::npos);
  EXPECT_TRUE(writes("vandrel.dsp.reset 0").empty());
}

TEST_F(DspInstancesTest, ASecondCommissionOfALinkedListRaises) {
  openWith({{"duc", 0, true, false, false, false, 1}});
  report({{300, 1}, {307, 0}});
  AoDspInstances ao(*transport);
  qvvandrel::DacDuc duc(capabilities, configuration);
  standIn<kDacRate>("", 1.0e9);
  commission(duc, ao);
  EXPECT_EQ(catchError([&] { ao.commission(&kommissar.resolverRoots(), &registry); }).code, -52003);
}

}  // namespace
