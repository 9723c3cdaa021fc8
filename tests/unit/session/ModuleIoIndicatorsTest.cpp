// The module-IO indicator attributes and the module-change check of a commit.

#include <gtest/gtest.h>

#include "../attributes/TestSupport.h"
#include "SessionTestbed.h"
#include "model/Kommissar.h"
#include "session/ModuleChangeCheck.h"
#include "session/ModuleIoIndicators.h"

namespace {

using qvvandrel::ModuleIoIndicators;
using sessiontest::designRegister;

class ModuleIoIndicatorsTest : public sessiontest::SessionTestbed {
 protected:
  void openWithIndicators() {
    open({designRegister(ModuleIoIndicators::kErrorRegister, 0x60, "I32"),
          designRegister(ModuleIoIndicators::kReadyRegister, 0x64, "Boolean")});
    indicators = ModuleIoIndicators::create(*transport);
    ASSERT_NE(indicators, nullptr);
    indicators->registerAttributes(registry);
  }
  template <typename T>
  iattr::AttributeInterface<T>& attribute(uint32_t id) {
    return *registry.getTyped<iattr::AttributeInterface<T>>(id, "");
  }
  uint32_t errorAddress() { return address(ModuleIoIndicators::kErrorRegister); }
  uint32_t readyAddress() { return address(ModuleIoIndicators::kReadyRegister); }

  atat::AttributeRegistry registry{-304404, -304403, -304500};
  std::unique_ptr<ModuleIoIndicators> indicators;
};

int32_t codeOf(const std::function<void()>& body) {
  return attrtest::catchError(body).code;
}

TEST_F(ModuleIoIndicatorsTest, EveryGetReadsTheRegisterAgain) {
  openWithIndicators();
  iattr::AttributeInterface<bool>& ready = attribute<bool>(ModuleIoIndicators::kIoReady);
  iattr::AttributeInterface<int>& error = attribute<int>(ModuleIoIndicators::kIoError);
  EXPECT_FALSE(ready.get());
  registers().poke(readyAddress(), 0x02);
  EXPECT_TRUE(ready.get());
  registers().poke(errorAddress(), 0xFFFFFFF6);
  EXPECT_EQ(error.get(), -10);
  EXPECT_EQ(sim.device().count(sessiontest::kRead32), 3u);
  EXPECT_FALSE(ready.isDirty());

  // A set is refused and changes nothing; a reset succeeds and the next get reads again.
  EXPECT_EQ(codeOf([&] { ready.set(false); }), -304414);
  EXPECT_EQ(ready.getDesired(), false);
  ready.reset();
  EXPECT_TRUE(ready.get());
}

TEST_F(ModuleIoIndicatorsTest, AFailedReadFailsTheGetAndLeavesZero) {
  openWithIndicators();
  iattr::AttributeInterface<int>& error = attribute<int>(ModuleIoIndicators::kIoError);
  registers().poke(errorAddress(), 7);
  EXPECT_EQ(error.get(), 7);
  failNext(sessiontest::kRead32, -52024);
  EXPECT_EQ(codeOf([&] { error.get(); }), -52024);
  EXPECT_EQ(error.getCoerced(), 0);
}

TEST_F(ModuleIoIndicatorsTest, ASixtyFourBitIndicatorIsReadWhole) {
  open({designRegister("count", 0x68, "U64")});
  nQVVUSKS100::tStatus status;
  qvisl::Register<unsigned long, qvvandrel::SessionTransportInterface> count(transport.get(),
                                                                             "count", &status);
  qvvandrel::IndicatorBackedAttribute<unsigned long> indicator(0x50000000, &count);
  registers().write64(address("count"), 0x0000000100000002u);
  EXPECT_EQ(indicator.attribute().get(), 0x0000000100000002u);
  registers().write64(address("count"), 7);
  EXPECT_EQ(indicator.attribute().get(), 7u);
  EXPECT_EQ(codeOf([&] { indicator.attribute().set(1); }), -304414);
}

TEST_F(ModuleIoIndicatorsTest, AbsentWithoutBothRegisters) {
  open({designRegister(ModuleIoIndicators::kErrorRegister, 0x60, "I32")});
  EXPECT_EQ(ModuleIoIndicators::create(*transport), nullptr);
}

// The Kommissar's roots after one clean commit, so the check's invalidations show.
class ModuleChangeCheckTest : public ModuleIoIndicatorsTest {
 protected:
  void commitOnce() {
    kommissar.commission();
    kommissar.compile();
    kommissar.deploy();
    ASSERT_FALSE(kommissar.clipDeployRoot().isNodeDirty());
    ASSERT_FALSE(kommissar.redeployRoot().isNodeDirty());
  }
  void check(bool feature7Flag) {
    qvvandrelbrenmooru::checkModuleChange(indicators.get(), feature7Flag, *sim.proxy, kommissar);
  }

  qvvandrel::ClipAccess clipAccess{1, {&instructionFifo, 1}};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clipAccess};
};

TEST_F(ModuleChangeCheckTest, AnIoErrorMakesTheClipSettingsPending) {
  openWithIndicators();
  commitOnce();
  check(true);
  EXPECT_FALSE(kommissar.clipDeployRoot().isNodeDirty());
  registers().poke(errorAddress(), 1);
  check(true);
  EXPECT_TRUE(kommissar.clipDeployRoot().pending());
  EXPECT_TRUE(kommissar.clipDeployRoot().isNodeDirty());
  EXPECT_FALSE(kommissar.redeployRoot().isNodeDirty());
  EXPECT_EQ(sim.device().count(0x0020050D), 0u);  // the flag skips the driver query
}

TEST_F(ModuleChangeCheckTest, AFailedIoErrorReadIsNotRaised) {
  openWithIndicators();
  commitOnce();
  registers().poke(errorAddress(), 1);
  failNext(sessiontest::kRead32, -52024);
  check(true);
  EXPECT_FALSE(kommissar.clipDeployRoot().isNodeDirty());
}

TEST_F(ModuleChangeCheckTest, WithoutTheFlagAFalseDriverAnswerForcesAFullRedeploy) {
  openWithIndicators();
  commitOnce();
  check(false);
  EXPECT_FALSE(kommissar.redeployRoot().isNodeDirty());
  sync.setLocked(false);
  check(false);
  EXPECT_TRUE(kommissar.redeployRoot().isNodeDirty());
  EXPECT_FALSE(kommissar.clipDeployRoot().isNodeDirty());
  EXPECT_EQ(sim.device().count(0x0020050D), 2u);

  failNext(0x0020050D, -52010);
  EXPECT_EQ(codeOf([&] { check(false); }), -52010);
  // Without indicators only the driver query runs.
  indicators.reset();
  registers().poke(errorAddress(), 1);
  check(false);
  EXPECT_FALSE(kommissar.clipDeployRoot().isNodeDirty());
}

}  // namespace
