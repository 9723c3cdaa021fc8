#pragma once
// Whether two semicolon-separated name lists share a name.

#include <cstdint>
#include <string>

namespace qvkel {

// 1 when `first` is empty or a trimmed name of `first` equals a trimmed name of `second`.
int32_t matchSemicolonList(const std::string& first, const std::string& second);

}  // namespace qvkel
