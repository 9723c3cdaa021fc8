#include "devkit/FifoTable.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr qverr::StatusLocation kNoSuchFifo{"atomickelddk/user/Fpga", 412, qverr::kComponent,
                                            qverr::constant::kInvalidParameter};

}  // namespace

FifoTable createFifos(
    const std::vector<NamedFifo>& channels,
    const std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo>& interface,
    uint64_t sessionHandle, int32_t numaNode, int32_t highestNumaNode) {
  FifoTable table;
  table.reserve(channels.size());
  for (const NamedFifo& channel : channels) {
    const uint8_t kind = channel.getDescriptor().getSubKind();
    const bool runTime =
        kind == FifoDescriptor::kTargetToHost || kind == FifoDescriptor::kHostToTarget;
    table.push_back(
        runTime && channel.isUserVisible()
            ? std::make_unique<Fifo>(channel, interface, sessionHandle, numaNode, highestNumaNode)
            : nullptr);
  }
  return table;
}

Fifo& getFifo(const FifoTable& table, uint32_t n) {
  if (n >= table.size() || !table[n]) qverr::raise(qverr::kInvalidParameter, kNoSuchFifo);
  return *table[n];
}

void markAllFifosStopped(const FifoTable& table) {
  for (const auto& fifo : table)
    if (fifo) fifo->markStopped();
}

void detachUserFromAllFifos(const FifoTable& table, uint64_t token) noexcept {
  for (const auto& fifo : table)
    if (fifo) fifo->detachUser(token);
}

}  // namespace qvkel
