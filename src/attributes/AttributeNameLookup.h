#pragma once

#include <cstdint>

// The display name of an attribute identifier ("Not Available" when it has none). The
// attribute library names attributes in error details with it; the name table itself
// belongs to the dependency model (libqv_model), which defines this function. A program
// that links the attribute library without the model therefore fails to link instead of
// running with wrong names.
namespace qvvandrel {
const char* getAttributeName(std::uint32_t attributeId) noexcept;
}  // namespace qvvandrel
