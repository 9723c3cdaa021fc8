#pragma once

#include <cstddef>
#include <cstdint>

#include "attributes/AttributeNameLookup.h"

namespace qvvandrel {

// One row of the attribute-name table.
struct AttributeNameEntry {
  std::int32_t identifier;
  const char* displayName;
};

inline constexpr std::size_t kAttributeNameCount = 158;

// The table in its fixed order (not sorted); getAttributeName walks it from the first row.
extern const AttributeNameEntry kAttributeNames[kAttributeNameCount];

}  // namespace qvvandrel
