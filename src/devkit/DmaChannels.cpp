#include "devkit/DmaChannels.h"

#include <cstring>
#include <map>
#include <memory>
#include <string_view>

#include "devkit/DevkitCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/shared/BitfileFpgaSection";
constexpr qverr::StatusLocation kNoElementType{kSource, 142, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kSizeNotPowerOfTwo{kSource, 147, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kDuplicateNumber{kSource, 171, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNumberGap{kSource, 180, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kUnresolvedChannel{kSource, 214, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoElement{kSource, 251, qverr::kComponent, nullptr};

uint8_t implementationCode(const std::string& text) {
  if (text == "qvFpgaTargetToHost") return FifoDescriptor::kTargetToHost;
  if (text == "qvFpgaHostToTarget") return FifoDescriptor::kHostToTarget;
  if (text == "qvFpgaPeerToPeerReader") return FifoDescriptor::kPeerToPeerReader;
  if (text == "qvFpgaPeerToPeerWriter") return FifoDescriptor::kPeerToPeerWriter;
  return FifoDescriptor::kUnknown;
}

NamedFifo readChannel(const XmlNode* channel) {
  std::string name = unescapeXmlText(getRequiredXmlAttribute(channel, "name"));
  const uint32_t number = readXmlUnsigned(getRequiredXmlNode(channel, "Number"));
  const uint32_t depth = readXmlUnsigned(getRequiredXmlNode(channel, "NumberOfElements"));
  std::string baseAddressTag = unescapeXmlText(getRequiredXmlNode(channel, "BaseAddressTag"));
  const uint8_t implementation =
      implementationCode(unescapeXmlText(getRequiredXmlNode(channel, "Implementation")));

  const XmlNode* dataType = getRequiredXmlNode(channel, "DataType");
  const XmlNode* typeElement = nullptr;
  std::string typeName;
  if (const XmlNode* subType = findXmlNode(dataType, "SubType")) {
    typeName = unescapeXmlText(subType);
    typeElement = dataType;
  } else {
    typeElement = getRequiredXmlNode(dataType, nullptr);
    typeName.assign(typeElement->name(), typeElement->name_size());
  }
  const Type type = typeFromXml(typeName, typeElement, channel);
  if (type.getElementType() == ElementType::None || type.getSize() == 0)
    qverr::raise(kBitfileCorrupt, kNoElementType);
  if ((type.getSize() & (type.getSize() - 1)) != 0)
    qverr::raise(kBitfileIncompatible, kSizeNotPowerOfTwo);

  const bool userVisible = readXmlBool(getRequiredXmlNode(channel, "UserVisible"));
  NamedFifo fifo(std::move(name), FifoDescriptor(implementation, type), number, depth, userVisible,
                 std::move(baseAddressTag));
  if (const XmlNode* tag = findXmlNode(channel, "WriteWindowAddressTag")) {
    fifo.setWriteWindowSize(readXmlUnsigned(getRequiredXmlNode(channel, "WriteWindowSize")));
    fifo.setWriteWindowAddressTag(unescapeXmlText(tag));
  }
  return fifo;
}

}  // namespace

void FifoInfo::serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const {
  descriptor_.serialize(buffer, status);
  buffer.appendU32(number_, status);
  buffer.appendU32(address_, status);
  buffer.appendU32(depth_, status);
  buffer.appendU8(userVisible_ ? 1 : 0, status);
  buffer.appendU32(writeWindowAddress_, status);
  buffer.appendU32(writeWindowSize_, status);
}

std::vector<NamedFifo> readDmaChannelList(const XmlNode* compilationResults) {
  const XmlNode* fpga = getRequiredXmlNode(compilationResults, "QvFpga");
  const XmlNode* list = getRequiredXmlNode(fpga, "DmaChannelAllocationList");

  std::map<uint32_t, NamedFifo> byNumber;
  for (const XmlNode* channel = findXmlNode(list, "Channel"); channel;
       channel = channel->next_sibling("Channel", 7)) {
    if (channel->type() != rapidxml::node_element) continue;
    NamedFifo fifo = readChannel(channel);
    const uint32_t number = fifo.getNumber();
    if (!byNumber.emplace(number, std::move(fifo)).second)
      qverr::raise(kBitfileCorrupt, kDuplicateNumber);
  }

  std::vector<NamedFifo> fifos;
  fifos.reserve(byNumber.size());
  uint32_t expected = 0;
  for (auto& [number, fifo] : byNumber) {
    if (number != expected++) qverr::raise(kBitfileCorrupt, kNumberGap);
    fifos.push_back(std::move(fifo));
  }

  if (const XmlNode* blocks = findXmlNode(fpga, "RegisterBlockList")) {
    for (const XmlNode* block = findXmlNode(blocks, "RegisterBlock"); block;
         block = block->next_sibling("RegisterBlock", 13)) {
      if (block->type() != rapidxml::node_element) continue;
      const uint32_t offset = readXmlUnsigned(getRequiredXmlNode(block, "Offset"));
      const std::string name = unescapeXmlText(getRequiredXmlAttribute(block, "name"));
      for (NamedFifo& fifo : fifos) {
        if (fifo.getBaseAddressTag() == name) {
          fifo.setAddress(offset);
          break;
        }
        if (fifo.getDescriptor().getSubKind() == FifoDescriptor::kPeerToPeerReader &&
            fifo.getWriteWindowAddressTag() == name) {
          fifo.setWriteWindowAddress(offset);
          break;
        }
      }
    }
  }

  for (const NamedFifo& fifo : fifos) {
    if (!fifo.isValid()) qverr::raise(kBitfileCorrupt, kUnresolvedChannel);
  }
  return fifos;
}

BitfileFpgaSection::BitfileFpgaSection(const XmlNode* compilationResults) {
  read(compilationResults);
}

BitfileFpgaSection::BitfileFpgaSection(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  XmlDocument document;
  const XmlNode* root = parseXml<kXmlParseFlags>(document, copy.get(), text.size());
  if (root == nullptr) qverr::raise(kBitfileCorrupt, kNoElement);
  read(root);
}

void BitfileFpgaSection::read(const XmlNode* compilationResults) {
  fifos_ = readDmaChannelList(compilationResults);

  const XmlNode* fpga = getRequiredXmlNode(compilationResults, "QvFpga");
  if (const XmlNode* base = findXmlNode(fpga, "BaseAddressOnDevice")) {
    baseAddressOnDevice_ = readXmlUnsigned(base);
    baseAddressPresent_ = true;
  }

  if (const XmlNode* specific = findXmlNode(compilationResults, "TargetSpecificData")) {
    targetSpecificText_ = printXmlElement(specific);
    if (const XmlNode* dram = findXmlNode(specific, "Dram2DPBaseAddress")) {
      dram2DPBaseAddress_ = readXmlUnsigned(dram);
      dram2DPBaseAddressPresent_ = true;
    }
    hostMemoryPresent_ = findXmlNode(specific, "HMB") || findXmlNode(specific, "LLB");
  }
}

uint32_t BitfileFpgaSection::getDram2DPBaseAddress(uint32_t defaultAddress) const {
  if (dram2DPBaseAddressPresent_) return dram2DPBaseAddress_;
  if (hostMemoryPresent_) return defaultAddress;
  return 0xFFFFFFFF;
}

}  // namespace qvkel
