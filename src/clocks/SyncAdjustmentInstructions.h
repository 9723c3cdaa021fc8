#pragma once
// The instructions of the CLIP's synchronisation adjustment (interface 3): the module's clock
// moves against the synchronisation reference in whole delay steps and, finely, through a
// phase DAC; a commit applies both. Each instruction has a record of its own and raises its
// failure.

#include <cstdint>

#include "clip/InterfaceMethods.h"

namespace qvvandrel::adjustment {

inline constexpr std::uint32_t kReadDelayStep = 0x300;
inline constexpr std::uint32_t kWritePeriodDelay = 0x301;
inline constexpr std::uint32_t kReadPhaseDacMaximum = 0x302;
inline constexpr std::uint32_t kReadPhaseDacMinimum = 0x303;
inline constexpr std::uint32_t kWritePhaseDacValue = 0x305;
inline constexpr std::uint32_t kCommitAdjustment = 0x308;

// Femtoseconds.
inline std::uint32_t readDelayStep(const ififo_rpc::FifoRef& fifo) {
  return ififo_rpc::callInstructionRaising(fifo, kReadDelayStep, {});
}
// A count of delay steps, negative as its 32-bit two's complement; pending until the commit.
inline void writePeriodDelay(const ififo_rpc::FifoRef& fifo, std::uint32_t count) {
  ififo_rpc::postInstructionRaising(fifo, kWritePeriodDelay, {count}, true);
}
inline std::uint32_t readPhaseDacMaximum(const ififo_rpc::FifoRef& fifo) {
  return ififo_rpc::callInstructionRaising(fifo, kReadPhaseDacMaximum, {});
}
inline std::uint32_t readPhaseDacMinimum(const ififo_rpc::FifoRef& fifo) {
  return ififo_rpc::callInstructionRaising(fifo, kReadPhaseDacMinimum, {});
}
// Pending until the commit.
inline void writePhaseDacValue(const ififo_rpc::FifoRef& fifo, std::uint32_t code) {
  ififo_rpc::postInstructionRaising(fifo, kWritePhaseDacValue, {code});
}
inline void commitAdjustment(const ififo_rpc::FifoRef& fifo) {
  ififo_rpc::callInstructionRaising(fifo, kCommitAdjustment, {}, false, true);
}

}  // namespace qvvandrel::adjustment
