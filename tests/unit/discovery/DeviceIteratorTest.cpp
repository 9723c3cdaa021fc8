// Device iterators, tokens and platform keys over modules of the simulated driver.
#include <cstdint>

#include "DiscoveryTestSupport.h"
#include "discovery/DeviceIteratorCustomPersistentToken.h"
#include "session/PciModelNameIdentifierCodegen.h"
#include "sim/device/ModuleDescription.h"

namespace {

using disctest::catchError;
using qvjsonconfig::VUSKDeviceIterator;

constexpr const char* kInterface = "qvvandrelbrenmoork_vandrelbrenmoor";

class DeviceIterators : public ::testing::Test {
 protected:
  // Adds a module with the description, its device interface first.
  sim::Module& add(const std::string& instance, const sim::ModuleDescription& description) {
    modules_.push_back(std::make_unique<sim::Module>(testbed_, instance));
    modules_.back()->deviceInterface();
    sim::describe(*modules_.back(), description);
    return *modules_.back();
  }

  std::vector<std::string> keys(qvjsonconfig::DeviceIteratorInterface& devices) {
    std::vector<std::string> out;
    for (; !devices.isEnd(); devices.next()) out.push_back(devices.getKey());
    return out;
  }

  const qvkel::IPciModelNameIdentifier& models_ = qvvandrelbrenmoork::pciModelNameIdentifier();
  qvkel::PersistentTokenGeneratorPci pciTokens_{models_};
  sim::Testbed testbed_;
  std::vector<std::unique_ptr<sim::Module>> modules_;
};

TEST_F(DeviceIterators, PlatformKeysFromBusProperties) {
  add("qvdev0", {});
  sim::ModuleDescription wide;
  wide.vendorId = 0x12345;
  wide.subsystemVendorId = 0xA;
  wide.revision = 0x1AB;
  wide.slotPath = "S";
  add("qvdev1", wide);
  VUSKDeviceIterator devices(kInterface);
  EXPECT_EQ(keys(devices),
            (std::vector<std::string>{"PCI:VEN_1FA7&DEV_C4C4&SUBSYS_1FA77A12&REV_00/PCI0/BUS3/DEV0",
                                      "PCI:VEN_12345&DEV_C4C4&SUBSYS_000A7A12&REV_1AB/S"}));
}

TEST_F(DeviceIterators, PropertiesInterfacePathAndDriverName) {
  sim::ModuleDescription description;
  description.missing = {"pciRevision"};
  description.unreadable = {"kelProductName"};
  add("qvdev0", description);
  VUSKDeviceIterator devices(kInterface);
  ASSERT_FALSE(devices.isEnd());
  std::string text;
  devices.getBusPropertyString("pciSlotPath", text);
  EXPECT_EQ(text, "PCI0/BUS3/DEV0");
  devices.getDevicePropertyString("serialNumber", text);
  EXPECT_EQ(text, "01A2B3C4");
  std::uint32_t value = 0;
  devices.getBusPropertyU32("pciSubsystemID", value);
  EXPECT_EQ(value, 0x7A12u);
  devices.getDevicePropertyU32("kelNumberOfSlots", value);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(devices.getInterfacePath(), std::string("/dev/qv/qvdev0\\") + kInterface + "\\0");
  EXPECT_EQ(devices.getDriverName(), "qvdev0");

  EXPECT_EQ(catchError([&] { devices.getBusPropertyU32("pciRevision", value); }).code, -52006);
  EXPECT_EQ(catchError([&] { devices.getKey(); }).code, -52006);
  EXPECT_EQ(catchError([&] { devices.getDevicePropertyString("kelProductName", text); }).code,
            -52024);
  // A number of the wrong size does not fit its four bytes.
  modules_[0]->setBusProperty("pciBusNumber", std::string(8, '\1'));
  EXPECT_EQ(catchError([&] { devices.getBusPropertyU32("pciBusNumber", value); }).code, -52019);
  devices.next();
  EXPECT_TRUE(devices.isEnd());
}

TEST_F(DeviceIterators, PciTokens) {
  sim::ModuleDescription unknown;
  unknown.subsystemId = 0x7AFF;
  add("qvdev0", {});
  add("qvdev1", unknown);
  sim::ModuleDescription cut;
  cut.slotPath = std::string("PCI0\0tail", 9);
  add("qvdev2", cut);
  sim::ModuleDescription empty;
  empty.slotPath = "";
  add("qvdev3", empty);
  qvkel::DeviceIteratorCustomPersistentToken devices(kInterface, pciTokens_);
  EXPECT_EQ(keys(devices), (std::vector<std::string>{
                               "Model=BRM-6812;PCISlotPath=PCI0/BUS3/DEV0",
                               "Model=Unknown device;PCISlotPath=PCI0/BUS3/DEV0",
                               "Model=BRM-6812;PCISlotPath=PCI0",
                               "Model=BRM-6812;PCISlotPath=",
                           }));
}

// A module whose token cannot be built is left out of the file; the others get their aliases
// in enumeration order.
TEST_F(DeviceIterators, ConfigurationOverPresentModules) {
  sim::ModuleDescription noVendor;
  noVendor.missing = {"pciVendorID"};
  sim::ModuleDescription second;
  second.slotPath = "PCI0/BUS4/DEV0";
  add("qvdev0", {});
  add("qvdev1", noVendor);
  add("qvdev2", second);
  disctest::AliasFile alias;
  qvkel::DeviceIteratorFactoryCustomPersistentToken factory(kInterface, pciTokens_);
  auto devices = factory.create();
  qvjsonconfig::Configuration session(alias.file(), *devices, alias.provider(), nullptr);
  const auto& entries = session.getData().getEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(disctest::aliasOf(session.getData(), "Model=BRM-6812;PCISlotPath=PCI0/BUS3/DEV0"),
            "Vandrel1");
  EXPECT_EQ(disctest::aliasOf(session.getData(), "Model=BRM-6812;PCISlotPath=PCI0/BUS4/DEV0"),
            "Vandrel2");
}

}  // namespace
