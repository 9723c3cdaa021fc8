#include "session/TerminalNames.h"

#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr const char* kWhiteSpace = "\t\n\v\f\r ";
constexpr std::uint32_t kDspResetSendingTerminal = 0x3000000A;
// A full path is longer than "/x/".
constexpr std::size_t kShortestFullPath = 4;

}  // namespace

void trimLeft(std::string& text) {
  text.erase(0, text.find_first_not_of(kWhiteSpace));
}

std::string makeTerminalPath(const std::string& deviceName, const std::string& terminal) {
  std::string trimmed = terminal;
  trimmed.erase(trimmed.find_last_not_of(kWhiteSpace) + 1);
  trimLeft(trimmed);
  if (trimmed.empty()) return trimmed;
  if (trimmed.size() >= kShortestFullPath && trimmed[0] == '/' &&
      trimmed.find('/', 1) != std::string::npos)
    return trimmed;
  return "/" + deviceName + "/" + trimmed;
}

std::unique_ptr<TerminalAttribute> makeTerminalAttribute(std::uint32_t id, const char* channelName,
                                                         const std::string& deviceName,
                                                         const std::string& defaultTerminal) {
  return std::make_unique<TerminalAttribute>(id, channelName, false,
                                             makeTerminalPath(deviceName, defaultTerminal));
}

void addTerminalNameEntry(TerminalNameMap& map, const std::string& deviceName,
                          const std::string& terminal, std::uint32_t key) {
  map.emplace(key, makeTerminalPath(deviceName, terminal));
}

void addDspResetTerminalAttribute(TerminalAttributeList& list, const std::string& deviceName,
                                  const std::string& terminal, std::uint32_t channelIndex) {
  list.push_back(makeTerminalAttribute(kDspResetSendingTerminal, channelIndexName(channelIndex),
                                       deviceName, terminal));
}

}  // namespace qvvandrel
