#include "devkit/HmbSection.h"

#include <algorithm>

#include "devkit/DevkitCodes.h"
#include "devkit/XmlValues.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/user/hmb/HMBVirtualMemoryManager";
constexpr qverr::StatusLocation kNoRoot{kSource, 142, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadLayout{kSource, 156, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadStride{kSource, 171, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTooManyRegions{kSource, 193, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kOtherDesign{kSource, 201, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kBadLlbSize{kSource, 236, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kTooManyFixedBlocks{kSource, 222, qverr::kComponent, nullptr};

template <typename F>
void forEachBlock(const XmlNode* list, F&& visit) {
  for (const XmlNode* block = findXmlNode(list, "MemoryBlock"); block;
       block = block->next_sibling("MemoryBlock", 11)) {
    if (block->type() == rapidxml::node_element && !visit(block)) return;
  }
}

bool readDynamicBlock(const XmlNode* block, uint32_t& runningOffset, HmbSectionState& next) {
  std::string name = unescapeXmlText(getRequiredXmlNode(block, "Name"));
  const uint32_t elements = readXmlUnsigned(getRequiredXmlNode(block, "Elements"));
  const uint32_t stride = readXmlUnsigned(getRequiredXmlNode(block, "Stride"));
  if (stride % 8 != 0) qverr::raise(kBitfileIncompatible, kBadStride);
  // In 64 bits: a 32-bit product or round-up could wrap and let a huge region pass the limit.
  const uint64_t size = uint64_t{stride / 8} * elements;
  const uint64_t unit = HmbSectionState::kRoundUnit;
  const uint64_t rounded = (size + unit - 1) / unit * unit;
  if (next.dynamicTotal + rounded > HmbSectionState::kMaxDynamicTotal) return false;
  next.regions[name] = HmbRegion{runningOffset, static_cast<uint32_t>(size), 0, 0xFF};
  runningOffset += static_cast<uint32_t>(size);
  next.dynamicTotal += static_cast<uint32_t>(rounded);
  return true;
}

}  // namespace

bool usesHostMemory(const HmbSectionState& state) {
  return state.dynamicTotal != 0 || !state.regions.empty();
}

bool parseHmbSection(const std::string& text, const std::string& signatureText,
                     HmbSectionState& state) {
  if (state.heldSignature && *state.heldSignature == FpgaSignature(signatureText))
    return usesHostMemory(state);

  XmlDocument document;
  const XmlNode* root = parseXml<kXmlParseFlagsNonDestructive>(
      document, const_cast<char*>(text.c_str()), text.size());
  if (root == nullptr) qverr::raise(kBitfileCorrupt, kNoRoot);
  const XmlNode* specific = findXmlNode(root, "TargetSpecificData");
  if (specific == nullptr) return false;

  HmbSectionState next = state;
  if (const XmlNode* hmb = findXmlNode(specific, "HMB")) {
    if (readXmlUnsigned(getRequiredXmlNode(hmb, "BufferIndexBits")) != 2 ||
        readXmlUnsigned(getRequiredXmlNode(hmb, "OffsetBits")) != 22)
      qverr::raise(kBitfileIncompatible, kBadLayout);
    next.dynamicTotal = 0;
    uint32_t runningOffset = 0;
    forEachBlock(getRequiredXmlNode(hmb, "MemoryBlockList"), [&](const XmlNode* block) {
      return readDynamicBlock(block, runningOffset, next);
    });
    if (next.regions.size() > HmbSectionState::kMaxRegions)
      qverr::raise(kBitfileIncompatible, kTooManyRegions);
    const FpgaSignature signature(signatureText);
    if (next.heldSignature && !(*next.heldSignature == signature))
      qverr::raise(kHmbSignatureMismatch, kOtherDesign);
    next.heldSignature = signature;
    if (const XmlNode* fixed = findXmlNode(hmb, "FixedMemoryBlockList")) {
      forEachBlock(fixed, [&](const XmlNode* block) {
        std::string name = unescapeXmlText(getRequiredXmlNode(block, "Name"));
        HmbRegion& region = next.regions[name];
        region.fixedAddress = readXmlUnsigned64(getRequiredXmlNode(block, "FixedAddr"));
        const XmlNode* baggage = findXmlNode(block, "Baggage");
        region.baggage = baggage ? static_cast<uint8_t>(readXmlSigned(baggage) & 0xFF) : 0xFF;
        return true;
      });
      // The four-region limit is the dynamic buffer's (its index bits); fixed blocks lie outside
      // it. Their registration index is 8 bits counted from 1: past 255 it would wrap and repeat.
      const auto fixedCount =
          std::count_if(next.regions.begin(), next.regions.end(),
                        [](const auto& entry) { return entry.second.fixedAddress != 0; });
      if (static_cast<size_t>(fixedCount) > HmbSectionState::kMaxFixedBlocks)
        qverr::raise(kBitfileIncompatible, kTooManyFixedBlocks);
    }
    // Only a design that uses a block is ever released again: holding the signature of one
    // that uses none would refuse every other design for good.
    if (!usesHostMemory(next)) next.heldSignature = state.heldSignature;
  }
  if (const XmlNode* llb = findXmlNode(specific, "LLB")) {
    if (const XmlNode* list = findXmlNode(llb, "MemoryBlockList")) {
      forEachBlock(list, [&](const XmlNode* block) {
        std::string name = unescapeXmlText(getRequiredXmlNode(block, "Name"));
        const uint32_t elements = readXmlUnsigned(getRequiredXmlNode(block, "Elements"));
        const uint32_t stride = readXmlUnsigned(getRequiredXmlNode(block, "Stride"));
        if (uint64_t{stride} * elements / 8 != HmbSectionState::kRoundUnit)
          qverr::raise(kBitfileIncompatible, kBadLlbSize);
        next.llbBufferName = std::move(name);
        return true;
      });
    }
  }
  state = std::move(next);
  return usesHostMemory(state);
}

}  // namespace qvkel
