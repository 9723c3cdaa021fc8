#pragma once
// Writes one seed of a fuzz target whose input is a few header bytes followed by 32-bit words,
// little-endian.

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace fuzzseed {

inline void writeSeed(const std::string& path, std::initializer_list<uint8_t> header,
                      const std::vector<uint32_t>& words) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  for (uint8_t byte : header) std::fputc(byte, f);
  if (!words.empty()) std::fwrite(words.data(), 4, words.size(), f);
  std::fclose(f);
}

}  // namespace fuzzseed
