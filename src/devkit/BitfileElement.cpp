#include "devkit/BitfileElement.h"

#include <cstring>
#include <memory>

#include "devkit/Bitfile.h"
#include "devkit/DmaChannels.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

std::string readBitfileElement(const Bitfile& bitfile, const char* elementName) {
  const std::string text = BitfileFpgaSection(bitfile.getXml()).getXmlText();
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  XmlDocument document;
  const XmlNode* root = nullptr;
  try {
    root = parseXml<kXmlParseFlags>(document, copy.get(), text.size());
  } catch (const qverr::Exception&) {
    return {};
  }
  if (root == nullptr) return {};
  return unescapeXmlText(getRequiredXmlNode(root, elementName));
}

}  // namespace qvkel

namespace qvvandrelbrenmooru {

std::string getBitfileVersionText(const qvkel::Bitfile& bitfile) {
  return qvkel::readBitfileElement(bitfile, "BitfileVersion");
}

std::string getBitfileVendorText(const qvkel::Bitfile& bitfile) {
  return qvkel::readBitfileElement(bitfile, "BitfileVendor");
}

std::string getBitfileIdentityText(const qvkel::Bitfile& bitfile) {
  return qvkel::readBitfileElement(bitfile, "BitfileIdentity");
}

}  // namespace qvvandrelbrenmooru
