// Chassis descriptions: the default chassis, what a chassis publishes, and the messages that
// name what is wrong in a description.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "sim/device/Chassis.h"

namespace {

TEST(Chassis, TheDefaultChassisHoldsPxiAndPciModules) {
  const sim::ChassisDescription chassis = sim::readChassis(SIM_DEFAULT_CHASSIS);
  ASSERT_EQ(chassis.modules.size(), 5u);
  size_t placed = 0;
  for (const sim::ChassisModule& m : chassis.modules) placed += m.description.chassis ? 1 : 0;
  EXPECT_EQ(placed, 3u);
  const sim::ModuleDescription& first = chassis.modules[0].description;
  EXPECT_EQ(chassis.modules[0].instance, "brm0");
  EXPECT_EQ(first.subsystemId, 0x7A12u);
  EXPECT_EQ(first.productName, "BRM-6812") << "the target class names the product";
  EXPECT_EQ(*first.slot, 2u);

  sim::Testbed testbed;
  sim::libs::QPxiControl pxi;
  pxi.reset();
  sim::installMakerSoftware(testbed);
  struct stat info {};
  ASSERT_EQ(::stat(testbed.path("/var/local/telmora/qv-vandrel").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0777u);
  {
    sim::Chassis modules(testbed, chassis, pxi);
    std::ifstream bus(testbed.path("/proc/driver/qv/brm4/busProperties/pciDeviceNumber"));
    std::ostringstream bytes;
    bytes << bus.rdbuf();
    EXPECT_EQ(bytes.str(), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(modules.find(10, 1, 0), &modules.module(4));
    EXPECT_EQ(modules.find(10, 0, 0), nullptr);
  }
  EXPECT_FALSE(testbed.exists("/proc/driver/qv/brm0"));
  pxi.reset();
}

TEST(Chassis, AWrongDescriptionIsNamedInTheMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"[]", "document: not a JSON object"},
      {R"({"modules": {}})", "modules: expected an array"},
      {R"({"modules": [{"pci": {"bus": 1, "device": 0, "function": 0}}]})",
       "modules[0]: \"instance\" is missing or empty"},
      {R"({"modules": [{"instance": "a"}]})", "modules[0]: \"pci\" is missing"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": -1, "device": 0, "function": 0}}]})",
       "modules[0].pci.bus: expected an unsigned 32-bit number"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0},
           "subsystemId": "0x7A1G"}]})",
       "modules[0].subsystemId: expected an unsigned 32-bit number"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0},
           "slot": 3}]})",
       "modules[0].slot: unknown member"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0}},
                       {"instance": "a", "pci": {"bus": 2, "device": 0, "function": 0}}]})",
       "modules[1]: instance \"a\" is used twice"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 256, "device": 0, "function": 0}}]})",
       "modules[0].pci: bus 0-255, device 0-31 and function 0-7"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0}},
                       {"instance": "b", "pci": {"bus": 1, "device": 0, "function": 0}}]})",
       "modules[1]: its PCI address is used twice"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0},
           "capabilities": "all"}]})",
       "modules[0].capabilities: expected \"minimal\" or \"full\""},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0},
           "driverAttributes": {"legacy": 1}}]})",
       "modules[0].driverAttributes.legacy: an attribute is named by an unsigned 32-bit number"},
      {R"({"modules": [{"instance": "a", "pci": {"bus": 1, "device": 0, "function": 0},
           "driverAttributes": {"0x1": "x"}}]})",
       "modules[0].driverAttributes.0x1: expected an unsigned 32-bit number"},
  };
  for (const auto& [json, message] : cases) {
    try {
      sim::parseChassis(json);
      ADD_FAILURE() << json;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), std::string("chassis description: ") + message);
    }
  }
}

}  // namespace
