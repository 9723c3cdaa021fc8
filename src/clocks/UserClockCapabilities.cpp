// The user clocks' check of the PLL and user-clock sections of the feature's own tree.

#include <map>
#include <optional>

#include "clocks/UserClock.h"
#include "clocks/UserClockErrors.h"

namespace qvvandrel {

namespace {

using user_clock::kPllSectionInvalid;

[[noreturn]] void invalid(const char* message, std::optional<std::uint32_t> number = std::nullopt) {
  user_clock::raiseInvalidPllCapabilities(kPllSectionInvalid, message, number);
}

// An interface-version-1 CLIP describes PLL 0 only: its values serve every PLL.
template <typename T>
void copyFirstToAll(ififo_rpc::section::Value<T>& field, std::uint32_t count) {
  if (field.at(1)) invalid("Capability already initialized");
  if (!field.at(0)) return;
  for (std::uint32_t i = std::min<std::uint32_t>(count, field.values.size()); i-- > 1;) {
    field.values[i] = field.values[0];
  }
}

template <typename T>
void copyFirstToAll(ififo_rpc::section::ListValue<T>& field, std::uint32_t count) {
  if (!field.at(1).empty()) invalid("Capability already initialized");
  for (std::uint32_t i = std::min<std::uint32_t>(count, field.values.size()); i-- > 1;) {
    field.values[i] = field.values[0];
    field.rawValues[i] = field.rawValues[0];
  }
}

void requireValue(bool present, const char* message, std::uint32_t pll) {
  if (!present) invalid(message, pll);
}

void checkPll(const PllSection& s, std::uint32_t i) {
  requireValue(s.chipType.at(i).has_value(), "missing chipType in section: ", i);
  requireValue(!s.vcoMinFreqKHz.at(i).empty(), "missing vcoMinFreqKHz in section: ", i);
  requireValue(!s.vcoMaxFreqKHz.at(i).empty(), "missing vcoMaxFreqKHz in section: ", i);
  requireValue(s.pfdMinFreqKHz.at(i).has_value(), "missing pfdMinFreqKHz in section: ", i);
  requireValue(s.pfdMaxFreqKHz.at(i).has_value(), "missing pfdMaxFreqKHz in section: ", i);
  requireValue(s.nDividerIntMax.at(i).has_value(), "missing nDividerIntMax in section: ", i);
  requireValue(s.nDividerIntMin.at(i).has_value(), "missing nDividerIntMin in section: ", i);
  if (s.vcoMinFreqKHz.at(i).size() != s.vcoMaxFreqKHz.at(i).size()) {
    invalid("Mismatched VCO range capabilities");
  }
  const std::uint32_t chip = *s.chipType.at(i);
  if (chip > 3) invalid("Unhandled or invalid PLL chip type ", chip);
  // Chip type 0 needs the P limits, then what type 3 needs; type 3 the fraction limits, then
  // what type 1 needs; type 1 the R limits; type 2 nothing more.
  if (chip == 0) {
    requireValue(s.pDividerIntMax.at(i).has_value(), "missing pDividerIntMax in section: ", i);
    requireValue(s.pDividerIntMin.at(i).has_value(), "missing pDividerIntMin in section: ", i);
  }
  if (chip == 0 || chip == 3) {
    requireValue(s.nDividerFracNumMax.at(i).has_value(),
                 "missing nDividerFracNumMax in section: ", i);
    requireValue(s.nDividerFracNumMin.at(i).has_value(),
                 "missing nDividerFracNumMin in section: ", i);
    requireValue(s.nDividerFracDenMax.at(i).has_value(),
                 "missing nDividerFracDenMax in section: ", i);
    requireValue(s.nDividerFracDenMin.at(i).has_value(),
                 "missing nDividerFracDenMin in section: ", i);
  }
  if (chip != 2) {
    requireValue(s.rDividerIntMax.at(i).has_value(), "missing rDividerIntMax in section: ", i);
    requireValue(s.rDividerIntMin.at(i).has_value(), "missing rDividerIntMin in section: ", i);
  }
}

}  // namespace

std::vector<std::uint32_t> UserClock::outputSourcesOf(std::uint32_t clock) const {
  std::vector<std::uint32_t> sources;
  for (const auto source : capabilities_.userClocks.section.outputDividerSource.at(clock)) {
    if (source != kBypassSource && source != kNoSource) sources.push_back(source);
  }
  return sources;
}

bool UserClock::parsePllSection() {
  ClipCapabilities& tree = capabilities_;
  const std::uint32_t pllCount = tree.plls.count;
  const std::uint32_t clockCount = tree.userClocks.count;
  if (tree.cap200.values.empty() || clockCount == 0 || pllCount == 0) return false;
  PllSection& s = tree.plls.section;

  // A tree that stored no version counts as version 2 or later.
  if (tree.interfaceVersion && *tree.interfaceVersion < 2) {
    const auto chip = s.chipType.at(0);
    if (!chip || *chip != 0) invalid("PLL interface version 1 only supports LMK03328");
    for (U32Field* field :
         {&s.pfdMinFreqKHz, &s.pfdMaxFreqKHz, &s.rDividerIntMax, &s.rDividerIntMin,
          &s.nDividerIntMax, &s.nDividerIntMin, &s.nDividerFracNumMax, &s.nDividerFracNumMin,
          &s.nDividerFracDenMax, &s.nDividerFracDenMin, &s.pDividerIntMax, &s.pDividerIntMin}) {
      copyFirstToAll(*field, pllCount);
    }
    copyFirstToAll(s.chipType, pllCount);
    copyFirstToAll(s.vcoMinFreqKHz, pllCount);
    copyFirstToAll(s.vcoMaxFreqKHz, pllCount);
  }

  for (std::uint32_t i = 0; i < pllCount; ++i) checkPll(s, i);

  // Clocks with equal output sources form a group, which shares its PLLs.
  std::map<std::vector<std::uint32_t>, std::vector<std::uint32_t>> groups;
  for (std::uint32_t clock = 0; clock < clockCount; ++clock) {
    groups[outputSourcesOf(clock)].push_back(clock);
  }
  std::map<std::uint32_t, const std::vector<std::uint32_t>*> groupOfSource;
  for (const auto& [sources, clocks] : groups) {
    for (const std::uint32_t source : sources) {
      const auto [it, added] = groupOfSource.emplace(source, &sources);
      if (!added && it->second != &sources) invalid("Unhandled intersecting output source lists");
    }
  }
  const UserClockSection& u = tree.userClocks.section;
  for (const auto& [sources, clocks] : groups) {
    for (const std::uint32_t clock : clocks) {
      // An absent limit is a value of its own: it equals only another absent one.
      if (u.outputDividerMax.at(clock) != u.outputDividerMax.at(clocks.front()) ||
          u.outputDividerMin.at(clock) != u.outputDividerMin.at(clocks.front())) {
        invalid("Unhandled non-uniform output dividers from one PLL");
      }
    }
  }
  return true;
}

}  // namespace qvvandrel
