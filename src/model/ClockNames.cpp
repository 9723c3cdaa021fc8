#include "model/ClockNames.h"

#include "model/ChannelNameTable.h"

namespace qvvandrel {

const char* userClockName(std::uint32_t number) {
  static const ChannelNameTable table("CLK", 64);
  return table.name(number);
}

const char* refClkName(bool isDeserializer, std::uint32_t serDesNumber) {
  static const ChannelNameTable deserializers("Des", 8, "_RefClk");
  static const ChannelNameTable serializers("Ser", 8, "_RefClk");
  return (isDeserializer ? deserializers : serializers).name(serDesNumber);
}

const char* dataClockName(std::uint32_t number) {
  static const ChannelNameTable table("DataClk", 4);
  return table.name(number);
}

const char* rxBankName(std::uint32_t bank) {
  static const ChannelNameTable table("RxBank", 16);
  return table.name(bank);
}

}  // namespace qvvandrel
