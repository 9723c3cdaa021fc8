#pragma once
// A user session that also serves the design's peer-to-peer FIFOs: one registered endpoint per
// FIFO of implementation kind 2 or 3, the endpoint's identifier, the FIFO value query and the
// mapping of a sink's write window. The device generation's session derives from it.

#include <cstdint>
#include <memory>
#include <vector>

#include "devkit/Session.h"
#include "streaming/P2PEndpointSession.h"

namespace qvkel::user {

class SessionWithP2P : public Session {
 public:
  // The base session's arguments. A design with peer-to-peer FIFOs loads the peer-to-peer
  // library and registers an endpoint for each (a failure, -308001 without the library, fails
  // the construction); a design without them never loads it.
  SessionWithP2P(std::shared_ptr<Fpga> fpga, std::shared_ptr<Fpga::Proxy> interface,
                 IPersonalityConfigurer& configurer, ITargetClassChecker& checker,
                 std::shared_ptr<IAttributeHandler> attributeHandler,
                 std::shared_ptr<IIoAccessor> ioAccessor, std::shared_ptr<const Bitfile> bitfile,
                 const char* name, uint32_t options);
  ~SessionWithP2P() override;

  // A copy sharing the endpoints; -63193 when this session is itself a copy.
  std::unique_ptr<Session> clone() override;
  // -52005 without a place for it; with implicit enable removal and the FPGA idle, the state
  // check (-61214 when it stays idle); -52006 when no endpoint has that DMA channel.
  void getP2PEndpointId(uint32_t fifo, uint32_t* endpoint) override;
  uint32_t queryFifoValue(uint32_t fifo) override;
  // The host's FIFO buffer open: maps the FIFO's sink window (mapP2PSink below) and registers
  // a handler owning its cleanup with the FPGA object under the FIFO's number; the host ends
  // the mapping by calling `*cleanup` with `*context` and that number. -52005 without a place
  // for the context or the callback.
  void mapP2PSink(uint32_t fifo, uint64_t* size, uint64_t* address, void** context,
                  PeerToPeerCleanup* cleanup) override;
  // Under the shared side of the operation lock: -52005 without a place for the cleanup, -52006
  // when no endpoint has that DMA channel, then the endpoint's mapping. The window stays mapped
  // until the cleanup object is destroyed.
  void mapP2PSink(uint32_t fifo, uint64_t* size, uint64_t* address,
                  std::shared_ptr<IMappedP2PSinkCleanup>* cleanup);

  const std::vector<std::shared_ptr<P2PEndpointSession>>& endpoints() const { return endpoints_; }

 protected:
  SessionWithP2P(const SessionWithP2P& other);

 private:
  // -52006 when none has that DMA channel.
  const std::shared_ptr<P2PEndpointSession>& endpoint(uint32_t fifo) const;

  std::vector<std::shared_ptr<P2PEndpointSession>> endpoints_;
};

}  // namespace qvkel::user
