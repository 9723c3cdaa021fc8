// The device session's commit, calibration, synchronisation and stream paths as a host drives
// them through the exports, on a chassis whose module reports every feature: each test checks
// what reaches the module (registers, CLIP instructions, the synchronisation unit, the driver's
// attribute table), not only the status.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/device/ClipController.h"
#include "sim/device/ClipSynchronisation.h"
#include "sim/device/StreamUnit.h"
#include "sim/device/SynchronisationUnit.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/HostSession.h"
#include "sim/host/PluginHost.h"

namespace {

constexpr uint32_t kTriggerType = 0x10000009, kTriggerSensitivity = 0x10000016,
                   kTriggerSynchronizer = 0x10000021, kReferenceSource = 0x1000000B,
                   kTdcPolynomial = 0x30000005, kPhaseDacPolynomial = 0x30000004,
                   kNumberOfSamples = 0x50000000;
constexpr uint32_t kSetReference = 0x205, kCommitSettings = 0x101;

// The coefficients of a polynomial's JSON text, constant term first.
std::vector<double> coefficients(const std::string& text) {
  std::vector<double> values;
  const char* at = text.c_str() + text.find('[') + 1;
  while (*at != ']' && *at != '\0') {
    char* end = nullptr;
    values.push_back(std::strtod(at, &end));
    at = *end == ',' ? end + 1 : end;
  }
  return values;
}

double evaluate(const std::vector<double>& polynomial, double x) {
  double value = 0, power = 1;
  for (double c : polynomial) {
    value += c * power;
    power *= x;
  }
  return value;
}

// A TDC polynomial turns the counts the unit's converter gives for the calibration's pulses
// (1 to 8 ticks of 10 ns: the unit reports the synchronisation flag) back into their widths.
void expectInvertsTheConverter(const std::vector<double>& polynomial) {
  ASSERT_EQ(polynomial.size(), 6u);
  for (int ticks = 1; ticks <= 8; ++ticks) {
    const double seconds = ticks * 1e-8;
    const double count = std::round(sim::SynchronisationUnit::tdcCount({}, seconds));
    EXPECT_NEAR(evaluate(polynomial, count), seconds, 1e-12) << ticks;
  }
}

class DeviceSessionPaths : public e2etest::DefaultChassis {
 protected:
  DeviceSessionPaths() : DefaultChassis(QV_FULL_CHASSIS) {
    design_.addRegister(qvsim::RegisterSpec("vandrel.trigger.start.cfg 0", 0x300, "U16"));
    design_.addRegister(qvsim::RegisterSpec("vandrel.trigger.start.cfg 1", 0x308, "U16"));
    design_.addStream({.number = 0, .plainHostFifo = true});
  }
  ~DeviceSessionPaths() override {
    host_.reset();
    if (session_ != nullptr) session_->release();
    if (list_ != nullptr) list_->release();
    if (plugin_ != nullptr) {
      EXPECT_EQ(plugin_->finalize(), 0);
    }
  }

  // The chassis's module from the plug-in's device list.
  qvkel::IDevice& device() {
    EXPECT_EQ(plugin().initialize(), 0);
    int32_t code = 0;
    list_ = plugin().deviceList(&code);
    if (list_ == nullptr) throw std::runtime_error("no device list");
    nQVVUSKS100::tStatus status;
    list_->refresh(&status);
    qvkel::IDevice* device = list_->getDevice(0, 0, &status);
    if (device == nullptr) throw std::runtime_error("the module is not listed");
    return *device;
  }

  // A session on it with the design.
  sim::host::HostSession& open() {
    nQVVUSKS100::tStatus status;
    session_ = device().createFpgaSession(5, &status);
    if (session_ == nullptr) throw std::runtime_error("no session");
    session_->open(design_.text().c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000,
                   &status);
    EXPECT_EQ(status.code, 0) << status.file << " " << status.line;
    host_ = std::make_unique<sim::host::HostSession>(*session_);
    return *host_;
  }

  // A method request (group 260) with the argument where the method reads it: a word at
  // offset 24 (method 6), a double at offset 20 (methods 8 and 9).
  int32_t method(uint32_t index, std::optional<uint32_t> word = {},
                 std::optional<double> delay = {}, void* output = nullptr,
                 uint64_t outputSize = 0) {
    unsigned char record[36] = {};
    const uint32_t header[] = {260, 0, 0, 0, index};
    std::memcpy(record, header, sizeof header);
    if (word) std::memcpy(record + 24, &*word, 4);
    if (delay) std::memcpy(record + 20, &*delay, 8);
    return host_->request(256, record, sizeof record, output, outputSize);
  }

  std::string text(uint32_t id) {
    sim::host::AttributeValue value;
    EXPECT_EQ(host_->get(id, "", value), 0);
    return value.text;
  }

  sim::ClipSynchronisation::Committed adjustment() {
    return chassis_->clip(0).state<sim::ClipSynchronisation>().committed();
  }

  qvsim::BitfileBuilder design_;
  qvkel::IDeviceList* list_ = nullptr;
  qvkel::IFpgaSession* session_ = nullptr;
  std::unique_ptr<sim::host::HostSession> host_;
};

TEST_F(DeviceSessionPaths, ACommitWritesTheRegistersOfWhatChanged) {
  sim::ClipController& clip = chassis_->clip(0);
  sim::RegisterFile& registers = chassis_->module(0).registers();
  sim::host::HostSession& host = open();
  registers.logWrites(true);
  clip.clearLog();
  ASSERT_EQ(host.commit(), 0);
  // The first commit writes every start trigger's word and deploys each feature the module
  // describes: analog outputs, the external trigger, PLLs, lines and serial channels.
  const uint32_t trigger0 = design_.registerAddress("vandrel.trigger.start.cfg 0"),
                 trigger1 = design_.registerAddress("vandrel.trigger.start.cfg 1");
  using Writes = std::vector<std::pair<uint32_t, uint32_t>>;
  const auto written = [&] {
    Writes writes;
    for (const sim::RegisterFile::Write& w : registers.writeLog())
      writes.emplace_back(w.offset, w.value);
    registers.clearWriteLog();
    return writes;
  };
  EXPECT_EQ(written(), (Writes{{trigger0, 0}, {trigger1, 0}}));
  for (uint16_t interface : {0xD, 0xE, 0x12, 0x14, 0x259}) {
    bool reached = false;
    for (const sim::ClipInstruction& i : clip.log()) reached |= i.interfaceNumber() == interface;
    EXPECT_TRUE(reached) << std::hex << interface;
  }
  // Trigger 1 (no Mosk control): type, sensitivity and synchroniser as one word.
  const struct {
    std::vector<std::pair<uint32_t, const char*>> sets;
    Writes expected;
  } rows[] = {
      {{{kTriggerType, "1"}, {kTriggerSynchronizer, "1"}}, {{trigger1, 0x05}}},
      {{{kTriggerType, "5"}, {kTriggerSensitivity, "0x7FFFFFFD"}, {kTriggerSynchronizer, "2"}},
       {{trigger1, 0xC2}}},
      {{}, {}},  // nothing changed: nothing written
  };
  for (const auto& row : rows) {
    for (const auto& [id, value] : row.sets) ASSERT_EQ(host.set(id, "1", value), 0) << id;
    ASSERT_EQ(host.commit(), 0);
    EXPECT_EQ(written(), row.expected) << row.sets.size();
  }
}

// Methods 4 and 11 run both calibrations between two commits; the polynomials are read back
// as their text attributes and used by the measurement (code 13) and the adjustments.
TEST_F(DeviceSessionPaths, CalibrationMethodsKeepThePolynomialsTheAdjustmentsUse) {
  sim::host::HostSession& host = open();
  ASSERT_EQ(host.commit(), 0);
  sim::SynchronisationUnit& sync = chassis_->synchronisation(0);
  sim::ClipController& clip = chassis_->clip(0);
  const uint32_t ownReference = clip.log(kSetReference).back().arg(0);
  sim::host::AttributeValue reference;
  ASSERT_EQ(host.get(kReferenceSource, "", reference), 0);
  sync.clearRecords();
  clip.clearLog();
  ASSERT_EQ(method(4), 0);
  ASSERT_EQ(method(11), 0);
  // A data clock of 1 GHz: a Mosk period of 1000 ticks, a quarter of it high; the module ran
  // from DRAL7 (raw code 2 without a PXI backplane) and then from its own reference again.
  EXPECT_EQ(sync.clockChecks(), std::vector<uint8_t>{0});
  EXPECT_EQ(sync.moskTicks(), (std::vector<std::pair<uint32_t, uint32_t>>{{250, 750}}));
  EXPECT_EQ(sync.pulseWidths().size(), 80u);
  std::vector<uint32_t> sources;
  for (const sim::ClipInstruction& i : clip.log(kSetReference)) sources.push_back(i.arg(0));
  EXPECT_EQ(sources, (std::vector<uint32_t>{2, ownReference}));
  sim::host::AttributeValue restored;
  ASSERT_EQ(host.get(kReferenceSource, "", restored), 0);
  EXPECT_EQ(restored.integer, reference.integer);

  const std::vector<double> tdc = coefficients(text(kTdcPolynomial));
  expectInvertsTheConverter(tdc);
  EXPECT_EQ(coefficients(text(kPhaseDacPolynomial)).size(), 7u);
  // The measurement: the average count, its time through the polynomial, the coefficients.
  double measured[8] = {};
  ASSERT_EQ(host.request(13, nullptr, 0, measured, sizeof measured), 0);
  EXPECT_DOUBLE_EQ(measured[1], evaluate(tdc, measured[0]));
  EXPECT_EQ(std::vector<double>(measured + 2, measured + 8), tdc);

  // The sweep started at the DAC minimum, 100; the model's DAC moves the clock by 2 ns over
  // 4800 codes (one TDC count, 10 ps, is 24 codes), and its delay step is 1 ns at a data-clock
  // period of 1 ns.
  const struct {
    uint32_t index;
    std::optional<uint32_t> word;
    std::optional<double> delay;
    std::vector<uint32_t> coarseDelays;  // synchronisation method 1
    int64_t periodSteps;                 // committed through the CLIP
    std::optional<uint32_t> phaseDacCode;
  } rows[] = {
      {6, 7, {}, {7}, 0, {}},            // a coarse delay
      {6, 0, {}, {}, 0, {}},             // none: nothing sent
      {9, {}, 3.2e-9, {1}, 3 - 1, {}},   // three steps; one data-clock period coarsely
      {9, {}, -2e-9, {}, -1, {}},        // trunc(-1.5)
      {8, {}, 1e-9, {}, 0, 100 + 2400},  // 2400 codes above the offset
      {8, {}, -1e-9, {}, 0, 100},        // no code below it
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.index);
    sync.clearRecords();
    const sim::ClipSynchronisation::Committed before = adjustment();
    ASSERT_EQ(method(row.index, row.word, row.delay), 0);
    EXPECT_EQ(sync.coarseDelays(), row.coarseDelays);
    EXPECT_EQ(adjustment().periodDelay - before.periodDelay, row.periodSteps);
    if (row.phaseDacCode) {
      EXPECT_NEAR(adjustment().phaseDacCode, *row.phaseDacCode, 24);
    } else {
      EXPECT_EQ(adjustment().phaseDacCode, before.phaseDacCode);
    }
  }
}

// Code 12: the synchronisation run and both calibrations, reported to the host as one text.
TEST_F(DeviceSessionPaths, ASynchronisationRunReportsBothCalibrations) {
  sim::host::HostSession& host = open();
  sim::SynchronisationUnit& sync = chassis_->synchronisation(0);
  sim::ClipController& clip = chassis_->clip(0);
  clip.setValue(0x306, 40000);
  sync.clearRecords();
  clip.clearLog();
  std::vector<char> output(1 << 18);
  ASSERT_EQ(host.request(12, nullptr, 0, output.data(), output.size()), 0);
  const std::string report(output.data());
  // A Mosk period of 40000 / 1000 ticks, a quarter of it high; DRAL7 posted; the CLIP's
  // settings deployed with nothing pending.
  EXPECT_EQ(sync.moskTicks(), (std::vector<std::pair<uint32_t, uint32_t>>{{10, 30}}));
  ASSERT_EQ(clip.log(kSetReference).size(), 1u);
  EXPECT_EQ(clip.log(kSetReference)[0].arg(0), 2u);
  ASSERT_EQ(clip.log(kCommitSettings).size(), 1u);
  EXPECT_EQ(clip.log(kCommitSettings)[0].arg(0), 0u);
  EXPECT_EQ(sync.pulseWidths().size(), 80u);
  // The records in the order they ran; the TDC's polynomial is the converter's inverse.
  const size_t tdc = report.find("\"tdcCalibration\""), align = report.find("\"alignClock\""),
               phaseDac = report.find("\"phaseDacCalibration\"");
  ASSERT_LT(tdc, align);
  ASSERT_LT(align, phaseDac);
  ASSERT_NE(phaseDac, std::string::npos);
  expectInvertsTheConverter(
      coefficients(report.substr(report.find("\"computedPolynomial\"", tdc))));
  // The session keeps no polynomial from this run.
  EXPECT_EQ(coefficients(text(kTdcPolynomial)), std::vector<double>{});
}

// Method 10 configures the primary stream (0) from its attributes and arms it; method 12 then
// finds an armed stream.
TEST_F(DeviceSessionPaths, ConfiguringAllStreamsArmsThePrimaryStream) {
  sim::host::HostSession& host = open();
  sim::StreamUnit unit(chassis_->module(0), 0, [this](const std::string& name) {
    return design_.findRegisterAddress(name);
  });
  uint8_t idle = 7;
  ASSERT_EQ(method(12, {}, {}, &idle, 1), 0);
  EXPECT_EQ(idle, 1);
  ASSERT_EQ(host.set(kNumberOfSamples, "0", "1234"), 0);
  ASSERT_EQ(method(10), 0);
  EXPECT_EQ(unit.requests(), std::vector<uint8_t>{sim::StreamUnit::kArmedFinite});
  EXPECT_EQ(unit.numSamples(), 1234u);
  ASSERT_EQ(method(12, {}, {}, &idle, 1), 0);
  EXPECT_EQ(idle, 0);
}

// The legacy value is the driver's attribute 1, which the chassis file gives the module.
TEST_F(DeviceSessionPaths, TheLegacyValueIsTheDriversAttribute) {
  qvkel::IDevice& module = device();
  EXPECT_EQ(module.getLegacyValue(), 3u);
  nQVVUSKS100::tStatus status;
  module.setLegacyValue(5, &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_EQ(chassis_->module(0).attribute(1), 5u);
  EXPECT_EQ(module.getLegacyValue(), 5u);
}

}  // namespace
