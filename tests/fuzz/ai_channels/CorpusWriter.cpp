// Writes the seed corpus of the analog-input fuzz target from the simulated controller's
// analog-input profiles, each followed by a few writes and commits.
// Usage: ai_channels_corpus_writer <directory>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/device/ClipCapabilityProfiles.h"

namespace {

constexpr uint32_t kCapabilities[] = {100, 115, 101, 102, 103, 112, 113, 114, 106, 107, 109, 110};

using Bytes = std::vector<uint8_t>;

// Flags, failing post, then the profile's (identifier, word) pairs as entries.
Bytes header(uint8_t flags, uint8_t failAt, const std::vector<uint32_t>& words) {
  Bytes b = {flags, failAt, 0};
  for (size_t i = 0; i + 1 < words.size(); i += 2) {
    for (uint8_t s = 0; s < std::size(kCapabilities); ++s) {
      if (kCapabilities[s] != words[i]) continue;
      b.push_back(s);
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(words[i + 1] >> (8 * k)));
      ++b[2];
    }
  }
  return b;
}

// kind: 0 range, 1 offset, 2 DAC, 3 DAC reset, 4 Nyquist zone, 5 band, 6 impedance,
// 7 coupling, 8 enable, 9 commit, 10 redeploy; the value's bytes as the machine holds them.
template <typename V>
void op(Bytes& b, uint8_t kind, uint8_t channel, V value) {
  static_assert(sizeof(V) <= 8);
  uint8_t bytes[8] = {};
  std::memcpy(bytes, &value, sizeof(V));
  b.push_back(kind);
  b.push_back(channel);
  b.insert(b.end(), bytes, bytes + 8);
}

void write(const std::string& path, const Bytes& b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const auto profile = sim::capabilityWords(sim::CapabilityProfile::AnalogInput);

  Bytes offsets = header(0, 0, profile);
  op(offsets, 1, 0, 1.0);
  op(offsets, 9, 0, 0);
  op(offsets, 1, 1, -10.0);
  op(offsets, 2, 2, 29491);
  op(offsets, 9, 0, 0);
  op(offsets, 2, 2, 70000);
  op(offsets, 3, 2, 0);
  op(offsets, 0, 3, 1.0);
  op(offsets, 10, 0, 0);
  write(dir + "/offsets.bin", offsets);

  Bytes properties = header(0, 0, profile);
  op(properties, 4, 1, 2);
  op(properties, 5, 0, 1);
  op(properties, 6, 2, 1e6);
  op(properties, 7, 3, 2);
  op(properties, 8, 3, 0);
  op(properties, 0, 0, 0.3);
  op(properties, 9, 0, 0);
  write(dir + "/properties.bin", properties);

  write(dir + "/short-offset-list.bin",
        header(0, 0, sim::capabilityWords(sim::CapabilityProfile::AnalogInputShortOffsetList)));
  write(dir + "/failing-post.bin", header(0, 3, profile));
  write(dir + "/unsupported.bin", header(1, 0, profile));
  write(dir + "/version-0.bin", header(2, 0, profile));
  write(dir + "/absurd-count.bin", header(0, 0, {100, 0x7FFFFFFF}));
  write(dir + "/no-channels.bin", header(0, 0, {100, 0, 101, 10000000}));
  // A DAC table with limits the other way round and a negative scale.
  write(dir + "/odd-table.bin", header(0, 0,
                                       {100, 2, 101, 1000000, 102, 40000, 103, 100, 112, 0xFFFF8000,
                                        113, 3, 114, 0x80000000}));
  return 0;
}
