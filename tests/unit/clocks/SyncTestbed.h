#pragma once
// The synchronisation features as a session holds them: a user session on a simulated module
// whose design has the module-IO registers, its CLIP (clock profile, interface 3) and its
// synchronisation unit measuring through it; the reference and sample clocks, the Mosk
// generator and the synchronisation interface under one Kommissar, and the calibration manager.

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../model/TestFeature.h"
#include "../session/SessionTestbed.h"
#include "ClockTestbed.h"
#include "clocks/CalibrationManager.h"
#include "clocks/MoskGenerator.h"
#include "clocks/SyncAPI.h"
#include "model/Kommissar.h"
#include "session/ModuleIoIndicators.h"
#include "sim/device/ClipSynchronisation.h"

namespace synctest {

using qvvandrel::ModuleIoIndicators;

inline constexpr uint32_t kPhaseDacValue = 0x10000012, kDelayStep = 12380, kMoskPeriod = 8546,
                          kHighShare = 12226, kReferenceSource = 0x1000000B,
                          kSampleSource = 0x10000013, kDataClockRate = 0x20000015,
                          kTdcText = 0x30000005, kPhaseDacText = 0x30000004, kBypass = 0x40000005;

// Synchronisation methods by number.
inline constexpr uint32_t kMoskTicks = 0, kCoarseDelay = 1, kSelectMode = 2, kMethod3 = 3,
                          kTdcCount = 4, kPulseWidth = 5, kMethod6 = 6, kCounterA = 7, kMethod8 = 8,
                          kCounterB = 9, kSyncFlag = 11, kClockCheck = 14;

inline int32_t codeOf(const std::function<void()>& body) {
  return attrtest::catchError(body).code;
}

// A report read back: the keys of an object in order, the numbers of an array.
using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;
inline Json parse(const std::string& text) {
  return Json(cJSON_Parse(text.c_str()), &cJSON_Delete);
}
inline const cJSON* at(const cJSON* object, const char* key) {
  return cJSON_GetObjectItemCaseSensitive(object, key);
}
inline std::vector<std::string> keys(const cJSON* object) {
  std::vector<std::string> out;
  for (const cJSON* c = object != nullptr ? object->child : nullptr; c != nullptr; c = c->next)
    out.emplace_back(c->string);
  return out;
}
inline std::vector<double> numbers(const cJSON* array) {
  std::vector<double> out;
  for (const cJSON* c = array != nullptr ? array->child : nullptr; c != nullptr; c = c->next)
    out.push_back(c->valuedouble);
  return out;
}

class SyncTestbed : public sessiontest::SessionTestbed {
 protected:
  // The CLIP offers Onboard, DRAL7 (PXI_Clk10 on a backplane) and ClkIn as references, 10 to
  // 100 MHz, and the fixed 1 GHz timebase first; the data clock divides it by 8.
  SyncTestbed() {
    sync.attach(clip);
    clip.setCapabilities({200, 1,   200, 2,   200,     3,   201,    10000, 202,     100000, 203,
                          0,   203, 1,   206, 1000000, 204, 500000, 205,   1000000, 207,    8});
  }

  // Opens the session and builds, registers and commissions every feature, as the session does.
  void build() {
    open({sessiontest::designRegister(ModuleIoIndicators::kErrorRegister, 0x60, "I32"),
          sessiontest::designRegister(ModuleIoIndicators::kReadyRegister, 0x64, "Boolean")});
    tree.emplace(pxiBackplane);
    tree->load(instructionFifo);
    indicators = ModuleIoIndicators::create(*transport);
    reference.emplace(*tree, pxiBackplane, *sim.proxy, configuration);
    sample.emplace(*tree, configuration);
    root = std::make_unique<clocktest::ClockRoot>(&*reference, &*sample);
    manager.emplace(*sim.proxy, &pxiBackplane, &configuration.interface3, &indicators, &registry);
    generator.emplace(*sim.proxy);
    syncApi.emplace(*sim.proxy, configuration.interface3, *manager);
    kommissar.setPrimary(root.get());
    kommissar.addCommission(&*generator);
    kommissar.addCommission(&*syncApi);
    kommissar.commission();
    clearLogs();
  }
  void clearLogs() {
    clip.clearLog();
    sync.clearRecords();
  }
  int32_t commit() {
    return codeOf([&] {
      kommissar.compile();
      kommissar.deploy();
    });
  }
  // The session's index 4 and index 11.
  void startCalibration() {
    manager->validateClockConfiguration();
    ASSERT_EQ(commit(), 0);
    manager->startCalibration();
  }
  int32_t finishCalibration() {
    return codeOf([&] {
      manager->finishCalibration();
      kommissar.compile();
      kommissar.deploy();
    });
  }
  // The data clock at 1 GHz over `divisor`.
  void setDataClockDivisor(int divisor) {
    attribute<int>(0x10000015).set(divisor);
    ASSERT_EQ(commit(), 0);
  }

  template <typename T>
  qvvandrel::DependencyAttribute<T>& attribute(uint32_t id) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, "");
  }
  template <typename T>
  iattr::AttributeInterface<T>& publicAttribute(uint32_t id) {
    return *registry.getTyped<iattr::AttributeInterface<T>>(id, "");
  }
  sim::ClipSynchronisation& adjustment() { return clip.state<sim::ClipSynchronisation>(); }
  // The instructions of interface 3 since the log was cleared: opcode, flags, first argument.
  struct Sent {
    uint32_t opcode;
    uint32_t flags;
    uint32_t argument;
    bool operator==(const Sent&) const = default;
  };
  std::vector<Sent> adjustmentInstructions() {
    std::vector<Sent> sent;
    for (const sim::ClipInstruction& i : clip.log())
      if (i.interfaceNumber() == 3)
        sent.push_back({i.opcode, i.flags, i.args.empty() ? 0 : i.args[0]});
    return sent;
  }

  bool pxiBackplane = false;
  ififo_rpc::FifoRef fifo{&instructionFifo, 1};
  qvvandrel::ClipConfiguration configuration{instructionFifo, true};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  qvvandrel::KommissarBrenmoor kommissar{&registry, &configuration.deploy};
  std::unique_ptr<ModuleIoIndicators> indicators;
  std::optional<qvvandrel::ClipCapabilities> tree;
  std::optional<qvvandrel::ReferenceClock> reference;
  std::optional<qvvandrel::SampleClock> sample;
  std::unique_ptr<clocktest::ClockRoot> root;
  std::optional<qvvandrel::CalibrationManager> manager;
  std::optional<qvvandrel::MoskGenerator> generator;
  std::optional<qvvandrel::SyncAPI> syncApi;
};

}  // namespace synctest
