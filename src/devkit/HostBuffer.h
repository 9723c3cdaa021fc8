#pragma once
// Page-aligned host memory for DMA FIFOs: a plain buffer, or a mirrored one whose beginning is
// mapped a second time right after its end so that a transfer across the end of a ring is one
// contiguous span; either placed on a chosen NUMA node.

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qvkel {

uint64_t getPageSize();

// Prefers `node` for the pages of the range; a negative node places nothing. A kernel without
// NUMA support is no error; any other refusal is -52003.
void bindToNumaNode(void* address, uint64_t length, int32_t node);

// The highest "nodeN" entry of "/sys/devices/system/node", or -1 when there is none.
int32_t getHighestNumaNode();

// `size` bytes of an anonymous memory file mapped at the base, and its first `mirrorSize` bytes
// mapped again at base + size. Failures raise: -52005 sizes (mirror above size, size not a page
// multiple), -52000 no address space, -52003 memory file, mapping or NUMA binding.
class MirroredBuffer {
 public:
  MirroredBuffer(uint64_t size, uint64_t mirrorSize, int32_t node);
  ~MirroredBuffer() { unmap(); }
  MirroredBuffer(const MirroredBuffer&) = delete;
  MirroredBuffer& operator=(const MirroredBuffer&) = delete;

  void unmap();

  uint8_t* getBase() const { return base_; }
  uint8_t* getMirror() const { return mirror_; }
  uint64_t getSize() const { return size_; }
  uint64_t getMirrorSize() const { return mirrorSize_; }

 private:
  uint8_t* base_ = nullptr;
  uint8_t* mirror_ = nullptr;
  uint64_t size_;
  uint64_t mirrorSize_;
};

// Holds at most one of a plain page-aligned buffer and a mirrored buffer.
class HostBuffer {
 public:
  using Deleter = void (*)(void*);

  HostBuffer() = default;
  ~HostBuffer() { reset(); }
  HostBuffer(const HostBuffer&) = delete;
  HostBuffer& operator=(const HostBuffer&) = delete;

  // Replaces what is held: a plain buffer when mirrorSize is 0, else a mirrored one.
  void allocate(uint64_t size, uint64_t mirrorSize, int32_t node);
  // A plain buffer; -52000 when the memory is not there.
  void allocateAligned(uint64_t size, int32_t node);
  void reset() noexcept;

  // The buffer's address, or null when nothing is held.
  void* getAddress() const;
  const MirroredBuffer* getMirrored() const { return mirrored_.get(); }

 private:
  Deleter deleter_ = &std::free;
  void* data_ = nullptr;
  std::unique_ptr<MirroredBuffer> mirrored_;
};

}  // namespace qvkel
