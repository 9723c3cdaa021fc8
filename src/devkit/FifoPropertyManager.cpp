#include "devkit/FifoPropertyManager.h"

#include <bit>
#include <limits>
#include <numeric>

#include "devkit/FifoCodes.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr const char* kSource = "atomickelddk/user/fifo/FifoPropertyManager";
constexpr qverr::StatusLocation kNoDepth{kSource, 262, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kSizeTooLarge{kSource, 258, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoCallerAddress{kSource, 266, qverr::kComponent, nullptr};
constexpr qverr::StatusLocation kNoPowerOfTwo{"atomickelddk/user/fifo/RangePowerOf2", 31,
                                              qverr::kComponent,
                                              qverr::constant::kInvalidParameter};

constexpr unsigned long kAllOnes = std::numeric_limits<unsigned long>::max();
constexpr FifoBufferType kLibraryBuffer = FifoBufferType::Library;
constexpr FlowControlType kFlowControlEnabled = FlowControlType::Enabled;
void* const kNoAddress = nullptr;
constexpr unsigned long kNothingAcquired = 0;
// Positions of a flow-controlled ring are tracked in 32-bit byte counts.
constexpr uint64_t kFlowControlSpan = uint64_t{1} << 32;

void putLittleEndian(uint8_t* at, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// `value` rounded up to a multiple of `unit` (>= 1), or the largest such multiple when the
// rounded value does not fit.
uint64_t roundUp(uint64_t value, uint64_t unit) {
  const uint64_t rest = value % unit;
  if (rest == 0) return value;
  if (value > std::numeric_limits<uint64_t>::max() - (unit - rest))
    return std::numeric_limits<uint64_t>::max() / unit * unit;
  return value + (unit - rest);
}

}  // namespace

void FifoBufferRecord::encode(uint8_t (&bytes)[kSize]) const {
  putLittleEndian(bytes + 0, address, 8);
  putLittleEndian(bytes + 8, size, 8);
  putLittleEndian(bytes + 16, mirrorSize, 8);
  putLittleEndian(bytes + 24, bufferType, 4);
  putLittleEndian(bytes + 28, flowControl, 4);
}

unsigned int RangePowerOf2::coerce(const unsigned int& value) {
  if (value > (1u << 31)) qverr::raise(qverr::kInvalidParameter, kNoPowerOfTwo);
  return value == 0 ? 1 : std::bit_ceil(value);
}

int RangeNuma::coerce(const int& value) {
  return value < 0 || value > highestNode_ ? -1 : value;
}

FifoPropertyManager::FifoPropertyManager(
    std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo> interface,
    uint64_t sessionHandle, uint32_t channel, const IFifoDataAccessStrategy& strategy,
    const FifoPropertyDefaults& defaults)
    : interface_(std::move(interface)),
      sessionHandle_(sessionHandle),
      channel_(channel),
      elementsPerPage_(defaults.elementsPerPage != 0 ? defaults.elementsPerPage : 1),
      registry_(kFifoPropertyNotFound, kFifoPropertyWrongType, qverr::kInternalError),
      acquiredGetter_(strategy),
      notSettableU32_(kFifoUnsupported),
      notSettableU64_(kFifoUnsupported),
      numaRange_(defaults.highestNumaNode),
      bufferTypeRange_(kFifoPropertyBufferType, qverr::kInvalidParameter,
                       {FifoBufferType::Library, FifoBufferType::Caller}),
      flowControlRange_(kFifoPropertyFlowControl, qverr::kInvalidParameter,
                        {FlowControlType::Disabled, FlowControlType::Enabled}),
      // A node the machine does not have would make every allocation fail: it reads as none.
      initialNumaNode_(numaRange_.coerce(defaults.numaNode)),
      // Every property starts dirty, so the first commit derives all of them from their inputs.
      elementSize_(kFifoPropertyElementSize, nullptr, true, &defaults.elementSize, nullptr, nullptr,
                   &notSettableU32_),
      granularity_(kFifoPropertyGranularity, nullptr, true, &elementsPerPage_, &powerOf2_, nullptr,
                   nullptr),
      depth_(kFifoPropertyDepth, nullptr, true, &defaults.depth, nullptr, nullptr, nullptr),
      mirror_(kFifoPropertyMirror, nullptr, true, &kAllOnes, nullptr, nullptr, nullptr),
      bufferType_(kFifoPropertyBufferType, nullptr, true, &kLibraryBuffer, &bufferTypeRange_,
                  nullptr, nullptr),
      address_(kFifoPropertyBufferAddress, nullptr, true, &kNoAddress, nullptr, nullptr, nullptr),
      flowControl_(kFifoPropertyFlowControl, nullptr, true, &kFlowControlEnabled,
                   &flowControlRange_, nullptr, nullptr),
      acquired_(kFifoPropertyElementsAcquired, nullptr, true, &kNothingAcquired, nullptr,
                &acquiredGetter_, &notSettableU64_),
      numaNode_(kFifoPropertyNumaNode, nullptr, true, &initialNumaNode_, &numaRange_, nullptr,
                nullptr),
      regionSlots_(kFifoPropertyRegionSlots, nullptr, true, &defaults.regionSlots, nullptr, nullptr,
                   nullptr) {
  for (iattr::AttributeBaseInterface* property :
       std::initializer_list<iattr::AttributeBaseInterface*>{
           &elementSize_, &granularity_, &depth_, &mirror_, &bufferType_, &address_, &flowControl_,
           &acquired_, &numaNode_, &regionSlots_})
    registry_.addAttribute(property);
}

FifoPropertyManager::~FifoPropertyManager() = default;

template <typename Public>
Public FifoPropertyManager::get(uint32_t id) {
  updateDerived();
  return registry_.getTyped<iattr::PublicAPIAttributeInterface<Public>>(id, nullptr)->getValue();
}

template <typename Public>
void FifoPropertyManager::set(uint32_t id, Public value) {
  auto* property = registry_.getTyped<iattr::PublicAPIAttributeInterface<Public>>(id, nullptr);
  derivedValid_ = false;
  property->setValue(value);
}

void FifoPropertyManager::setVoidPtr(uint32_t id, void* value) {
  set<void*>(id, value);
}
void FifoPropertyManager::setU32(uint32_t id, uint32_t value) {
  set<unsigned int>(id, value);
}
void FifoPropertyManager::setU64(uint32_t id, uint64_t value) {
  set<unsigned long>(id, value);
}
void FifoPropertyManager::setI32(uint32_t id, int32_t value) {
  set<int>(id, value);
}
void FifoPropertyManager::setI64(uint32_t id, int64_t value) {
  set<long>(id, value);
}
void* FifoPropertyManager::getVoidPtr(uint32_t id) {
  return get<void*>(id);
}
uint32_t FifoPropertyManager::getU32(uint32_t id) {
  return get<unsigned int>(id);
}
uint64_t FifoPropertyManager::getU64(uint32_t id) {
  return get<unsigned long>(id);
}
int32_t FifoPropertyManager::getI32(uint32_t id) {
  return get<int>(id);
}
int64_t FifoPropertyManager::getI64(uint32_t id) {
  return get<long>(id);
}

void FifoPropertyManager::updateDerived() {
  if (derivedValid_) return;
  derivedValid_ = true;
  if (!granularity_.isDirty() && !depth_.isDirty() && !mirror_.isDirty() &&
      !bufferType_.isDirty() && !flowControl_.isDirty() && !numaNode_.isDirty())
    return;
  const bool callerBuffer = bufferType_.getDesired() == FifoBufferType::Caller;
  const uint64_t elementSize = elementSize_.getCoerced();

  if (bufferType_.isDirty()) {
    if (!callerBuffer) address_.setCoerced(nullptr);
    bufferType_.setDirty(false);
  }

  if (!granularity_.wasSetByUser()) {
    granularity_.setCoerced(callerBuffer                ? 1
                            : mirror_.getDesired() != 0 ? elementsPerPage_
                                                        : granularity_.getDefault());
  }
  granularity_.setDirty(false);

  if (callerBuffer && !depth_.wasSetByUser()) {
    depth_.setCoerced(0);
  } else {
    const uint64_t granularity = granularity_.getCoerced();
    uint64_t limit = std::numeric_limits<uint64_t>::max();
    if (flowControl_.getCoerced() == FlowControlType::Enabled) {
      const uint64_t span = kFlowControlSpan / elementSize;
      limit = span > granularity ? span - granularity : 0;
    }
    depth_.setCoerced(std::min(roundUp(depth_.getDesired(), granularity), limit));
  }
  depth_.setDirty(false);

  if (callerBuffer && !mirror_.wasSetByUser()) {
    mirror_.setCoerced(0);
  } else {
    // A mirror maps whole pages: only a ring of whole pages gets one.
    const uint64_t page = getPageSize();
    const uint64_t depth = depth_.getCoerced();
    if (depth % (page / std::gcd(page, elementSize)) == 0)
      mirror_.setCoerced(depth_.getDesired() > mirror_.getDesired() ? mirror_.getDesired() : depth);
    else
      mirror_.setCoerced(0);
  }
  mirror_.setDirty(false);

  flowControl_.setDirty(false);
  numaNode_.setDirty(false);
  address_.setDirty(true);
}

void FifoPropertyManager::dropKernelBuffer(nQVVUSKS100::tStatus* status) {
  interface_->command8328(sessionHandle_, channel_, status);
  kernelHasBuffer_ = false;
}

void FifoPropertyManager::commit() {
  updateDerived();
  const FifoBufferType type = bufferType_.getCoerced();
  const uint64_t elementSize = elementSize_.getCoerced();
  const uint64_t depth = depth_.getCoerced();
  const uint64_t mirror = mirror_.getCoerced();
  if (depth > std::numeric_limits<uint64_t>::max() / elementSize ||
      mirror > std::numeric_limits<uint64_t>::max() / elementSize)
    qverr::raise(kFifoDepthInvalid, kSizeTooLarge);

  FifoBufferRecord wanted;
  wanted.address = reinterpret_cast<uint64_t>(
      type == FifoBufferType::Caller ? address_.getDesired() : address_.getCoerced());
  wanted.size = depth * elementSize;
  wanted.mirrorSize = mirror * elementSize;
  wanted.bufferType = static_cast<uint32_t>(type);
  wanted.flowControl = static_cast<uint32_t>(flowControl_.getCoerced());
  if (wanted == record_ && !registry_.isDirty()) return;

  if (wanted.size == 0) qverr::raise(kFifoDepthInvalid, kNoDepth);
  if (type == FifoBufferType::Caller && wanted.address == 0)
    qverr::raise(kFifoCallerBufferMissing, kNoCallerAddress);

  if (wanted.bufferType != record_.bufferType || wanted.address != record_.address ||
      wanted.size != record_.size || wanted.mirrorSize != record_.mirrorSize) {
    if (kernelHasBuffer_) {
      qverr::ThrowingStatusRecord status;
      dropKernelBuffer(&status);
    }
    buffer_.reset();
    try {
      if (type == FifoBufferType::Library) {
        buffer_.allocate(wanted.size, wanted.mirrorSize, numaNode_.getCoerced());
        wanted.address = reinterpret_cast<uint64_t>(buffer_.getAddress());
        address_.setCoerced(buffer_.getAddress());
      }
    } catch (...) {
      // Nothing is committed now; the next commit must not take the old record for current.
      record_ = FifoBufferRecord{};
      if (type == FifoBufferType::Library) address_.setCoerced(nullptr);
      throw;
    }
    record_ = wanted;
  }
  record_.flowControl = wanted.flowControl;

  uint8_t bytes[FifoBufferRecord::kSize];
  record_.encode(bytes);
  {
    qverr::ThrowingStatusRecord status;
    interface_->command832E(sessionHandle_, channel_, bytes, &status);
    kernelHasBuffer_ = true;
    if (status.isError()) {
      buffer_.reset();
      if (type == FifoBufferType::Library) address_.setCoerced(nullptr);
    }
  }
  registry_.setDirty(false);
}

void FifoPropertyManager::reset() {
  for (iattr::AttributeBaseInterface* property :
       std::initializer_list<iattr::AttributeBaseInterface*>{&granularity_, &depth_, &mirror_,
                                                             &bufferType_, &address_, &flowControl_,
                                                             &numaNode_, &regionSlots_})
    property->reset();
  // Back to the state of construction: no buffer reported, everything to be derived again.
  address_.setCoerced(nullptr);
  registry_.setDirty(true);
  derivedValid_ = false;
  record_ = FifoBufferRecord{};
  nQVVUSKS100::tStatus ignored;
  dropKernelBuffer(&ignored);
  buffer_.reset();
}

}  // namespace qvkel
