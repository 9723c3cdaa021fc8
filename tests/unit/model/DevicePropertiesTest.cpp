// The device status attributes against the simulated module's status queries and CLIP.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "../attributes/TestSupport.h"
#include "../clip/ClipTestbed.h"
#include "model/DevicePropertiesAPI.h"
#include "sim/device/ClipIoModule.h"
#include "sim/device/DeviceStatus.h"

namespace {

using attrtest::catchError;
using qvvandrel::DevicePropertiesAPI;

constexpr uint32_t kSensorRaw = 0x80200405, kSensorScale = 0x8020040A, kPresence = 0x80200409;
constexpr uint32_t kFpgaTemperature = 0x20000005, kTotalPower = 0x20000006;
constexpr uint32_t kAdcTemperature = 0x2000000C, kTotalIoPower = 0x20000033;
constexpr uint32_t kPowerLimit = 0x2000000B, kTemperatureLimit = 0x2000000A;
constexpr uint32_t kDioVoltage = 0x20000014, kRefClkPin = 0x10000017;
constexpr uint32_t kIoModuleEnabled = 0x40000006, kBusType = 0x1000001D;

class DevicePropertiesTest : public cliptest::ClipTestbed {
 protected:
  // Builds the attributes (asking for sensor presence) and registers them.
  void build() {
    properties = std::make_unique<DevicePropertiesAPI>(proxy, fifo);
    properties->registerAttributes(registry);
    module.deviceInterface().clearLog();
  }
  template <typename T>
  iattr::AttributeInterface<T>& attribute(uint32_t id) {
    return *registry.getTyped<iattr::AttributeInterface<T>>(id, "");
  }
  size_t count(uint32_t command) { return module.deviceInterface().count(command); }

  sim::DeviceStatus status{module.deviceInterface()};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  std::unique_ptr<DevicePropertiesAPI> properties;
};

TEST_F(DevicePropertiesTest, OnlyPresentSensorsAreRegisteredAfterPresenceWasAskedInOrder) {
  status.setSensor(0, {true, 0, 1});
  status.setSensor(6, {true, 0, 1});
  properties = std::make_unique<DevicePropertiesAPI>(proxy, fifo);
  std::vector<uint32_t> asked;
  for (const sim::LogEntry& e : module.deviceInterface().log())
    if (e.command == kPresence) asked.push_back(e.input[0]);
  EXPECT_EQ(asked, (std::vector<uint32_t>{0, 5, 1, 2, 3, 4, 6}));
  properties->registerAttributes(registry);
  EXPECT_EQ(registry.size(), 2u + 11u);
  EXPECT_TRUE(registry.contains(kFpgaTemperature, ""));
  EXPECT_TRUE(registry.contains(kTotalIoPower, ""));
  EXPECT_FALSE(registry.contains(kAdcTemperature, ""));
  EXPECT_EQ(catchError([&] { registry.getAttribute(kTotalPower, ""); }).code, -304404);
}

TEST_F(DevicePropertiesTest, ASensorReadsItsRawValueEveryTimeAndItsScaleOnce) {
  status.setSensor(0, {true, 4500, 100});
  build();
  iattr::AttributeInterface<double>& temperature = attribute<double>(kFpgaTemperature);
  EXPECT_DOUBLE_EQ(temperature.get(), 45.0);
  status.setSensor(0, {true, 4600, 50});
  EXPECT_DOUBLE_EQ(temperature.get(), 46.0);  // the first scale is kept
  EXPECT_EQ(count(kSensorRaw), 2u);
  EXPECT_EQ(count(kSensorScale), 1u);
  EXPECT_EQ(catchError([&] { temperature.set(1.0); }).code, -304414);
}

TEST_F(DevicePropertiesTest, AFailedScaleIsAskedAgainAndAZeroScaleIsNoError) {
  status.setSensor(0, {true, 10, 0});
  build();
  iattr::AttributeInterface<double>& temperature = attribute<double>(kFpgaTemperature);
  module.deviceInterface().script(kSensorScale, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(catchError([&] { temperature.get(); }).code, -52024);
  EXPECT_TRUE(std::isinf(temperature.get()));
  EXPECT_EQ(count(kSensorScale), 2u);
  module.deviceInterface().script(kSensorRaw, sim::Reply{{}, -52024, {}, 0, {}, true});
  EXPECT_EQ(catchError([&] { temperature.get(); }).code, -52024);
  EXPECT_EQ(count(kSensorScale), 2u);
}

TEST_F(DevicePropertiesTest, LimitsAndStoredCalibration) {
  status.setTemperatureLimit({85, 7});
  status.setPowerLimit({38500, 9});
  status.setCalibrationStorageSize(0x80000010);
  status.setCalibration({23, 0x0102030405060708});
  status.setVerification({31, 42});
  build();
  EXPECT_DOUBLE_EQ(attribute<double>(kTemperatureLimit).get(), 85.0);
  EXPECT_DOUBLE_EQ(attribute<double>(kPowerLimit).get(), 38.5);
  EXPECT_EQ(attribute<int>(0x1000000C).get(), static_cast<int>(0x80000010));
  EXPECT_DOUBLE_EQ(attribute<double>(0x2000000D).get(), 23.0);
  EXPECT_EQ(attribute<unsigned long>(0x50000003).get(), 0x0102030405060708u);
  EXPECT_DOUBLE_EQ(attribute<double>(0x2000000E).get(), 31.0);
  EXPECT_EQ(attribute<unsigned long>(0x50000004).get(), 42u);
  module.deviceInterface().script(0x80200404, sim::Reply{{}, -52008, {}, 0, {}, true});
  EXPECT_EQ(catchError([&] { attribute<double>(kPowerLimit).get(); }).code, -52008);
}

TEST_F(DevicePropertiesTest, DioVoltagePostsTheCodeOfAKnownVoltage) {
  build();
  iattr::AttributeInterface<double>& voltage = attribute<double>(kDioVoltage);
  voltage.set(1.8);
  voltage.set(1.8000000001);
  voltage.set(3.3);
  const std::vector<sim::ClipInstruction> posted = clip.log(0x602);
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0].words, std::vector<uint64_t>{0x0000000200100602});
  EXPECT_EQ(posted[0].flags, 5u);  // post with option bit 4
  EXPECT_EQ(posted[0].fifo, 1u);
  EXPECT_EQ(posted[1].args, std::vector<uint32_t>{2});
  EXPECT_EQ(posted[2].args, std::vector<uint32_t>{0});
  for (double refused : {3.0, 1.9, 0.0})
    EXPECT_EQ(catchError([&] { voltage.set(refused); }).code, -52005) << refused;
  // NaN never reaches the setter: the range refuses it.
  EXPECT_EQ(catchError([&] { voltage.set(std::nan("")); }).code, -1074097882);
  EXPECT_EQ(catchError([&] { voltage.get(); }).code, -304413);
  EXPECT_EQ(clip.log(0x602).size(), 3u);
}

TEST_F(DevicePropertiesTest, IoModuleReferenceClockPinSelection) {
  build();
  auto& pin = attribute<qvvandrel::oobx::attribute::IoModuleRefClkPinSrc>(kRefClkPin);
  pin.set(qvvandrel::oobx::attribute::IoModuleRefClkPinSrc{2});
  pin.set(qvvandrel::oobx::attribute::IoModuleRefClkPinSrc{1});
  for (int32_t refused : {3, -1})
    EXPECT_EQ(catchError([&] {
                pin.set(qvvandrel::oobx::attribute::IoModuleRefClkPinSrc{refused});
              }).code,
              -52005);
  EXPECT_EQ(status.refClkPinSelections(), (std::vector<uint32_t>{2, 1}));
  EXPECT_EQ(catchError([&] { pin.get(); }).code, -304413);
}

TEST_F(DevicePropertiesTest, IoModuleEnabledGoesThroughTheClip) {
  build();
  iattr::AttributeInterface<bool>& enabled = attribute<bool>(kIoModuleEnabled);
  EXPECT_FALSE(enabled.get());
  enabled.set(true);
  EXPECT_TRUE(clip.state<sim::ClipIoModule>().enabled);
  EXPECT_TRUE(enabled.get());
  enabled.set(false);
  EXPECT_FALSE(clip.state<sim::ClipIoModule>().enabled);
  const std::vector<sim::ClipInstruction> log = clip.log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].flags, 2u);  // 0x607: a call
  EXPECT_EQ(log[1].opcode, 0x608);
  EXPECT_EQ(log[1].args, std::vector<uint32_t>{1});
  EXPECT_EQ(log[1].flags, 6u);
  EXPECT_EQ(log[3].opcode, 0x609);
  EXPECT_EQ(log[3].flags, 1u);  // a post
}

TEST_F(DevicePropertiesTest, BusTypeIsOneExactlyWhenTheGenerationQueryAnswersZero) {
  build();
  auto& bus = attribute<qvvandrel::oobx::attribute::BusType>(kBusType);
  EXPECT_EQ(bus.get(), 1);
  module.generationQueries().setValue(7, 0x100);
  EXPECT_EQ(bus.get(), 0);
  module.generationQueries().setStatus(7, -52024);
  EXPECT_EQ(catchError([&] { bus.get(); }).code, -52024);
  EXPECT_EQ(catchError([&] { bus.set(qvvandrel::oobx::attribute::BusType{1}); }).code, -304414);
}

}  // namespace
