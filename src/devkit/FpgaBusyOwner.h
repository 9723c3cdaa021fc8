#pragma once
// Who holds a busy FPGA: owner text, status code, and the owner field of a 32-bit word.

#include <cstdint>
#include <string>

namespace qvkel {

inline constexpr uint32_t kOwnerFieldMask = 0x1C000000u;

// Exact comparison with the known owner texts; -61141 for any other text.
int32_t ownerTextToStatus(const std::string& text);
// The owner text of a code followed by a newline; "other\n" for unknown codes.
std::string statusToOwnerText(int32_t code);
// The code of the word's owner field (bits 26 to 28).
int32_t ownerWordToStatus(uint32_t word);

}  // namespace qvkel
