#include "model/ChannelNameTable.h"

namespace qvvandrel {

ChannelNameTable::ChannelNameTable(const char* prefix, std::uint32_t size, const char* suffix) {
  names_.reserve(size);
  for (std::uint32_t i = 0; i < size; ++i) names_.push_back(prefix + std::to_string(i) + suffix);
}

const char* ChannelNameTable::name(std::uint32_t index) const {
  return index < names_.size() ? names_[index].c_str() : kInvalidChannelIndex;
}

}  // namespace qvvandrel
