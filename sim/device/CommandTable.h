#pragma once

#include <cstdint>
#include <span>

namespace sim {

inline constexpr const char* kDeviceInterfaceName = "qvvandrelbrenmoork_vandrelbrenmoor";
inline constexpr const char* kRoutingInterfaceName = "routing_routing";

// Direction bits of a command code.
inline constexpr uint32_t kDirNone = 0, kDirWrite = 1, kDirRead = 2;

// A command code of a request carried by the 32-byte request descriptor:
// direction << 30 | 32 << 16 | type << 8 | number.
constexpr uint32_t commandCode(uint32_t direction, uint32_t type, uint32_t number) {
  return direction << 30 | 32u << 16 | type << 8 | number;
}

// The record lengths the model expects for one driver command, and where the driver status
// goes in its output record (-1: the command has no output record).
struct CommandSpec {
  uint32_t code;
  uint32_t inLen;
  uint32_t outLen;
  int32_t statusOffset;
};

// The commands of the device interface (101) and of the routing interface (11), written from
// the driver's record layouts for the model's own use.
std::span<const CommandSpec> deviceCommands();
std::span<const CommandSpec> routingCommands();
// nullptr when the code is in neither table.
const CommandSpec* findCommand(uint32_t code);

}  // namespace sim
