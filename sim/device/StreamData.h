#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// The deterministic samples a simulated stream produces. Sample s of channel c has the value
// c * 1000 + s - 100 (negative for channel 0's first samples), stored in the FIFO's element type
// (codes 2 I8, 3 U8, 4 I16, 5 U16, 6 I32, 7 U32, 8 I64, 9 U64) as two's complement cut to its
// width, little-endian.
int64_t streamSample(uint32_t channel, uint64_t sample);
uint32_t streamElementBytes(uint32_t elementType);

// `count` samples of one channel from sample `first`: the FIFO of that channel.
std::vector<uint8_t> channelSamples(uint32_t elementType, uint32_t channel, uint64_t first,
                                    uint64_t count);
// `groups` groups of `channels` elements from sample `first`: element j of the FIFO belongs to
// channel j mod channels.
std::vector<uint8_t> interleavedSamples(uint32_t elementType, uint32_t channels, uint64_t first,
                                        uint64_t groups);

}  // namespace sim
