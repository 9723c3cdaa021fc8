#pragma once
// Module descriptions of the discovery tests: one module per PCI bus, with its own slot path.

#include <cstdint>
#include <optional>
#include <string>

#include "sim/device/ModuleDescription.h"

namespace disctest {

// A module at PCI bus `bus` with slot path "PCI0/BUS<bus>", placed in a chassis slot when given.
inline sim::ModuleDescription moduleAt(std::uint32_t bus,
                                       std::optional<std::uint32_t> chassis = std::nullopt,
                                       std::optional<std::uint32_t> slot = std::nullopt) {
  sim::ModuleDescription description;
  description.pciBus = bus;
  description.slotPath = "PCI0/BUS" + std::to_string(bus);
  description.chassis = chassis;
  description.slot = slot;
  return description;
}

}  // namespace disctest
