#pragma once
// What every stand-in's call log hands to the test side: entry `index` copied into a buffer.

#include <cstring>
#include <string>
#include <vector>

namespace sim::libs {

// 1 when the entry exists (cut to size - 1 characters), else 0.
inline int copyLoggedCall(const std::vector<std::string>& calls, int index, char* buffer,
                          int size) {
  if (index < 0 || static_cast<size_t>(index) >= calls.size() || size <= 0) return 0;
  std::strncpy(buffer, calls[static_cast<size_t>(index)].c_str(), static_cast<size_t>(size) - 1);
  buffer[size - 1] = '\0';
  return 1;
}

}  // namespace sim::libs
