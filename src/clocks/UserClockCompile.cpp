// The user clocks' compile step: states, rounding and range checks, frequency groups, the PLL
// each group gets and its dividers, the output settings, the achieved frequencies and the TX and
// RX clock choices.

#include <algorithm>
#include <cmath>
#include <string>

#include "attributes/RaiseWithDetails.h"
#include "clocks/OutputDividerEnumerator.h"
#include "clocks/UserClock.h"
#include "clocks/UserClockErrors.h"
#include "foundation/errors/Exception.h"
#include "model/ClipCapabilityRange.h"

namespace qvvandrel {

namespace {

using user_clock::location;
namespace elaboration = atat::elaboration;

constexpr qverr::StatusLocation kBypassUnsupported =
    location(801, qverr::constant::kBypassUnsupported);
constexpr qverr::StatusLocation kFrequencyOutOfRange =
    location(822, qverr::constant::kUserClockFreqInvalid);
constexpr qverr::StatusLocation kTooManyGroups =
    location(851, qverr::constant::kUserClockFreqCombinationUnsupported);
constexpr qverr::StatusLocation kNoPllForClock =
    location(884, qverr::constant::kUserClockFreqNotFound);
constexpr qverr::StatusLocation kTxClockUnparsed =
    location(915, qverr::constant::kGenericInternalError);

enum UserClockState : std::uint32_t {
  kUnconfigured = 0,  // enabled, no frequency requested
  kDisabled = 1,
  kBypass = 2,
  kPllDriven = 3,
};

constexpr double kDefaultStepHz = 10000.0;

// The request rounded to the clock's frequency step (half-way rounds up); a step of 0 keeps it.
double roundToStep(double frequency, const boost::optional<unsigned int>& stepMilliHz) {
  if (stepMilliHz && *stepMilliHz == 0) return frequency;
  const double step = stepMilliHz ? *stepMilliHz / 1000.0 : kDefaultStepHz;
  const double x = frequency + step / 2;
  return x - std::fmod(x, step);
}

double hertz(unsigned int kilohertz) {
  return static_cast<double>(std::uint64_t{kilohertz} * 1000);
}

}  // namespace

PllSettings UserClock::findPllDividers(std::uint32_t pll, const std::vector<std::uint32_t>& clocks,
                                       const std::vector<double>& frequencies,
                                       double referenceKHz) const {
  return pll::findDividers(capabilities_, pll, clocks, frequencies, referenceKHz,
                           [&] { raiseNoDividerSolution(clocks, frequencies); });
}

bool UserClock::canJoinGroup(std::uint32_t clock, double frequency,
                             const std::vector<std::uint32_t>& sources,
                             const FrequencyGroup& group) const {
  const FrequencyMember& first = group.front();
  if (sources != outputSourcesOf(first.clocks.front())) return false;
  // Clocks that more than one PLL can drive share one only at one frequency.
  if (sources.size() != 1 && !(frequency == first.frequency)) return false;
  const UserClockSection& u = capabilities_.userClocks.section;
  std::vector<DividerConstraint> constraints;
  const auto add = [&](double f, std::uint32_t c) {
    const boost::optional<unsigned int> min = u.outputDividerMin.at(c);
    const boost::optional<unsigned int> max = u.outputDividerMax.at(c);
    // A clock without both limits has no code at all.
    const DividerConstraint constraint{f, min && max ? *min : 1, min && max ? *max : 0,
                                       u.outputDividerBase.at(c).value_or(0)};
    if (std::find(constraints.begin(), constraints.end(), constraint) == constraints.end()) {
      constraints.push_back(constraint);
    }
  };
  add(frequency, clock);
  for (const FrequencyMember& member : group) add(member.frequency, member.clocks.front());
  return !OutputDividerEnumerator(std::move(constraints)).next().empty();
}

void UserClock::searchPllDividers(const std::vector<FrequencyGroup>& groups, double referenceKHz) {
  std::vector<bool> free(capabilities_.plls.count, true);
  for (const FrequencyGroup& group : groups) {
    for (const std::uint32_t pll : outputSourcesOf(group.front().clocks.front())) {
      if (pll >= free.size() || !free[pll]) continue;
      std::vector<std::uint32_t> clocks;
      std::vector<double> frequencies;
      for (const FrequencyMember& member : group) {
        clocks.push_back(member.clocks.front());
        frequencies.push_back(member.frequency);
      }
      pllSettings_.push_back(findPllDividers(pll, clocks, frequencies, referenceKHz));
      free[pll] = false;
      break;
    }
  }
}

void UserClock::compile() {
  if (!available_) return;
  pllSettings_.clear();
  outputSettings_.clear();
  txClockIndex_ = -1;
  const UserClockSection& u = capabilities_.userClocks.section;
  const std::size_t count = clockCount();

  std::vector<UserClockState> states(count);
  for (std::size_t k = 0; k < count; ++k) {
    states[k] = enables_[k]->getDesired() ? kUnconfigured : kDisabled;
  }
  for (std::size_t k = 0; k < count; ++k) {
    if (states[k] == kDisabled || !bypasses_[k]->getDesired()) continue;
    const auto& sources = u.outputDividerSource.at(static_cast<std::uint32_t>(k));
    if (std::find(sources.begin(), sources.end(), kBypassSource) == sources.end()) {
      qverr::raise(qverr::kBypassUnsupported, kBypassUnsupported);
    }
    states[k] = kBypass;
  }

  std::vector<FrequencyGroup> groups;
  bool anyPllDriven = false;
  for (std::size_t k = 0; k < count; ++k) {
    const auto clock = static_cast<std::uint32_t>(k);
    Frequency& attribute = *frequencies_[k];
    const double requested = attribute.getDesired();
    const double rounded = roundToStep(requested, u.freqStepMilliHz.at(clock));
    const bool untouched = requested == 0.0 && !attribute.wasSetByUser();
    if (!untouched && states[k] != kDisabled && states[k] != kBypass) {
      // A limit the CLIP does not report restricts nothing on its side.
      const boost::optional<unsigned int> minKHz = u.minFreqKHz.at(clock);
      const boost::optional<unsigned int> maxKHz = u.maxFreqKHz.at(clock);
      if ((minKHz && rounded < hertz(*minKHz)) || (maxKHz && rounded > hertz(*maxKHz))) {
        atat::detail::raiseWithDetails(
            qverr::kUserClockFreqInvalid, kFrequencyOutOfRange, [&](elaboration::Cursor c) {
              c = elaboration::appendUsageDouble(c, "kUsageTypeRequestedValue", rounded);
              if (minKHz) c = user_clock::appendKilohertz(c, "kUsageTypeMinValue", *minKHz);
              if (maxKHz) c = user_clock::appendKilohertz(c, "kUsageTypeMaxValue", *maxKHz);
              userClockIdentifier(c, attribute.getChannelName());
            });
      }
      states[k] = kPllDriven;
      anyPllDriven = true;
      const std::vector<std::uint32_t> sources = outputSourcesOf(clock);
      const auto joined = std::find_if(groups.begin(), groups.end(), [&](const FrequencyGroup& g) {
        return canJoinGroup(clock, rounded, sources, g);
      });
      const FrequencyMember member{rounded, {clock}};
      if (joined != groups.end()) {
        joined->push_back(member);
      } else {
        groups.push_back({member});
      }
    }
    attribute.setCoerced(rounded);
  }

  const std::uint32_t pllCount = capabilities_.plls.count;
  if (groups.size() > pllCount) {
    atat::detail::raiseWithDetails(
        qverr::kUserClockFreqCombinationUnsupported, kTooManyGroups, [&](elaboration::Cursor c) {
          c = elaboration::appendUsageUInt64(c, "kUsageTypeRequestedValue", groups.size());
          elaboration::appendUsageUInt32(c, "kUsageTypeMaxValue", pllCount);
        });
  }
  const DependencyAttribute<double>* rate = referenceRateLink_.attribute();
  if (rate == nullptr) qverr::throwError(qverr::kInternalError);
  const double referenceKHz = rate->getCoerced() / 1000.0;
  if (anyPllDriven) searchPllDividers(groups, referenceKHz);

  for (std::size_t k = 0; k < count; ++k) {
    const auto clock = static_cast<std::uint32_t>(k);
    if (states[k] == kBypass) {
      outputSettings_.push_back({1, kBypassSource});
    } else if (states[k] != kPllDriven) {
      outputSettings_.push_back({1, kNoSource});
    } else {
      const PllSettings* serving = nullptr;
      std::size_t position = 0;
      for (const PllSettings& settings : pllSettings_) {
        const auto at = std::find(settings.clocks.begin(), settings.clocks.end(), clock);
        if (at == settings.clocks.end()) continue;
        serving = &settings;
        position = static_cast<std::size_t>(at - settings.clocks.begin());
        break;
      }
      if (serving == nullptr || position >= serving->outputDividers.size()) {
        atat::detail::raiseWithDetails(
            qverr::kUserClockFreqNotFound, kNoPllForClock, [&](elaboration::Cursor c) {
              elaboration::appendUsageDouble(c, "kUsageTypeRequestedValue",
                                             frequencies_[k]->getCoerced());
            });
      }
      outputSettings_.push_back({serving->outputDividers[position], serving->pllIndex});
    }
  }

  const PllSection& plls = capabilities_.plls.section;
  for (std::size_t k = 0; k < count; ++k) {
    if (states[k] != kPllDriven) continue;
    const OutputSetting& output = outputSettings_[k];
    const auto serving =
        std::find_if(pllSettings_.begin(), pllSettings_.end(),
                     [&](const PllSettings& s) { return s.pllIndex == output.source; });
    if (referenceRateLink_.attribute() == nullptr) qverr::throwError(qverr::kInternalError);
    const boost::optional<unsigned int> ownReference = plls.refFreqKHz.at(output.source);
    const double reference = ownReference ? *ownReference * 1000.0 : rate->getCoerced();
    const double multiplier = plls.refMultiplier.at(output.source).value_or(1);
    const boost::optional<unsigned int> base =
        u.outputDividerBase.at(static_cast<std::uint32_t>(k));
    const double divider =
        std::trunc(OutputDividerEnumerator::divider(base.value_or(0), output.divider));
    // The divider chain's product, formed wide enough that it cannot wrap.
    const double denominator =
        static_cast<double>(std::uint64_t{serving->rDivider} * serving->pDivider) * divider;
    frequencies_[k]->setCoerced(serving->nDividerMultiplier * serving->nDivider *
                                (multiplier * reference) * serving->pDividerDivisor / denominator);
  }

  compileTxClock();
  compileRxClocks();
}

void UserClock::compileTxClock() {
  if (capabilities_.cap212.values.empty()) return;
  try {
    detail::DiscreteRange<std::string> names(qverr::kInvalidAttributeValue, txClockNames_);
    names.coerce(txClockSelect_.getCoerced());
  } catch (qverr::ExceptionBase& error) {
    nameAttributeInError(error, kTxClockSelectId, std::string(), nullptr);
    throw;
  }
  // The number after "CLK", written as the host wrote it.
  const std::string desired = txClockSelect_.getDesired();
  try {
    txClockIndex_ = std::stoi(desired.substr(3));
  } catch (const std::exception&) {
    atat::detail::raiseWithDetails(
        qverr::kGenericInternalError, kTxClockUnparsed, [&](elaboration::Cursor c) {
          c = elaboration::appendUsageString(c, "kUsageTypeRequestedValue", desired.c_str());
          c = elaboration::appendUsageString(c, "kUsageTypeMinValue", "CLK0");
          elaboration::appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeIdentifier",
                                                         kTxClockSelectId);
        });
  }
}

void UserClock::compileRxClocks() {
  const std::vector<QVA100_RXClockSource>& sources = capabilities_.cap213.values;
  if (sources.empty()) return;
  detail::EnumRange<QVA100_RXClockSource> range(kRxClockSelectId, qverr::kInvalidAttributeValue,
                                                sources);
  for (const auto& select : rxClockSelects_) {
    try {
      range.coerce(select->getCoerced());
    } catch (qverr::ExceptionBase& error) {
      nameAttributeInError(error, kRxClockSelectId, std::string(), nullptr);
      throw;
    }
  }
}

}  // namespace qvvandrel
