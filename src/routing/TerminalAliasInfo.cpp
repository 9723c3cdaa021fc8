#include "routing/TerminalAliasInfo.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "attributes/RaiseWithDetails.h"
#include "devkit/DmaChannels.h"
#include "devkit/XmlValues.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr qverr::StatusLocation kAmbiguousAlias{"TerminalAliasInfo.h", 119, qverr::kComponent,
                                                "-1"};
constexpr std::int32_t kAmbiguousAliasCode = -1;

std::string indexed(const std::string& base, unsigned index) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%u", index);
  return base + digits;
}

}  // namespace

TerminalAliasInfo::TerminalAliasInfo(const qvkel::Bitfile& bitfile) {
  read(qvkel::BitfileFpgaSection(bitfile.getXml()).getXmlText());
}

TerminalAliasInfo::TerminalAliasInfo(const std::string& sectionText) {
  read(sectionText);
}

TerminalAliasInfo::~TerminalAliasInfo() = default;

void TerminalAliasInfo::read(const std::string& sectionText) {
  // The parser writes into its text: a private copy. Entity references stay as written.
  std::vector<char> text(sectionText.begin(), sectionText.end());
  text.push_back('\0');
  const size_t bom = qvkel::byteOrderMarkLength(text.data(), sectionText.size());
  // A text nested too deeply for the parser's recursion counts as one it cannot parse.
  if (!qvkel::xmlDepthWithinLimit(text.data() + bom, sectionText.size() - bom)) return;
  qvkel::XmlDocument document;
  try {
    document.parse<qvkel::kXmlParseFlags>(text.data() + bom);
  } catch (const rapidxml::parse_error&) {
    return;
  }
  const qvkel::XmlNode* section = qvkel::findXmlNode(&document, nullptr);
  if (section == nullptr) return;
  try {
    const qvkel::XmlNode* list = qvkel::getRequiredXmlNode(section, "RoutingAliases");
    const std::uint32_t count = qvkel::readXmlUnsigned(qvkel::getRequiredXmlNode(list, "Count"));
    for (std::uint32_t i = 0; i < count; ++i) {
      const qvkel::XmlNode* entry = qvkel::getRequiredXmlNode(list, indexed("Alias", i).c_str());
      std::string underlying = qvkel::unescapeXmlText(qvkel::getRequiredXmlNode(entry, "Original"));
      std::string alias = qvkel::unescapeXmlText(qvkel::getRequiredXmlNode(entry, "Alias"));
      aliases_.emplace(std::move(alias), std::move(underlying));
    }
  } catch (...) {
    aliases_.clear();
    throw;
  }
}

void TerminalAliasInfo::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  for (const auto& [alias, underlying] : aliases_) {
    buffer.appendU32(static_cast<std::uint32_t>(underlying.size()), status);
    buffer.append(underlying.data(), underlying.size(), status);
    buffer.appendU32(static_cast<std::uint32_t>(alias.size()), status);
    buffer.append(alias.data(), alias.size(), status);
  }
}

void TerminalAliasInfo::forEachIndexedAlias(const std::string& base, Callback f,
                                            unsigned count) const {
  for (unsigned index = 0; index < count; ++index) {
    const auto found = aliases_.find(indexed(base, index));
    if (found != aliases_.end()) f(found->first.c_str(), index);
    if (index != 0) continue;
    const auto bare = aliases_.find(base);
    if (bare == aliases_.end()) continue;
    if (found != aliases_.end()) {
      atat::detail::raiseWithDetails(
          kAmbiguousAliasCode, kAmbiguousAlias, [&](atat::elaboration::Cursor cursor) {
            atat::elaboration::appendUsageString(cursor, "kUsageTypeTerminalString", base.c_str());
          });
    }
    f(bare->first.c_str(), 0);
  }
}

}  // namespace qvvandrelbrenmooru
