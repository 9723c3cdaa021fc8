#include "clip/NameUtilities.h"

namespace qvvandrel {

namespace {

// ASCII digits only, whatever the locale.
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

size_t trailingDigitsStart(std::string_view name) {
  size_t end = name.size();
  while (end > 0 && isDigit(name[end - 1])) --end;
  return end;
}

}  // namespace

int parseTrailingNumber(const std::string& name) {
  const size_t start = trailingDigitsStart(name);
  if (start == 0) return -1;
  return std::stoi(name.substr(start));
}

std::string stripConnectorPrefix(std::string_view name) {
  if (const size_t slash = name.find('/'); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  return std::string(name.substr(0, trailingDigitsStart(name)));
}

}  // namespace qvvandrel
