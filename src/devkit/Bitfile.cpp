#include "devkit/Bitfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <b64/cdecode.h>
}

#include "devkit/DevkitCodes.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/shared/Bitfile";
constexpr qverr::StatusLocation kNoRoot{kSource, 118, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTooNew{kSource, 126, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadVersion{kSource, 133, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadSignature{kSource, 139, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoWexRegister{kSource, 238, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadEncoding{kSource, 262, qverr::kComponent, nullptr};

// Target classes of the first module generation, whose registers start at address 0.
constexpr std::string_view kLegacyTargetClasses[] = {
    "BRM-5601R", "BRM-5602R", "BRM-7811R", "BRM-7813R", "BRM-7830R",
};

// The decoder takes an int length; feed long texts in pieces (its state carries over).
constexpr size_t kDecodeChunk = size_t{1} << 30;

// The one record of that name; null when there is none or more than one.
template <typename Record>
const Record* findUnique(const std::vector<Record>& records, std::string_view name) {
  const Record* found = nullptr;
  for (const Record& record : records) {
    if (record.getName() != name) continue;
    if (found) return nullptr;
    found = &record;
  }
  return found;
}

// Empties an element's text so the printed document leaves it out.
void clearText(XmlNode* node) {
  node->value("", 0);
  XmlNode* child = node->first_node();
  while (child) {
    XmlNode* next = child->next_sibling();
    if (child->type() == rapidxml::node_data || child->type() == rapidxml::node_cdata)
      node->remove_node(child);
    child = next;
  }
}

}  // namespace

bool Bitfile::isLegacyTargetClass(std::string_view targetClass) {
  for (std::string_view legacy : kLegacyTargetClasses)
    if (legacy == targetClass) return true;
  return false;
}

Bitfile::Bitfile(const char* pathOrText, bool isPath, bool decodeBitstream) {
  std::unique_ptr<char[]> holder;
  size_t length = 0;
  const char* text = readWholeFile(isPath, pathOrText, holder, kBitfileReadError, &length);
  if (!isPath) {
    // The parser writes into its text; the caller's text stays as it was.
    holder.reset(new char[length + 1]);
    std::memcpy(holder.get(), text, length + 1);
  }
  parse(holder.get(), length, decodeBitstream);
}

void Bitfile::parse(char* text, size_t length, bool decodeBitstream) {
  XmlDocument document;
  XmlNode* root = parseXml<kXmlParseFlags>(document, text, length);
  if (root == nullptr) qverr::raise(kBitfileCorrupt, kNoRoot);

  if (const XmlNode* oldest = findXmlNode(root, "OldestCompatibleMajorBitfileVersion")) {
    if (readXmlUnsigned(oldest) > kNewestMajorVersion) qverr::raise(kBitfileIncompatible, kTooNew);
  }

  const std::string version = unescapeXmlText(getRequiredXmlNode(root, "BitfileVersion"));
  if (std::sscanf(version.c_str(), "%u.%u", &majorVersion_, &minorVersion_) != 2)
    qverr::raise(kBitfileCorrupt, kBadVersion);

  signature_ = unescapeXmlText(getRequiredXmlNode(root, "SignatureRegister"));
  if (signature_.size() != 32) qverr::raise(kBitfileCorrupt, kBadSignature);

  const XmlNode* project = getRequiredXmlNode(root, "Project");
  targetClass_ = unescapeXmlText(getRequiredXmlNode(project, "TargetClass"));
  autoRunWhenDownloaded_ = readXmlBool(getRequiredXmlNode(project, "AutoRunWhenDownloaded"));
  if (const XmlNode* allow = findXmlNode(project, "AllowImplicitEnableRemoval"))
    allowImplicitEnableRemoval_ = readXmlBool(allow);
  resetNotSupported_ = findXmlNode(project, "ResetNotSupported") != nullptr;
  abortNotSupported_ = findXmlNode(project, "AbortNotSupported") != nullptr;

  const XmlNode* results = getRequiredXmlNode(getRequiredXmlNode(project, "CompilationResultsTree"),
                                              "CompilationResults");
  if (const XmlNode* kel = findXmlNode(results, "QvKel")) {
    if (const XmlNode* patch = findXmlNode(kel, "ZynqBsEnablePatch"))
      zynqBsEnablePatch_ = readXmlBool(patch);
  }
  compilationResultsText_ = printXmlElement(results);

  BitfileFpgaSection section(results);
  if (section.hasBaseAddressOnDevice())
    baseAddress_ = section.getBaseAddressOnDevice();
  else
    baseAddress_ = isLegacyTargetClass(targetClass_) ? 0 : kDefaultBaseAddress;

  readRegisters(root);

  bitstreamVersion_ = readXmlUnsigned(getRequiredXmlNode(root, "BitstreamVersion"));
  fifos_ = section.takeFifos();
  targetSpecificText_ = section.getXmlText();
  dram2DPBaseAddress_ = section.getDram2DPBaseAddress(kDefaultDram2DPBaseAddress);

  if (const XmlNode* md5 = findXmlNode(root, "BitstreamMD5")) bitstreamMD5_ = unescapeXmlText(md5);

  if (decodeBitstream) {
    if (const XmlNode* encoding = findXmlNode(root, "BitstreamEncoding")) {
      if (!equalsIgnoringAsciiCase(unescapeXmlText(encoding), "base64"))
        qverr::raise(kBitfileIncompatible, kBadEncoding);
    }
    decodeBitstreamText(getRequiredXmlNode(root, "Bitstream"));
  }

  XmlNode* wex = getRequiredXmlNode(root, "Wex");
  XmlNode* icon = getRequiredXmlNode(wex, "Icon");
  XmlNode* emptied[] = {getRequiredXmlNode(icon, "Image"), getRequiredXmlNode(icon, "Mask"),
                        getRequiredXmlNode(icon, "Colors"), getRequiredXmlNode(root, "Bitstream")};
  for (XmlNode* node : emptied) clearText(node);
  documentWithoutBitstream_ = printXmlElement(root);
}

void Bitfile::readRegisters(const XmlNode* root) {
  const XmlNode* list = getRequiredXmlNode(getRequiredXmlNode(root, "Wex"), "RegisterList");
  for (const XmlNode* reg = findXmlNode(list, "Register"); reg;
       reg = reg->next_sibling("Register", 8)) {
    if (reg->type() != rapidxml::node_element) continue;
    std::string name = unescapeXmlText(getRequiredXmlNode(reg, "Name"));
    const uint32_t offset = readXmlUnsigned(getRequiredXmlNode(reg, "Offset"));
    if (readXmlBool(getRequiredXmlNode(reg, "Internal"))) {
      if (name == "WexSignature")
        wexSignatureOffset_ = offset;
      else if (name == "WexControl")
        wexControlOffset_ = offset;
      else if (name == "DiagramReset")
        diagramResetOffset_ = offset;
      else if (name == "InterruptEnable")
        interruptEnableOffset_ = offset;
      else if (name == "InterruptStatus")
        interruptStatusOffset_ = offset;
      continue;
    }
    const bool indicator = readXmlBool(getRequiredXmlNode(reg, "Indicator"));
    const bool accessMayTimeout = readXmlBool(getRequiredXmlNode(reg, "AccessMayTimeout"));
    bool isArray = false;
    const Type type = readDatatype(reg, isArray);
    const uint8_t subKind = static_cast<uint8_t>((indicator ? 0 : RegisterDescriptor::kControl) |
                                                 (isArray ? RegisterDescriptor::kArray : 0));
    registers_.emplace_back(std::move(name), RegisterDescriptor(subKind, type), baseAddress_,
                            offset, accessMayTimeout);
  }

  if (wexSignatureOffset_ == kUnset || wexControlOffset_ == kUnset)
    qverr::raise(kBitfileCorrupt, kNoWexRegister);
  if (interruptEnableOffset_ == kUnset) interruptEnableOffset_ = kDefaultInterruptEnable;
  if (interruptStatusOffset_ == kUnset)
    interruptStatusOffset_ = interruptEnableOffset_ + kInterruptStatusDistance;
  if (diagramResetOffset_ == kUnset) diagramResetOffset_ = kDefaultDiagramReset;
}

void Bitfile::decodeBitstreamText(const XmlNode* bitstream) {
  std::string_view code(bitstream->value(), bitstream->value_size());
  std::string decodedEntities;
  if (code.find('&') != std::string_view::npos) {
    decodedEntities = decodeXmlEntities(code);
    code = decodedEntities;
  }
  if (code.empty()) return;
  bitstream_.resize(code.size() / 4 * 3 + 3);
  base64_decodestate state;
  base64_init_decodestate(&state);
  char* out = reinterpret_cast<char*>(bitstream_.data());
  size_t produced = 0;
  for (size_t done = 0; done < code.size();) {
    const size_t piece = std::min(kDecodeChunk, code.size() - done);
    produced += static_cast<size_t>(
        base64_decode_block(code.data() + done, static_cast<int>(piece), out + produced, &state));
    done += piece;
  }
  bitstream_.resize(produced);
}

const NamedRegister* Bitfile::findRegister(std::string_view name) const {
  return findUnique(registers_, name);
}

const NamedFifo* Bitfile::findFifo(std::string_view name) const {
  return findUnique(fifos_, name);
}

}  // namespace qvkel
