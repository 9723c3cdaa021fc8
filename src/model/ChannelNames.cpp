#include "model/ChannelNames.h"

#include <algorithm>

namespace qvvandrel {

namespace {

struct Family {
  ChannelKind kind;
  const char* text;
  std::uint32_t size;
};

constexpr Family kFamilies[] = {
    {kAoChannel, "AO", 64},
    {kAiChannel, "AI", 64},
    {kDiChannel, "DI", 64},
    {kDoChannel, "DO", 64},
    {kDioChannel, "DIO", 96},
    {kPfiChannel, "PFI", 64},
    {kDiffPfiChannel, "DIFF PFI", 64},
    {kUnknownChannel, "", 0},
};

const Family& findFamily(ChannelKind kind) {
  for (const Family& family : kFamilies)
    if (family.kind == kind) return family;
  return kFamilies[std::size(kFamilies) - 1];
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::vector<std::string> namesOfBits(ChannelKind kind, std::uint64_t mask, std::uint32_t bits) {
  std::vector<std::string> names;
  for (std::uint32_t i = 0; i < bits; ++i)
    if ((mask >> i & 1) != 0) names.emplace_back(channelName(kind, i));
  return names;
}

}  // namespace

const ChannelNameTable& channelNameTable(ChannelKind kind) {
  // Built once, in the order of kFamilies.
  static const std::vector<ChannelNameTable> tables = [] {
    std::vector<ChannelNameTable> built;
    for (const Family& family : kFamilies) built.emplace_back(family.text, family.size);
    return built;
  }();
  const Family& family = findFamily(kind);
  return tables[static_cast<std::size_t>(&family - kFamilies)];
}

const char* channelName(ChannelKind kind, std::uint32_t index) {
  return channelNameTable(kind).name(index);
}

std::uint32_t channelTableSize(ChannelKind kind) {
  return findFamily(kind).size;
}

const char* channelIndexName(std::uint32_t index) {
  static const ChannelNameTable names("", 64);
  return names.name(index);
}

namespace detail {

ChannelKind getChannelKind(std::string_view channel) {
  const std::size_t slash = channel.find('/');
  std::string_view family =
      slash == std::string_view::npos ? std::string_view() : channel.substr(slash + 1);
  while (!family.empty() && isDigit(family.back())) family.remove_suffix(1);
  for (const Family& entry : kFamilies)
    if (entry.size != 0 && family == entry.text) return entry.kind;
  return kUnknownChannel;
}

}  // namespace detail

std::vector<std::string> getAiChannelNames(std::uint64_t mask, std::uint32_t count) {
  return namesOfBits(kAiChannel, mask, std::min<std::uint32_t>(count, 64));
}

std::vector<std::string> getAoChannelNames(std::uint64_t mask) {
  return namesOfBits(kAoChannel, mask, 64);
}

}  // namespace qvvandrel
