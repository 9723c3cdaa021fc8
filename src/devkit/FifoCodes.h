#pragma once
// Status codes of the DMA FIFOs, their properties and their data movement.

#include <cstdint>

namespace qvkel {

// A depth of 0 elements, or a depth the properties cannot give.
inline constexpr int32_t kFifoDepthInvalid = -61072;
// A count above the depth; a release of more than is held; no region outstanding.
inline constexpr int32_t kFifoCountAboveDepth = -61073;
// An acquire needs elements that are still held.
inline constexpr int32_t kFifoElementsHeld = -61219;
// Elements are held (or regions outstanding) where the operation needs none.
inline constexpr int32_t kFifoElementsInUse = -63083;
// Properties cannot change while the FIFO runs.
inline constexpr int32_t kFifoStarted = -63086;
// Every slot of the region ring is outstanding.
inline constexpr int32_t kFifoRegionRingFull = -63088;
// A caller-provided buffer without an address.
inline constexpr int32_t kFifoCallerBufferMissing = -63081;
// The kernel reports the FIFO or its session gone.
inline constexpr int32_t kFifoGone = -50405;
// The kernel no longer knows the session; the FIFO restarts once.
inline constexpr int32_t kFifoNoSession = -52010;
// Read-only property, or a value type the FIFO does not have.
inline constexpr int32_t kFifoUnsupported = -63193;
// The property registry's codes: unknown identifier, other value type.
inline constexpr int32_t kFifoPropertyNotFound = -63196;
inline constexpr int32_t kFifoPropertyWrongType = -63087;

}  // namespace qvkel
