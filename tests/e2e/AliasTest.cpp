// Aliases as a host sees them through the plug-in's exports on the default simulated chassis:
// what the driver's no-alias flag hides, and aliases set and read back under load.
#include <strings.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "Watchdog.h"
#include "discovery/DiscoveryTestSupport.h"
#include "qvkel/IFpgaSession.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/PluginHost.h"

namespace {

using namespace std::chrono_literals;
using DeviceListPtr = std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)>;

constexpr const char* kAliasFile = "/var/local/telmora/qv-vandrel/qvvandrelbrenmoor.config";

class Aliases : public e2etest::DefaultChassis {
 protected:
  // A fresh, refreshed device list, owned by the caller.
  DeviceListPtr list() {
    int32_t code = 0;
    qvkel::IDeviceList* list = plugin().deviceList(&code);
    EXPECT_EQ(code, 0);
    DeviceListPtr owned(list, [](qvkel::IDeviceList* l) {
      if (l != nullptr) l->release();
    });
    if (list != nullptr) {
      nQVVUSKS100::tStatus status;
      list->refresh(&status);
      EXPECT_EQ(status.code, 0);
    }
    return owned;
  }
};

// The device a host finds by alias in a refreshed list, as a host does: by each device's alias.
qvkel::IDevice* findByAlias(qvkel::IDeviceList& list, const char* alias) {
  for (uint32_t i = 0; i < list.getCount(); ++i) {
    nQVVUSKS100::tStatus status;
    qvkel::IDevice* device = list.getDevice(i, 0, &status);
    const char* own = device != nullptr ? device->getAlias() : nullptr;
    if (own != nullptr && ::strcasecmp(own, alias) == 0) return device;
  }
  return nullptr;
}

TEST_F(Aliases, TheDriversNoAliasAnswerHidesAStoredAliasAndKeepsItInTheFile) {
  e2etest::Watchdog watchdog(120s);
  const std::string file = testbed_.path(kAliasFile);
  disctest::writeFile(file, R"({"version": 1, "devices": {"Model=BRM-6814;Chassis=1;Slot=3":
      {"alias": "Mine"}}})");
  sim::Module& flagged = chassis_->module(1);
  ASSERT_EQ(plugin().initialize(), 0);
  DeviceListPtr devices = list();
  nQVVUSKS100::tStatus status;
  qvkel::IDevice* device = devices->getDevice(1, 0, &status);
  qvkel::IDevice* other = devices->getDevice(0, 0, &status);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(std::string(device->getName(nullptr)), "Model=BRM-6814;Chassis=1;Slot=3");
  ASSERT_STREQ(device->getAlias(), "Mine");
  const std::string stored = disctest::readFile(file);
  ASSERT_NE(stored.find("\"Mine\""), std::string::npos);

  const struct {
    const char* answer;
    std::function<void()> make;
  } answers[] = {
      {"flag set", [&] { flagged.generationQueries().setValue(1, 1); }},
      {"negative result code", [&] { flagged.generationQueries().setStatus(1, -52008); }},
      {"failed call",
       [&] {
         sim::Reply failure;
         failure.err = EIO;
         failure.once = false;
         flagged.deviceInterface().script(0x8020040B, failure);
       }},
  };
  for (const auto& row : answers) {
    SCOPED_TRACE(row.answer);
    row.make();
    EXPECT_STREQ(device->getAlias(), "");
    DeviceListPtr fresh = list();
    EXPECT_EQ(sim::host::readDevices(*fresh)[1].alias, "");
    EXPECT_EQ(findByAlias(*fresh, "mine"), nullptr);
    // It takes no other alias; the empty one it has already.
    status = {};
    device->setAlias("Other", 0, nullptr, &status);
    EXPECT_EQ(status.code, -63193);
    status = {};
    device->setAlias("", 0, nullptr, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(disctest::readFile(file), stored);

    flagged.generationQueries().clear(1);
    flagged.deviceInterface().clearScripts();
    EXPECT_STREQ(device->getAlias(), "Mine");
    fresh = list();
    qvkel::IDevice* found = findByAlias(*fresh, "mine");
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->getName(nullptr), device->getName(nullptr));
  }

  // While hidden, its name is another module's for the taking: nobody answers to it.
  flagged.generationQueries().setValue(1, 1);
  qvkel::IDevice* holder = reinterpret_cast<qvkel::IDevice*>(1);
  status = {};
  other->setAlias("mine", 0, &holder, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(holder, nullptr);
  EXPECT_STREQ(other->getAlias(), "mine");
  DeviceListPtr fresh = list();
  qvkel::IDevice* found = findByAlias(*fresh, "Mine");
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->getName(nullptr), other->getName(nullptr));
  EXPECT_NE(disctest::readFile(file).find("\"Mine\""), std::string::npos);
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
}

// Seconds of the load run: a few in CI; QV_ALIAS_STRESS_SECONDS asks for a longer run.
int stressSeconds() {
  const char* asked = std::getenv("QV_ALIAS_STRESS_SECONDS");
  const int seconds = asked != nullptr ? std::atoi(asked) : 0;
  return seconds > 0 ? seconds : 2;
}

// One thread per module sets aliases of its own and reads each back through the same device
// object; the first one refreshes its device list before each set. Meanwhile four threads open
// and close sessions on four modules. Every read-back must give the alias just set.
TEST_F(Aliases, EverySetReadsBackUnderLoad) {
  const auto duration = std::chrono::seconds(stressSeconds());
  e2etest::Watchdog watchdog(duration + 120s);
  ASSERT_EQ(plugin().initialize(), 0);
  const size_t modules = chassis_->size();
  ASSERT_GE(modules, 5u);
  const std::string design = qvsim::BitfileBuilder().text();

  std::atomic<bool> stop{false};
  std::atomic<long> sets{0}, readBacks{0}, mismatches{0}, previous{0}, failures{0}, opens{0};
  std::mutex reportMutex;
  std::string firstMismatch;

  const auto setter = [&](size_t index) {
    DeviceListPtr devices = list();
    std::string before;
    for (long n = 0; !stop; ++n) {
      nQVVUSKS100::tStatus status;
      if (index == 0) devices->refresh(&status);
      qvkel::IDevice* device = devices->getDevice(static_cast<uint32_t>(index), 0, &status);
      if (device == nullptr) {
        ++failures;
        continue;
      }
      const std::string alias = "m" + std::to_string(index) + "n" + std::to_string(n);
      device->setAlias(alias.c_str(), 0, nullptr, &status);
      if (status.code != 0) {
        ++failures;
        continue;
      }
      ++sets;
      const char* read = device->getAlias();
      ++readBacks;
      const std::string got = read != nullptr ? read : "(null)";
      if (got != alias) {
        ++mismatches;
        if (got == before) ++previous;
        std::lock_guard<std::mutex> lock(reportMutex);
        if (firstMismatch.empty()) firstMismatch = "set " + alias + ", read " + got;
      }
      before = alias;
    }
  };
  const auto opener = [&](size_t index) {
    DeviceListPtr devices = list();
    while (!stop) {
      nQVVUSKS100::tStatus status;
      qvkel::IDevice* device = devices->getDevice(static_cast<uint32_t>(index), 0, &status);
      qvkel::IFpgaSession* session =
          device != nullptr ? device->createFpgaSession(5, &status) : nullptr;
      if (session == nullptr) {
        ++failures;
        continue;
      }
      session->open(design.c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000, &status);
      if (status.code == 0) ++opens;
      session->release();
    }
  };

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (size_t i = 0; i < modules; ++i) threads.emplace_back(setter, i);
  for (size_t i = 0; i < 4; ++i) threads.emplace_back(opener, i);
  std::this_thread::sleep_for(duration);
  // A loaded machine may open its first session late: the run ends once both sides have moved.
  while (sets == 0 || opens == 0) std::this_thread::sleep_for(10ms);
  stop = true;
  for (std::thread& thread : threads) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::printf(
      "alias load: %.1f s, %ld sets, %ld read-backs, %ld mismatches (%ld the previous "
      "alias), %ld failed calls, %ld sessions opened\n",
      seconds, sets.load(), readBacks.load(), mismatches.load(), previous.load(), failures.load(),
      opens.load());
  EXPECT_EQ(mismatches, 0) << firstMismatch;
  EXPECT_EQ(failures, 0);
  EXPECT_GT(sets, 0);
  EXPECT_GT(opens, 0);
  EXPECT_EQ(plugin().finalize(), 0);
}

}  // namespace
