#pragma once
// The ten properties of one DMA FIFO's host buffer (element size, depth and granularity,
// mirror, who provides the buffer and where it is, flow control, NUMA node, region-ring size,
// elements held), coerced into a consistent set and handed to the kernel as one 32-byte record.

#include <cstdint>
#include <memory>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Ranges.h"
#include "devkit/FifoDataAccessStrategy.h"
#include "devkit/HostBuffer.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace qvkel {

// Who provides a FIFO's host buffer.
enum class FifoBufferType : int32_t {
  Library = 1,
  Caller = 2,
};

// The kernel's flow-control modes; with Enabled the ring's byte positions must stay within
// 32 bits, which bounds the depth.
enum class FlowControlType : int32_t {
  Disabled = 1,
  Enabled = 2,
};

// Property identifiers.
enum FifoProperty : uint32_t {
  kFifoPropertyElementSize = 1,
  kFifoPropertyGranularity = 2,
  kFifoPropertyDepth = 3,
  kFifoPropertyMirror = 4,
  kFifoPropertyBufferType = 5,
  kFifoPropertyBufferAddress = 6,
  kFifoPropertyFlowControl = 7,
  kFifoPropertyElementsAcquired = 8,
  kFifoPropertyNumaNode = 9,
  kFifoPropertyRegionSlots = 10,
};

// The record the kernel's set-buffer call receives; written byte by byte, little-endian:
// address @0, size in bytes @8, mirror bytes @16, buffer type @24, flow control @28.
struct FifoBufferRecord {
  static constexpr size_t kSize = 32;

  uint64_t address = 0;
  uint64_t size = 0;
  uint64_t mirrorSize = 0;
  uint32_t bufferType = static_cast<uint32_t>(FifoBufferType::Library);
  uint32_t flowControl = static_cast<uint32_t>(FlowControlType::Enabled);

  void encode(uint8_t (&bytes)[kSize]) const;
  bool operator==(const FifoBufferRecord&) const = default;
};

// The next power of two at or above the value; 0 becomes 1. No 32-bit power of two lies above
// 2^31: larger values are refused with -52005.
class RangePowerOf2 : public atat::Range<unsigned int> {
 public:
  unsigned int coerce(const unsigned int& value) override;
  bool equal(const unsigned int& lhs, const unsigned int& rhs) override { return lhs == rhs; }
};

// A node of the machine, or -1 for none (any other value becomes -1).
class RangeNuma : public atat::Range<int> {
 public:
  explicit RangeNuma(int highestNode) : highestNode_(highestNode) {}
  int coerce(const int& value) override;
  bool equal(const int& lhs, const int& rhs) override { return lhs == rhs; }

 private:
  int highestNode_;
};

// Reads the elements a FIFO's strategy holds.
class ElementsCurrentlyAcquiredGetter : public atat::Getter<unsigned long> {
 public:
  explicit ElementsCurrentlyAcquiredGetter(const IFifoDataAccessStrategy& strategy)
      : strategy_(strategy) {}
  void checkGettable(iattr::AttributeInterface<unsigned long>&) override {}
  void refresh(iattr::AttributeInterface<unsigned long>& attribute) override {
    attribute.setCoerced(strategy_.getAcquiredCount());
  }

 private:
  const IFifoDataAccessStrategy& strategy_;
};

class IFifoPropertyManager {
 public:
  virtual ~IFifoPropertyManager() = default;
  virtual void setVoidPtr(uint32_t id, void* value) = 0;
  virtual void setU32(uint32_t id, uint32_t value) = 0;
  virtual void setU64(uint32_t id, uint64_t value) = 0;
  virtual void setI32(uint32_t id, int32_t value) = 0;
  virtual void setI64(uint32_t id, int64_t value) = 0;
  virtual void* getVoidPtr(uint32_t id) = 0;
  virtual uint32_t getU32(uint32_t id) = 0;
  virtual uint64_t getU64(uint32_t id) = 0;
  virtual int32_t getI32(uint32_t id) = 0;
  virtual int64_t getI64(uint32_t id) = 0;
  virtual void commit() = 0;
  virtual void reset() = 0;
};

// What the FIFO gives its property manager at construction.
struct FifoPropertyDefaults {
  uint32_t elementSize;
  uint32_t elementsPerPage;  // at least 1, also for elements larger than a page
  uint64_t depth;
  int32_t numaNode;
  int32_t highestNumaNode;
  uint32_t regionSlots;
};

class FifoPropertyManager : public IFifoPropertyManager {
 public:
  FifoPropertyManager(
      std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface,
      uint64_t sessionHandle, uint32_t channel, const IFifoDataAccessStrategy& strategy,
      const FifoPropertyDefaults& defaults);
  FifoPropertyManager(const FifoPropertyManager&) = delete;
  FifoPropertyManager& operator=(const FifoPropertyManager&) = delete;
  ~FifoPropertyManager() override;

  // Setters take the value's own type: the enumerations and the NUMA node go through the i32
  // forms. Unknown identifier -63196, other type -63087, read-only -63193.
  void setVoidPtr(uint32_t id, void* value) override;
  void setU32(uint32_t id, uint32_t value) override;
  void setU64(uint32_t id, uint64_t value) override;
  void setI32(uint32_t id, int32_t value) override;
  void setI64(uint32_t id, int64_t value) override;
  void* getVoidPtr(uint32_t id) override;
  uint32_t getU32(uint32_t id) override;
  uint64_t getU64(uint32_t id) override;
  int32_t getI32(uint32_t id) override;
  int64_t getI64(uint32_t id) override;
  // Hands the coerced set to the kernel when anything changed since the last commit,
  // allocating a library buffer when one is needed. -61072 for a depth of 0, -63081 for a
  // caller buffer without an address.
  void commit() override;
  // Back to the defaults; the kernel's buffer is dropped and a library buffer freed.
  void reset() override;

  const FifoBufferRecord& getCommittedRecord() const { return record_; }

 private:
  template <typename Public>
  Public get(uint32_t id);
  template <typename Public>
  void set(uint32_t id, Public value);
  void updateDerived();
  void dropKernelBuffer(nQVVUSKS100::tStatus* status);

  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface_;
  uint64_t sessionHandle_;
  uint32_t channel_;
  uint32_t elementsPerPage_;
  atat::AttributeRegistry registry_;
  ElementsCurrentlyAcquiredGetter acquiredGetter_;
  atat::NotSettable<unsigned int> notSettableU32_;
  atat::NotSettable<unsigned long> notSettableU64_;
  RangePowerOf2 powerOf2_;
  RangeNuma numaRange_;
  atat::EnumRange<FifoBufferType> bufferTypeRange_;
  atat::EnumRange<FlowControlType> flowControlRange_;
  int initialNumaNode_;

  atat::Attribute<unsigned int> elementSize_;
  atat::Attribute<unsigned int> granularity_;
  atat::Attribute<unsigned long> depth_;
  atat::Attribute<unsigned long> mirror_;
  atat::Attribute<FifoBufferType> bufferType_;
  atat::Attribute<void*> address_;
  atat::Attribute<FlowControlType> flowControl_;
  atat::Attribute<unsigned long> acquired_;
  atat::Attribute<int> numaNode_;
  atat::Attribute<unsigned int> regionSlots_;

  bool derivedValid_ = false;
  // Whether the kernel may hold a buffer this manager handed it.
  bool kernelHasBuffer_ = false;
  HostBuffer buffer_;
  FifoBufferRecord record_;
};

}  // namespace qvkel
