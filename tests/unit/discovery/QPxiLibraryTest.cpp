#include "discovery/QPxiLibrary.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/errors/Exception.h"
#include "sim/kernel/Testbed.h"
#include "sim/libs/MakerLibraries.h"
#include "tests/unit/foundation/system/DetailReader.h"

namespace {

constexpr const char* kLibrary = "libqvqpxi.so.1";

class QPxiLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control.reset();
    use(sim::LibraryChoice::Present, sim::libs::Variant::Present);
  }
  void use(sim::LibraryChoice choice, sim::libs::Variant variant) {
    testbed.setLibrary(kLibrary, choice, sim::libs::standInPath(kLibrary, variant));
  }
  long calls(const std::string& name) const {
    auto log = control.calls();
    return std::count(log.begin(), log.end(), name);
  }

  sim::Testbed testbed;
  sim::libs::QPxiControl control;
};

TEST_F(QPxiLibraryTest, LoadsAndResolvesEverySymbolInTableOrder) {
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  EXPECT_EQ(status.code, 0);
  EXPECT_TRUE(library.loaded);
  EXPECT_TRUE(library.isLoaded());
  for (size_t i = 0; i < qvqpxi::DynamicQPXILibrary::kEntryCount; ++i)
    EXPECT_NE(library.entry(i), nullptr) << qvqpxi::DynamicQPXILibrary::kEntryNames[i];
  EXPECT_STREQ(qvqpxi::DynamicQPXILibrary::kEntryNames[16], "qvqpxi_cancelWaitForInvalidation");
}

TEST_F(QPxiLibraryTest, AbsentLibraryLeavesTheLoaderStatusAndNoEntryPoints) {
  use(sim::LibraryChoice::Absent, sim::libs::Variant::Present);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(qvtest::detailString(status.detailText(), {"qvdynlib_debug", "path"}), kLibrary);
  EXPECT_FALSE(library.loaded);
  for (size_t i = 0; i < qvqpxi::DynamicQPXILibrary::kEntryCount; ++i)
    EXPECT_EQ(library.entry(i), nullptr);
  // A call that should never be made answers instead of jumping to nothing.
  qverr::Status callStatus;
  EXPECT_EQ(library.openPXISession(0, &callStatus), 0u);
  EXPECT_EQ(callStatus.code, -52010);
}

TEST_F(QPxiLibraryTest, MissingLastSymbolFailsTheLoadWithTheOthersResolved) {
  use(sim::LibraryChoice::MissingSymbol, sim::libs::Variant::MissingSymbol);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(qvtest::detailString(status.detailText(), {"qvdynlib_debug", "qvdynlib_symbol"}),
            "qvqpxi_cancelWaitForInvalidation");
  EXPECT_FALSE(library.loaded);
  for (size_t i = 0; i + 1 < qvqpxi::DynamicQPXILibrary::kEntryCount; ++i)
    EXPECT_NE(library.entry(i), nullptr);
  EXPECT_EQ(library.entry(16), nullptr);
}

TEST_F(QPxiLibraryTest, StatusAlreadyInErrorLoadsNothing) {
  qverr::Status status;
  status.setCode(-1);
  qvkel::QPxiLibrary library(status);
  EXPECT_EQ(status.code, -1);
  EXPECT_FALSE(library.loaded);
  EXPECT_EQ(library.entry(0), nullptr);
}

TEST_F(QPxiLibraryTest, DevicePlacementAndSlotAttributes) {
  control.addDevice(0x21, 5, 3, 3, 7, 0xABCD);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  {
    qvqpxi::Session session = qvqpxi::openPXISession(0, library);
    EXPECT_EQ(session.getU32Attribute(0), 1u);
    qvqpxi::Device device = session.openDeviceByAddr(qvqpxi::PciAddress{0, 0x21, 5, 3});
    EXPECT_EQ(device.getU32Attribute(4096), 3u);
    EXPECT_EQ(device.getU32Attribute(8200), 7u);
    qvqpxi::Slot slot = device.getSlot();
    EXPECT_EQ(slot.getU32Attribute(8200), 7u);
    EXPECT_EQ(slot.getU32Attribute(8197), 0xABCDu);
    EXPECT_EQ(device.getChassis().getU32Attribute(4096), 3u);
    qvqpxi::PciAddress address = device.getPciAddress();
    EXPECT_EQ(address.reserved, 0u);
    EXPECT_EQ(address.bus, 0x21u);
    EXPECT_EQ(address.device, 5u);
    EXPECT_EQ(address.function, 3u);
  }
  // Every handle taken was given back.
  EXPECT_EQ(control.openHandles(), 0);
}

TEST_F(QPxiLibraryTest, ListsWalkTheContainersAndDestroyThem) {
  control.addDevice(1, 0, 0, 1, 2);
  control.addDevice(2, 0, 0, 1, 3);
  control.addDevice(3, 0, 0, 1, 3);
  control.addDevice(4, 0, 0, 2, 5);
  control.setTriggerBridges(1, 2);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  {
    qvqpxi::Session session = qvqpxi::openPXISession(0, library);
    std::vector<qvqpxi::Chassis> chassis = session.getChassisList();
    ASSERT_EQ(chassis.size(), 2u);
    EXPECT_EQ(chassis[1].getU32Attribute(4096), 2u);
    std::vector<qvqpxi::Slot> slots = chassis[0].getSlots();
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[1].getU32Attribute(8200), 3u);
    EXPECT_EQ(slots[1].getDevices().size(), 2u);
    EXPECT_EQ(chassis[0].getTriggerBridges().size(), 2u);
    EXPECT_EQ(session.getItems(qvqpxi::kChassisOfSession).size(), 2u);
  }
  EXPECT_EQ(calls("qvqpxi_getItemContainer"), 5);
  EXPECT_EQ(calls("qvqpxi_destroyItemContainer"), 5);
  EXPECT_EQ(control.openHandles(), 0);
}

TEST_F(QPxiLibraryTest, FailedWalkStillDestroysItsContainer) {
  control.addDevice(1, 0, 0, 1, 2);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  qvqpxi::Session session = qvqpxi::openPXISession(0, library);
  control.failNext("qvqpxi_ItemIterator_nextItem", -52003);
  EXPECT_THROW(session.getChassisList(), qverr::Exception);
  EXPECT_EQ(calls("qvqpxi_destroyItemContainer"), 1);
}

TEST_F(QPxiLibraryTest, LibraryFailureIsRaisedWithItsCodeAndDetail) {
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  qvqpxi::Session session = qvqpxi::openPXISession(0, library);
  try {
    session.openDeviceByAddr(qvqpxi::PciAddress{0, 9, 9, 9});
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -52006);
    EXPECT_EQ(qvtest::detailString(e.what(), {"qvqpxi", "call"}), "qvqpxi_openDeviceByAddr");
  }
}

TEST_F(QPxiLibraryTest, CopiesDuplicateHandlesExceptTheNullHandle) {
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  {
    qvqpxi::Item none(library, 0);
    qvqpxi::Item copy(none);
    EXPECT_EQ(copy.handle(), 0u);
  }
  EXPECT_EQ(calls("qvqpxi_duplicate"), 0);
  EXPECT_EQ(calls("qvqpxi_close"), 2);  // also for handle 0
  {
    qvqpxi::Session session = qvqpxi::openPXISession(0, library);
    qvqpxi::Session copy(session);
    EXPECT_NE(copy.handle(), session.handle());
    EXPECT_EQ(copy.getU32Attribute(0), 1u);
  }
  EXPECT_EQ(calls("qvqpxi_duplicate"), 1);
  EXPECT_EQ(control.openHandles(), 0);
}

TEST_F(QPxiLibraryTest, DeviceKitViewSeesSessionValidityAndPlacement) {
  control.addDevice(0x40, 1, 2, 4, 9, 17);
  qverr::Status status;
  qvkel::QPxiLibrary library(status);
  const qvkel::IPxiQuery& query = library;
  auto session = query.openPxiSession(0);
  auto device = session->openDeviceByAddr(qvkel::PxiPciAddress{0, 0x40, 1, 2});
  EXPECT_EQ(device->getU32Attribute(qvkel::IPxiQuery::kChassisNumber), 4u);
  EXPECT_EQ(device->getSlot()->getU32Attribute(qvkel::IPxiQuery::kSlotAttribute8197), 17u);
  control.invalidateSessions();
  EXPECT_EQ(session->getU32Attribute(qvkel::IPxiQuery::kSessionValidity), 0u);
  EXPECT_THROW(session->openDeviceByAddr(qvkel::PxiPciAddress{0, 0x40, 1, 2}), qverr::Exception);
  EXPECT_EQ(query.openPxiSession(0)->getU32Attribute(qvkel::IPxiQuery::kSessionValidity), 1u);
}

}  // namespace
