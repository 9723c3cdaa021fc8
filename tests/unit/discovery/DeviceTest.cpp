// The host's device object on a simulated module, with doubles of the alias manager and the
// device list's resolver.

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "discovery/Device.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "qvkel/IFpgaSession.h"
#include "tests/unit/devkit/HostSessionFixture.h"

namespace {

using nQVVUSKS100::tStatus;

constexpr qverr::StatusLocation kDoubleLocation{"AliasDouble", 1, qverr::kComponent};

class AliasManagerDouble : public qvkel::IAliasManager {
 public:
  void addChangeListener(qvkel::IChangeNotificationHandler*) override {}
  void removeChangeListener(qvkel::IChangeNotificationHandler*) override {}
  std::string getAlias(const qvkel::DeviceInfo& device) override {
    if (failWith != 0) qverr::raise(failWith, kDoubleLocation);
    return aliases[device.token];
  }
  void setAlias(const qvkel::DeviceInfo& device, const std::string& alias, uint32_t mode,
                std::string& conflictingToken) override {
    if (failWith != 0) qverr::raise(failWith, kDoubleLocation);
    for (auto& [token, held] : aliases)
      if (token != device.token && held == alias) conflictingToken = token;
    if (!conflictingToken.empty() && mode != kTakeOver) return;
    if (!conflictingToken.empty()) aliases[conflictingToken].clear();
    aliases[device.token] = alias;
  }
  std::map<std::string, std::string> aliases;
  int32_t failWith = 0;
};

class ResolverDouble : public qvkel::IDeviceResolver {
 public:
  qvkel::IDevice* findDevice(const char* name) override {
    asked = name;
    return found;
  }
  std::string asked;
  qvkel::IDevice* found = nullptr;
};

std::shared_ptr<const qvkel::DeviceInfo> infoOf(std::string token, std::string pxiName,
                                                uint32_t deviceNumber) {
  auto info = std::make_shared<qvkel::DeviceInfo>();
  info->token = std::move(token);
  info->pxiName = std::move(pxiName);
  info->deviceNumber = deviceNumber;
  return info;
}

class DeviceTest : public devkit_test::HostSessionTest {
 protected:
  DeviceTest() {
    sim.module.setAttribute(1, 42);  // the legacy value, a driver attribute
    factory.traditional = [this] {
      ++legacySessions;
      return factory.makeTraditionalSession();
    };
  }
  AliasManagerDouble aliases;
  ResolverDouble resolver;
  qvkel::Device device{infoOf("Model=BRM-6812;Serial=01A2", "PXI1Slot2", 0x10210F00), &factory,
                       &aliases, &resolver};
  qvkel::Device sibling{infoOf("Model=BRM-6812;Serial=01A3", "", 0x10220F00), &factory, &aliases,
                        &resolver};
  int legacySessions = 0;
};

TEST_F(DeviceTest, TheHostCallsBySlot) {
  qvkel::IDevice* host = &device;
  void** table = *reinterpret_cast<void***>(host);
  using Word = uint32_t (*)(void*);
  using Text = const char* (*)(void*, const void*);
  using Wide = uint64_t (*)(void*);
  using PlainText = const char* (*)(void*);
  EXPECT_EQ(reinterpret_cast<Word>(table[0])(host), 0u);
  EXPECT_STREQ(reinterpret_cast<Text>(table[1])(host, nullptr), "Model=BRM-6812;Serial=01A2");
  EXPECT_EQ(reinterpret_cast<Wide>(table[2])(host), 0x10210F00u);
  EXPECT_EQ(reinterpret_cast<Word>(table[5])(host), 1u);
  EXPECT_STREQ(reinterpret_cast<PlainText>(table[6])(host), "PXI1Slot2");
  // Slot 11 deletes a device.
  using Delete = void (*)(void*);
  qvkel::IDevice* made = new qvkel::Device(infoOf("t", "", 0), &factory, &aliases, &resolver);
  reinterpret_cast<Delete>((*reinterpret_cast<void***>(made))[11])(made);
}

TEST_F(DeviceTest, TheLegacyValueIsReadOnceAndRememberedAfterASuccessfulSet) {
  EXPECT_EQ(device.getLegacyValue(), 42u);
  EXPECT_EQ(device.getLegacyValue(), 42u);
  EXPECT_EQ(legacySessions, 1);
  tStatus s;
  device.setLegacyValue(5, &s);
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(sim.module.attribute(1), 5u);
  EXPECT_EQ(device.getLegacyValue(), 5u);
  EXPECT_EQ(legacySessions, 2);

  // A write the device refuses is not remembered; the next read asks the device.
  sim.device().script(0x40208301, sim::Reply{{}, -50000, {}, 0, {}, true});
  device.setLegacyValue(6, &s);
  EXPECT_EQ(s.code, -50000);
  EXPECT_EQ(device.getLegacyValue(), 5u);
  EXPECT_EQ(legacySessions, 3);
  // A read that fails answers 0xFFFFFFFF and is tried again next time.
  sim.device().script(0x80208300, sim::Reply{{}, -50000, {}, 0, {}, true});
  qvkel::Device fresh(infoOf("x", "", 0), &factory, &aliases, &resolver);
  EXPECT_EQ(fresh.getLegacyValue(), 0xFFFFFFFFu);
  EXPECT_EQ(fresh.getLegacyValue(), 5u);
  // With an error already in the status nothing happens.
  tStatus earlier;
  earlier.setCode(-1, "host", "host.c", 1);
  device.setLegacyValue(7, &earlier);
  EXPECT_EQ(sim.module.attribute(1), 5u);
}

TEST_F(DeviceTest, FpgaSessionsOfVersionsZeroToFive) {
  tStatus s;
  devkit_test::HostSession session(
      static_cast<qvkel::IFpgaSession207*>(device.createFpgaSession(5, &s)));
  ASSERT_NE(session, nullptr);
  session->open(writeBitfile(qvsim::BitfileBuilder::typical()).c_str(), kSignature, 0, &s);
  EXPECT_EQ(session->getFpgaState(&s), 2u);
  EXPECT_EQ(s.code, 0);
  tStatus refused;
  EXPECT_EQ(device.createFpgaSession(6, &refused), nullptr);
  EXPECT_EQ(refused.code, -63193);
  EXPECT_EQ(device.createFpgaSession(0, &refused), nullptr);  // the error stays
}

TEST_F(DeviceTest, AnAliasAnotherDeviceHoldsIsRefusedUnlessTakenOver) {
  tStatus s;
  qvkel::IDevice* holder = &device;
  sibling.setAlias("bench_1", 0, &holder, &s);
  EXPECT_EQ(holder, nullptr);
  EXPECT_STREQ(sibling.getAlias(), "bench_1");

  resolver.found = &sibling;
  tStatus conflict;
  device.setAlias("bench_1", 0, &holder, &conflict);
  EXPECT_EQ(conflict.code, -52013);
  EXPECT_EQ(holder, &sibling);
  EXPECT_EQ(resolver.asked, "Model=BRM-6812;Serial=01A3");
  EXPECT_STREQ(device.getAlias(), "");

  device.setAlias("bench_1", 1, &holder, &s);
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(holder, &sibling);
  EXPECT_STREQ(device.getAlias(), "bench_1");
  EXPECT_STREQ(sibling.getAlias(), "");

  tStatus null;
  device.setAlias(nullptr, 0, &holder, &null);
  EXPECT_EQ(null.code, -52005);
  EXPECT_EQ(holder, nullptr);

  // Not supported: no alias at all; another failure keeps the text read before.
  aliases.failWith = -63193;
  EXPECT_EQ(device.getAlias(), nullptr);
  aliases.failWith = -52012;
  EXPECT_STREQ(device.getAlias(), "bench_1");
  tStatus failed;
  device.setAlias("bench_2", 1, nullptr, &failed);
  EXPECT_EQ(failed.code, -52012);
  EXPECT_STREQ(device.getAlias(), "bench_1");
}

}  // namespace
