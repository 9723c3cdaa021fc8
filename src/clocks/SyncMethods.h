#pragma once
// The driver's synchronisation interface (command type 0x05) by the names its users know the
// methods by. Each call gets a fresh status record: a failure raises when the call returns, a
// warning is ignored. Methods 2 and 14 carry a byte; the modes (0, 1) and the clock-check
// values (0 to 15) are those bytes.

#include <cstdint>

#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

using SyncInterface = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelsync;

namespace sync {

inline void writeMoskGeneratorTicks(SyncInterface& sync, std::uint32_t high, std::uint32_t low) {
  qverr::ThrowingStatusRecord status;
  sync.command0500(high, low, &status);
}
inline void writeCoarseDelay(SyncInterface& sync, std::uint32_t value) {
  qverr::ThrowingStatusRecord status;
  sync.command0501(value, &status);
}
inline void selectSyncMode(SyncInterface& sync, std::uint8_t mode) {
  qverr::ThrowingStatusRecord status;
  sync.command0502(mode, &status);
}
inline void syncMethod3(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  sync.command0503(&status);
}
inline std::uint32_t readTdcCount(SyncInterface& sync, std::uint32_t value) {
  qverr::ThrowingStatusRecord status;
  return sync.command0504(value, &status);
}
inline void writeTdcPulseWidth(SyncInterface& sync, std::uint32_t ticks) {
  qverr::ThrowingStatusRecord status;
  sync.command0505(ticks, &status);
}
inline void syncMethod6(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  sync.command0506(&status);
}
inline std::uint64_t readCounterA(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  return sync.command0507(&status);
}
inline void syncMethod8(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  sync.command0508(&status);
}
inline std::uint64_t readCounterB(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  return sync.command0509(&status);
}
inline bool readSyncFlag(SyncInterface& sync) {
  qverr::ThrowingStatusRecord status;
  return sync.command050B(&status);
}
inline void syncMethod14(SyncInterface& sync, std::uint8_t value) {
  qverr::ThrowingStatusRecord status;
  sync.command050E(value, &status);
}

// Method 3 where nothing may raise (the end of a calibration, also while it unwinds): its
// status is not looked at.
inline void syncMethod3Unchecked(SyncInterface& sync) noexcept {
  try {
    nQVVUSKS100::tStatus status;
    sync.command0503(&status);
  } catch (...) {
  }
}

// Selects a synchronisation mode for one phase of a calibration; method 3 ends the phase when
// the guard goes, on success and failure alike. A mode that cannot be selected raises and
// ends nothing.
class SyncModePhase {
 public:
  SyncModePhase(SyncInterface& sync, std::uint8_t mode) : sync_(sync) {
    selectSyncMode(sync, mode);
  }
  ~SyncModePhase() { syncMethod3Unchecked(sync_); }
  SyncModePhase(const SyncModePhase&) = delete;
  SyncModePhase& operator=(const SyncModePhase&) = delete;

 private:
  SyncInterface& sync_;
};

}  // namespace sync

}  // namespace qvvandrel
