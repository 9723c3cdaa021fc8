#pragma once
// The kernel-driver transport: one device node, driven by ioctl with a 32-byte request
// descriptor, read, write and mmap. The generated proxies turn each driver method into one
// `call`.

#include <cstdint>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// The Linux ioctl layout: bits 0-7 number, 8-15 type, 16-29 size, 30-31 direction (1 write,
// 2 read, 3 both, 0 none). Every driver method passes the 32-byte descriptor.
constexpr uint32_t kRequestDescriptorSize = 32;
constexpr uint32_t makeCommand(uint32_t direction, uint32_t type, uint32_t number) {
  return direction << 30 | kRequestDescriptorSize << 16 | type << 8 | number;
}

// What ioctl receives (little-endian): the driver writes `result`.
struct tRequestDescriptor {
  uint64_t inputAddress;
  uint64_t outputAddress;
  uint32_t inputLength;
  uint32_t outputLength;
  uint32_t result;
  uint32_t pad;
};
static_assert(sizeof(tRequestDescriptor) == kRequestDescriptorSize);

// One mapped region of a device node.
struct tMapping {
  void* address = nullptr;
  uint64_t length = 0;
};

// Mapping modes: 1 maps for reading and writing, anything else read-only.
constexpr uint32_t kMapReadOnly = 0;
constexpr uint32_t kMapReadWrite = 1;

// The abstract device-interface proxy, a virtual base of every generated interface.
class iInterfaceProxy {
 public:
  virtual ~iInterfaceProxy() = default;
  virtual int close() = 0;
  virtual uint32_t call(uint32_t command, const void* input, uint32_t inputLength, void* output,
                        uint32_t outputLength, nQVVUSKS100::tStatus* status) = 0;
  virtual int64_t read(void* buffer, uint64_t length, nQVVUSKS100::tStatus* status) = 0;
  virtual int64_t write(const void* buffer, uint64_t length, nQVVUSKS100::tStatus* status) = 0;
  virtual void* map(uint32_t region, uint64_t length, uint32_t mode, tMapping* mapping,
                    nQVVUSKS100::tStatus* status) = 0;
  virtual void unmap(tMapping* mapping) = 0;
};

class tDeviceInterfaceProxy : public virtual iInterfaceProxy {
 public:
  tDeviceInterfaceProxy() = default;
  tDeviceInterfaceProxy(const tDeviceInterfaceProxy&) = delete;
  tDeviceInterfaceProxy& operator=(const tDeviceInterfaceProxy&) = delete;

  // When open, closes the descriptor; returns close's result, or 0 when it was not open.
  int close() override;
  // One request: returns the descriptor's result word (0 when the driver did not write it);
  // a failed ioctl records the errno status. With an error already in the status: nothing.
  uint32_t call(uint32_t command, const void* input, uint32_t inputLength, void* output,
                uint32_t outputLength, nQVVUSKS100::tStatus* status) override;
  int64_t read(void* buffer, uint64_t length, nQVVUSKS100::tStatus* status) override;
  int64_t write(const void* buffer, uint64_t length, nQVVUSKS100::tStatus* status) override;
  // Maps `length` bytes of region (region & 0xFFFF), whose offset is that number of pages.
  void* map(uint32_t region, uint64_t length, uint32_t mode, tMapping* mapping,
            nQVVUSKS100::tStatus* status) override;
  void unmap(tMapping* mapping) override;
  virtual bool isOpen() const { return descriptor_ != -1; }
  virtual void openForward(const char* devicePath, nQVVUSKS100::tStatus* status);
  // Opens the device node read-write (close-on-exec); the descriptor stays -1 on failure.
  virtual void open(const char* devicePath, nQVVUSKS100::tStatus* status);

  int descriptor() const { return descriptor_; }

 private:
  int descriptor_ = -1;
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
