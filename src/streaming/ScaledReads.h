#pragma once
// Scaled reads of an input stream: the samples of its channels moved out of its DMA FIFOs
// into the host's buffer, split per channel, as raw integers or as doubles (raw x gain +
// offset), with a record per channel giving its gain, offset, sample interval, the time stamp
// of its first sample and the samples delivered. Either one FIFO per channel or all channels
// interleaved in one FIFO. Doubles are converted in place in the DMA buffer (acquire, convert,
// release). A time-out is no error: it is reported in the reply's flag bit 1.

#include <cstddef>
#include <cstdint>

#include "devkit/DmaChannels.h"
#include "devkit/Session.h"
#include "streaming/StreamRequestRecords.h"
#include "streaming/StreamSettings.h"

namespace qvvandrel {

// Destination type code of doubles; each element type has its own raw code.
inline constexpr std::uint32_t kScaledDestination = 1;
// Interleaved reads serve at most this many channels, one counter, gain and offset each.
inline constexpr std::uint64_t kMaxInterleavedChannels = kStreamChannels;

// An element type a stream moves (I8, U8, I16, U16, I32, U32): its descriptor, its raw
// destination code and its size as a shift.
struct StreamElement {
  const qvkel::Type* type;
  std::uint32_t rawCode;
  std::uint32_t shift;
  std::uint64_t bytes() const { return std::uint64_t{1} << shift; }
};
// -304503 for any other type.
StreamElement streamElement(const qvkel::NamedFifo& fifo);

// One scaled read (request 277) on a stream's deployed read side.
struct ScaledRead {
  const qvvandrelbrenmooru::StreamScaledReadRequest& request;
  const ReadSettings& read;
  void* reply;  // 28 bytes
  ChannelCounters& counters;
  qvkel::user::Session& session;  // whose FIFO primitives move the data
};

// The time stamp of channel `channel`'s next sample: counter x dt + time offset, computed in
// exact decimal arithmetic and rounded through long double to double; a value above the
// largest finite double gives the largest finite double.
double computeChannelTimestamp(const ChannelCounters& counters, std::size_t channel, double dt,
                               double timeOffset);

// One FIFO per channel: -304401 unless there are FIFOs, as many as the channel count, and the
// destination code is 1 or the FIFOs' raw code; -304503 for a FIFO type other than I8..U32.
void readFifoScaled(const ScaledRead& read);
// All channels interleaved in `fifo`: -304503 for a type other than I8..U32; -304401 unless the
// destination code is 1 or the type's raw code and the channel count a power of two up to 64.
void readFifoScaledByType(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledI8(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledU8(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledI16(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledU16(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledI32(const ScaledRead& read, const qvkel::NamedFifo& fifo);
void readFifoScaledU32(const ScaledRead& read, const qvkel::NamedFifo& fifo);

}  // namespace qvvandrel
