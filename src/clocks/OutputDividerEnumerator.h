#pragma once
// The output-divider combinations of clocks that share one PLL. A constraint is a frequency with
// a range of divider codes and a base; the divider of code c is c itself when the base is 0, else
// the base raised to c (a double, +infinity past the double range). A combination (one code per
// constraint) matches when every frequency times its divider gives exactly the value of the
// first constraint's; a single constraint always matches. Combinations come in odometer order:
// the first constraint's code moves fastest, each code runs from its minimum to its maximum, and
// a range whose minimum lies above its maximum holds no code.
//
// The matches are found without visiting every combination. A constraint's value never falls as
// its code rises, or never rises (its frequency's sign decides), so the codes that give one value
// form a contiguous run. The runs of the first constraint, walked in code order, each fix one
// value; every other constraint is walked once beside them to find its run of that value. A value
// that all constraints reach is a class of matches: a box of code runs, one per constraint. Work
// and memory grow with the number of constraints times their code ranges, never with the
// product of the ranges.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qvvandrel {

struct DividerConstraint {
  double frequency = 0.0;
  std::uint32_t minCode = 0;
  std::uint32_t maxCode = 0;
  std::uint32_t base = 0;

  // All four compared exactly (a NaN frequency equals nothing).
  bool operator==(const DividerConstraint&) const = default;
};

// The first position in [from, end) at which `holds` is true, `end` when there is none; `holds`
// must be false up to some position and true from there on. Gallops, then bisects, so a long
// stretch costs its logarithm.
template <typename Holds>
std::uint64_t firstWhere(std::uint64_t from, std::uint64_t end, Holds holds) {
  if (from >= end || holds(from)) return from;
  std::uint64_t fails = from;
  std::uint64_t probe;
  for (std::uint64_t step = 1;; step *= 2) {
    probe = fails + step;
    if (probe >= end) {
      probe = end;
      break;
    }
    if (holds(probe)) break;
    fails = probe;
  }
  std::uint64_t low = fails + 1;
  while (low < probe) {
    const std::uint64_t middle = low + (probe - low) / 2;
    if (holds(middle)) {
      probe = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

class OutputDividerEnumerator {
 public:
  // One code per constraint; empty when there is none.
  using Combination = std::vector<std::uint32_t>;

  explicit OutputDividerEnumerator(std::vector<DividerConstraint> constraints);

  // The next matching combination in odometer order; empty once every match was returned.
  Combination next();
  // Starts again at the first combination. Every pass returns the same matches in the same
  // order, whether the previous pass was complete or not.
  void reset();

  // The divider code `code` stands for under `base`.
  static double divider(std::uint32_t base, std::uint64_t code);

  const std::vector<DividerConstraint>& constraints() const { return constraints_; }
  bool hasMatch() const { return classCount_ != 0; }
  // The first match, in odometer order, whose first code lies in [from, to]; empty when none.
  Combination firstMatchWithFirstCodeIn(std::uint64_t from, std::uint64_t to) const;
  // The largest first code of any match that lies below `code`.
  std::optional<std::uint32_t> lastFirstCodeBelow(std::uint64_t code) const;

 private:
  struct Run {
    std::uint32_t low;
    std::uint32_t high;
  };

  void findClasses();
  // The code run of class k for constraint j.
  const Run& run(std::size_t k, std::size_t j) const { return runs_[k * width_ + j]; }
  std::uint32_t current(std::size_t k, std::size_t j) const {
    return run(k, j).low + offsets_[k * width_ + j];
  }
  // Whether class a's current combination comes before class b's in odometer order.
  bool before(std::size_t a, std::size_t b) const;
  void startPass();

  std::vector<DividerConstraint> constraints_;
  std::size_t width_;
  // Classes in ascending order of their first constraint's codes, `width_` runs each.
  std::vector<Run> runs_;
  std::size_t classCount_ = 0;

  // The pass in progress: per class the offsets of its current combination within its runs,
  // and a heap of the classes not yet exhausted, earliest combination first.
  bool started_ = false;
  std::vector<std::uint32_t> offsets_;
  std::vector<std::size_t> heap_;
};

}  // namespace qvvandrel
