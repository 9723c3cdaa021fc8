// Feeds the same arbitrary bytes to the terminal-alias reader, as an FPGA-interface section
// text, and to the destination-list parser, as a host's terminal text: the reader raises only
// -61070, the aliases serialise, the indexed walk over each alias's base raises only the
// ambiguity error, and every destination is a full path.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/errors/Exception.h"
#include "routing/RouteSetting.h"
#include "routing/TerminalAliasInfo.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

void checkAliases(const qvvandrelbrenmooru::TerminalAliasInfo& info) {
  qvhtl::ByteVector buffer;
  qverr::Status status;
  info.serialize(buffer, status);
  check(status.code == 0);
  for (const auto& [alias, underlying] : info.aliases()) {
    // The base of an alias: its text without trailing digits.
    const std::string base = alias.substr(0, alias.find_last_not_of("0123456789") + 1);
    try {
      info.forEachIndexedAlias(
          base, [&](const char* name, unsigned) { check(info.aliases().count(name) == 1); }, 32);
    } catch (const qverr::Exception& error) {
      check(error.code() == -1 && info.aliases().count(base) && info.aliases().count(base + "0"));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    checkAliases(qvvandrelbrenmooru::TerminalAliasInfo(text));
  } catch (const qverr::Exception& error) {
    check(error.code() == -61070);
  }
  for (const std::string& path : rocout::parseTerminalList("Dev1", text))
    check(path.size() > 3 && path[0] == '/' && path.find('/', 1) != std::string::npos);
  return 0;
}
