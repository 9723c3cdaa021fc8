#pragma once
// The calibration of the phase DAC that shifts the module's clock finely against the
// synchronisation reference: the clock is first aligned in whole delay steps (CLIP interface
// 3), then the DAC is swept over its range while the calibrated TDC measures the interval, and
// a degree-6 polynomial turns a wanted delay into a DAC code relative to the sweep's start.

#include <cstdint>
#include <vector>

#include "clip/Instruction.h"
#include "clocks/SyncMethods.h"
#include "foundation/errors/Json.h"

namespace qvvandrel {

struct PhaseDacResult {
  std::int32_t dacOffset = 0;  // the code the sweep started at, where the DAC is left
  std::vector<double> polynomial;
};

// `fifo` reaches interface 3, `tdc` turns a TDC count into seconds. The records "alignClock"
// and "phaseDacCalibration" go to `report` (when given), also as far as written when a step
// fails. A raw span below one delay step (or a delay step of 0) gives -63150; a code for one
// delay step outside the DAC's limits gives -304315.
PhaseDacResult calibratePhaseDac(SyncInterface& sync, const ififo_rpc::FifoRef& fifo,
                                 const std::vector<double>& tdc, qverr::json::Writer* report);

}  // namespace qvvandrel
