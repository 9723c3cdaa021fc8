#include "streaming/SessionWithP2P.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel::user {
namespace {

constexpr const char* kSource = "SessionWithP2P";
constexpr qverr::StatusLocation kCopyRefused{kSource, 61, qverr::kComponent};
constexpr qverr::StatusLocation kNoPlace{kSource, 74, qverr::kComponent,
                                         qverr::constant::kInvalidParameter};
constexpr qverr::StatusLocation kNoEndpoint{kSource, 88, qverr::kComponent,
                                            qverr::constant::kResourceNotFound};

// What the FPGA object's registry keeps for a mapped sink: the cleanup, destroyed (and so the
// window unmapped) when the host's callback unregisters it.
class MappedSinkHandler final : public Fpga::RegisteredHandler {
 public:
  explicit MappedSinkHandler(std::shared_ptr<IMappedP2PSinkCleanup> cleanup)
      : cleanup_(std::move(cleanup)) {}

 private:
  std::shared_ptr<IMappedP2PSinkCleanup> cleanup_;
};

template <typename... T>
void requirePlaces(T*... places) {
  if ((false || ... || (places == nullptr))) qverr::raise(qverr::kInvalidParameter, kNoPlace);
}

}  // namespace

SessionWithP2P::SessionWithP2P(std::shared_ptr<Fpga> fpga, std::shared_ptr<Fpga::Proxy> interface,
                               IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
                               std::shared_ptr<IAttributeHandler> attributeHandler,
                               std::shared_ptr<IIoAccessor> ioAccessor,
                               std::shared_ptr<const Bitfile> bitfile, const char* name,
                               uint32_t options)
    : Session(std::move(fpga), std::move(interface), configurer, checker,
              std::move(attributeHandler), std::move(ioAccessor), bitfile, name, options) {
  const std::string& xml = bitfile->getXml();
  if (xml.empty()) return;
  const std::vector<NamedFifo> fifos = BitfileFpgaSection(xml).takeFifos();
  for (const NamedFifo& fifo : fifos) {
    const uint8_t kind = fifo.getDescriptor().getSubKind();
    if (kind == FifoDescriptor::kPeerToPeerReader || kind == FifoDescriptor::kPeerToPeerWriter)
      endpoints_.push_back(std::make_shared<P2PEndpointSession>(fifo, interfaceProxy()));
  }
}

SessionWithP2P::SessionWithP2P(const SessionWithP2P& other)
    : Session(other), endpoints_(other.endpoints_) {}

SessionWithP2P::~SessionWithP2P() = default;

std::unique_ptr<Session> SessionWithP2P::clone() {
  if (isCopy()) qverr::raise(qverr::kOperationNotSupported, kCopyRefused);
  return std::unique_ptr<Session>(new SessionWithP2P(*this));
}

const std::shared_ptr<P2PEndpointSession>& SessionWithP2P::endpoint(uint32_t fifo) const {
  for (const std::shared_ptr<P2PEndpointSession>& e : endpoints_) {
    if (e->channel() == fifo) return e;
  }
  qverr::raise(qverr::kResourceNotFound, kNoEndpoint);
}

void SessionWithP2P::getP2PEndpointId(uint32_t fifo, uint32_t* endpointId) {
  requirePlaces(endpointId);
  ensureFpgaRunning();
  *endpointId = endpoint(fifo)->identifier();
}

uint32_t SessionWithP2P::queryFifoValue(uint32_t fifo) {
  return qvkel::queryFifoValue(*interfaceProxy(), fifo);
}

void SessionWithP2P::mapP2PSink(uint32_t fifo, uint64_t* size, uint64_t* address,
                                std::shared_ptr<IMappedP2PSinkCleanup>* cleanup) {
  requirePlaces(cleanup);
  underSharedLock(false, [&] {
    const std::shared_ptr<P2PEndpointSession>& sink = endpoint(fifo);
    sink->mapSink(size, address);
    *cleanup = std::make_shared<MappedP2PSinkCleanup>(sink, sharedFpga());
  });
}

void SessionWithP2P::mapP2PSink(uint32_t fifo, uint64_t* size, uint64_t* address, void** context,
                                PeerToPeerCleanup* cleanup) {
  requirePlaces(context, cleanup);
  auto handed = std::make_unique<Fpga::HandlerContext>(Fpga::HandlerContext{&fpga(), sharedFpga()});
  std::shared_ptr<IMappedP2PSinkCleanup> sink;
  mapP2PSink(fifo, size, address, &sink);
  std::unique_ptr<Fpga::RegisteredHandler> handler =
      std::make_unique<MappedSinkHandler>(std::move(sink));
  fpga().exchangeRegisteredHandler(fifo, handler);
  *context = handed.release();
  *cleanup = &Fpga::unregisterHandlerCallback;
}

}  // namespace qvkel::user
