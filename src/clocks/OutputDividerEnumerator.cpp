#include "clocks/OutputDividerEnumerator.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace qvvandrel {

namespace {

using Code = std::uint64_t;

// From this code on, any base of 2 or more gives a divider past the double range.
constexpr Code kOverflowCode = 1100;

double valueAt(const DividerConstraint& c, Code code) {
  return c.frequency * OutputDividerEnumerator::divider(c.base, code);
}

// The codes of a constraint whose value is a number. NaN values lie only at the ends of the
// range: every value of a NaN frequency; zero times an infinite divider (the top codes of a base
// of 2 or more); infinity times the zero divider of code 0 under base 0.
struct CodeSpan {
  Code low;
  Code high;
  Code size() const { return low > high ? 0 : high - low + 1; }
};

CodeSpan numericCodes(const DividerConstraint& c) {
  CodeSpan span{c.minCode, c.maxCode};
  if (std::isnan(c.frequency)) return {1, 0};
  if (c.frequency == 0.0 && c.base >= 2) {
    const Code firstInfinite = firstWhere(0, kOverflowCode, [&](Code code) {
      return std::isinf(OutputDividerEnumerator::divider(c.base, code));
    });
    // Code 0's divider is 1, so the first infinite one is above it.
    span.high = std::min(span.high, firstInfinite - 1);
  }
  if (std::isinf(c.frequency) && c.base == 0) span.low = std::max<Code>(span.low, 1);
  return span;
}

// A walk over a constraint's numeric codes, in the code order that makes its values run the way
// the first constraint's values run (rising unless the first frequency is negative).
class Walk {
 public:
  struct Run {
    double value;
    std::uint32_t low;
    std::uint32_t high;
  };

  Walk(const DividerConstraint& constraint, bool valuesRise)
      : constraint_(&constraint),
        span_(numericCodes(constraint)),
        count_(span_.size()),
        codesRise_((constraint.frequency < 0.0) != valuesRise),
        valuesRise_(valuesRise) {}

  // The next run of equal values, or none at the end.
  bool nextRun(Run* run) {
    if (position_ >= count_) return false;
    const double value = valueAtPosition(position_);
    const Code end = endOfRun(value);
    *run = makeRun(value, end);
    position_ = end;
    return true;
  }

  // Moves past the values that come before `value` and takes the run of codes giving exactly
  // `value`, if there is one.
  bool take(double value, Run* run) {
    position_ = firstWhere(position_, count_, [&](Code p) {
      const double v = valueAtPosition(p);
      return !(valuesRise_ ? v < value : v > value);
    });
    if (position_ >= count_ || valueAtPosition(position_) != value) return false;
    const Code end = endOfRun(value);
    *run = makeRun(value, end);
    position_ = end;
    return true;
  }

 private:
  Code codeAt(Code position) const {
    return codesRise_ ? span_.low + position : span_.high - position;
  }
  double valueAtPosition(Code position) const { return valueAt(*constraint_, codeAt(position)); }
  Code endOfRun(double value) const {
    return firstWhere(position_, count_, [&](Code p) { return valueAtPosition(p) != value; });
  }
  Run makeRun(double value, Code end) const {
    const Code a = codeAt(position_);
    const Code b = codeAt(end - 1);
    return {value, static_cast<std::uint32_t>(std::min(a, b)),
            static_cast<std::uint32_t>(std::max(a, b))};
  }

  const DividerConstraint* constraint_;
  CodeSpan span_;
  Code count_;
  bool codesRise_;
  bool valuesRise_;
  Code position_ = 0;
};

}  // namespace

double OutputDividerEnumerator::divider(std::uint32_t base, std::uint64_t code) {
  if (base == 0) return static_cast<double>(code);
  if (base == 1) return 1.0;
  if (code >= kOverflowCode) return HUGE_VAL;  // what pow gives there
  return std::pow(static_cast<double>(base), static_cast<double>(code));
}

OutputDividerEnumerator::OutputDividerEnumerator(std::vector<DividerConstraint> constraints)
    : constraints_(std::move(constraints)), width_(constraints_.size()) {
  findClasses();
}

void OutputDividerEnumerator::findClasses() {
  if (width_ == 0) return;
  for (const DividerConstraint& c : constraints_)
    if (c.minCode > c.maxCode) return;
  if (width_ == 1) {
    // Nothing to equal: every code matches, NaN values included.
    runs_.push_back({constraints_[0].minCode, constraints_[0].maxCode});
    classCount_ = 1;
    return;
  }
  const bool valuesRise = !(constraints_[0].frequency < 0.0);
  Walk first(constraints_[0], valuesRise);
  std::vector<Walk> others;
  others.reserve(width_ - 1);
  for (std::size_t j = 1; j < width_; ++j) others.emplace_back(constraints_[j], valuesRise);

  std::vector<Run> box(width_);
  Walk::Run run;
  while (first.nextRun(&run)) {
    box[0] = {run.low, run.high};
    bool matches = true;
    for (std::size_t j = 1; j < width_ && matches; ++j) {
      Walk::Run other;
      matches = others[j - 1].take(run.value, &other);
      if (matches) box[j] = {other.low, other.high};
    }
    if (!matches) continue;
    runs_.insert(runs_.end(), box.begin(), box.end());
    ++classCount_;
  }
}

bool OutputDividerEnumerator::before(std::size_t a, std::size_t b) const {
  for (std::size_t j = width_; j-- > 0;) {
    const std::uint32_t codeA = current(a, j);
    const std::uint32_t codeB = current(b, j);
    if (codeA != codeB) return codeA < codeB;
  }
  return false;
}

void OutputDividerEnumerator::startPass() {
  offsets_.assign(classCount_ * width_, 0);
  heap_.resize(classCount_);
  for (std::size_t k = 0; k < classCount_; ++k) heap_[k] = k;
  // The classes' first codes are disjoint, so no two combinations tie.
  std::make_heap(heap_.begin(), heap_.end(),
                 [this](std::size_t a, std::size_t b) { return before(b, a); });
  started_ = true;
}

OutputDividerEnumerator::Combination OutputDividerEnumerator::next() {
  if (!started_) startPass();
  if (heap_.empty()) return {};
  const auto later = [this](std::size_t a, std::size_t b) { return before(b, a); };
  std::pop_heap(heap_.begin(), heap_.end(), later);
  const std::size_t k = heap_.back();
  Combination combination(width_);
  for (std::size_t j = 0; j < width_; ++j) combination[j] = current(k, j);
  // The class's own odometer: the first constraint's code moves fastest.
  for (std::size_t j = 0; j < width_; ++j) {
    std::uint32_t& offset = offsets_[k * width_ + j];
    if (current(k, j) < run(k, j).high) {
      ++offset;
      std::push_heap(heap_.begin(), heap_.end(), later);
      return combination;
    }
    offset = 0;
  }
  heap_.pop_back();
  return combination;
}

void OutputDividerEnumerator::reset() {
  started_ = false;
}

OutputDividerEnumerator::Combination OutputDividerEnumerator::firstMatchWithFirstCodeIn(
    std::uint64_t from, std::uint64_t to) const {
  if (from > to) return {};
  // The first class whose first codes reach `from`.
  std::size_t low = 0;
  std::size_t high = classCount_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (run(middle, 0).high >= from) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  // Within a class every other code is free of the first, so its earliest combination takes each
  // run's lowest code; between classes the last constraint's code decides first.
  std::size_t best = classCount_;
  std::uint32_t bestFirst = 0;
  for (std::size_t k = low; k < classCount_ && run(k, 0).low <= to; ++k) {
    const std::uint32_t first =
        static_cast<std::uint32_t>(std::max<std::uint64_t>(run(k, 0).low, from));
    if (best != classCount_) {
      bool earlier = false;
      bool decided = false;
      for (std::size_t j = width_; j-- > 1 && !decided;) {
        if (run(k, j).low != run(best, j).low) {
          earlier = run(k, j).low < run(best, j).low;
          decided = true;
        }
      }
      // Equal other codes: the lower first code, which is the earlier class's.
      if (!earlier) continue;
    }
    best = k;
    bestFirst = first;
  }
  if (best == classCount_) return {};
  Combination combination(width_);
  combination[0] = bestFirst;
  for (std::size_t j = 1; j < width_; ++j) combination[j] = run(best, j).low;
  return combination;
}

std::optional<std::uint32_t> OutputDividerEnumerator::lastFirstCodeBelow(std::uint64_t code) const {
  // The number of classes whose first codes start below `code`.
  std::size_t low = 0;
  std::size_t high = classCount_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (run(middle, 0).low < code) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == 0) return std::nullopt;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(run(low - 1, 0).high, code - 1));
}

}  // namespace qvvandrel
