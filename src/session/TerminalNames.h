#pragma once
// Routing terminals are named by full paths, "/" + device name + "/" + terminal. These turn the
// short terminal names that features and the routing interface carry into such paths, and
// keep the paths as string attributes or map entries.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "attributes/Attribute.h"

namespace qvvandrel {

// Erases the leading white space: tab, line feed, vertical tab, form feed, carriage return and
// blank.
void trimLeft(std::string& text);

// The terminal trimmed at both ends; an empty one stays empty, one that already is a full path
// (longer than 3 characters, a leading "/" and a second "/" after it) is kept as it is, even
// when it names another device; any other gets "/" + device name + "/" in front.
std::string makeTerminalPath(const std::string& deviceName, const std::string& terminal);

using TerminalNameMap = std::map<std::uint32_t, std::string>;
using TerminalAttribute = atat::Attribute<std::string>;
using TerminalAttributeList = std::vector<std::unique_ptr<TerminalAttribute>>;

// The plain string attribute `id` on `channelName` whose value is the full path of the default
// terminal (the routing interface keeps those it makes in its list of terminal attributes).
std::unique_ptr<TerminalAttribute> makeTerminalAttribute(std::uint32_t id, const char* channelName,
                                                         const std::string& deviceName,
                                                         const std::string& defaultTerminal);

// Inserts {key, full path of the terminal}; an existing key keeps its path.
void addTerminalNameEntry(TerminalNameMap& map, const std::string& deviceName,
                          const std::string& terminal, std::uint32_t key);

// Appends "DSP Reset Sending Term." on the channel named by the index ("0".."63") with the full
// path of the terminal as its value.
void addDspResetTerminalAttribute(TerminalAttributeList& list, const std::string& deviceName,
                                  const std::string& terminal, std::uint32_t channelIndex);

}  // namespace qvvandrel
