#include "session/TargetClassCheckerBrenmoor.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "devkit/DevkitCodes.h"
#include "devkit/SemicolonList.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrelbrenmooru {

namespace {

constexpr const char* kFile = "qvvandrelbrenmooru/source/TargetClassCheckerBrenmoor";
constexpr qverr::StatusLocation kNoTargetString{kFile, 52, qverr::kComponent};

struct BitfileTarget {
  std::string target;
  uint32_t ioModule;
};

// "TargetSpecificData"/"Target" (entities decoded) and "IOModuleID"; -61070 when either is
// missing or malformed.
BitfileTarget readBitfileTarget(const qvkel::Bitfile& bitfile) {
  std::string text = bitfile.getXml();
  qvkel::XmlDocument document;
  const qvkel::XmlNode* root =
      qvkel::parseXml<qvkel::kXmlParseFlags>(document, text.data(), text.size());
  const qvkel::XmlNode* specific = qvkel::getRequiredXmlNode(root, "TargetSpecificData");
  return {qvkel::unescapeXmlText(qvkel::getRequiredXmlNode(specific, "Target")),
          qvkel::readXmlUnsigned(qvkel::getRequiredXmlNode(specific, "IOModuleID"))};
}

}  // namespace

TargetClassCheckerBrenmoor::TargetClassCheckerBrenmoor(
    std::shared_ptr<qvkel::IAttributeHandler> handler,
    std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor> proxy)
    : handler_(std::move(handler)), proxy_(std::move(proxy)) {}

bool TargetClassCheckerBrenmoor::isCompatible(const qvkel::Bitfile& bitfile) {
  uint32_t length = 0;
  bool handled = false;
  handler_->getString(kTargetStringAttribute, nullptr, 0, &length, handled);
  if (!handled) qverr::raise(qverr::kInternalError, kNoTargetString);
  std::vector<char> buffer(static_cast<size_t>(length) + 1);
  handler_->getString(kTargetStringAttribute, buffer.data(), length + 1, &length, handled);
  if (!handled) qverr::raise(qverr::kInternalError, kNoTargetString);
  const std::string moduleTarget(buffer.data(), length);

  // A module whose driver cannot name its adapter module suits no bitfile that asks for one.
  std::optional<uint32_t> ioModule;
  {
    nQVVUSKS100::tStatus status;
    const uint32_t answer = proxy_->command0601(&status);
    if (!status.isError()) ioModule = answer;
  }

  BitfileTarget wanted;
  try {
    wanted = readBitfileTarget(bitfile);
  } catch (const qverr::ExceptionBase& e) {
    if (e.code() != qvkel::kBitfileCorrupt) throw;
    return qvkel::matchSemicolonList(bitfile.getTargetClass(), moduleTarget) != 0;
  }
  if (wanted.target != moduleTarget) return false;
  return wanted.ioModule == kAnyIoModule || ioModule == wanted.ioModule;
}

}  // namespace qvvandrelbrenmooru
