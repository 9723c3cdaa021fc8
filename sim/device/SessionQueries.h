#pragma once

#include <cstdint>

#include "sim/device/SharedState.h"

namespace sim {

// What the driver answers a device-generation session while it opens: whether an I/O module is
// fitted (0x00200606, true until a test says otherwise), whether several sessions may share the
// module (0x8020040D, false), the session's claim of the module (0x40200909, counted), the
// driver's interface version (0x8020040E, 58) and the adapter-module identifier that bitfiles
// are matched against (0x80200601). Any of them fails through Interface::script.
class SessionQueries {
 public:
  static constexpr uint32_t kIoModulePresent = 0x00200606;
  static constexpr uint32_t kMultiSession = 0x8020040D;
  static constexpr uint32_t kClaim = 0x40200909;
  static constexpr uint32_t kDriverVersion = 0x8020040E;
  static constexpr uint32_t kTargetAdapter = 0x80200601;

  explicit SessionQueries(Interface& iface);
  SessionQueries(const SessionQueries&) = delete;
  SessionQueries& operator=(const SessionQueries&) = delete;

  void setIoModulePresent(bool present);
  void setMultiSession(bool allowed);
  void setDriverVersion(uint32_t version);
  void setTargetAdapter(uint32_t identifier);
  uint32_t claims() const;

 private:
  struct State {
    bool ioModule = true;
    bool multiSession = false;
    uint32_t driverVersion = 58;
    uint32_t targetAdapter = 0;
    uint32_t claims = 0;
  };
  SharedState<State> state_;
};

}  // namespace sim
