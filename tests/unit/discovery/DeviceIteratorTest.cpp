// Device iterators, tokens and platform keys over modules of the simulated driver.
#include <cstdint>

#include "DiscoveryTestSupport.h"
#include "SimulatedModules.h"
#include "discovery/DeviceIteratorCustomPersistentToken.h"
#include "session/PciModelNameIdentifierCodegen.h"
#include "sim/libs/MakerLibraries.h"

namespace {

using disctest::catchError;
using disctest::moduleAt;
using qvjsonconfig::VUSKDeviceIterator;

constexpr const char* kInterface = "qvvandrelbrenmoork_vandrelbrenmoor";
constexpr const char* kPxiLibrary = "libqvqpxi.so.1";
constexpr uint32_t kNowhere = sim::libs::QPxiControl::kNoChassis;

class DeviceIterators : public ::testing::Test {
 protected:
  DeviceIterators() {
    pxiControl_.reset();
    usePxiLibrary(sim::LibraryChoice::Present);
  }
  ~DeviceIterators() override { pxiControl_.reset(); }

  void usePxiLibrary(sim::LibraryChoice choice) {
    testbed_.setLibrary(kPxiLibrary, choice,
                        sim::libs::standInPath(kPxiLibrary, sim::libs::Variant::Present));
  }

  // Adds a module with the description, its device interface first.
  sim::Module& add(const std::string& instance, const sim::ModuleDescription& description) {
    modules_.push_back(std::make_unique<sim::Module>(testbed_, instance));
    modules_.back()->deviceInterface();
    sim::describe(*modules_.back(), description, pxiControl_);
    return *modules_.back();
  }

  std::vector<std::string> pxiKeys() {
    qverr::Status status;
    qvkel::QPxiLibrary pxi(status);
    qvkel::PersistentTokenGeneratorPxi tokens(models_, pxi);
    qvkel::DeviceIteratorCustomPersistentToken devices(kInterface, tokens);
    return keys(devices);
  }

  std::vector<std::string> keys(qvjsonconfig::DeviceIteratorInterface& devices) {
    std::vector<std::string> out;
    for (; !devices.isEnd(); devices.next()) out.push_back(devices.getKey());
    return out;
  }

  const qvkel::IPciModelNameIdentifier& models_ = qvvandrelbrenmoork::pciModelNameIdentifier();
  qvkel::PersistentTokenGeneratorPci pciTokens_{models_};
  sim::Testbed testbed_;
  sim::libs::QPxiControl pxiControl_;
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

TEST_F(DeviceIterators, PxiTokens) {
  add("qvdev0", moduleAt(3, 1, 2));
  add("qvdev1", moduleAt(4, 12, 17));
  add("qvdev2", moduleAt(5, 0, 0));
  add("qvdev3", moduleAt(6, kNowhere, 3));
  add("qvdev4", moduleAt(7, 2, kNowhere));
  add("qvdev5", moduleAt(8));  // unknown to the library
  EXPECT_EQ(pxiKeys(), (std::vector<std::string>{
                           "Model=BRM-6812;Chassis=1;Slot=2",
                           "Model=BRM-6812;Chassis=12;Slot=17",
                           "Model=BRM-6812;Chassis=0;Slot=0",
                           "Model=BRM-6812;PCISlotPath=PCI0/BUS6",
                           "Model=BRM-6812;PCISlotPath=PCI0/BUS7",
                           "Model=BRM-6812;PCISlotPath=PCI0/BUS8",
                       }));
  EXPECT_EQ(pxiControl_.openHandles(), 0);

  // A failing query call means not placed; nothing escapes.
  pxiControl_.failNext("qvqpxi_getU32Attribute", -52010);
  EXPECT_EQ(pxiKeys()[0], "Model=BRM-6812;PCISlotPath=PCI0/BUS3");
  EXPECT_EQ(pxiControl_.openHandles(), 0);

  // Without the library every module has the PCI form.
  usePxiLibrary(sim::LibraryChoice::Absent);
  EXPECT_EQ(pxiKeys()[1], "Model=BRM-6812;PCISlotPath=PCI0/BUS4");
}

TEST_F(DeviceIterators, APxiQueryReadsChassisThenSlotAndClosesItsItems) {
  add("qvdev0", moduleAt(3, 1, 2));
  pxiControl_.reset();
  pxiControl_.addDevice(3, 0, 0, 1, 2);
  pxiKeys();
  EXPECT_EQ(pxiControl_.calls(),
            (std::vector<std::string>{"qvqpxi_openPXISession", "qvqpxi_openDeviceByAddr",
                                      "qvqpxi_getU32Attribute", "qvqpxi_getU32Attribute",
                                      "qvqpxi_close", "qvqpxi_close"}));
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
