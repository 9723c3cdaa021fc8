#pragma once
// The channel names of the clocks a module generates: user clocks by number ("CLK0" ..
// "CLK63"), the reference clocks of the SerDes chips by chip number ("Des0_RefClk" ..
// "Des7_RefClk" for deserializers, "Ser0_RefClk" .. for serializers), data clocks by number
// ("DataClk0" .. "DataClk3") and the FPGA's RX clock banks ("RxBank0" .. "RxBank15"). The clock
// feature registers its attributes under these names and the serial channels find them by the
// same names. A number past a table's end gives "invalid index".

#include <cstdint>

namespace qvvandrel {

const char* userClockName(std::uint32_t number);
const char* refClkName(bool isDeserializer, std::uint32_t serDesNumber);
const char* dataClockName(std::uint32_t number);
const char* rxBankName(std::uint32_t bank);

}  // namespace qvvandrel
