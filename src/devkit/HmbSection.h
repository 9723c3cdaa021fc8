#pragma once
// The bitfile's host-memory-buffer section: dynamic regions inside one buffer of at most 4 MiB,
// fixed blocks at bus addresses, and the low-latency buffer's name.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "devkit/FpgaSignature.h"

namespace qvkel {

struct HmbRegion {
  uint32_t offset = 0;        // inside the dynamic buffer (dynamic blocks)
  uint32_t size = 0;          // bytes (dynamic blocks)
  uint64_t fixedAddress = 0;  // bus address of a fixed block, 0 for a dynamic one
  uint8_t baggage = 0;

  bool operator==(const HmbRegion&) const = default;
};

// What a parse of the section reads into and what the memory manager holds between parses.
struct HmbSectionState {
  static constexpr uint32_t kMaxDynamicTotal = 0x400000;
  static constexpr uint32_t kRoundUnit = 0x100000;
  static constexpr size_t kMaxRegions = 4;        // after the dynamic blocks
  static constexpr size_t kMaxFixedBlocks = 255;  // registered fixed addresses

  std::optional<FpgaSignature> heldSignature;
  std::map<std::string, HmbRegion> regions;  // ordered by name, byte-wise
  uint32_t dynamicTotal = 0;                 // sum of the rounded dynamic sizes
  std::string llbBufferName;
};

// Whether the state holds any region, dynamic or fixed: what a session must open and release.
bool usesHostMemory(const HmbSectionState& state);

// Reads the section of a printed "CompilationResults" text into `state` and returns whether it
// uses host memory (above). A held signature equal to `signatureText` returns at once. On a
// failure (raised) `state` is left exactly as it was, so a buffer another session holds open
// keeps its size and regions. The signature is held only while a region is.
bool parseHmbSection(const std::string& text, const std::string& signatureText,
                     HmbSectionState& state);

}  // namespace qvkel
