// The divider search and the output-divider enumeration against the same procedures written
// plainly here: an odometer that visits every combination and a search that tries every R, every
// VCO range, every P and every match in turn, on seeded random small capability sets and groups.
// Both must give identical settings or identical failures. The plain search keeps the product's
// mended rules (64-bit counters, a P step of 0 failing where it would repeat one P for ever, N
// compared with its limits as a double, an N that is not finite failing, a clock without both
// divider limits holding no code, a missing phase-detector window admitting no R) and shares
// the product's fraction and band-code routines, which the numeric examples test on their own.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "UserClockSupport.h"
#include "clocks/OutputDividerEnumerator.h"
#include "foundation/errors/Exception.h"

namespace {

using qvvandrel::DividerConstraint;
using qvvandrel::PllSettings;
using sim::SectionFields;
using Combination = std::vector<uint32_t>;
using userclocktest::GroupError;
namespace pll = qvvandrel::pll;

double divider(uint32_t base, uint64_t code) {
  return base == 0 ? static_cast<double>(code) : std::pow(double(base), double(code));
}

class Odometer {
 public:
  explicit Odometer(std::vector<DividerConstraint> entries) : entries_(std::move(entries)) {
    for (const DividerConstraint& e : entries_) empty_ = empty_ || e.minCode > e.maxCode;
    reset();
    replay_ = false;
  }
  Combination next() {
    if (replay_) return position_ < matches_.size() ? matches_[position_++] : Combination{};
    while (!done_) {
      const Combination combination = codes_;
      bool match = true;
      for (std::size_t j = 1; j < entries_.size(); ++j) match = match && value(j) == value(0);
      done_ = true;
      for (std::size_t j = 0; j < entries_.size() && done_; ++j) {
        done_ = codes_[j] == entries_[j].maxCode;
        codes_[j] = done_ ? entries_[j].minCode : codes_[j] + 1;
      }
      if (match) return matches_.emplace_back(combination);
    }
    return {};
  }
  // A completed pass is replayed; an unfinished one starts afresh.
  void reset() {
    replay_ = replay_ || done_;
    if (!replay_) matches_.clear();
    position_ = 0;
    codes_.clear();
    for (const DividerConstraint& e : entries_) codes_.push_back(e.minCode);
    done_ = empty_;
  }

 private:
  double value(std::size_t j) const {
    return entries_[j].frequency * divider(entries_[j].base, codes_[j]);
  }
  std::vector<DividerConstraint> entries_;
  Combination codes_;
  bool empty_ = false, done_ = false, replay_ = false;
  std::vector<Combination> matches_;
  std::size_t position_ = 0;
};

struct Failure {
  int code;
};

std::optional<uint32_t> field(const SectionFields& s, uint32_t id) {
  const auto it = s.find(id);
  return it == s.end() || it->second.empty() ? std::nullopt : std::optional(it->second[0]);
}

PllSettings plainSearch(const SectionFields& pll, const SectionFields& firstClock,
                        const std::vector<double>& frequencies, double referenceKHz) {
  const auto f = [&](uint32_t id) { return field(pll, id); };
  const auto list = [&](uint32_t id) { return pll.count(id) ? pll.at(id) : Combination{}; };
  const uint64_t rMin = f(504).value_or(1), rMax = f(503).value_or(1);
  const uint64_t pMin = f(516).value_or(1), pMax = f(515).value_or(1), pStep = f(524).value_or(1);
  const uint32_t pDivisor = f(529).value_or(1), nMultiplier = f(528).value_or(1);
  const std::optional<uint32_t> codeMin = field(firstClock, 602), codeMax = field(firstClock, 601);
  const uint32_t base = field(firstClock, 605).value_or(0);
  const uint32_t step = field(firstClock, 606).value_or(1000000);
  const double refEff = (f(527) ? *f(527) : referenceKHz) * f(523).value_or(1);
  PllSettings work;
  work.nDividerMultiplier = nMultiplier;
  work.pDividerDivisor = pDivisor;
  work.refMultiplier = f(523).value_or(1);
  for (uint32_t j = 0; j < frequencies.size(); ++j) work.clocks.push_back(j);
  PllSettings best = work;
  double bestError = DBL_MAX;
  std::vector<double> bestFrequencies(frequencies.size(), 0.0);
  if (rMin > rMax) throw Failure{-304434};
  bool reached = false;
  for (uint64_t r = rMin; r <= rMax; ++r) {
    const double pfd = refEff / static_cast<double>(r);
    if (!f(521) || !f(522) || pfd < *f(521) || pfd > *f(522)) continue;
    work.rDivider = static_cast<uint32_t>(r);
    std::vector<DividerConstraint> entries;
    std::vector<std::size_t> entryOf;
    for (double frequency : frequencies) {
      std::size_t e = 0;
      while (e < entries.size() && !(entries[e].frequency == frequency)) ++e;
      if (e == entries.size()) {
        entries.push_back({frequency, codeMin && codeMax ? *codeMin : 1,
                           codeMin && codeMax ? *codeMax : 0, base});
      }
      entryOf.push_back(e);
    }
    const double f0 = frequencies[0];
    double d0 = 0, pEffective = 0;
    bool found = false;
    for (std::size_t k = 0; k < std::min(list(501).size(), list(502).size()) && !found; ++k) {
      Odometer odometer(entries);
      const double lo = list(501)[k] / f0 * 1000.0, hi = list(502)[k] / f0 * 1000.0;
      for (uint64_t p = pMin; p <= pMax && !found; p += pStep) {
        odometer.reset();
        const double pe = static_cast<double>(p) / static_cast<double>(pDivisor);
        for (Combination c = odometer.next(); !c.empty() && !found; c = odometer.next()) {
          const double d = divider(base, c[0]);
          if (!(lo <= d * pe && d * pe <= hi)) continue;
          found = true;
          work.pDivider = static_cast<uint32_t>(p);
          work.vcoRange = static_cast<uint32_t>(k);
          work.outputDividers.clear();
          for (std::size_t e : entryOf) work.outputDividers.push_back(c[e]);
          d0 = d, pEffective = pe;
        }
        if (!found && pStep == 0) throw Failure{-304510};
      }
    }
    if (!found) throw GroupError{};
    double n = (d0 * pEffective * f0) / (refEff * 1000.0 / static_cast<double>(r)) / nMultiplier;
    std::tie(work.nBandCodeA, work.nBandCodeB) = pll::bandCodes(n);
    if (f(513)) {
      if (!f(500) || (*f(500) != 0 && *f(500) != 3)) throw Failure{-304510};
    }
    if (!std::isfinite(n)) throw GroupError{};
    const double x = n - std::floor(n);
    if (f(513) && *f(500) == 0) {
      const pll::Fraction fraction = pll::continuedFraction(x);
      work.nDividerFracNum = fraction.numerator, work.nDividerFracDen = fraction.denominator;
      n = std::floor(n) + static_cast<double>(fraction.numerator) / fraction.denominator;
    } else if (f(513)) {
      work.nDividerFracNum = pll::nearestEighth(x), work.nDividerFracDen = 8;
      n = std::floor(n) + work.nDividerFracNum / 8.0;
    } else if (f(525)) {
      const double units = std::round((n - std::trunc(n)) * 0x1p29);
      if (units < 0) throw GroupError{};
      work.nDividerFracFixed = static_cast<uint32_t>(units);
      n = std::floor(n) + work.nDividerFracFixed * 0x1p-29;
    } else {
      n = std::round(n);
    }
    work.nDivider = n;
    const double whole = std::trunc(n);
    bool within = f(510) && f(509) && whole >= *f(510) && whole <= *f(509);
    const auto limit = [&](uint32_t v, uint32_t minId, uint32_t maxId) {
      within = within && (!f(minId) || (v >= *f(minId) && (!f(maxId) || v <= *f(maxId))));
    };
    limit(work.nDividerFracNum, 512, 511);
    limit(work.nDividerFracDen, 514, 513);
    if (within && f(526) && whole == *f(510) && work.nDividerFracFixed < *f(526)) within = false;
    if (within && f(526) && f(525) && whole == *f(509) && work.nDividerFracFixed > *f(525)) {
      within = false;
    }
    if (!within) throw GroupError{};
    if (f(500) && (*f(500) == 0 || *f(500) == 2)) return work;
    reached = true;
    double error = 0.0;
    std::vector<double> achieved;
    for (std::size_t j = 0; j < frequencies.size(); ++j) {
      achieved.push_back((nMultiplier * n * refEff * 1000.0) /
                         (r * pEffective * divider(base, work.outputDividers[j])));
      error = std::max(error, std::fabs(frequencies[j] - achieved[j]));
    }
    if (error < bestError) best = work, bestFrequencies = achieved, bestError = error;
    if (step != 0 ? error < step / 1000.0 : (error == 0.0 || std::fabs(error) < 1e-10)) return best;
  }
  if (!reached) throw Failure{-304434};
  for (std::size_t j = 0; j < frequencies.size(); ++j) {
    if (!(std::fabs(frequencies[j] - bestFrequencies[j]) <= 10000.0)) throw GroupError{};
  }
  return best;
}

// Settings, or a failure code (1 for the group error).
struct Outcome {
  std::optional<PllSettings> settings;
  int code = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename F>
Outcome outcomeOf(F&& search) {
  try {
    return {search(), 0};
  } catch (const GroupError&) {
    return {std::nullopt, 1};
  } catch (const Failure& f) {
    return {std::nullopt, f.code};
  } catch (const qverr::Exception& e) {
    return {std::nullopt, e.code()};
  }
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  if (!o.settings) return out << "failure " << o.code;
  const PllSettings& s = *o.settings;
  out << "R " << s.rDivider << " P " << s.pDivider << " N " << s.nDivider << " range " << s.vcoRange
      << " codes";
  for (uint32_t c : s.outputDividers) out << " " << c;
  return out;
}

class Generator {
 public:
  explicit Generator(uint64_t seed) : random_(seed) {}
  uint32_t upTo(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n)(random_); }
  bool chance(uint32_t inN) { return upTo(inN - 1) == 0; }
  template <typename T>
  T pick(std::initializer_list<T> values) {
    return values.begin()[upTo(static_cast<uint32_t>(values.size()) - 1)];
  }
  double real(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(random_);
  }

 private:
  std::mt19937_64 random_;
};

struct Case {
  SectionFields pll, firstClock;
  std::vector<double> frequencies;
  double referenceKHz;
};

// Capabilities around a setting that exists, which the case then may miss, so that every path
// is taken: first and best fit, fractions, limits, empty and wide ranges, odd values.
Case makeCase(Generator& g) {
  Case c;
  const uint32_t chip = g.chance(25) ? 4 : g.upTo(3);
  c.pll[500] = {chip};
  c.referenceKHz = g.pick({10000.0, 12500.0, 25000.0});
  const uint32_t refMultiplier = g.pick({1u, 1u, 2u});
  if (refMultiplier != 1 || g.chance(4)) c.pll[523] = {refMultiplier};
  const double reference = g.chance(5) ? g.pick({5000.0, 20000.0}) : c.referenceKHz;
  if (reference != c.referenceKHz) c.pll[527] = {static_cast<uint32_t>(reference)};
  const uint32_t r0 = 1 + g.upTo(2);
  const uint32_t rMin = g.chance(20) ? r0 + 2 : std::max(1u, r0 - g.upTo(1));
  c.pll.insert({{504, {rMin}}, {503, {g.chance(20) ? rMin - 1 : rMin + g.upTo(4)}}});
  const double pfd = reference * refMultiplier / r0;
  c.pll[521] = {static_cast<uint32_t>(pfd * g.real(0.4, 1.0))};
  c.pll[522] = {static_cast<uint32_t>(pfd * g.real(1.0, 2.5))};
  const uint32_t nMultiplier = g.pick({1u, 1u, 2u});
  if (nMultiplier != 1 || g.chance(8)) c.pll[528] = {nMultiplier};
  const double n0 = 10 + g.upTo(110) + g.pick({0.0, 0.0, 0.5, 0.25, 0.3, 1.0 / 3, 0.7});
  const double vcoKHz = n0 * nMultiplier * pfd;
  const uint32_t pDivisor = g.chance(25) ? 0 : g.pick({1u, 1u, 2u});
  if (pDivisor != 1 || g.chance(8)) c.pll[529] = {pDivisor};
  const uint32_t pMin = g.chance(15) ? 0 : 1 + g.upTo(2);
  const uint32_t pStep = g.chance(20) ? 0 : g.pick({1u, 1u, 2u, 3u});
  c.pll.insert({{516, {pMin}}, {515, {g.chance(20) ? pMin + 3000 : pMin + g.upTo(6)}}});
  if (pStep != 1 || g.chance(4)) c.pll[524] = {pStep};
  const double p0 = std::max(1u, pMin + pStep * g.upTo(2)) / double(pDivisor ? pDivisor : 1);
  for (uint32_t k = 0, ranges = 1 + g.upTo(2); k < ranges; ++k) {
    const double centre = k == ranges - 1 || g.chance(2) ? vcoKHz : vcoKHz * g.real(0.3, 3.0);
    const double width = g.pick({0.0, 0.05, 0.2, 0.5});
    c.pll[501].push_back(static_cast<uint32_t>(centre * (1 - width)));
    c.pll[502].push_back(static_cast<uint32_t>(std::ceil(centre * (1 + width))));
  }
  const bool narrow = g.chance(6);
  c.pll[510] = {static_cast<uint32_t>(narrow ? n0 : g.upTo(10))};
  c.pll[509] = {static_cast<uint32_t>(narrow ? n0 + g.upTo(1) : 4 * n0 + g.upTo(100))};
  if (chip == 0 || chip == 3 || g.chance(6)) {
    c.pll.insert({{512, {g.upTo(1)}},
                  {511, {g.pick({7u, 0x3FFFFFu, 100u})}},
                  {514, {1}},
                  {513, {g.pick({8u, 0x3FFFFFu, 100u})}}});
  }
  if (g.chance(4)) {
    c.pll.insert(
        {{526, {g.pick({0u, 1u, 0x10000000u})}}, {525, {g.pick({0x1FFFFFFFu, 0x8000000u})}}});
  }
  const uint32_t base = g.pick({0u, 0u, 0u, 0u, 1u, 2u, 3u});
  uint32_t codeMin = base >= 2 ? g.upTo(2) : 1 + g.upTo(3);
  uint32_t codeMax = codeMin + g.upTo(base >= 2 ? 4 : 7);
  if (g.chance(30)) std::swap(codeMin, codeMax);
  if (g.chance(40)) codeMin = codeMax = 1020 + g.upTo(20);
  if (!g.chance(30)) c.firstClock[602] = {codeMin};
  if (!g.chance(30)) c.firstClock[601] = {codeMax};
  if (base != 0 || g.chance(6)) c.firstClock[605] = {base};
  if (g.chance(2)) c.firstClock[606] = {g.pick({0u, 1000u, 1000000u, 100000000u})};
  for (uint32_t j = 0, members = 1 + g.upTo(3); j < members; ++j) {
    if (j > 0 && g.chance(4)) {
      c.frequencies.push_back(c.frequencies[g.upTo(j - 1)]);
      continue;
    }
    const uint32_t code =
        codeMin + g.upTo(codeMax >= codeMin ? std::min(codeMax - codeMin, 6u) : 0);
    double f = vcoKHz * 1000.0 / (p0 * divider(base, code));
    if (g.chance(5)) f += g.pick({1.0, 500.0, 5000.0, 50000.0});
    if (g.chance(20)) f = g.pick({0.0, -1e6, std::nan(""), HUGE_VAL, 1e300});
    c.frequencies.push_back(f);
  }
  return c;
}

TEST(PllDividerSearchDifferential, ProductAndPlainSearchAgreeOnRandomSmallCases) {
  Generator g(0x22);
  int outcomes[3] = {};  // settled, group errors, other failures
  constexpr int kCases = 1500;
  for (int i = 0; i < kCases; ++i) {
    const Case c = makeCase(g);
    std::vector<uint32_t> clocks;
    std::vector<SectionFields> sections;
    for (uint32_t j = 0; j < c.frequencies.size(); ++j) {
      clocks.push_back(j);
      sections.push_back(j == 0 ? c.firstClock : SectionFields{{600, {0}}});
    }
    const auto tree = userclocktest::treeOf(c.pll, sections);
    const Outcome product = outcomeOf(
        [&] { return userclocktest::search(*tree, clocks, c.frequencies, c.referenceKHz); });
    const Outcome plain =
        outcomeOf([&] { return plainSearch(c.pll, c.firstClock, c.frequencies, c.referenceKHz); });
    ASSERT_EQ(product, plain) << "case " << i;
    ++outcomes[product.settings ? 0 : product.code == 1 ? 1 : 2];
  }
  // Every outcome in good measure.
  EXPECT_GT(outcomes[0], kCases / 6);
  EXPECT_GT(outcomes[1], kCases / 5);
  EXPECT_GT(outcomes[2], kCases / 20);
}

// The enumeration, with a pass broken off, and its two queries, against the odometer.
TEST(PllDividerSearchDifferential, EnumeratorAgreesWithTheOdometer) {
  Generator g(0x2222);
  const double frequencies[] = {1.0,  2.0,  3.0,  0.5,      0.25,    6.0,      0.0,
                                -0.0, -1.0, -2.0, HUGE_VAL, 1e308,   5e-324,   std::nan(""),
                                1e-3, 2e-3, 4e-3, 1.0 / 3,  2.0 / 3, -HUGE_VAL};
  for (int i = 0; i < 3000; ++i) {
    std::vector<DividerConstraint> constraints;
    for (uint32_t j = 0, width = 1 + g.upTo(3), pool = 2 + g.upTo(6); j < width; ++j) {
      DividerConstraint c;
      c.frequency = frequencies[g.chance(3) ? g.upTo(std::size(frequencies) - 1) : g.upTo(pool)];
      c.base = g.pick({0u, 0u, 0u, 1u, 2u, 3u});
      c.minCode = g.chance(8) ? 1020 + g.upTo(10) : g.upTo(3);
      c.maxCode = g.chance(30) && c.minCode > 0 ? c.minCode - 1 : c.minCode + g.upTo(6);
      constraints.push_back(c);
    }
    qvvandrel::OutputDividerEnumerator product(constraints);
    Odometer odometer(constraints);
    for (uint32_t k = 0, partial = g.upTo(2); k < partial; ++k) {
      ASSERT_EQ(product.next(), odometer.next()) << i;
    }
    std::vector<Combination> all;
    for (int pass = 0; pass < 2; ++pass) {
      product.reset();
      odometer.reset();
      for (Combination expected = odometer.next();; expected = odometer.next()) {
        ASSERT_EQ(product.next(), expected) << "case " << i << " pass " << pass;
        if (expected.empty()) break;
        if (pass == 0) all.push_back(expected);
      }
    }
    EXPECT_EQ(product.hasMatch(), !all.empty());
    for (int q = 0; q < 4; ++q) {
      const uint64_t from = g.upTo(1030), to = from + g.upTo(8), bound = g.upTo(1032);
      Combination first;
      std::optional<uint32_t> below;
      for (const Combination& c : all) {
        if (first.empty() && c[0] >= from && c[0] <= to) first = c;
        if (c[0] < bound && (!below || c[0] > *below)) below = c[0];
      }
      EXPECT_EQ(product.firstMatchWithFirstCodeIn(from, to), first) << i;
      EXPECT_EQ(product.lastFirstCodeBelow(bound), below) << i;
    }
  }
}

}  // namespace
