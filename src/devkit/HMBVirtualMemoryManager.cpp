#include "devkit/HMBVirtualMemoryManager.h"

#include <cstring>

#include "foundation/errors/Debug.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {

namespace sync = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

namespace {

constexpr const char* kSource = "atomickelddk/user/hmb/HMBVirtualMemoryManager";
constexpr qverr::StatusLocation kOpenCountFull{kSource, 262, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNotAcquired{kSource, 279, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kLlbNotReferenced{kSource, 371, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kLlbNoRecord{kSource, 377, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kLlbNullName{kSource, 401, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kLlbOtherName{kSource, 405, qverr::kComponent,
                                              qverr::constant::kResourceNotFound};
constexpr qverr::StatusLocation kRegionNotOpen{kSource, 446, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kRegionNullName{kSource, 450, qverr::kComponent,
                                                qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kRegionUnknown{kSource, 455, qverr::kComponent,
                                               qverr::constant::kResourceNotFound};
constexpr qverr::StatusLocation kRegionFixed{kSource, 459, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kRequestFlag{kSource, 488, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kRequestOutput{kSource, 497, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kRequestInput{kSource, 502, qverr::kComponent,
                                              qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kRequestKind{kSource, 541, qverr::kComponent, nullptr};

const qvsdbg_VarLine kCloseWithoutOpen{kSource, 301};
constexpr int32_t kCloseWithoutOpenLevel = 16384;

// Not open, or released more often than acquired.
constexpr int32_t kNotOpen = -61499;
constexpr int32_t kOpenCountOverflow = -63198;
constexpr int32_t kLlbRecordMissing = -63100;
constexpr int32_t kRequestFlagSet = -63045;
constexpr int32_t kUnknownRequest = -63193;
// The selector words of the device-kit request that registers fixed blocks.
constexpr uint32_t kRequestSelector = 0;
constexpr uint32_t kRequestRegisterBlock = 3;
constexpr size_t kFixedBlockRecordSize = 16;

// Raises the error a status record holds once the scope ends.
using RaisingStatus = qverr::ThrowingStatusRecord;

void putU64(uint8_t* at, uint64_t value) {
  for (size_t i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A request's pointer-sized input: the address of a name.
const char* nameFrom(const void* input, uint64_t inputSize) {
  if (input == nullptr || inputSize != sizeof(const char*))
    qverr::raise(qverr::kInvalidParameter, kRequestInput);
  const char* name;
  std::memcpy(&name, input, sizeof name);
  return name;
}

// A request's output record: the exact size, zeroed before anything else happens.
void prepareOutput(void* output, uint64_t outputSize, uint64_t expected) {
  if (output == nullptr || outputSize != expected)
    qverr::raise(qverr::kInvalidParameter, kRequestOutput);
  std::memset(output, 0, expected);
}

}  // namespace

// What a cleanup callback receives: a reference that keeps the manager alive.
struct HMBVirtualMemoryManager::Context {
  std::shared_ptr<HMBVirtualMemoryManager> manager;
};

HMBVirtualMemoryManager::HMBVirtualMemoryManager(
    std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk> proxy)
    : proxy_(std::move(proxy)) {
  RaisingStatus status;
  mutex_.create(&status);
}

HMBVirtualMemoryManager::~HMBVirtualMemoryManager() = default;

bool HMBVirtualMemoryManager::parseHmbSection(const std::string& text,
                                              const std::string& signatureText) {
  sync::tMutexLock lock(mutex_);
  return qvkel::parseHmbSection(text, signatureText, section_);
}

void HMBVirtualMemoryManager::acquire() {
  sync::tMutexLock lock(mutex_);
  if (openCount_ == 0xFFFFFFFF) qverr::raise(kOpenCountOverflow, kOpenCountFull);
  if (openCount_ == 0) open();
  ++openCount_;
}

void HMBVirtualMemoryManager::release() {
  sync::tMutexLock lock(mutex_);
  if (openCount_ == 0) qverr::raise(kNotOpen, kNotAcquired);
  if (--openCount_ == 0) close();
}

void HMBVirtualMemoryManager::open() {
  if (section_.dynamicTotal != 0 && !dynamicMapping_) {
    sync::tMapping mapping;
    {
      RaisingStatus status;
      proxy_->map(kDynamicRegion, section_.dynamicTotal, sync::kMapReadWrite, &mapping, &status);
    }
    dynamicMapping_ = mapping;
    dynamicBase_ = static_cast<uint8_t*>(mapping.address);
  }
  uint8_t index = 0;
  for (const auto& [name, region] : section_.regions) {
    if (region.fixedAddress != 0) registerFixedBlock(++index, region.baggage, region.fixedAddress);
  }
}

void HMBVirtualMemoryManager::close() {
  // A design of fixed blocks alone has no dynamic total but is forgotten here too, so that the
  // next design may bring another signature.
  if (!usesHostMemory(section_) && !section_.heldSignature) return;
  if (section_.dynamicTotal != 0 && dynamicBase_ == nullptr)
    qvsdbg_printf(kCloseWithoutOpenLevel, kCloseWithoutOpen,
                  "close called without successful open");
  section_.regions.clear();
  section_.dynamicTotal = 0;
  if (dynamicMapping_) {
    proxy_->unmap(&*dynamicMapping_);
    dynamicMapping_.reset();
  }
  dynamicBase_ = nullptr;
  section_.heldSignature.reset();
}

void HMBVirtualMemoryManager::registerFixedBlock(uint8_t index, uint8_t baggage,
                                                 uint64_t fixedAddress) {
  uint8_t record[kFixedBlockRecordSize] = {index, baggage};
  putU64(record + 8, fixedAddress);
  RaisingStatus status;
  proxy_->command8310(kRequestSelector, kRequestRegisterBlock, reinterpret_cast<uint64_t>(record),
                      sizeof record, 0, 0, &status);
}

void* HMBVirtualMemoryManager::mapLlb(uint32_t region, uint64_t length,
                                      std::optional<sync::tMapping>& mapping,
                                      uint32_t& references) {
  // The reference is counted only once the mapping stands: a failed map takes none.
  if (!mapping) {
    sync::tMapping made;
    {
      RaisingStatus status;
      proxy_->map(region, length, sync::kMapReadWrite, &made, &status);
    }
    mapping = made;
  }
  ++references;
  return mapping->address;
}

void HMBVirtualMemoryManager::releaseLlb(std::optional<sync::tMapping>& mapping,
                                         uint32_t& references) {
  if (references == 0) qverr::raise(kNotOpen, kLlbNotReferenced);
  if (--references != 0) return;
  if (!mapping) qverr::raise(kLlbRecordMissing, kLlbNoRecord);
  proxy_->unmap(&*mapping);
  mapping.reset();
}

void HMBVirtualMemoryManager::releaseLlbPage() {
  sync::tMutexLock lock(mutex_);
  releaseLlb(llbPageMapping_, llbPageReferences_);
}

void HMBVirtualMemoryManager::releaseLlbBuffer() {
  sync::tMutexLock lock(mutex_);
  releaseLlb(llbBufferMapping_, llbBufferReferences_);
}

std::unique_ptr<HMBVirtualMemoryManager::Context> HMBVirtualMemoryManager::newContext() {
  return std::unique_ptr<Context>(new Context{shared_from_this()});
}

HMBVirtualMemoryManager::LlbAccess HMBVirtualMemoryManager::openLlb(const char* name) {
  sync::tMutexLock lock(mutex_);
  if (name == nullptr) qverr::raise(qverr::kInvalidParameter, kLlbNullName);
  // A bitfile without a low-latency buffer names none, not the empty name.
  if (section_.llbBufferName.empty() || section_.llbBufferName != name)
    qverr::raise(qverr::kResourceNotFound, kLlbOtherName);
  std::unique_ptr<Context> bufferContext = newContext();
  std::unique_ptr<Context> pageContext = newContext();

  LlbAccess access;
  access.page.address = mapLlb(kLlbPageRegion, kLlbPageSize, llbPageMapping_, llbPageReferences_);
  try {
    access.buffer.address =
        mapLlb(kLlbBufferRegion, kLlbBufferSize, llbBufferMapping_, llbBufferReferences_);
  } catch (...) {
    // Give back the page this call took, so a failed open leaves nothing behind.
    releaseLlb(llbPageMapping_, llbPageReferences_);
    throw;
  }
  access.buffer.size = kLlbBufferSize;
  access.buffer.context = bufferContext.release();
  access.buffer.cleanup = &releaseLlbBufferCallback;
  access.page.size = kLlbPageSize;
  access.page.context = pageContext.release();
  access.page.cleanup = &releaseLlbPageCallback;
  return access;
}

const HmbRegion& HMBVirtualMemoryManager::findDynamicRegion(const char* name) const {
  if (dynamicBase_ == nullptr) qverr::raise(kNotOpen, kRegionNotOpen);
  if (name == nullptr) qverr::raise(qverr::kInvalidParameter, kRegionNullName);
  auto found = section_.regions.find(name);
  if (found == section_.regions.end()) qverr::raise(qverr::kResourceNotFound, kRegionUnknown);
  if (found->second.fixedAddress != 0) qverr::raise(qverr::kInvalidParameter, kRegionFixed);
  return found->second;
}

HMBVirtualMemoryManager::Access HMBVirtualMemoryManager::getRegion(const char* name) {
  sync::tMutexLock lock(mutex_);
  const HmbRegion& region = findDynamicRegion(name);
  Access access{region.size, dynamicBase_ + region.offset, nullptr, &releaseRegionCallback};
  std::unique_ptr<Context> context = newContext();
  acquire();
  access.context = context.release();
  return access;
}

void HMBVirtualMemoryManager::request(uint32_t kind, const void* input, uint64_t inputSize,
                                      void* output, uint64_t outputSize, int8_t flag) {
  sync::tMutexLock lock(mutex_);
  if (flag != 0) qverr::raise(kRequestFlagSet, kRequestFlag);
  switch (kind) {
    case kRequestRegion: {
      prepareOutput(output, outputSize, 16);
      const HmbRegion& region = findDynamicRegion(nameFrom(input, inputSize));
      auto* out = static_cast<uint8_t*>(output);
      putU64(out, region.size);
      putU64(out + 8, reinterpret_cast<uint64_t>(dynamicBase_ + region.offset));
      return;
    }
    case kRequestDriver: {
      RaisingStatus status;
      proxy_->command8310(kRequestSelector, kRequestRegisterBlock,
                          reinterpret_cast<uint64_t>(input), inputSize,
                          reinterpret_cast<uint64_t>(output), outputSize, &status);
      return;
    }
    case kRequestAcquire: {
      prepareOutput(output, outputSize, 16);
      std::unique_ptr<Context> context = newContext();
      acquire();
      auto* out = static_cast<uint8_t*>(output);
      putU64(out, reinterpret_cast<uint64_t>(context.release()));
      putU64(out + 8, reinterpret_cast<uint64_t>(&releaseCallback));
      return;
    }
    case kRequestLlb: {
      prepareOutput(output, outputSize, 64);
      const LlbAccess llb = openLlb(nameFrom(input, inputSize));
      const uint64_t fields[8] = {llb.buffer.size,
                                  llb.page.size,
                                  reinterpret_cast<uint64_t>(llb.buffer.address),
                                  reinterpret_cast<uint64_t>(llb.page.address),
                                  reinterpret_cast<uint64_t>(llb.buffer.context),
                                  reinterpret_cast<uint64_t>(llb.page.context),
                                  reinterpret_cast<uint64_t>(llb.buffer.cleanup),
                                  reinterpret_cast<uint64_t>(llb.page.cleanup)};
      for (size_t i = 0; i < 8; ++i) putU64(static_cast<uint8_t*>(output) + 8 * i, fields[i]);
      return;
    }
    default:
      qverr::raise(kUnknownRequest, kRequestKind);
  }
}

template <void (HMBVirtualMemoryManager::*Release)()>
void HMBVirtualMemoryManager::releaseThrough(void* context) {
  if (context == nullptr) return;
  auto* owned = static_cast<Context*>(context);
  try {
    (owned->manager.get()->*Release)();
  } catch (...) {
    // A cleanup never raises. Its context goes anyway: the claim it stood for is gone.
  }
  delete owned;
}

void HMBVirtualMemoryManager::releaseLlbPageCallback(void* context) {
  releaseThrough<&HMBVirtualMemoryManager::releaseLlbPage>(context);
}

void HMBVirtualMemoryManager::releaseLlbBufferCallback(void* context) {
  releaseThrough<&HMBVirtualMemoryManager::releaseLlbBuffer>(context);
}

void HMBVirtualMemoryManager::releaseCallback(void* context) {
  releaseThrough<&HMBVirtualMemoryManager::release>(context);
}

void HMBVirtualMemoryManager::releaseRegionCallback(void* context) {
  releaseThrough<&HMBVirtualMemoryManager::release>(context);
}

uint32_t HMBVirtualMemoryManager::getOpenCount() {
  sync::tMutexLock lock(mutex_);
  return openCount_;
}

uint32_t HMBVirtualMemoryManager::getLlbPageReferences() {
  sync::tMutexLock lock(mutex_);
  return llbPageReferences_;
}

uint32_t HMBVirtualMemoryManager::getLlbBufferReferences() {
  sync::tMutexLock lock(mutex_);
  return llbBufferReferences_;
}

}  // namespace qvkel
