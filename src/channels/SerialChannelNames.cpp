#include "channels/SerialChannelNames.h"

#include <cstddef>

namespace qvvandrel {

namespace {

constexpr const char* kSiNames[] = {"SI0", "SI1", "SI2", "SI3", "SI4", "SI5", "SI6", "SI7"};
constexpr const char* kSoNames[] = {"SO0", "SO1", "SO2", "SO3", "SO4", "SO5", "SO6", "SO7"};
constexpr const char* kDesI2cNames[] = {"Des0_I2C", "Des1_I2C", "Des2_I2C", "Des3_I2C",
                                        "Des4_I2C", "Des5_I2C", "Des6_I2C", "Des7_I2C"};
constexpr const char* kSerI2cNames[] = {"Ser0_I2C", "Ser1_I2C", "Ser2_I2C", "Ser3_I2C",
                                        "Ser4_I2C", "Ser5_I2C", "Ser6_I2C", "Ser7_I2C"};

template <std::size_t N>
const char* entry(const char* const (&table)[N], uint32_t index) {
  return index < N ? table[index] : kInvalidIndexName;
}

}  // namespace

const char* siChannelName(uint32_t frontPanelNumber) {
  return entry(kSiNames, frontPanelNumber);
}

const char* soChannelName(uint32_t frontPanelNumber) {
  return entry(kSoNames, frontPanelNumber);
}

const char* i2cBusName(bool isDeserializer, uint32_t serDesNumber) {
  return isDeserializer ? entry(kDesI2cNames, serDesNumber) : entry(kSerI2cNames, serDesNumber);
}

}  // namespace qvvandrel
