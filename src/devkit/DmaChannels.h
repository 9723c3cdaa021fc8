#pragma once
// The bitfile's DMA channel list with its register blocks, and the 37-byte channel record the
// driver receives.

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/ElementType.h"
#include "devkit/ISerializable.h"
#include "devkit/NamedResource.h"
#include "devkit/XmlValues.h"

namespace qvkel {

class FifoInfo : public ISerializable {
 public:
  static constexpr uint32_t kUnresolved = 0xFFFFFFFF;
  static constexpr size_t kSerializedSize = 37;

  FifoInfo(const FifoDescriptor& descriptor, uint32_t number, uint32_t depth, bool userVisible)
      : descriptor_(descriptor), number_(number), depth_(depth), userVisible_(userVisible) {}
  ~FifoInfo() override = default;
  FifoInfo(const FifoInfo&) = default;
  FifoInfo& operator=(const FifoInfo&) = default;

  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override;

  uint32_t getNumber() const { return number_; }
  const FifoDescriptor& getDescriptor() const { return descriptor_; }
  uint32_t getAddress() const { return address_; }
  uint32_t getDepth() const { return depth_; }
  bool isUserVisible() const { return userVisible_; }
  uint32_t getWriteWindowAddress() const { return writeWindowAddress_; }
  uint32_t getWriteWindowSize() const { return writeWindowSize_; }
  void setAddress(uint32_t address) { address_ = address; }
  void setWriteWindowAddress(uint32_t address) { writeWindowAddress_ = address; }
  void setWriteWindowSize(uint32_t size) { writeWindowSize_ = size; }
  // Address resolved, and for a peer-to-peer reader also its write window.
  bool isValid() const {
    return address_ != kUnresolved &&
           (descriptor_.getSubKind() != FifoDescriptor::kPeerToPeerReader ||
            writeWindowAddress_ != kUnresolved);
  }

 private:
  FifoDescriptor descriptor_;
  uint32_t number_;
  uint32_t address_ = kUnresolved;
  uint32_t depth_;
  bool userVisible_;
  uint32_t writeWindowAddress_ = kUnresolved;
  uint32_t writeWindowSize_ = 0;
};

class NamedFifo : public FifoInfo, public NamedResource {
 public:
  NamedFifo(std::string name, const FifoDescriptor& descriptor, uint32_t number, uint32_t depth,
            bool userVisible, std::string baseAddressTag)
      : FifoInfo(descriptor, number, depth, userVisible),
        NamedResource(std::move(name)),
        baseAddressTag_(std::move(baseAddressTag)) {}
  ~NamedFifo() override = default;
  NamedFifo(const NamedFifo&) = default;
  NamedFifo& operator=(const NamedFifo&) = default;

  const FifoDescriptor& getDescriptor() const override { return FifoInfo::getDescriptor(); }
  uint32_t getIdentifier() const override { return getNumber(); }

  const std::string& getBaseAddressTag() const { return baseAddressTag_; }
  const std::string& getWriteWindowAddressTag() const { return writeWindowAddressTag_; }
  void setWriteWindowAddressTag(std::string tag) { writeWindowAddressTag_ = std::move(tag); }

 private:
  std::string baseAddressTag_;
  std::string writeWindowAddressTag_;
};

class BitfileFpgaSection {
 public:
  // Reads the channel list, the base address on the device and the target-specific data of a
  // "CompilationResults" element.
  explicit BitfileFpgaSection(const XmlNode* compilationResults);
  // The same from the printed "CompilationResults" text.
  explicit BitfileFpgaSection(const std::string& text);

  const std::vector<NamedFifo>& getFifos() const { return fifos_; }
  std::vector<NamedFifo> takeFifos() { return std::move(fifos_); }
  const std::string& getXmlText() const { return targetSpecificText_; }
  bool hasBaseAddressOnDevice() const { return baseAddressPresent_; }
  uint32_t getBaseAddressOnDevice() const { return baseAddressOnDevice_; }
  bool hasHostMemory() const { return hostMemoryPresent_; }
  // The given DRAM base; else `defaultAddress` when the target has host memory; else all ones.
  uint32_t getDram2DPBaseAddress(uint32_t defaultAddress) const;

 private:
  void read(const XmlNode* compilationResults);

  std::vector<NamedFifo> fifos_;
  std::string targetSpecificText_;
  uint32_t baseAddressOnDevice_ = 0;
  bool baseAddressPresent_ = false;
  uint32_t dram2DPBaseAddress_ = 0xFFFFFFFF;
  bool dram2DPBaseAddressPresent_ = false;
  bool hostMemoryPresent_ = false;
};

std::vector<NamedFifo> readDmaChannelList(const XmlNode* compilationResults);

}  // namespace qvkel
