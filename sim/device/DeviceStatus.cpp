#include "sim/device/DeviceStatus.h"

namespace sim {

namespace {

constexpr uint32_t kSensorPresent = commandCode(kDirRead, 0x04, 0x09);
constexpr uint32_t kSensorRaw = commandCode(kDirRead, 0x04, 0x05);
constexpr uint32_t kSensorScale = commandCode(kDirRead, 0x04, 0x0A);
constexpr uint32_t kTemperatureLimit = commandCode(kDirRead, 0x04, 0x02);
constexpr uint32_t kPowerLimit = commandCode(kDirRead, 0x04, 0x04);
constexpr uint32_t kCalibrationStorageSize = commandCode(kDirRead, 0x03, 0x08);
constexpr uint32_t kCalibrationTemperature = commandCode(kDirRead, 0x03, 0x01);
constexpr uint32_t kCalibrationStamp = commandCode(kDirRead, 0x03, 0x00);
constexpr uint32_t kVerificationTemperature = commandCode(kDirRead, 0x03, 0x05);
constexpr uint32_t kVerificationStamp = commandCode(kDirRead, 0x03, 0x04);
constexpr uint32_t kAdapterIdentifier = commandCode(kDirRead, 0x06, 0x00);
constexpr uint32_t kAdapterState = commandCode(kDirRead, 0x06, 0x02);
constexpr uint32_t kRefClkPin = commandCode(kDirNone, 0x06, 0x05);

}  // namespace

DeviceStatus::DeviceStatus(Interface& iface) {
  // Each handler answers under the state's mutex from what `answer` writes into the output.
  auto serve = [&](uint32_t code, auto answer) { state_.serve(iface, code, answer); };
  // Sensor queries: input {u32 sensor number, i32 status}.
  auto sensor = [](State& s, Call& call) -> const Sensor* {
    const uint32_t number = call.u32(0);
    if (number < kSensorCount) return &s.sensors[number];
    call.status = kUnknownSensor;
    return nullptr;
  };
  serve(kSensorPresent, [sensor](State& s, Call& c) {
    if (const Sensor* found = sensor(s, c)) c.putU8(0, found->present ? 1 : 0);
  });
  serve(kSensorRaw, [sensor](State& s, Call& c) {
    if (const Sensor* found = sensor(s, c)) c.putU32(0, found->raw);
  });
  serve(kSensorScale, [sensor](State& s, Call& c) {
    if (const Sensor* found = sensor(s, c)) c.putU32(0, found->scale);
  });
  // Limits: output {u32 limit, u32 second word, i32 status}.
  serve(kTemperatureLimit, [](State& s, Call& c) {
    c.putU32(0, s.temperatureLimit.value);
    c.putU32(4, s.temperatureLimit.second);
  });
  serve(kPowerLimit, [](State& s, Call& c) {
    c.putU32(0, s.powerLimit.value);
    c.putU32(4, s.powerLimit.second);
  });
  serve(kCalibrationStorageSize, [](State& s, Call& c) { c.putU32(0, s.calibrationStorageSize); });
  serve(kCalibrationTemperature, [](State& s, Call& c) { c.putU32(0, s.calibration.temperature); });
  serve(kCalibrationStamp, [](State& s, Call& c) { c.putU64(0, s.calibration.stamp); });
  serve(kVerificationTemperature,
        [](State& s, Call& c) { c.putU32(0, s.verification.temperature); });
  serve(kVerificationStamp, [](State& s, Call& c) { c.putU64(0, s.verification.stamp); });
  serve(kAdapterIdentifier, [](State& s, Call& c) { c.putU32(0, s.adapterIdentifier); });
  serve(kAdapterState, [](State& s, Call& c) { c.putU8(0, s.adapterState); });
  // Input {u32 selection, i32 status}, output {i32 status}.
  serve(kRefClkPin, [](State& s, Call& c) { s.refClkPins.push_back(c.u32(0)); });
}

void DeviceStatus::setSensor(uint32_t number, Sensor sensor) {
  update([&](State& s) { s.sensors.at(number) = sensor; });
}

void DeviceStatus::setTemperatureLimit(Limit limit) {
  update([&](State& s) { s.temperatureLimit = limit; });
}

void DeviceStatus::setPowerLimit(Limit limit) {
  update([&](State& s) { s.powerLimit = limit; });
}

void DeviceStatus::setCalibrationStorageSize(uint32_t size) {
  update([&](State& s) { s.calibrationStorageSize = size; });
}

void DeviceStatus::setCalibration(Record record) {
  update([&](State& s) { s.calibration = record; });
}

void DeviceStatus::setVerification(Record record) {
  update([&](State& s) { s.verification = record; });
}

void DeviceStatus::setAdapterModule(uint32_t identifier, uint8_t state) {
  update([&](State& s) {
    s.adapterIdentifier = identifier;
    s.adapterState = state;
  });
}

std::vector<uint32_t> DeviceStatus::refClkPinSelections() const {
  return state_.with([](const State& s) { return s.refClkPins; });
}

}  // namespace sim
