// The IOC filter, the device constants and the start-trigger attribute records.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../session/SessionTestbed.h"
#include "features/DeviceConstants.h"
#include "features/IocFilter.h"
#include "features/StartTriggerAttributes.h"
#include "model/Kommissar.h"

namespace {

using attrtest::catchError;
using qvvandrel::IocFilter;

constexpr uint32_t kAdapterIdentifier = 0x80200600, kAdapterState = 0x80200602;
// The filter's register in the test design, and where the module holds it.
constexpr uint32_t kFilterOffset = 0x70, kFilterAddress = 0x8000 + kFilterOffset;

class IocFilterTest : public sessiontest::SessionTestbed {
 protected:
  void openWithRegister() {
    open({sessiontest::designRegister(qvvandrel::kIocFilterRegister, kFilterOffset, "Boolean")});
  }
  std::unique_ptr<IocFilter> create() { return IocFilter::create(*transport, *sim.proxy); }
  void commission(IocFilter& filter) {
    kommissar.addCommission(&filter);
    kommissar.commission();
  }
  // Commits; returns the values written to the filter's register.
  std::vector<uint32_t> commit() {
    sim.device().clearLog();
    kommissar.compile();
    kommissar.deploy();
    std::vector<uint32_t> writes;
    for (const sim::LogEntry& e : sim.device().log()) {
      uint32_t offset, value;
      std::memcpy(&offset, e.input.data(), 4);
      std::memcpy(&value, e.input.data() + 4, 4);
      if (e.command == sessiontest::kWrite32 && offset == kFilterAddress) writes.push_back(value);
    }
    return writes;
  }

  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::ClipAccess clipAccess{1, {&instructionFifo, 1}};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clipAccess};
};

TEST_F(IocFilterTest, StartsEnabledOnlyOnTheAdapterModuleWithTheFilterInItsOperatingState) {
  openWithRegister();
  struct Row {
    uint32_t identifier;
    uint8_t state;
    int32_t failedQuery;
    bool enabled;
  };
  const Row rows[] = {
      {0x1FA7798B, 3, 0, true},
      {0x1FA7798B, 2, 0, false},
      {0x1FA7798B, 1, 0, false},
      {0x1FA7798C, 3, 0, false},
      {0x1FA7798B, 3, static_cast<int32_t>(kAdapterIdentifier), false},
      {0x1FA7798B, 3, static_cast<int32_t>(kAdapterState), false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.identifier << " " << int(row.state));
    deviceStatus.setAdapterModule(row.identifier, row.state);
    if (row.failedQuery != 0) failNext(static_cast<uint32_t>(row.failedQuery), -52024);
    std::unique_ptr<IocFilter> filter = create();
    EXPECT_TRUE(filter->present());
    EXPECT_EQ(filter->attribute().getCoerced(), row.enabled);
    EXPECT_TRUE(filter->attribute().isDirty());
  }
}

TEST_F(IocFilterTest, WithoutItsRegisterTheFilterIsAbsent) {
  open({});
  std::unique_ptr<IocFilter> filter = create();
  EXPECT_FALSE(filter->present());
  EXPECT_EQ(filter->resolutionStatus().code, -52006);
  commission(*filter);
  EXPECT_EQ(registry.size(), 0u);
  EXPECT_TRUE(commit().empty());
}

TEST_F(IocFilterTest, WritesOnTheFirstCommitAfterAChangeAndOnRedeploy) {
  openWithRegister();
  deviceStatus.setAdapterModule(qvvandrel::kIocFilterAdapterModule, 3);
  std::unique_ptr<IocFilter> filter = create();
  commission(*filter);
  EXPECT_STREQ(kommissar.compileRoot().prerequisites().at(0)->name(),
               "N9qvvandrel19TrivialUnaryFeatureILi1073741828EEE");
  auto& enable = *registry.getTyped<iattr::AttributeInterface<bool>>(0x40000004, "");
  EXPECT_EQ(commit(), std::vector<uint32_t>{1});  // never set by the host
  EXPECT_TRUE(commit().empty());
  enable.set(false);
  EXPECT_EQ(commit(), std::vector<uint32_t>{0});
  kommissar.requestRedeploy();
  EXPECT_EQ(commit(), std::vector<uint32_t>{0});

  // A failed write is raised and written again at the next commit.
  enable.set(true);
  failNext(sessiontest::kWrite32, -52024);
  EXPECT_EQ(catchError([&] { commit(); }).code, -52024);
  EXPECT_TRUE(filter->pending());
  EXPECT_EQ(commit(), std::vector<uint32_t>{1});
  EXPECT_FALSE(filter->pending());
}

TEST(DeviceConstantsTest, ValuesComeFromTheCapabilitiesAndNeverCompile) {
  qvvandrel::ClipCapabilities capabilities(false);
  capabilities.cap104.acceptValue(16);
  capabilities.cap304.acceptValue(14);
  qvvandrel::DeviceConstants constants(capabilities);
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, nullptr};
  kommissar.addCommission(&constants);
  kommissar.commission();
  kommissar.compile();
  kommissar.deploy();
  auto get = [&](uint32_t id) {
    return registry.getTyped<iattr::AttributeInterface<int>>(id, "")->get();
  };
  EXPECT_EQ(get(0x10000005), 16);
  EXPECT_EQ(get(0x10000006), 0);  // capability 105 absent
  EXPECT_EQ(get(0x10000023), 14);
  EXPECT_TRUE(constants.adcResolution().isNodeDirty());
  EXPECT_EQ(catchError([&] { constants.registerAttributes(&registry); }).code, -304500);
}

TEST(StartTriggerAttributesTest, RecordsPerIndex) {
  qvvandrel::StartTriggerAttributes first(0), second(1), last(63);
  EXPECT_STREQ(first.type.getChannelName(), "0");
  EXPECT_STREQ(last.moskControl.getChannelName(), "63");
  EXPECT_TRUE(first.moskControl.getCoerced());
  EXPECT_FALSE(second.moskControl.getCoerced());
  for (auto* record : {&first, &second}) {
    EXPECT_EQ(record->sensitivity.getDesired(), 0x7FFFFFFF);
    EXPECT_EQ(record->type.getCoerced(), 0);
    EXPECT_EQ(record->synchronizer.getCoerced(), 0);
    EXPECT_STREQ(record->sensitivity.name(), "Start Trigger Sensitivity");
  }
  second.sensitivity.set(qvvandrel::oobx::attribute::TriggerSensitivity{1});
  EXPECT_EQ(first.sensitivity.getCoerced(), 0x7FFFFFFF);
  EXPECT_EQ(catchError([] { qvvandrel::StartTriggerAttributes(64); }).code, -52005);
}

}  // namespace
