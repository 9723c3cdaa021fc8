#pragma once
// The host's choices for one start-trigger index: type, edge sensitivity, synchroniser, and
// whether the Mosk synchronisation scheme controls the trigger. The start trigger keeps one
// record per index its bitfile implements; its instance checks and packs the choices.

#include <cstdint>

#include "model/AttributeCatalogue.h"

namespace qvvandrel {

class StartTriggerAttributes {
 public:
  static constexpr std::uint32_t kIndexCount = 64;
  // Until the host chooses, the sensitivity is the largest signed 32-bit value, not 0.
  static constexpr std::int32_t kDefaultSensitivity = 0x7FFFFFFF;

  // Every attribute on the channel named by the index ("0".."63"); an index of 64 or more is
  // refused with -52005. Only index 0 starts under Mosk control.
  explicit StartTriggerAttributes(std::uint32_t triggerIndex);
  StartTriggerAttributes(const StartTriggerAttributes&) = delete;
  StartTriggerAttributes& operator=(const StartTriggerAttributes&) = delete;

  std::uint32_t index;
  CatalogueAttribute<0x10000009> type;
  CatalogueAttribute<0x10000016> sensitivity;
  CatalogueAttribute<0x10000021> synchronizer;
  CatalogueAttribute<0x40000007> moskControl;
};

}  // namespace qvvandrel
