// The device manager over modules of the simulated driver: the scan and its tokens, snapshots
// and generations, the PXI session, shared opening of modules, listeners, and the observer
// thread that rescans on device-node changes.
#include <chrono>

#include "DiscoveryTestSupport.h"
#include "RecordingListener.h"
#include "SimulatedModules.h"
#include "discovery/DeviceIteratorCustomPersistentToken.h"
#include "discovery/DeviceManager.h"
#include "session/PciModelNameIdentifierCodegen.h"
#include "sim/libs/MakerLibraries.h"

namespace {

using disctest::catchError;
using disctest::moduleAt;
using qvkel::DeviceInfo;
using Clock = std::chrono::steady_clock;
using Listener = disctest::RecordingListener;

constexpr const char* kInterface = "qvvandrelbrenmoork_vandrelbrenmoor";
constexpr const char* kPxiLibrary = "libqvqpxi.so.1";

class DeviceManagerTest : public ::testing::Test {
 protected:
  DeviceManagerTest() {
    pxiControl_.reset();
    testbed_.setLibrary(kPxiLibrary, sim::LibraryChoice::Present,
                        sim::libs::standInPath(kPxiLibrary, sim::libs::Variant::Present));
  }
  ~DeviceManagerTest() override {
    manager_.reset();
    pxiControl_.reset();
  }

  sim::Module& add(const std::string& instance, const sim::ModuleDescription& description) {
    modules_.push_back(std::make_unique<sim::Module>(testbed_, instance));
    modules_.back()->deviceInterface();
    sim::describe(*modules_.back(), description, pxiControl_);
    return *modules_.back();
  }

  qvkel::DeviceManager& manager(bool withPxi = true) {
    if (!withPxi) testbed_.setLibrary(kPxiLibrary, sim::LibraryChoice::Absent);
    pxiStatus_ = std::make_unique<qverr::Status>();
    pxi_ = std::make_unique<qvkel::QPxiLibrary>(*pxiStatus_);
    manager_ = std::make_unique<qvkel::DeviceManager>(kInterface, models_, *pxi_);
    manager_->openPxiSession();
    manager_->refreshAndNotify();
    return *manager_;
  }

  std::vector<std::shared_ptr<const DeviceInfo>> snapshot() {
    std::uint64_t generation = 0;
    return manager_->getDevices(generation);
  }
  std::vector<std::string> tokens() {
    std::vector<std::string> out;
    for (const auto& device : snapshot()) out.push_back(device->token);
    return out;
  }

  const qvkel::IPciModelNameIdentifier& models_ = qvvandrelbrenmoork::pciModelNameIdentifier();
  sim::Testbed testbed_;
  sim::libs::QPxiControl pxiControl_;
  std::vector<std::unique_ptr<sim::Module>> modules_;
  std::unique_ptr<qverr::Status> pxiStatus_;
  std::unique_ptr<qvkel::QPxiLibrary> pxi_;
  std::unique_ptr<qvkel::DeviceManager> manager_;
};

std::string pciToken(const std::string& model, std::uint32_t bus) {
  return "Model=" + model + ";PCISlotPath=PCI0/BUS" + std::to_string(bus);
}

TEST_F(DeviceManagerTest, ScanDescribesEachModuleInInterfacePathOrder) {
  add("qvdev3", moduleAt(3, 1, 2));
  sim::ModuleDescription unplaced = moduleAt(4);
  unplaced.pciDevice = 2;
  unplaced.pciFunction = 1;
  add("qvdev1", unplaced);
  // Known to the library, but in no chassis.
  add("qvdev2", moduleAt(5));
  pxiControl_.addDevice(5, 0, 0, sim::libs::QPxiControl::kNoChassis, 0);
  sim::ModuleDescription unknown = moduleAt(6);
  unknown.subsystemId = 0x1234;
  add("qvdev4", unknown);
  sim::ModuleDescription noVendor = moduleAt(7);
  noVendor.missing = {"pciVendorID"};
  add("qvdev0", noVendor);
  manager();

  const auto devices = snapshot();
  ASSERT_EQ(devices.size(), 4u);
  const std::vector<std::tuple<std::string, std::string, std::uint32_t, std::string>> expected{
      {pciToken("BRM-6812", 4), "", 0x1004FD01,
       "/dev/qv/qvdev1\\" + std::string(kInterface) + "\\0"},
      {pciToken("BRM-6812", 5), "", 0x1005FF00,
       "/dev/qv/qvdev2\\" + std::string(kInterface) + "\\0"},
      {"Model=BRM-6812;Chassis=1;Slot=2", "PXI1Slot2", 0x1003FF00,
       "/dev/qv/qvdev3\\" + std::string(kInterface) + "\\0"},
      {pciToken("Unknown device", 6), "", 0x1006FF00,
       "/dev/qv/qvdev4\\" + std::string(kInterface) + "\\0"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    const auto& [token, pxiName, number, path] = expected[i];
    EXPECT_EQ(devices[i]->token, token);
    EXPECT_EQ(devices[i]->pxiName, pxiName);
    EXPECT_EQ(devices[i]->deviceNumber, number) << i;
    EXPECT_EQ(devices[i]->interfacePath, path);
    EXPECT_EQ(devices[i]->interfaceName, manager_->interfaceName());
  }

  // The alias file keys modules by the tokens of the token generator: they must agree.
  qvkel::PersistentTokenGeneratorPxi generator(models_, *pxi_);
  qvkel::DeviceIteratorCustomPersistentToken walk(kInterface, generator);
  std::vector<std::string> generated;
  for (; !walk.isEnd(); walk.next()) {
    try {
      generated.push_back(walk.getKey());
    } catch (const qverr::Exception&) {
    }
  }
  EXPECT_EQ(generated, tokens());
  EXPECT_EQ(pxiControl_.openHandles(), 1) << "only the manager's session stays open";
}

TEST_F(DeviceManagerTest, WithoutThePxiLibraryModulesGoByTheirSlotPath) {
  add("qvdev3", moduleAt(3, 1, 2));
  manager(false);
  EXPECT_EQ(tokens(), std::vector<std::string>{pciToken("BRM-6812", 3)});
  EXPECT_EQ(snapshot()[0]->pxiName, "");
  std::uint64_t generation = 0;
  manager_->getDevices(generation);
  EXPECT_FALSE(manager_->hasChanged(generation));
}

TEST_F(DeviceManagerTest, AStalePxiSessionMarksTheTableChangedAndIsReplaced) {
  add("qvdev3", moduleAt(3, 1, 2));
  manager();
  std::uint64_t generation = 0;
  manager_->getDevices(generation);
  EXPECT_FALSE(manager_->hasChanged(generation));
  EXPECT_TRUE(manager_->hasChanged(generation + 1));

  pxiControl_.invalidateSessions();
  EXPECT_TRUE(manager_->hasChanged(generation));
  const size_t before = pxiControl_.calls().size();
  std::uint64_t next = 0;
  const auto devices = manager_->getDevices(next);
  EXPECT_EQ(next, generation + 1) << "a stale session makes getDevices rescan";
  EXPECT_EQ(devices[0]->pxiName, "PXI1Slot2");
  const auto calls = pxiControl_.calls();
  EXPECT_EQ(std::count(calls.begin() + before, calls.end(), "qvqpxi_openPXISession"), 1);
  EXPECT_FALSE(manager_->hasChanged(next));
}

TEST_F(DeviceManagerTest, RescansDropVanishedModulesAndListAMovedOneOnce) {
  add("qvdev3", moduleAt(3));
  sim::Module& moving = add("qvdev4", moduleAt(4));
  manager();
  const auto proxy = manager_->openInterfaceProxy(snapshot()[0]->interfacePath);

  // The module at bus 4 keeps its token under a new interface path.
  moving.removeInterface(kInterface);
  moving.addInterface(kInterface, "1");
  manager_->refreshAndNotify();
  const auto devices = snapshot();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[1]->token, pciToken("BRM-6812", 4));
  EXPECT_EQ(devices[1]->interfacePath, "/dev/qv/qvdev4\\" + std::string(kInterface) + "\\1");

  // Gone modules leave the table; what a holder has stays alive; an empty scan still counts.
  modules_.clear();
  std::uint64_t before = 0;
  manager_->getDevices(before);
  manager_->refreshAndNotify();
  std::uint64_t after = 0;
  EXPECT_TRUE(manager_->getDevices(after).empty());
  EXPECT_EQ(after, before + 1);
  EXPECT_TRUE(proxy->isOpen());
  EXPECT_EQ(catchError([&] { manager_->openDevice(devices[0]->interfacePath); }).code, -52006);
}

TEST_F(DeviceManagerTest, OpensAreSharedWhileTheProxyLivesAndIsValid) {
  sim::Module& module = add("qvdev3", moduleAt(3));
  manager();
  const std::string path = snapshot()[0]->interfacePath;
  sim::Interface& node = module.deviceInterface();

  auto first = manager_->openDevice(path);
  auto second = manager_->openDevice(path);
  EXPECT_EQ(first.proxy, second.proxy);
  EXPECT_EQ(first.fpga, second.fpga);
  EXPECT_EQ(node.openCount(), 1);
  EXPECT_EQ(node.count(0x80208302), 1u) << "the second open asks the cached proxy";

  // The driver reports the descriptor stale: new objects for new openers, the old ones stay.
  module.setAttributeFlag(false);
  auto third = manager_->openDevice(path);
  EXPECT_NE(third.proxy, first.proxy);
  EXPECT_NE(third.fpga, first.fpga);
  EXPECT_EQ(node.openCount(), 2);
  module.setAttributeFlag(true);

  // Proxy alone: the FPGA object of this open dies at once; a later open builds a new one
  // over the same proxy.
  first = {};
  second = {};
  third = {};
  EXPECT_EQ(node.openCount(), 0);
  auto proxy = manager_->openInterfaceProxy(path);
  auto fourth = manager_->openDevice(path);
  EXPECT_EQ(fourth.proxy, proxy);
  ASSERT_NE(fourth.fpga, nullptr);
  EXPECT_EQ(node.openCount(), 1);
  EXPECT_EQ(catchError([&] { manager_->openDevice("/dev/qv/none"); }).code, -52006);
}

TEST_F(DeviceManagerTest, ListenersAreToldInOrderAndMayChangeTheListWhileTold) {
  add("qvdev3", moduleAt(3));
  manager();
  Listener twice, removed, remover;
  manager_->addListener(nullptr);
  manager_->addListener(&remover);
  manager_->addListener(&twice);
  manager_->addListener(&removed);
  manager_->addListener(&twice);
  remover.body = [&] { manager_->removeListener(&removed); };
  manager_->refreshAndNotify();
  EXPECT_EQ(remover.calls(), 1u);
  EXPECT_EQ(twice.calls(), 2u);
  EXPECT_EQ(removed.calls(), 0u) << "removed before its turn";
  manager_->removeListener(&twice);
  manager_->refreshAndNotify();
  EXPECT_EQ(twice.calls(), 2u) << "one removal removes both registrations";
  EXPECT_EQ(remover.calls(), 2u);
}

TEST_F(DeviceManagerTest, TheObserverRescansOnNodeChangesOfItsInterface) {
  add("qvdev3", moduleAt(3));
  manager();
  Listener listener;
  manager_->addListener(&listener);
  manager_->startObserver();
  std::uint64_t generation = 0;
  manager_->getDevices(generation);

  testbed_.createNode("x\\other_interface\\y");
  testbed_.createNode("x\\" + std::string(kInterface) + "\\y");
  ASSERT_TRUE(listener.waitFor(1));
  EXPECT_EQ(listener.thread(), "qvkel::DeviceNo");
  EXPECT_TRUE(manager_->hasChanged(generation));
  testbed_.deleteNode("x\\" + std::string(kInterface) + "\\y");
  ASSERT_TRUE(listener.waitFor(2));

  // Destroying the manager ends the blocked wait at once.
  const auto start = Clock::now();
  manager_.reset();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(listener.calls(), 2u) << "the other interface's node reached nobody";
}

TEST_F(DeviceManagerTest, AFailedRescanIsRetriedOnceAfterAGrowingPause) {
  add("qvdev3", moduleAt(3));
  manager();
  Listener listener;
  int failures = 3;
  listener.body = [&] {
    if (failures-- > 0) throw std::runtime_error("listener failed");
  };
  manager_->addListener(&listener);
  manager_->startObserver();
  const std::string node = "x\\" + std::string(kInterface) + "\\y";

  // The change fails, and so does the one retry after the first pause.
  testbed_.createNode(node);
  ASSERT_TRUE(listener.waitFor(2));
  EXPECT_GE(listener.gap(0, 1).count(), qvkel::DeviceNotificationObserver::kFirstPauseMs);
  // The next change fails a third time in a row: a longer pause, then a retry that succeeds.
  testbed_.deleteNode(node);
  ASSERT_TRUE(listener.waitFor(4));
  EXPECT_GE(listener.gap(2, 3).count(), 2 * qvkel::DeviceNotificationObserver::kFirstPauseMs);
  // The failure is forgotten after its retry: a change now is one rescan, not two.
  testbed_.createNode(node);
  ASSERT_TRUE(listener.waitFor(5));
  manager_.reset();
  EXPECT_EQ(listener.calls(), 5u);
}

}  // namespace
