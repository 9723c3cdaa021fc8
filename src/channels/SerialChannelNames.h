#pragma once
// The text names of the serial channels and their SerDes control buses; the names of their
// clocks are the clock feature's (model/ClockNames.h). A number past a table's end names nothing
// real and gets the text "invalid index".

#include <cstdint>

#include "model/ClockNames.h"

namespace qvvandrel {

inline constexpr const char* kInvalidIndexName = "invalid index";

// By front-panel number.
const char* siChannelName(uint32_t frontPanelNumber);
const char* soChannelName(uint32_t frontPanelNumber);
// By SerDes number: "Des3_I2C", "Ser0_I2C", ...
const char* i2cBusName(bool isDeserializer, uint32_t serDesNumber);

}  // namespace qvvandrel
