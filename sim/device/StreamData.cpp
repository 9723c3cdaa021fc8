#include "sim/device/StreamData.h"

#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

void append(std::vector<uint8_t>& out, uint32_t bytes, int64_t value) {
  const auto raw = static_cast<uint64_t>(value);
  uint8_t little[8];
  std::memcpy(little, &raw, sizeof little);
  out.insert(out.end(), little, little + bytes);
}

}  // namespace

int64_t streamSample(uint32_t channel, uint64_t sample) {
  return static_cast<int64_t>(channel) * 1000 + static_cast<int64_t>(sample) - 100;
}

uint32_t streamElementBytes(uint32_t elementType) {
  switch (elementType) {
    case 2:
    case 3:
      return 1;
    case 4:
    case 5:
      return 2;
    case 6:
    case 7:
      return 4;
    case 8:
    case 9:
      return 8;
    default:
      throw std::invalid_argument("no stream element type");
  }
}

std::vector<uint8_t> channelSamples(uint32_t elementType, uint32_t channel, uint64_t first,
                                    uint64_t count) {
  const uint32_t bytes = streamElementBytes(elementType);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(count) * bytes);
  for (uint64_t s = 0; s < count; ++s) append(out, bytes, streamSample(channel, first + s));
  return out;
}

std::vector<uint8_t> interleavedSamples(uint32_t elementType, uint32_t channels, uint64_t first,
                                        uint64_t groups) {
  const uint32_t bytes = streamElementBytes(elementType);
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(groups) * channels * bytes);
  for (uint64_t g = 0; g < groups; ++g) {
    for (uint32_t c = 0; c < channels; ++c) append(out, bytes, streamSample(c, first + g));
  }
  return out;
}

}  // namespace sim
