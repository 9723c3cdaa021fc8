// A module that disappears under an open session, as the host sees it through the plug-in's
// exports: every call that needs the hardware reports the device gone, the device list drops
// the module, and the session still closes and releases cleanly.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/HostSession.h"
#include "sim/host/PluginHost.h"

namespace {

constexpr std::int32_t kDeviceGone = -52006;

TEST(ModuleRemoval, ASessionOfARemovedModuleFailsEveryHardwareCallAndStillCloses) {
  sim::Testbed testbed;
  sim::libs::QPxiControl pxi;
  pxi.reset();
  sim::installMakerSoftware(testbed);
  sim::Chassis chassis(testbed, sim::readChassis(QV_DEFAULT_CHASSIS), pxi);
  sim::host::PluginLibrary plugin(QV_PLUGIN_PATH);
  ASSERT_EQ(plugin.initialize(), 0);
  std::int32_t code = 0;
  std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> devices(
      plugin.deviceList(&code), [](qvkel::IDeviceList* l) { l->release(); });
  ASSERT_EQ(code, 0);
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  const std::vector<sim::host::DeviceRow> before = sim::host::readDevices(*devices);
  ASSERT_EQ(before.size(), chassis.size());
  qvkel::IFpgaSession* session = devices->getDevice(0, 0, &status)->createFpgaSession(5, &status);
  ASSERT_NE(session, nullptr);
  qvsim::BitfileBuilder design;
  design.addRegister({"Value", 0x10});
  session->open(design.text().c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000,
                &status);
  ASSERT_EQ(status.code, 0) << status.file << " " << status.line;
  sim::host::HostSession host(*session);
  const std::uint32_t clipVersion[] = {0};
  std::uint32_t word = 0;
  const std::vector<std::pair<const char*, std::function<std::int32_t()>>> calls = {
      {"register read",
       [&] {
         status = {};
         session->readU32(0x10, false, &status);
         return status.code;
       }},
      {"register write",
       [&] {
         status = {};
         session->writeU32(0x10, 7, false, &status);
         return status.code;
       }},
      {"array read",
       [&] {
         std::array<std::uint32_t, 2> words{};
         status = {};
         session->readArrayU32(0x10, words.data(), words.size(), false, &status);
         return status.code;
       }},
      {"reset",
       [&] {
         status = {};
         session->reset(&status);
         return status.code;
       }},
      {"kernel pass-through", [&] { return host.request(0, clipVersion, 4, &word, 4); }},
      {"attribute set and commit",
       [&] {
         const std::int32_t set = host.set(0x20000010, "AI0", "0.3");  // "AI Range"
         return set < 0 ? set : host.commit();
       }},
  };
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), 0) << name << " before the removal";

  chassis.module(0).removeInterface(sim::kDeviceInterfaceName);
  for (const auto& [name, call] : calls) EXPECT_EQ(call(), kDeviceGone) << name;

  // The device-node watch tells the plug-in; bounded, so a lost notice fails the test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!devices->hasChanged() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  status = {};
  devices->refresh(&status);
  EXPECT_EQ(status.code, 0);
  const std::vector<sim::host::DeviceRow> after = sim::host::readDevices(*devices);
  EXPECT_EQ(after.size(), before.size() - 1);
  EXPECT_TRUE(std::none_of(after.begin(), after.end(), [&](const sim::host::DeviceRow& row) {
    return row.token == before[0].token;
  }));

  status = {};
  // The close reads the FPGA state once and reports that the device is gone; the session is
  // released all the same (the leak check at exit would see it otherwise).
  session->close(0, &status);
  EXPECT_EQ(status.code, kDeviceGone);
  devices.reset();
  EXPECT_EQ(plugin.finalize(), 0);
}

}  // namespace
