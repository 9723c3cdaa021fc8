// The PLL divider search on its worst cases against the LMK03328 example in one run: a fifth
// clock that fits none of four in the joining test, over codes 1..256; R and P ranges of the
// whole 32 bits with nothing fitting; output-divider codes 1..65536; a best-fit chip that never
// meets its tolerance across 1,000 R values. Each worst case must stay within 20 ms.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../RatioReporter.h"
#include "clip/ClipCapabilities.h"
#include "clocks/OutputDividerEnumerator.h"
#include "clocks/PllDividerSearch.h"
#include "foundation/errors/Exception.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace {

using qvvandrel::ClipCapabilities;
using qvvandrel::DividerConstraint;
using sim::SectionFields;

struct NoSolution {};

std::unique_ptr<ClipCapabilities> treeOf(const SectionFields& pll,
                                         const std::vector<SectionFields>& clocks) {
  sim::UserClockProfile profile;
  profile.plls = {pll};
  profile.userClocks = clocks;
  const std::vector<uint32_t> words = profile.words();
  auto tree = std::make_unique<ClipCapabilities>(false);
  for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
    const auto handler = tree->handlers().find(words[i]);
    if (handler != tree->handlers().end()) handler->second->acceptValue(words[i + 1]);
  }
  return tree;
}

// The search on PLL 0 for clocks 0.. with these frequencies, from a 10 MHz reference.
// A failure is an outcome too.
void searchOnce(const ClipCapabilities& tree, const std::vector<double>& frequencies) {
  std::vector<uint32_t> clocks;
  for (uint32_t k = 0; k < frequencies.size(); ++k) clocks.push_back(k);
  try {
    benchmark::DoNotOptimize(qvvandrel::pll::findDividers(tree, 0, clocks, frequencies, 10000.0,
                                                          [] { throw NoSolution{}; }));
  } catch (const NoSolution&) {
  } catch (const qverr::Exception&) {
  }
}

void search(benchmark::State& state, const ClipCapabilities& tree,
            const std::vector<double>& frequencies) {
  for (auto _ : state) searchOnce(tree, frequencies);
}

void Lmk03328Example(benchmark::State& state) {
  const auto tree = treeOf(sim::lmk03328Pll(), {sim::pllClock({0})});
  search(state, *tree, {156.25e6});
}

// What the joining test asks of a fifth clock at 300 MHz + 1 Hz beside 1 GHz, 500, 250 and
// 125 MHz: 256^5 combinations for an odometer.
void FifthClockJoinsNone(benchmark::State& state) {
  std::vector<DividerConstraint> constraints{{3e8 + 1, 1, 256, 0}};
  for (double f : {1e9, 5e8, 2.5e8, 1.25e8}) constraints.push_back({f, 1, 256, 0});
  for (auto _ : state) {
    benchmark::DoNotOptimize(qvvandrel::OutputDividerEnumerator(constraints).next());
  }
}

void WholeRAndPRangesNothingFits(benchmark::State& state) {
  SectionFields pll = sim::lmk03328Pll();
  pll[500] = {1};
  pll[503] = {0xFFFFFFFF};
  pll[515] = {0xFFFFFFFF};
  pll[516] = {1};
  pll[521] = {0};
  pll[501] = pll[502] = {0xFFFFFFFF};  // beyond every divider product of a 1 Hz clock
  const auto tree = treeOf(pll, {sim::pllClock({0})});
  // And a window that no R reaches: every phase detector lies above it.
  pll[522] = {0};
  const auto above = treeOf(pll, {sim::pllClock({0})});
  for (auto _ : state) {
    searchOnce(*tree, {1e-3});
    searchOnce(*above, {1e-3});
  }
}

void CodesUpTo65536(benchmark::State& state) {
  SectionFields clock = sim::pllClock({0});
  clock[601] = {65536};
  const auto tree = treeOf(sim::lmk03328Pll(), {clock, clock, clock, clock});
  // Ratios that only very large codes give, and a fourth frequency that matches none.
  search(state, *tree, {1e5, 99999.0, 100001.0, 77777.0});
}

void BestFitNeverWithinTolerance(benchmark::State& state) {
  SectionFields pll = sim::lmk03328Pll();
  pll[500] = {1};
  pll[503] = {1000};
  pll[509] = {0xFFFFFFFF};
  pll[521] = {1};
  pll.erase(513);  // N rounded: no R gives the frequency exactly
  SectionFields clock = sim::pllClock({0});
  clock[606] = {0};
  const auto tree = treeOf(pll, {clock});
  search(state, *tree, {156.2512345e6});
}

BENCHMARK(Lmk03328Example)->Unit(benchmark::kMicrosecond);
BENCHMARK(FifthClockJoinsNone)->Unit(benchmark::kMicrosecond);
BENCHMARK(WholeRAndPRangesNothingFits)->Unit(benchmark::kMicrosecond);
BENCHMARK(CodesUpTo65536)->Unit(benchmark::kMicrosecond);
BENCHMARK(BestFitNeverWithinTolerance)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double baseline = reporter.time("Lmk03328Example");
  for (const char* name : {"FifthClockJoinsNone", "WholeRAndPRangesNothingFits", "CodesUpTo65536",
                           "BestFitNeverWithinTolerance"}) {
    // Every figure in microseconds.
    const double us = reporter.time(name);
    if (baseline > 0 && us > 0) {
      std::printf("%s: %.3f ms, %.1f x the LMK03328 example (%.3f us), %s the 20 ms limit\n", name,
                  us / 1e3, us / baseline, baseline, us <= 20e3 ? "within" : "OVER");
    }
  }
  benchmark::Shutdown();
  return 0;
}
