#pragma once
// What channel-feature tests check: the settings a feature posted to the simulated CLIP
// controller, and the details of a value that a CLIP list refuses.

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "sim/device/ClipController.h"

namespace channeltest {

// One setting as the controller received it: (what it addresses, value) with its opcode.
struct Setting {
  uint32_t opcode;
  uint32_t channel;  // a channel, line or line group
  uint32_t value;
  bool operator==(const Setting&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Setting& s) {
  return out << std::hex << "{0x" << s.opcode << ", " << std::dec << s.channel << ", " << s.value
             << "}";
}
using Settings = std::vector<Setting>;

// The settings of one interface in the controller's log, in order; each must have come as a
// post of two arguments.
inline Settings postedSettings(const sim::ClipController& clip, uint16_t interface) {
  Settings received;
  for (const sim::ClipInstruction& i : clip.log()) {
    if (i.interfaceNumber() != interface) continue;
    EXPECT_TRUE(i.isPost()) << i.opcode;
    EXPECT_EQ(i.announced, 2u) << i.opcode;
    received.push_back({i.opcode, i.arg(0), i.arg(1)});
  }
  return received;
}

// The details of an enumeration value that is not among those the CLIP lists: the requested and
// the possible values as members of the enumeration of attribute `id` (display name `name`),
// then the attribute and its channel. `possible` is the JSON array.
inline std::string enumRejection(uint32_t id, const char* name, int requested, const char* possible,
                                 const char* channel) {
  const std::string idText = std::to_string(id);
  const std::string enumType = std::string(R"({"type":"enum","id":)") + idText + R"(,"comment":")" +
                               name + R"(","value_type":"int32_t"})";
  return attrtest::locationPrefix("atat/ranges/EnumRange", 103) +
         R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":)" +
         std::to_string(requested) + R"(,"value_type":)" + enumType +
         R"(},{"type":"usage","usage":"kUsageTypePossibleValues","value":)" + possible +
         R"(,"value_type":)" + enumType +
         R"(},{"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":)" + idText +
         R"(,"value_type":"int32_t","comment":")" + name +
         R"("},{"type":"usage","usage":"kUsageTypeChannelName","value":")" + channel +
         R"(","value_type":"string"})" + attrtest::kSectionEnd;
}

}  // namespace channeltest
