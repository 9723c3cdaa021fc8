#pragma once

#include <cstdint>
#include <map>
#include <utility>

namespace sim {

// State of the CLIP's I/O-module methods (interface 6): 0x607 answers `enabled`, 0x608 (one
// argument, 1) sets it, 0x609 clears it. The DIO-voltage post 0x602 only reaches the log.
struct ClipIoModule {
  bool enabled = false;
};

// The channels each connector of the I/O module carries, as the connector queries answer
// them: 0x911/0x912 (analog inputs), 0xD06/0xD08 (analog outputs) and 0x1404/0x1409 (the line
// families by their codes 0 DIO, 1 DI, 2 DO, 3 PFI, 4 DIFF PFI) reply the first device-wide
// channel and the channel count of (family, connector); a connector never set has none.
struct ClipConnectors {
  enum Family : uint32_t { Dio = 0, Di = 1, Do = 2, Pfi = 3, DiffPfi = 4, Ai = 100, Ao = 101 };
  struct Channels {
    uint32_t first = 0;
    uint32_t count = 0;
  };

  void set(Family family, uint32_t connector, uint32_t first, uint32_t count) {
    byConnector[{family, connector}] = Channels{first, count};
  }
  Channels get(uint32_t family, uint32_t connector) const {
    auto it = byConnector.find({family, connector});
    return it == byConnector.end() ? Channels{} : it->second;
  }

  std::map<std::pair<uint32_t, uint32_t>, Channels> byConnector;
};

}  // namespace sim
