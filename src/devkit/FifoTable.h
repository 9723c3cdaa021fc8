#pragma once
// The FIFO table of an FPGA object: entry n belongs to DMA channel n of the attached bitfile;
// a channel without a run-time FIFO (peer-to-peer or hidden) leaves an empty entry.

#include <cstdint>
#include <memory>
#include <vector>

#include "devkit/Fifo.h"

namespace qvkel {

using FifoTable = std::vector<std::unique_ptr<Fifo>>;

// One FIFO per user-visible target-to-host or host-to-target channel, in channel order.
FifoTable createFifos(
    const std::vector<NamedFifo>& channels,
    const std::shared_ptr<nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_atomickelddk_fifo>& interface,
    uint64_t sessionHandle, int32_t numaNode, int32_t highestNumaNode);

// Entry n; -52005 past the table or for an empty entry.
Fifo& getFifo(const FifoTable& table, uint32_t n);

// After the kernel or the device stopped every FIFO (download, reset, abort).
void markAllFifosStopped(const FifoTable& table);

// A session leaves every FIFO it used; the caller holds the FPGA's lock shared.
void detachUserFromAllFifos(const FifoTable& table, uint64_t token) noexcept;

}  // namespace qvkel
