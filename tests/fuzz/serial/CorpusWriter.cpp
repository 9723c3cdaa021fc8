// Writes the seed corpus of the serial-channel fuzz target from the simulated controller's
// serial sections. Usage: serial_corpus_writer <directory>

#include <string>
#include <vector>

#include "../SeedFile.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace {

void write(const std::string& path, uint8_t voltageUnit, uint8_t currentUnit, uint8_t address,
           const std::vector<uint32_t>& words) {
  fuzzseed::writeSeed(path, {voltageUnit, currentUnit, address}, words);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  using sim::SerialSection;
  const std::vector<SerialSection> pair = {{0, 3, 1, 5, {}, 0}, {1, 1, 0, 9, 2 + 2, 1}};
  write(dir + "/pair.bin", 2, 3, 0x40, sim::serialChannelWords(pair));
  write(dir + "/pair-10bit.bin", 0, 1, 0xFF, sim::serialChannelWords(pair, 1));
  write(dir + "/bad-units.bin", 3, 8, 0x40, sim::serialChannelWords(pair));
  write(dir + "/none.bin", 0, 1, 0, sim::serialChannelWords({}));
  write(
      dir + "/missing-fields.bin", 0, 1, 0x40,
      sim::serialChannelWords({{0, 0, 0, 0, {}, {}}, {{}, 1, {}, 2, {}, {}}, {2, 9, 9, {}, 0, 7}}));
  write(dir + "/type-two.bin", 6, 7, 0x40,
        sim::serialChannelWords({{2, 8, 8, 1, 0xFFFFFFFF, 3}, {0, 7, 7, 2, {}, 4}}));
  write(dir + "/too-many.bin", 0, 1, 0x40,
        sim::serialChannelWords(std::vector<SerialSection>(256, {1, 0, 0, 0, {}, {}})));
  write(dir + "/same-name.bin", 0, 1, 0x40,
        sim::serialChannelWords({{0, 1, 3, 11, {}, {}}, {0, 2, 3, 14, {}, {}}}));
  write(dir + "/absurd-count.bin", 0, 1, 0x40, {804, 0xFFFFFFFF, 9, 0, 800, 0});
  return 0;
}
