// A module that disappears under an open session, as the host sees it through the plug-in's
// exports: every call that needs the hardware reports the device gone, the device list drops
// the module, and the session still closes and releases cleanly.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ChassisSession.h"
#include "sim/host/HostSession.h"

namespace {

constexpr std::int32_t kDeviceGone = -52006;

using ModuleRemoval = e2etest::ChassisSession;

TEST_F(ModuleRemoval, ASessionOfARemovedModuleFailsEveryHardwareCallAndStillCloses) {
  const std::vector<sim::host::DeviceRow> before = sim::host::readDevices(*devices);
  ASSERT_EQ(before.size(), chassis_->size());
  nQVVUSKS100::tStatus status;
  sim::host::HostSession host(*session);
  const std::uint32_t clipVersion[] = {0};
  std::uint32_t word = 0;
  const std::vector<std::pair<const char*, std::function<std::int32_t()>>> calls = {
      {"register read",
       [&] {
         status = {};
         session->readU32(kValueRegister, false, &status);
         return status.code;
       }},
      {"register write",
       [&] {
         status = {};
         session->writeU32(kValueRegister, 7, false, &status);
         return status.code;
       }},
      {"array read",
       [&] {
         std::array<std::uint32_t, 2> words{};
         status = {};
         session->readArrayU32(kValueRegister, words.data(), words.size(), false, &status);
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

  chassis_->module(0).removeInterface(sim::kDeviceInterfaceName);
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

  // The close reads the FPGA state once and reports that the device is gone; the session is
  // released all the same (the leak check at exit would see it otherwise).
  EXPECT_EQ(close(), kDeviceGone);
  EXPECT_EQ(finish(), 0);
}

}  // namespace
