#pragma once
// Small helpers on channel and clock names ("Conn0/AI12", "CLK3", "DIFF PFI3").

#include <string>
#include <string_view>

namespace qvvandrel {

// The number formed by the digits after the last non-digit ("CLK12" gives 12). A name that is
// all digits, or empty, gives -1. A name ending in a non-digit raises std::invalid_argument, a
// number outside int std::out_of_range.
int parseTrailingNumber(const std::string& name);

// The channel family: everything up to the first "/" dropped, then the trailing digits
// ("Conn0/AI12" gives "AI", "DIFF PFI3" gives "DIFF PFI").
std::string stripConnectorPrefix(std::string_view name);

}  // namespace qvvandrel
