#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/device/SharedState.h"

namespace sim {

// The module's status queries on its device interface, answering from values a test sets:
// the board sensors (presence 0x80200409, raw reading 0x80200405, scale 0x8020040A, each by
// sensor number; an unknown number is answered with driver status kUnknownSensor), the
// temperature and power limits (0x80200402, 0x80200404: two u32 each), the calibration
// storage size (0x80200308), the calibration and verification records (temperatures
// 0x80200301 and 0x80200305, u32; date and time 0x80200300 and 0x80200304, u64), the I/O
// adapter module's identifier (0x80200600, u32) and state (0x80200602, one byte), and the I/O
// module's reference-clock pin selection (0x00200605), which it records. Everything is 0 (and
// no sensor present) until set; Interface::script makes any of them fail.
class DeviceStatus {
 public:
  static constexpr uint32_t kSensorCount = 7;
  static constexpr int32_t kUnknownSensor = -52005;

  struct Sensor {
    bool present = false;
    uint32_t raw = 0;
    uint32_t scale = 0;
  };
  struct Limit {
    uint32_t value = 0;
    uint32_t second = 0;  // the record's second word
  };
  struct Record {
    uint32_t temperature = 0;
    uint64_t stamp = 0;
  };

  // Serves the queries on `iface`, which must outlive this object's use by the product.
  explicit DeviceStatus(Interface& iface);
  DeviceStatus(const DeviceStatus&) = delete;
  DeviceStatus& operator=(const DeviceStatus&) = delete;

  // std::out_of_range for a number of 7 or more.
  void setSensor(uint32_t number, Sensor sensor);
  void setTemperatureLimit(Limit limit);
  void setPowerLimit(Limit limit);
  void setCalibrationStorageSize(uint32_t size);
  void setCalibration(Record record);
  void setVerification(Record record);
  void setAdapterModule(uint32_t identifier, uint8_t state);
  // The values 0x00200605 received, in order.
  std::vector<uint32_t> refClkPinSelections() const;

 private:
  struct State {
    std::array<Sensor, kSensorCount> sensors;
    Limit temperatureLimit, powerLimit;
    uint32_t calibrationStorageSize = 0;
    Record calibration, verification;
    uint32_t adapterIdentifier = 0;
    uint8_t adapterState = 0;
    std::vector<uint32_t> refClkPins;
  };
  template <typename F>
  void update(F&& change) {
    state_.with(change);
  }

  SharedState<State> state_;
};

}  // namespace sim
