#pragma once
// The parsed, immutable bitfile: versions, signature, target class, flags, registers, DMA
// channels, the decoded bitstream and the printed sections other readers parse again.

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/DmaChannels.h"
#include "devkit/ElementType.h"
#include "devkit/NamedResource.h"

namespace qvkel {

class RegisterInfo {
 public:
  virtual ~RegisterInfo() = default;
};

class NamedRegister : public RegisterInfo, public NamedResource {
 public:
  static constexpr uint32_t kAccessMayTimeoutBit = 0x80000000u;

  NamedRegister(std::string name, const RegisterDescriptor& descriptor, uint32_t baseAddress,
                uint32_t offset, bool accessMayTimeout)
      : NamedResource(std::move(name)),
        descriptor_(descriptor),
        baseAddress_(baseAddress),
        offset_(offset),
        accessMayTimeout_(accessMayTimeout) {}
  ~NamedRegister() override = default;
  NamedRegister(const NamedRegister&) = default;
  NamedRegister& operator=(const NamedRegister&) = default;

  const RegisterDescriptor& getDescriptor() const override { return descriptor_; }
  // Base address plus offset, with the top bit set when an access may time out.
  uint32_t getIdentifier() const override {
    return (baseAddress_ + offset_) | (accessMayTimeout_ ? kAccessMayTimeoutBit : 0u);
  }

  uint32_t getBaseAddress() const { return baseAddress_; }
  uint32_t getOffset() const { return offset_; }
  bool getAccessMayTimeout() const { return accessMayTimeout_; }

 private:
  RegisterDescriptor descriptor_;
  uint32_t baseAddress_;
  uint32_t offset_;
  bool accessMayTimeout_;
};

class Bitfile {
 public:
  static constexpr uint32_t kUnset = 0xFFFFFFFF;
  static constexpr uint32_t kNewestMajorVersion = 7;
  static constexpr uint32_t kDefaultBaseAddress = 0x8000;
  static constexpr uint32_t kDefaultInterruptEnable = 0x1FFE4;
  static constexpr uint32_t kInterruptStatusDistance = 12;
  static constexpr uint32_t kDefaultDiagramReset = 0x7FFC;
  static constexpr uint32_t kDefaultDram2DPBaseAddress = 0x15000;

  // Reads the file at `pathOrText` (when `isPath`) or parses the NUL-terminated text itself.
  // Without `decodeBitstream` the bitstream stays empty.
  Bitfile(const char* pathOrText, bool isPath, bool decodeBitstream);

  uint32_t getMajorVersion() const { return majorVersion_; }
  uint32_t getMinorVersion() const { return minorVersion_; }
  const std::string& getSignature() const { return signature_; }
  const std::string& getTargetClass() const { return targetClass_; }
  bool getAutoRunWhenDownloaded() const { return autoRunWhenDownloaded_; }
  bool getAllowImplicitEnableRemoval() const { return allowImplicitEnableRemoval_; }
  bool isResetNotSupported() const { return resetNotSupported_; }
  bool isAbortNotSupported() const { return abortNotSupported_; }
  bool getZynqBsEnablePatch() const { return zynqBsEnablePatch_; }
  uint32_t getBaseAddress() const { return baseAddress_; }
  uint32_t getWexSignatureOffset() const { return wexSignatureOffset_; }
  uint32_t getWexControlOffset() const { return wexControlOffset_; }
  uint32_t getDiagramResetOffset() const { return diagramResetOffset_; }
  uint32_t getInterruptEnableOffset() const { return interruptEnableOffset_; }
  uint32_t getInterruptStatusOffset() const { return interruptStatusOffset_; }
  const std::vector<NamedRegister>& getRegisters() const { return registers_; }
  const std::vector<NamedFifo>& getFifos() const { return fifos_; }
  uint32_t getBitstreamVersion() const { return bitstreamVersion_; }
  const std::string& getBitstreamMD5() const { return bitstreamMD5_; }
  const std::vector<uint8_t>& getBitstream() const { return bitstream_; }
  const std::string& getTargetSpecificText() const { return targetSpecificText_; }
  // The printed "CompilationResults" element.
  const std::string& getXml() const { return compilationResultsText_; }
  const std::string& getXmlWithoutBitstream() const { return documentWithoutBitstream_; }
  uint32_t getDram2DPBaseAddress() const { return dram2DPBaseAddress_; }

  // The one record of that exact name; null when there is none or more than one.
  const NamedRegister* findRegister(std::string_view name) const;
  const NamedFifo* findFifo(std::string_view name) const;

  // Target classes whose registers start at address 0.
  static bool isLegacyTargetClass(std::string_view targetClass);

 private:
  void parse(char* text, size_t length, bool decodeBitstream);
  void readRegisters(const XmlNode* root);
  void decodeBitstreamText(const XmlNode* bitstream);

  uint32_t majorVersion_ = 0;
  uint32_t minorVersion_ = 0;
  std::string signature_;
  std::string targetClass_;
  bool autoRunWhenDownloaded_ = false;
  bool allowImplicitEnableRemoval_ = false;
  bool resetNotSupported_ = false;
  bool abortNotSupported_ = false;
  bool zynqBsEnablePatch_ = false;
  uint32_t baseAddress_ = kUnset;
  uint32_t wexSignatureOffset_ = kUnset;
  uint32_t wexControlOffset_ = kUnset;
  uint32_t diagramResetOffset_ = kUnset;
  uint32_t interruptEnableOffset_ = kUnset;
  uint32_t interruptStatusOffset_ = kUnset;
  std::vector<NamedRegister> registers_;
  std::vector<NamedFifo> fifos_;
  uint32_t bitstreamVersion_ = 0;
  std::string bitstreamMD5_;
  std::vector<uint8_t> bitstream_;
  std::string targetSpecificText_;
  std::string compilationResultsText_;
  std::string documentWithoutBitstream_;
  uint32_t dram2DPBaseAddress_ = kUnset;
};

}  // namespace qvkel
