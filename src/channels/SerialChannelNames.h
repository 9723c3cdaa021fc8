#pragma once
// The text names of the serial channels, their SerDes control buses and their clocks. A number
// past a table's end names nothing real and gets the text "invalid index".

#include <cstdint>

namespace qvvandrel {

inline constexpr const char* kInvalidIndexName = "invalid index";

// By front-panel number.
const char* siChannelName(uint32_t frontPanelNumber);
const char* soChannelName(uint32_t frontPanelNumber);
// By SerDes number: "Des3_I2C", "Ser0_RefClk", ...
const char* i2cBusName(bool isDeserializer, uint32_t serDesNumber);
const char* refClkName(bool isDeserializer, uint32_t serDesNumber);
// By data-clock number k: "DataClk0" .. "DataClk3".
const char* dataClockName(uint32_t dataClockNumber);

}  // namespace qvvandrel
