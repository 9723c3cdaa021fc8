#pragma once
// The second names ("aliases") that a bitfile gives some of the FPGA's routable terminals, read
// once per session open. They decide which routing signals a session gets, and go to the
// kernel driver with the session's personality.

#include <map>
#include <string>

#include "devkit/Bitfile.h"
#include "devkit/ISerializable.h"
#include "features/IndexedAliasWalk.h"

namespace qvvandrelbrenmooru {

class TerminalAliasInfo : public qvkel::ISerializable, public qvvandrel::IndexedAliasWalk {
 public:
  // Alias name -> underlying terminal name, ordered by bytes; the first definition of an alias
  // wins.
  using AliasMap = std::map<std::string, std::string>;

  // Reads the "RoutingAliases" element of the bitfile's FPGA-interface section. A missing
  // element or a count that is no number raises -61070; a section text that does not parse
  // (or has no element) gives no aliases.
  explicit TerminalAliasInfo(const qvkel::Bitfile& bitfile);
  // The same from the section's XML text itself.
  explicit TerminalAliasInfo(const std::string& sectionText);
  ~TerminalAliasInfo() override;

  // Per alias in ascending order: u32 length and the underlying name, u32 length and the alias
  // (lengths little-endian, no terminators), nothing else.
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  // Calls `f` with each alias "<base><index>" for index 0 .. count - 1 the map holds, and at
  // index 0 with the bare base when held. Both the bare base and "<base>0" raise -1 naming the
  // base, after `f` ran for "<base>0". `f` receives the map's own key.
  void forEachIndexedAlias(const std::string& base, Callback f, unsigned count) const override;

  const AliasMap& aliases() const { return aliases_; }

 private:
  void read(const std::string& sectionText);

  AliasMap aliases_;
};

}  // namespace qvvandrelbrenmooru
