#include "streaming/P2PEndpointSession.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/dynload.h"

namespace qvkel {
namespace {

namespace platform = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;

constexpr const char* kSource = "P2PEndpointSession";
constexpr qverr::StatusLocation kQueryBoundary{kSource, 45, qverr::kComponent};
constexpr uint64_t kRegistrationLine = 29;
constexpr qverr::StatusLocation kNoPlace{kSource, 118, qverr::kComponent,
                                         qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kEmptyWindow{kSource, 120, qverr::kComponent,
                                             qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kAlreadyMapped{kSource, 122, qverr::kComponent};
constexpr qverr::StatusLocation kCannotMap{kSource, 131, qverr::kComponent};

constexpr const char* kLibrary = "libqvp2p.so";
constexpr uint32_t kSinkRegion = 0x4000;
constexpr uint32_t kRegionBits = 0xF000;

using Register = int32_t (*)(nQVP2P::iEndpointSession*, uint32_t*);
using Unregister = int32_t (*)(uint32_t);

// Both entry points, or null for each when the library or either symbol is missing: an
// endpoint that could register but not unregister would leave the library a dangling pointer.
struct Library {
  Register registerEndpoint = nullptr;
  Unregister unregisterEndpoint = nullptr;
};
Library library() {
  auto reg = reinterpret_cast<Register>(
      qvdynlib::loadOnceAndGetSymbol("qvstreamuRegisterEndpointInternal", kLibrary));
  auto unreg = reinterpret_cast<Unregister>(
      qvdynlib::loadOnceAndGetSymbol("qvstreamuUnregisterEndpointInternal", kLibrary));
  if (reg == nullptr || unreg == nullptr) return {};
  return {reg, unreg};
}

}  // namespace

uint32_t queryFifoValue(user::Fpga::Proxy& proxy, uint32_t channel) {
  qverr::ThrowingStatusRecord status;
  return proxy.command833C(channel, &status);
}

P2PEndpointSession::P2PEndpointSession(const NamedFifo& fifo,
                                       std::shared_ptr<user::Fpga::Proxy> proxy)
    : descriptor_(fifo.getDescriptor()),
      channel_(fifo.getNumber()),
      writeWindowSize_(fifo.getWriteWindowSize()),
      proxy_(std::move(proxy)) {
  const Library entries = library();
  const int32_t code = entries.registerEndpoint != nullptr
                           ? entries.registerEndpoint(this, &identifier_)
                           : kP2PLibraryMissing;
  nQVVUSKS100::tStatus status;
  status.setCode(code, qverr::kComponent, kSource, kRegistrationLine);
  if (status.isError()) qverr::throwRecord(status);
}

P2PEndpointSession::~P2PEndpointSession() {
  if (const Library entries = library(); entries.unregisterEndpoint != nullptr)
    entries.unregisterEndpoint(identifier_);
  unmapSink();
}

int32_t P2PEndpointSession::query(uint32_t* value) {
  nQVVUSKS100::tStatus status;
  qverr::runAtBoundary(&status, kQueryBoundary, [&] {
    const uint32_t answer = queryFifoValue(*proxy_, channel_);
    if (value != nullptr) *value = answer;
  });
  return status.code;
}

int32_t P2PEndpointSession::describe(uint32_t* record, uint32_t* version) {
  if (version == nullptr) return qverr::kInvalidParameter;
  if (record == nullptr) {
    *version = kDescribeVersion;
    return 0;
  }
  if (*version == 0) return qverr::kInvalidParameter;
  const Type& type = descriptor_.getType();
  if (type.getElementType() == ElementType::None) return qverr::kInvalidParameter;
  record[0] = type.getSize() * 8;
  record[1] = type.getWordLength();
  record[2] = static_cast<uint32_t>(type.getIntegerWordLength());
  record[3] = type.isSigned() ? 1 : 0;
  *version = kDescribeVersion;
  return 0;
}

int32_t P2PEndpointSession::reserved2() {
  return qverr::kOperationNotSupported;
}

int32_t P2PEndpointSession::reserved3() {
  return qverr::kOperationNotSupported;
}

int32_t P2PEndpointSession::reserved4() {
  return qverr::kOperationNotSupported;
}

void P2PEndpointSession::mapSink(uint64_t* size, uint64_t* address) {
  if (size == nullptr || address == nullptr) qverr::raise(qverr::kInvalidParameter, kNoPlace);
  std::lock_guard lock(sinkMutex_);
  if (mappedAddress_ != 0) qverr::raise(kSinkMapped, kAlreadyMapped);
  if (writeWindowSize_ == 0) qverr::raise(qverr::kInvalidParameter, kEmptyWindow);
  if (!proxy_ || (channel_ & kRegionBits) != 0) qverr::raise(qverr::kInternalError, kCannotMap);
  auto mapping = std::make_unique<platform::tMapping>();
  void* mapped = nullptr;
  {
    qverr::ThrowingStatusRecord status;
    mapped = proxy_->map(channel_ | kSinkRegion, writeWindowSize_, platform::kMapReadWrite,
                         mapping.get(), &status);
  }
  mapping_ = std::move(mapping);
  mappedAddress_ = reinterpret_cast<uint64_t>(mapped);
  *size = writeWindowSize_;
  *address = mappedAddress_;
}

void P2PEndpointSession::unmapSink() noexcept {
  std::lock_guard lock(sinkMutex_);
  if (!mapping_) return;
  proxy_->unmap(mapping_.get());
  mapping_.reset();
  mappedAddress_ = 0;
}

}  // namespace qvkel
