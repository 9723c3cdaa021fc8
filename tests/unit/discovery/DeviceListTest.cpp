// The device list over a device manager's snapshots: devices in snapshot order, generations,
// failed snapshots, the resolver's token search and listeners carried to both managers.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "AliasTestSupport.h"
#include "discovery/DeviceList.h"
#include "qvkel/IDevice.h"

namespace {

using aliastest::device;

// Snapshots as the test sets them; can fail, and keeps its listeners.
class Discoverer : public aliastest::FakeDiscoverer {
 public:
  using FakeDiscoverer::FakeDiscoverer;
  bool failListing = false;
  std::vector<qvkel::IChangeNotificationHandler*> listeners;

  std::vector<std::shared_ptr<const qvkel::DeviceInfo>> getDevices(
      std::uint64_t& generation) override {
    if (failListing) throw std::bad_alloc();
    return FakeDiscoverer::getDevices(generation);
  }
  void addListener(qvkel::IChangeNotificationHandler* listener) override {
    listeners.push_back(listener);
  }
  void removeListener(qvkel::IChangeNotificationHandler* listener) override {
    std::erase(listeners, listener);
  }
};

class Aliases : public qvkel::IAliasManager {
 public:
  bool fail = false;
  std::vector<qvkel::IChangeNotificationHandler*> listeners;

  void addChangeListener(qvkel::IChangeNotificationHandler* listener) override {
    if (fail) throw std::invalid_argument("refused");
    listeners.push_back(listener);
  }
  void removeChangeListener(qvkel::IChangeNotificationHandler* listener) override {
    if (fail) throw std::invalid_argument("refused");
    std::erase(listeners, listener);
  }
  std::string getAlias(const qvkel::DeviceInfo&) override { return {}; }
  void setAlias(const qvkel::DeviceInfo&, const std::string&, std::uint32_t,
                std::string&) override {}
};

class NoSessions : public qvkel::ISessionFactory {
 public:
  std::unique_ptr<qvkel::user::Session> createSession(std::shared_ptr<const qvkel::DeviceInfo>,
                                                      const char*, const char*, uint32_t) override {
    throw std::logic_error("not used");
  }
  qvkel::IFpgaSessionTraditional* createTraditionalSession(
      std::shared_ptr<const qvkel::DeviceInfo>) override {
    throw std::logic_error("not used");
  }
};

class Listener : public qvkel::IChangeNotificationHandler {
 public:
  void onChange() override {}
};

class DeviceListTest : public ::testing::Test {
 protected:
  std::vector<std::string> tokens() {
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < list_.getCount(); ++i)
      out.push_back(list_.getDevice(i, 0, nullptr)->getName(nullptr));
    return out;
  }

  Discoverer discoverer_{{device("Model=BRM-6812;Chassis=1;Slot=2", "PXI1Slot2"),
                          device("Model=BRM-6830;PCISlotPath=PCI0/BUS9/DEV0")}};
  Aliases aliases_;
  NoSessions sessions_;
  qvkel::DeviceList list_{discoverer_, sessions_, aliases_};
};

TEST_F(DeviceListTest, RefreshTakesTheSnapshotAndItsGeneration) {
  EXPECT_EQ(list_.reserved(), 0);
  EXPECT_TRUE(list_.hasChanged());
  EXPECT_EQ(list_.getCount(), 0u);
  nQVVUSKS100::tStatus status;
  list_.refresh(&status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(tokens(), (std::vector<std::string>{"Model=BRM-6812;Chassis=1;Slot=2",
                                                "Model=BRM-6830;PCISlotPath=PCI0/BUS9/DEV0"}));
  EXPECT_FALSE(list_.hasChanged());
  discoverer_.set({device("Model=BRM-6812;Chassis=1;Slot=2")});
  EXPECT_TRUE(list_.hasChanged());
  list_.refresh(&status);
  EXPECT_EQ(list_.getCount(), 1u);
}

TEST_F(DeviceListTest, AFailedSnapshotLeavesTheListEmptyAndStale) {
  list_.refresh(nullptr);
  discoverer_.set({});
  discoverer_.failListing = true;
  nQVVUSKS100::tStatus status;
  list_.refresh(&status);
  EXPECT_EQ(status.code, -52000);
  EXPECT_STREQ(status.file, "DeviceList");
  EXPECT_EQ(status.line, 42u);
  EXPECT_EQ(list_.getCount(), 0u);
  EXPECT_TRUE(list_.hasChanged()) << "the generation stays the one of the last snapshot";
}

TEST_F(DeviceListTest, TheResolverMatchesTokensWithoutAsciiCase) {
  qvkel::IDeviceResolver& resolver = list_.resolver();
  EXPECT_EQ(resolver.findDevice("model=brm-6812;chassis=1;slot=2"), nullptr) << "empty list";
  list_.refresh(nullptr);
  EXPECT_EQ(resolver.findDevice("MODEL=brm-6830;pcislotpath=pci0/bus9/dev0"),
            list_.getDevice(1, 0, nullptr));
  EXPECT_EQ(resolver.findDevice("Model=BRM-6812;Chassis=1;Slot="), nullptr) << "a prefix";
  EXPECT_EQ(resolver.findDevice("Model=BRM-6812;Chassis=1;Slot=2 "), nullptr);
  EXPECT_EQ(resolver.findDevice(nullptr), nullptr);
}

TEST_F(DeviceListTest, ListenersGoToBothManagersOrToNeither) {
  Listener listener;
  nQVVUSKS100::tStatus status;
  list_.registerListener(&listener, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(discoverer_.listeners.size(), 1u);
  EXPECT_EQ(aliases_.listeners.size(), 1u);
  list_.unregisterListener(&listener);
  EXPECT_TRUE(discoverer_.listeners.empty());
  EXPECT_TRUE(aliases_.listeners.empty());

  aliases_.fail = true;
  list_.registerListener(&listener, &status);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(status.line, 93u);
  EXPECT_TRUE(discoverer_.listeners.empty()) << "taken back from the device manager";
  list_.unregisterListener(&listener);  // the failure is not reported
}

}  // namespace
