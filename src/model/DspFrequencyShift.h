#pragma once

#include <cstdint>
#include <vector>

#include "model/DependencyAttribute.h"

namespace qvvandrel {

// The sample rate a DSP instance assumes when no sample-rate attribute is linked.
inline constexpr double kDefaultDspSampleRate = 1000000.0;

// The largest magnitude whose word is defined: x × 2^48 must fit a signed 64-bit integer.
inline constexpr double kDspMagnitudeLimit = 32768.0;

// One frequency shift of a DSP instance, as a fraction of the sample rate and in hertz.
struct DspFrequencyShiftEntry {
  DependencyAttribute<double>* magnitude;  // "DSP Frequency Shift Magnitude"
  DependencyAttribute<double>* shift;      // "DSP Frequency Shift"
};

// The register word of a magnitude x: x × 2^48 truncated toward zero to a signed 64-bit
// integer, shifted left by 16 bits. A magnitude that is not finite, or not below
// kDspMagnitudeLimit in size, has no such integer: it is rejected as an invalid attribute value
// (-304408), naming the magnitude attribute, before anything reaches the hardware.
std::uint64_t dspFrequencyShiftWord(const DependencyAttribute<double>& magnitude, double x);

// The frequency-shift part of a DSP instance's compile step, one word per entry in entry
// order. A magnitude the host set is used as it is; otherwise it follows the frequency,
// divided by the linked sample rate (kDefaultDspSampleRate when none is linked), and is stored
// as the magnitude's coerced value. `words` is resized to the number of entries.
void compileDspFrequencyShifts(const std::vector<DspFrequencyShiftEntry>& entries,
                               const DependencyAttribute<double>* sampleRate,
                               std::vector<std::uint64_t>& words);

}  // namespace qvvandrel
