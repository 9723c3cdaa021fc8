// Whether a bitfile suits the module: its target text (entities decoded) and adapter module
// against the module's, and the target-class list when the bitfile names neither.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "devkit/AttributeHandlers.h"
#include "devkit/Bitfile.h"
#include "foundation/driver/tDeviceInterfaceIterator.h"
#include "foundation/errors/Exception.h"
#include "session/TargetClassCheckerBrenmoor.h"
#include "sim/device/DeviceStatus.h"
#include "sim/device/SessionQueries.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

using qvvandrelbrenmooru::TargetClassCheckerBrenmoor;

constexpr uint32_t kAdapter = 0x1FA77A31;

class TargetClassCheckerTest : public ::testing::Test {
 protected:
  TargetClassCheckerTest() {
    // The checker's identifier query is not the IOC filter's (0x80200600).
    status.setAdapterModule(0x1FA70001, 3);
    queries.setTargetAdapter(kAdapter);
  }

  // The module's target string and a bitfile with these target-specific texts (none: the
  // element is left out; no section at all without both).
  bool compatible(const std::string& moduleTarget, std::optional<std::string> target,
                  std::optional<std::string> ioModule, const std::string& targetClass = "X") {
    module.module.setDeviceProperty("kelFpgaTargetClass", moduleTarget);
    nQVVUSKS100::tStatus st;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &st);
    TargetClassCheckerBrenmoor checker(
        qvkel::makeAttributeHandlerChain(iterator, nullptr, module.proxy), module.proxy);
    qvsim::BitfileBuilder design;
    design.targetClass(targetClass);
    if (target || ioModule) design.targetSpecific(qvsim::TargetSpecificSpec{});
    qvsim::XmlElement tree = design.tree();
    if (target || ioModule) {
      qvsim::XmlElement& specific =
          tree.at("Project/CompilationResultsTree/CompilationResults/TargetSpecificData");
      if (target) specific.add("Target", *target);
      if (ioModule) specific.add("IOModuleID", *ioModule);
    }
    const qvkel::Bitfile bitfile(design.render(tree).c_str(), false, false);
    return checker.isCompatible(bitfile);
  }

  devkit_test::SimulatedModule module;
  sim::DeviceStatus status{module.device()};
  sim::SessionQueries queries{module.device()};
};

TEST_F(TargetClassCheckerTest, TargetTextAndAdapterModule) {
  struct Row {
    const char* what;
    std::string moduleTarget;
    std::optional<std::string> target, ioModule;
    std::string targetClass;
    bool compatible;
  };
  const Row rows[] = {
      {"entities decoded", "BRM-6812 & <IO>", "BRM-6812 &amp; &lt;IO&gt;", "0xFFFFFFFF", "X", true},
      {"entity left as written", "BRM-6812 &amp; IO", "BRM-6812 &amp; IO", "0xFFFFFFFF", "X",
       false},
      {"target differs", "BRM-6812", "BRM-6813", "0xFFFFFFFF", "BRM-6812", false},
      {"longer target", "BRM-6812", "BRM-6812 ", "0xFFFFFFFF", "BRM-6812", false},
      {"adapter module matches", "BRM-6812", "BRM-6812", "0x1FA77A31", "X", true},
      {"adapter module decimal", "BRM-6812", "BRM-6812", "531069489", "X", true},
      {"adapter module differs", "BRM-6812", "BRM-6812", "0x1FA70001", "X", false},
      {"no target-specific data: class list", "BRM-6812", {}, {}, "BRM-6811; BRM-6812", true},
      {"no target-specific data: not listed", "BRM-6812", {}, {}, "BRM-6811", false},
      {"no adapter element: class list", "BRM-6812", "BRM-6899", {}, "BRM-6812", true},
      {"adapter no number: class list", "BRM-6812", "BRM-6812", "many", "BRM-6811", false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(compatible(row.moduleTarget, row.target, row.ioModule, row.targetClass),
              row.compatible)
        << row.what;
}

TEST_F(TargetClassCheckerTest, AnUnansweredAdapterQueryMatchesNoRequiredAdapter) {
  module.device().script(sim::SessionQueries::kTargetAdapter,
                         sim::Reply{{}, -50000, {}, 0, {}, false});
  EXPECT_FALSE(compatible("BRM-6812", "BRM-6812", "0x1FA77A31"));
  EXPECT_TRUE(compatible("BRM-6812", "BRM-6812", "0xFFFFFFFF"));
}

TEST_F(TargetClassCheckerTest, AModuleWithoutTargetStringIsAnError) {
  class NoAnswers : public qvkel::AttributeHandlerBase {};
  TargetClassCheckerBrenmoor checker(std::make_shared<NoAnswers>(), module.proxy);
  const qvkel::Bitfile bitfile(qvsim::BitfileBuilder().text().c_str(), false, false);
  try {
    checker.isCompatible(bitfile);
    ADD_FAILURE() << "accepted";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -52003);
  }
}

}  // namespace
