#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvvandrel {

// The name an index past a channel-name table takes.
inline constexpr const char* kInvalidChannelIndex = "invalid index";

// The names of a family of numbered channels: prefix, the index and suffix, for the indices
// below the table's size.
class ChannelNameTable {
 public:
  ChannelNameTable(const char* prefix, std::uint32_t size, const char* suffix = "");
  // Lives as long as the table; "invalid index" past its end.
  const char* name(std::uint32_t index) const;

 private:
  std::vector<std::string> names_;
};

}  // namespace qvvandrel
