#pragma once
// The host memory buffers an FPGA design declares: one dynamic buffer mapped from the kernel
// driver and divided into named regions, fixed blocks whose bus addresses are registered with
// the driver, and the low-latency buffer (LLB) pair, a 1 MiB buffer and a 4 KiB page. One
// manager serves every session of an FPGA; each open hands out a context and a cleanup callback
// that undoes it. Every operation runs under the manager's recursive mutex; failures raise.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "devkit/HmbSection.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/platform/synchronization.h"

namespace qvkel {

class HMBVirtualMemoryManager : public std::enable_shared_from_this<HMBVirtualMemoryManager> {
 public:
  // Never raises: a failure inside is dropped.
  using Cleanup = void (*)(void* context);

  // Regions of the device node, mapped at region x page size.
  static constexpr uint32_t kDynamicRegion = 8192;
  static constexpr uint32_t kLlbPageRegion = 12286;
  static constexpr uint32_t kLlbBufferRegion = 12287;
  static constexpr uint64_t kLlbPageSize = 4096;
  static constexpr uint64_t kLlbBufferSize = 0x100000;

  // Request kinds.
  static constexpr uint32_t kRequestRegion = 2;
  static constexpr uint32_t kRequestDriver = 3;
  static constexpr uint32_t kRequestAcquire = 4;
  static constexpr uint32_t kRequestLlb = 5;

  // One opened piece of host memory and how to give it back.
  struct Access {
    uint64_t size = 0;
    void* address = nullptr;
    void* context = nullptr;
    Cleanup cleanup = nullptr;
  };
  struct LlbAccess {
    Access buffer;
    Access page;
  };

  // Create through std::make_shared: contexts keep the manager alive.
  explicit HMBVirtualMemoryManager(
      std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk> proxy);
  // Frees its records without unmapping: the device node's mappings end with the process or
  // with the proxy.
  virtual ~HMBVirtualMemoryManager();
  HMBVirtualMemoryManager(const HMBVirtualMemoryManager&) = delete;
  HMBVirtualMemoryManager& operator=(const HMBVirtualMemoryManager&) = delete;

  // Reads a bitfile's section; true when it uses host memory, so a session must acquire.
  // -61499 for another design while one is held; a failure changes nothing.
  bool parseHmbSection(const std::string& text, const std::string& signatureText);

  // The first acquire maps the dynamic buffer and registers the fixed blocks (in name order,
  // numbered from 1); the last release unmaps it and forgets the design. -63198 when counted
  // out, -61499 for a release without acquire.
  void acquire();
  void release();

  // A dynamic region, acquired until its cleanup runs. -61499 not open, -52005 null name or a
  // fixed region, -52006 unknown name.
  Access getRegion(const char* name);
  // The LLB buffer and page named by the bitfile, each mapped until its cleanup runs. -52005
  // null name, -52006 another name.
  LlbAccess openLlb(const char* name);
  // Kind-coded requests (2 region, 3 driver pass-through, 4 acquire, 5 LLB) with their input
  // and output records; -63045 for a non-zero flag, -63193 for another kind.
  void request(uint32_t kind, const void* input, uint64_t inputSize, void* output,
               uint64_t outputSize, int8_t flag);

  static void releaseLlbPageCallback(void* context);
  static void releaseLlbBufferCallback(void* context);
  static void releaseCallback(void* context);
  static void releaseRegionCallback(void* context);

  uint32_t getOpenCount();
  uint32_t getLlbPageReferences();
  uint32_t getLlbBufferReferences();

 private:
  struct Context;
  template <void (HMBVirtualMemoryManager::*Release)()>
  static void releaseThrough(void* context);

  void open();
  void close();
  void registerFixedBlock(uint8_t index, uint8_t baggage, uint64_t fixedAddress);
  void* mapLlb(uint32_t region, uint64_t length,
               std::optional<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping>& mapping,
               uint32_t& references);
  void releaseLlb(std::optional<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping>& mapping,
                  uint32_t& references);
  void releaseLlbPage();
  void releaseLlbBuffer();
  const HmbRegion& findDynamicRegion(const char* name) const;
  std::unique_ptr<Context> newContext();

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex_;
  uint32_t openCount_ = 0;
  uint32_t llbPageReferences_ = 0;
  uint32_t llbBufferReferences_ = 0;
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk> proxy_;
  HmbSectionState section_;
  uint8_t* dynamicBase_ = nullptr;
  std::optional<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping> dynamicMapping_;
  std::optional<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping> llbPageMapping_;
  std::optional<nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping> llbBufferMapping_;
};

}  // namespace qvkel
