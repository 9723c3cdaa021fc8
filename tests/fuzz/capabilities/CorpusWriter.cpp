// Writes the seed corpus of the capability-tree fuzz target from the simulated controller's
// profiles, and a few streams whose counts do not fit their words.
// Usage: capability_corpus_writer <directory>

#include <string>
#include <vector>

#include "../SeedFile.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace {

void write(const std::string& path, uint8_t flags, uint8_t failAt,
           const std::vector<uint32_t>& words) {
  fuzzseed::writeSeed(path, {flags, failAt}, words);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const auto full = sim::capabilityWords(sim::CapabilityProfile::FullWithFlaws);
  write(dir + "/full.bin", 1, 0, full);
  write(dir + "/full-dral7.bin", 0, 0, full);
  write(dir + "/full-fails-late.bin", 1, 200, full);
  write(dir + "/minimal.bin", 1, 0, sim::capabilityWords(sim::CapabilityProfile::Minimal));
  write(dir + "/none.bin", 0, 0, {});
  write(dir + "/odd.bin", 0, 0, {100, 3, 104});
  write(dir + "/announced-more.bin", 2, 0, {40, 210, 4, 5, 3, 500, 1});
  write(dir + "/absurd-section.bin", 2, 0, {4, 804, 0xFFFFFFFF, 9, 1});
  write(dir + "/absurd-words.bin", 2, 0, {0xFFFFFFFF, 100, 1});
  write(dir + "/field-before-count.bin", 0, 0, {7, 1, 601, 7, 211, 2, 601, 8});
  write(dir + "/repeated-counts.bin", 0, 0, {210, 2, 210, 0, 210, 2, 5, 1, 500, 1});
  return 0;
}
