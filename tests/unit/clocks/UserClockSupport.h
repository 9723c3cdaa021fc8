#pragma once
// Capability trees for the divider search without a CLIP: the words of a profile fed straight to
// the tree's handlers (no interface version is stored, which the user clocks take as version 2
// or later), and the group error as a test exception.

#include <cstdint>
#include <memory>
#include <vector>

#include "clip/ClipCapabilities.h"
#include "clocks/PllDividerSearch.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace userclocktest {

inline std::unique_ptr<qvvandrel::ClipCapabilities> treeOf(const std::vector<uint32_t>& words) {
  auto tree = std::make_unique<qvvandrel::ClipCapabilities>(false);
  for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
    const auto handler = tree->handlers().find(words[i]);
    if (handler != tree->handlers().end()) handler->second->acceptValue(words[i + 1]);
  }
  return tree;
}

// One PLL section and the user-clock sections of a group's clocks.
inline std::unique_ptr<qvvandrel::ClipCapabilities> treeOf(
    const sim::SectionFields& pll, const std::vector<sim::SectionFields>& clocks) {
  sim::UserClockProfile profile;
  profile.plls = {pll};
  profile.userClocks = clocks;
  return treeOf(profile.words());
}

// Raised by the search's group error in these tests.
struct GroupError {};

inline qvvandrel::PllSettings search(const qvvandrel::ClipCapabilities& tree,
                                     const std::vector<uint32_t>& clocks,
                                     const std::vector<double>& frequencies,
                                     double referenceKHz = 10000.0, uint32_t pll = 0) {
  return qvvandrel::pll::findDividers(tree, pll, clocks, frequencies, referenceKHz,
                                      [] { throw GroupError{}; });
}

}  // namespace userclocktest
