#include "clocks/PllDividerSearch.h"

#include <cfloat>
#include <cmath>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "attributes/RaiseWithDetails.h"
#include "clocks/OutputDividerEnumerator.h"
#include "clocks/UserClockErrors.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel::pll {

namespace {

using user_clock::location;
using Code = std::uint64_t;

constexpr qverr::StatusLocation kNoPhaseDetectorWindow =
    location(573, qverr::constant::kRefClkRangeUnsupported);
constexpr qverr::StatusLocation kFractionEndless =
    location(642, qverr::constant::kUserClockFreqNotFound);

// N's fixed-point fraction: units of 2^-29.
constexpr double kFixedFractionScale = 536870912.0;
constexpr double kFixedFractionUnit = 1.862645149230957e-09;
// The continued fraction: numerator and denominator up to 2^22 - 1, and its resolution.
constexpr std::uint64_t kFractionLimit = 0x3FFFFF;
constexpr double kFractionEpsilon = 2.384186359449949e-07;
constexpr std::uint32_t kFractionTerms = 1024;
// How far off a best-fit setting may leave a clock when no R meets the tolerance.
constexpr double kBestFitSlackHz = 10000.0;
// Chip types: the LMK03328 and the other chip that takes its first valid setting.
constexpr std::uint32_t kLmk03328 = 0;
constexpr std::uint32_t kFirstFitChip = 2;
constexpr std::uint32_t kEighthsChip = 3;

[[noreturn]] void fail(const NoDividerSolution& noSolution) {
  noSolution();
  qverr::throwError(qverr::kInternalError);  // the group error must not return
}

// What the search reads of one PLL, with the defaults of the fields it may lack.
struct Pll {
  Pll(const PllSection& s, std::uint32_t p)
      : chipType(s.chipType.at(p)),
        vcoMin(s.vcoMinFreqKHz.at(p)),
        vcoMax(s.vcoMaxFreqKHz.at(p)),
        pfdMin(s.pfdMinFreqKHz.at(p)),
        pfdMax(s.pfdMaxFreqKHz.at(p)),
        rMin(s.rDividerIntMin.at(p).value_or(1)),
        rMax(s.rDividerIntMax.at(p).value_or(1)),
        pMin(s.pDividerIntMin.at(p).value_or(1)),
        pMax(s.pDividerIntMax.at(p).value_or(1)),
        pStep(s.pDividerIntStep.at(p).value_or(1)),
        pDivisor(s.pDividerDivisor.at(p).value_or(1)),
        nMultiplier(s.nDividerMultiplier.at(p).value_or(1)),
        nMin(s.nDividerIntMin.at(p)),
        nMax(s.nDividerIntMax.at(p)),
        fracNumMin(s.nDividerFracNumMin.at(p)),
        fracNumMax(s.nDividerFracNumMax.at(p)),
        fracDenMin(s.nDividerFracDenMin.at(p)),
        fracDenMax(s.nDividerFracDenMax.at(p)),
        fixedMin(s.nDividerFracFixedMin.at(p)),
        fixedMax(s.nDividerFracFixedMax.at(p)),
        refFreqKHz(s.refFreqKHz.at(p)),
        refMultiplier(s.refMultiplier.at(p).value_or(1)) {}

  boost::optional<ififo::PllConfiguration::PllChipType> chipType;
  const std::vector<unsigned int>& vcoMin;
  const std::vector<unsigned int>& vcoMax;
  boost::optional<unsigned int> pfdMin, pfdMax;
  Code rMin, rMax, pMin, pMax, pStep;
  std::uint32_t pDivisor, nMultiplier;
  boost::optional<unsigned int> nMin, nMax;
  boost::optional<unsigned int> fracNumMin, fracNumMax, fracDenMin, fracDenMax;
  boost::optional<unsigned int> fixedMin, fixedMax;
  boost::optional<unsigned int> refFreqKHz;
  std::uint32_t refMultiplier;
};

[[noreturn]] void raiseNoPhaseDetectorWindow(double referenceKHz, const Pll& pll) {
  atat::detail::raiseWithDetails(
      qverr::kRefClkRangeUnsupported, kNoPhaseDetectorWindow, [&](atat::elaboration::Cursor c) {
        c = atat::elaboration::appendUsageDouble(c, "kUsageTypeRequestedValue",
                                                 referenceKHz * 1000.0);
        if (pll.pfdMin) c = user_clock::appendKilohertz(c, "kUsageTypeMinValue", *pll.pfdMin);
        if (pll.pfdMax) user_clock::appendKilohertz(c, "kUsageTypeMaxValue", *pll.pfdMax);
      });
}

// The output-divider codes of the group's first clock, shared by every member.
struct DividerCodes {
  Code min;
  Code max;
  std::uint32_t base;
  double divider(Code code) const { return OutputDividerEnumerator::divider(base, code); }
};

// Where the search settles on a VCO range: P, its effective value and a code per distinct
// frequency.
struct VcoChoice {
  std::uint32_t range;
  Code p;
  double pEffective;
  OutputDividerEnumerator::Combination codes;
};

// The codes c whose divider puts d(c) x P' into [lo, hi], as the half-open [first, end). Within
// one P they are contiguous: d(c) never falls as c rises.
struct CodeWindow {
  Code first;
  Code end;
};

CodeWindow acceptedCodes(const DividerCodes& codes, double lo, double hi, double pEffective) {
  constexpr CodeWindow kNone{0, 0};
  // A product inside [lo, hi] needs lo <= hi (and neither NaN).
  if (!(lo <= hi) || codes.min > codes.max) return kNone;
  const Code end = codes.max + 1;
  if (pEffective > 0.0 && pEffective < HUGE_VAL) {
    return {firstWhere(codes.min, end, [&](Code c) { return codes.divider(c) * pEffective >= lo; }),
            firstWhere(codes.min, end, [&](Code c) { return codes.divider(c) * pEffective > hi; })};
  }
  if (pEffective == HUGE_VAL) {
    // d x infinity: NaN for the zero divider of code 0 under base 0, else infinity.
    if (hi != HUGE_VAL) return kNone;
    return {codes.base == 0 ? std::max<Code>(codes.min, 1) : codes.min, end};
  }
  if (pEffective == 0.0) {
    // d x 0: NaN for an infinite divider, else 0.
    if (!(lo <= 0.0 && 0.0 <= hi)) return kNone;
    return {codes.min,
            firstWhere(codes.min, end, [&](Code c) { return std::isinf(codes.divider(c)); })};
  }
  return kNone;  // 0 / 0
}

// Tries the VCO ranges in order and in each the P values from the smallest; the first P at which
// some matching combination of codes puts the first frequency's total division into the range
// wins, with the first such combination in odometer order. Nothing depends on R.
std::optional<VcoChoice> searchVco(const OutputDividerEnumerator& dividers,
                                   const DividerCodes& codes, double f0, const Pll& pll,
                                   std::uint32_t pllIndex) {
  const std::size_t ranges = std::min(pll.vcoMin.size(), pll.vcoMax.size());
  for (std::size_t k = 0; k < ranges; ++k) {
    const double lo = static_cast<double>(pll.vcoMin[k]) / f0 * 1000.0;
    const double hi = static_cast<double>(pll.vcoMax[k]) / f0 * 1000.0;
    if (pll.pMax < pll.pMin) continue;
    Code p = pll.pMin;
    for (;;) {
      const double pEffective = static_cast<double>(p) / static_cast<double>(pll.pDivisor);
      const CodeWindow window = acceptedCodes(codes, lo, hi, pEffective);
      OutputDividerEnumerator::Combination match;
      if (window.first < window.end) {
        match = dividers.firstMatchWithFirstCodeIn(window.first, window.end - 1);
      }
      if (!match.empty()) {
        return VcoChoice{static_cast<std::uint32_t>(k), p, pEffective, std::move(match)};
      }
      // A step of 0 would try this P for ever.
      if (pll.pStep == 0) {
        user_clock::raiseInvalidPllCapabilities(user_clock::kPStepInvalid,
                                                "Invalid pDividerIntStep in section: ", pllIndex);
      }
      // The next P that can bring a matching divider into the range: the codes at and above the
      // window's start lie above the range now and only rise with P, so only a smaller divider
      // can still fit, once P lifts it to lo.
      if (!(lo <= hi)) break;
      Code next;
      if (p == 0) {
        next = pll.pStep;
      } else {
        // From P = 1 on, a P divisor of 0 makes every P' infinite: nothing changes.
        if (pll.pDivisor == 0) break;
        const std::optional<std::uint32_t> below = dividers.lastFirstCodeBelow(window.first);
        if (!below) break;
        const double d = codes.divider(*below);
        const Code steps = (pll.pMax - pll.pMin) / pll.pStep;
        const Code t = firstWhere((p - pll.pMin) / pll.pStep + 1, steps + 1, [&](Code i) {
          const double candidate = static_cast<double>(pll.pMin + i * pll.pStep);
          return d * (candidate / static_cast<double>(pll.pDivisor)) >= lo;
        });
        if (t > steps) break;
        next = pll.pMin + t * pll.pStep;
      }
      if (next > pll.pMax) break;
      p = next;
    }
  }
  return std::nullopt;
}

// Sets N's fraction as the PLL can hold it and returns the resulting N.
double applyFraction(const Pll& pll, double n, PllSettings& work,
                     const NoDividerSolution& noSolution) {
  if (pll.fracDenMax) {
    const std::uint32_t chip = pll.chipType ? static_cast<std::uint32_t>(*pll.chipType) : ~0u;
    if (chip != kLmk03328 && chip != kEighthsChip) {
      user_clock::raiseInvalidPllCapabilities(
          user_clock::kFractionUnhandled, "Unhandled fractional divider for PLL chip type ", chip);
    }
    // No fraction of a non-finite N exists, and no limit would admit it.
    if (!std::isfinite(n)) fail(noSolution);
    const double whole = std::floor(n);
    const double x = n - whole;
    if (chip == kLmk03328) {
      const Fraction f = continuedFraction(x);
      work.nDividerFracNum = f.numerator;
      work.nDividerFracDen = f.denominator;
      return whole + static_cast<double>(f.numerator) / static_cast<double>(f.denominator);
    }
    const std::uint32_t eighths = nearestEighth(x);
    work.nDividerFracNum = eighths;
    work.nDividerFracDen = 8;
    return whole + eighths / 8.0;
  }
  if (!std::isfinite(n)) fail(noSolution);
  if (pll.fixedMax) {
    const double units = std::round((n - std::trunc(n)) * kFixedFractionScale);
    // The fraction of N >= 0 lies in [0, 1), so its units fit; anything else fits no PLL.
    if (!(units >= 0.0 && units <= kFixedFractionScale)) fail(noSolution);
    work.nDividerFracFixed = static_cast<std::uint32_t>(units);
    return std::floor(n) + work.nDividerFracFixed * kFixedFractionUnit;
  }
  return std::round(n);
}

// N's integer part within its limits (compared as a double, so any N is compared soundly), and
// the fraction's parts within theirs; a limit the PLL does not report restricts nothing, but N
// itself needs both of its limits.
bool withinLimits(const Pll& pll, const PllSettings& work) {
  const double whole = std::trunc(work.nDivider);
  if (!pll.nMin || !pll.nMax || !(whole >= *pll.nMin && whole <= *pll.nMax)) return false;
  const auto within = [](std::uint32_t v, const boost::optional<unsigned int>& min,
                         const boost::optional<unsigned int>& max) {
    return !min || (v >= *min && (!max || v <= *max));
  };
  if (!within(work.nDividerFracNum, pll.fracNumMin, pll.fracNumMax)) return false;
  if (!within(work.nDividerFracDen, pll.fracDenMin, pll.fracDenMax)) return false;
  if (pll.fixedMin) {
    if (whole == *pll.nMin && work.nDividerFracFixed < *pll.fixedMin) return false;
    if (whole == *pll.nMax && pll.fixedMax && work.nDividerFracFixed > *pll.fixedMax) return false;
  }
  return true;
}

}  // namespace

std::pair<std::uint8_t, std::uint8_t> bandCodes(double n) {
  if (n < 65.259980246) return {2, 2};
  if (n < 67.859763463) return {2, 3};
  if (n < 72.937624981) return {3, 3};
  if (n < 75.843265046) return {3, 4};
  return {4, 4};
}

Fraction continuedFraction(double x) {
  // Only [0, 1] has terms that fit; every caller passes a fraction part.
  if (!(x >= 0.0 && x <= 1.0)) qverr::throwError(qverr::kInternalError);
  std::uint64_t h2 = 0, h1 = 1, k2 = 1, k1 = 0;
  std::uint64_t h = 0, k = 0;
  std::uint32_t term = 1;
  for (;;) {
    double a = std::trunc(x);
    // Within the resolution below the next integer: that integer.
    const bool raised = std::trunc(x + kFractionEpsilon) > a;
    if (raised) a = std::trunc(x + kFractionEpsilon);
    x -= a;
    // x is at most 1 / epsilon after an inversion, so the term fits.
    const auto ai = static_cast<std::uint64_t>(a);
    h = ai * h1 + h2;
    k = ai * k1 + k2;
    const bool leadingZero = term == 1 && ai == 0 && !raised;
    if (!leadingZero && (h < h1 || k < k1 || k > kFractionLimit || h > kFractionLimit)) {
      h = h1;
      k = k1;
      break;
    }
    if (x <= kFractionEpsilon) break;
    if (term == kFractionTerms) break;
    x = 1.0 / x;
    h2 = h1;
    h1 = h;
    k2 = k1;
    k1 = k;
    ++term;
  }
  if (term == kFractionTerms) qverr::raise(qverr::kUserClockFreqNotFound, kFractionEndless);
  return {static_cast<std::uint32_t>(h), static_cast<std::uint32_t>(k)};
}

std::uint32_t nearestEighth(double x) {
  std::uint32_t best = 0;
  for (std::uint32_t k = 1; k < 8; ++k) {
    if (std::fabs(x - k * 0.125) < std::fabs(x - best * 0.125)) best = k;
  }
  return best;
}

PllSettings findDividers(const ClipCapabilities& capabilities, std::uint32_t pllIndex,
                         const std::vector<std::uint32_t>& clocks,
                         const std::vector<double>& frequencies, double referenceKHz,
                         const NoDividerSolution& noSolution) {
  if (clocks.empty() || clocks.size() != frequencies.size()) {
    qverr::throwError(qverr::kInternalError);
  }
  const Pll pll(capabilities.plls.section, pllIndex);
  const UserClockSection& userClocks = capabilities.userClocks.section;
  const std::uint32_t firstClock = clocks.front();
  const boost::optional<unsigned int> minCode = userClocks.outputDividerMin.at(firstClock);
  const boost::optional<unsigned int> maxCode = userClocks.outputDividerMax.at(firstClock);
  // A clock without both limits has no code at all.
  const DividerCodes codes{minCode && maxCode ? *minCode : 1, minCode && maxCode ? *maxCode : 0,
                           userClocks.outputDividerBase.at(firstClock).value_or(0)};
  const std::uint32_t stepMilliHz = userClocks.freqStepMilliHz.at(firstClock).value_or(1000000);
  const double referenceEffective =
      (pll.refFreqKHz ? static_cast<double>(*pll.refFreqKHz) : referenceKHz) *
      static_cast<double>(pll.refMultiplier);
  const bool firstFit =
      pll.chipType && (*pll.chipType == kLmk03328 || *pll.chipType == kFirstFitChip);

  PllSettings work;
  work.nDividerMultiplier = pll.nMultiplier;
  work.pDividerDivisor = pll.pDivisor;
  work.refMultiplier = pll.refMultiplier;
  work.pllIndex = pllIndex;
  work.clocks = clocks;
  PllSettings best = work;
  double bestError = DBL_MAX;
  std::vector<double> bestFrequencies(frequencies.size(), 0.0);

  if (pll.rMin > pll.rMax) raiseNoPhaseDetectorWindow(referenceEffective, pll);

  // One constraint per distinct frequency, in order of first appearance; a NaN frequency equals
  // no other, so it is a constraint of its own.
  std::vector<DividerConstraint> constraints;
  std::vector<std::size_t> constraintOf(frequencies.size());
  std::unordered_map<double, std::size_t> seen;
  for (std::size_t j = 0; j < frequencies.size(); ++j) {
    const double f = frequencies[j];
    if (!std::isnan(f)) {
      const auto [it, added] = seen.emplace(f == 0.0 ? 0.0 : f, constraints.size());
      if (!added) {
        constraintOf[j] = it->second;
        continue;
      }
    }
    constraintOf[j] = constraints.size();
    constraints.push_back({f, static_cast<std::uint32_t>(codes.min),
                           static_cast<std::uint32_t>(codes.max), codes.base});
  }
  std::optional<OutputDividerEnumerator> dividers;
  std::optional<VcoChoice> choice;
  const double f0 = frequencies.front();

  bool reached = false;
  const bool windowKnown = pll.pfdMin && pll.pfdMax;
  for (Code r = pll.rMin; windowKnown && r <= pll.rMax;) {
    const double pfd = referenceEffective / static_cast<double>(r);
    // The phase detector only falls as R rises: once below the window it stays there.
    if (pfd < *pll.pfdMin) break;
    if (pfd > *pll.pfdMax) {
      r = firstWhere(r + 1, pll.rMax + 1, [&](Code candidate) {
        return referenceEffective / static_cast<double>(candidate) <= *pll.pfdMax;
      });
      continue;
    }
    work.rDivider = static_cast<std::uint32_t>(r);
    if (!dividers) {
      dividers.emplace(constraints);
      choice = searchVco(*dividers, codes, f0, pll, pllIndex);
    }
    // No range, P and codes fit: a larger R would not change that.
    if (!choice) fail(noSolution);
    work.pDivider = static_cast<std::uint32_t>(choice->p);
    work.vcoRange = choice->range;
    work.outputDividers.resize(frequencies.size());
    for (std::size_t j = 0; j < frequencies.size(); ++j) {
      work.outputDividers[j] = choice->codes[constraintOf[j]];
    }

    const double d0 = codes.divider(choice->codes[0]);
    double n = (d0 * choice->pEffective * f0) /
               (referenceEffective * 1000.0 / static_cast<double>(r)) /
               static_cast<double>(pll.nMultiplier);
    std::tie(work.nBandCodeA, work.nBandCodeB) = bandCodes(n);
    work.nDivider = applyFraction(pll, n, work, noSolution);
    if (!withinLimits(pll, work)) fail(noSolution);
    if (firstFit) return work;

    reached = true;
    double error = 0.0;
    std::vector<double> achieved(frequencies.size());
    for (std::size_t j = 0; j < frequencies.size(); ++j) {
      const double d = codes.divider(work.outputDividers[j]);
      achieved[j] =
          (static_cast<double>(pll.nMultiplier) * work.nDivider * referenceEffective * 1000.0) /
          (static_cast<double>(r) * choice->pEffective * d);
      const double off = std::fabs(frequencies[j] - achieved[j]);
      if (off > error) error = off;
    }
    if (error < bestError) {
      best = work;
      bestFrequencies = achieved;
      bestError = error;
    }
    const bool closeEnough =
        stepMilliHz != 0 ? error < stepMilliHz / 1000.0 : error == 0.0 || std::fabs(error) < 1e-10;
    if (closeEnough) return best;
    ++r;
  }
  if (!reached) raiseNoPhaseDetectorWindow(referenceEffective, pll);
  for (std::size_t j = 0; j < frequencies.size(); ++j) {
    if (!(std::fabs(frequencies[j] - bestFrequencies[j]) <= kBestFitSlackHz)) fail(noSolution);
  }
  return best;
}

}  // namespace qvvandrel::pll
