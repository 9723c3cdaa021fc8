#pragma once

#include <cstdint>
#include <vector>

#include "sim/device/SharedState.h"

namespace sim {

// The driver's side of a personality configuration, beside the FPGA model's configure methods:
// readiness (0x00200901, false for a number of polls a test sets, then true), the personality
// state query (0x00200900: two flags, and the common data it was shown), the stored terminal
// alias blob (0x00200800 reads it: its length, and its bytes when a buffer is given;
// 0x00200801 stores it) and the end of a configuration (0x00200902), counted. Any of them fails
// through Interface::script.
class PersonalityDriver {
 public:
  static constexpr uint32_t kReady = 0x00200901;
  static constexpr uint32_t kState = 0x00200900;
  static constexpr uint32_t kReadAliases = 0x00200800;
  static constexpr uint32_t kStoreAliases = 0x00200801;
  static constexpr uint32_t kEnd = 0x00200902;
  static constexpr uint32_t kNeverReady = 0xFFFFFFFF;

  explicit PersonalityDriver(Interface& iface);
  PersonalityDriver(const PersonalityDriver&) = delete;
  PersonalityDriver& operator=(const PersonalityDriver&) = delete;

  // The next `polls` readiness queries answer false (kNeverReady: every one).
  void setNotReadyFor(uint32_t polls);
  void setStateFlags(bool first, bool second);
  void setStoredAliases(std::vector<uint8_t> blob);
  std::vector<uint8_t> storedAliases() const;
  // Blobs 0x00200801 stored, in order.
  std::vector<std::vector<uint8_t>> aliasStores() const;
  std::vector<uint8_t> lastStateQuery() const;  // common data shown to 0x00200900
  uint32_t readyPolls() const;
  uint32_t ends() const;

 private:
  struct State {
    uint32_t notReadyFor = 0;
    uint32_t readyPolls = 0;
    bool flags[2] = {false, false};
    std::vector<uint8_t> stateQuery;
    std::vector<uint8_t> aliases;
    std::vector<std::vector<uint8_t>> aliasStores;
    uint32_t ends = 0;
  };
  SharedState<State> state_;
};

}  // namespace sim
