#pragma once
// How one PLL serves one group of user clocks. The chain, frequencies of the capabilities in
// kHz and of the clocks in Hz: the effective reference (the PLL's own reference input or the
// reference clock rate, times the reference multiplier) is divided by R into the phase detector,
// the VCO runs at N times the N multiplier times that, and each clock divides the VCO by the
// post divider P (over the P divisor) and its own output divider. The search picks R, the VCO
// range, P, one output-divider code per clock and N with the fraction the chip type can set:
// the first valid setting for chip types 0 and 2, the setting that comes closest to the
// requested frequencies for the others.
//
// It gives the same settings, in the same order of preference, as trying every R, every VCO
// range, every P and every divider combination in turn, while its work stays bounded: the
// divider matches do not depend on R, P or the VCO range and are found once; R values whose
// phase detector lies above the window are skipped in one step and the search stops when it
// falls below; P values that no matching divider can bring into the VCO range are skipped.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "clip/ClipCapabilities.h"

namespace qvvandrel {

// One PLL's settings, as the compile step chooses them and the deploy step sends them.
struct PllSettings {
  std::uint32_t rDivider = 1;
  std::uint32_t pDivider = 1;
  std::uint32_t nDividerFracNum = 1;
  std::uint32_t nDividerFracDen = 1;
  // N's fraction in units of 2^-29.
  std::uint32_t nDividerFracFixed = 0;
  std::uint8_t nBandCodeA = 0;
  std::uint8_t nBandCodeB = 0;
  // The whole N, integer part and fraction.
  double nDivider = 1.0;
  std::uint32_t nDividerMultiplier = 1;
  std::uint32_t pDividerDivisor = 1;
  std::uint32_t refMultiplier = 1;
  std::uint32_t pllIndex = 0;
  std::uint32_t vcoRange = 0;
  // One output-divider code per clock in `clocks`.
  std::vector<std::uint32_t> outputDividers;
  // The positions of the clocks this PLL serves.
  std::vector<std::uint32_t> clocks;

  bool operator==(const PllSettings&) const = default;
};

namespace pll {

// Raises the group error: no setting serves the group.
using NoDividerSolution = std::function<void()>;

// The settings of PLL `pll` (its section of `capabilities`) for a group: the positions of its
// member clocks and their frequencies (Hz), in member order; the first clock's output-divider
// limits, base and frequency step serve every member. `referenceKHz` is the reference clock rate
// unless the PLL has its own reference. Raises -304434 when no R puts the phase detector into
// its window, -304510 for a fraction the chip type cannot set or a P step of 0 that would repeat
// one P for ever, -304509 for a continued fraction that does not end, and calls `noSolution`
// when nothing fits.
PllSettings findDividers(const ClipCapabilities& capabilities, std::uint32_t pll,
                         const std::vector<std::uint32_t>& clocks,
                         const std::vector<double>& frequencies, double referenceKHz,
                         const NoDividerSolution& noSolution);

// The parts of N: its band codes, and its fraction as the LMK03328 (a continued fraction with
// numerator and denominator up to 0x3FFFFF) and chip type 3 (eighths) set it.
std::pair<std::uint8_t, std::uint8_t> bandCodes(double n);
struct Fraction {
  std::uint32_t numerator;
  std::uint32_t denominator;
};
// x in [0, 1); -304509 when the expansion reaches its 1024th term.
Fraction continuedFraction(double x);
// The k in 0..7 whose k/8 is nearest to x, the smaller on a tie.
std::uint32_t nearestEighth(double x);

}  // namespace pll

}  // namespace qvvandrel
