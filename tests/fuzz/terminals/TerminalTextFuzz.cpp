// Feeds the same arbitrary bytes to the terminal-alias reader, as an FPGA-interface section
// text, and to the destination-list parser and the terminal path rule, as a host's terminal
// text. Checks what each must keep whatever the input:
// - aliases: only -61070 may be raised; the serialised form reads back as the same pairs; the
//   indexed walk names only held aliases and raises only for a base held both bare and with 0;
// - lists: every path is non-empty, no two are equal without regard to case, and each path is
//   what the path rule makes of some entry.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/errors/Exception.h"
#include "foundation/text/CompareUtf8NoCase.h"
#include "routing/RouteSetting.h"
#include "routing/TerminalAliasInfo.h"
#include "session/TerminalNames.h"

namespace {

using qvvandrelbrenmooru::TerminalAliasInfo;

void check(bool condition) {
  if (!condition) std::abort();
}

uint32_t readU32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

void checkAliases(const TerminalAliasInfo& info) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  info.serialize(buffer, status);
  check(status.code == 0);
  // Read the serialised pairs back.
  TerminalAliasInfo::AliasMap read;
  const uint8_t* p = buffer.data();
  const uint8_t* end = p + buffer.size();
  while (p != end) {
    std::string texts[2];
    for (std::string& text : texts) {
      check(end - p >= 4);
      const uint32_t length = readU32(p);
      p += 4;
      check(static_cast<uint64_t>(end - p) >= length);
      text.assign(reinterpret_cast<const char*>(p), length);
      p += length;
    }
    check(read.emplace(texts[1], texts[0]).second);
  }
  check(read == info.aliases());

  // Walk every base that an alias of the map starts with (its text without trailing digits).
  for (const auto& [alias, underlying] : info.aliases()) {
    const std::string base = alias.substr(0, alias.find_last_not_of("0123456789") + 1);
    const bool ambiguous = info.aliases().count(base) && info.aliases().count(base + "0");
    try {
      info.forEachIndexedAlias(
          base, [&](const char* name, unsigned) { check(info.aliases().count(name) == 1); }, 32);
      check(!ambiguous);
    } catch (const qverr::Exception& error) {
      check(ambiguous && error.code() == -1);
    }
  }
}

void checkList(const std::string& text) {
  const rocout::TerminalSet paths = rocout::parseTerminalList("Dev1", text);
  std::vector<std::string> entries;
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    entries.push_back(qvvandrel::makeTerminalPath("Dev1", text.substr(from, comma - from)));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  const std::string* previous = nullptr;
  for (const std::string& path : paths) {
    check(!path.empty() && path[0] == '/');
    check(std::find(entries.begin(), entries.end(), path) != entries.end());
    if (previous != nullptr) check(compareUtf8NoCase(*previous, path) < 0);
    previous = &path;
  }
  for (const std::string& entry : entries) check(entry.empty() || paths.count(entry) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    checkAliases(TerminalAliasInfo(text));
  } catch (const qverr::Exception& error) {
    check(error.code() == -61070);
  }
  checkList(text);
  return 0;
}
