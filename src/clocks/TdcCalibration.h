#pragma once
// The calibration of the module's time-to-digital converter: pulses of known width in, the
// counts the converter reports out, and the degree-5 polynomial that turns a count into
// seconds.

#include <vector>

#include "clocks/SyncMethods.h"
#include "foundation/errors/Json.h"

namespace qvvandrel {

// Sends widths of 1 to 8 ticks of 10 ns (4 to 18 when the driver's sync flag is clear), ten
// times each, fits seconds over counts and returns the polynomial, constant term first. The
// record "tdcCalibration" goes to `report` (when given) also when a step fails after the
// synchronisation mode was selected; method 3 then still ends the mode.
std::vector<double> calibrateTdc(SyncInterface& sync, qverr::json::Writer* report);

}  // namespace qvvandrel
