#pragma once
// Topographies: the constant tables that name a device generation's routing terminals, and the
// registry that finds a table by the name the kernel's routing interface reports.

#include <cstddef>
#include <cstdint>

namespace qvvandrelbrenmoorra {

// One terminal of a topography. Field order is the table's own.
struct TerminalInfo {
  const char* name;
  uint32_t id;  // the kernel's number for it; two names may share one
  uint8_t isExternal;
  uint8_t isOwned;
  const char* visibility;  // "public", "private" or "advanced"
  const char* busType;     // null unless external
  uint32_t busLine;        // kNoBusLine unless external
  const char* busName;
  uint8_t isAlias;
  const char* canonicalName;  // the aliased terminal's name, else the terminal's own
  uint8_t isMaskedOut;
};

inline constexpr uint32_t kNoBusLine = 0xFFFFFFFF;

struct TopographyInfo {
  const char* name;
  uint64_t terminalCount;
  const TerminalInfo* terminals;
  uint64_t reserved;
};

// The slots of the registry; the three tables of this library fill the first three.
inline constexpr uint32_t kTopographySlots = 32;

// Stores the table in the next slot and returns the number of tables registered before it.
// Only the library's static initialisers call it; a registration past the last slot is
// refused and returns kTopographySlots.
uint32_t registerTopographyInfo(const TopographyInfo* info);

// The first registered table whose name equals `name` byte for byte. Raises -50003 with the
// detail {"qvark_debug": "Topography not found: <name>"} when there is none.
const TopographyInfo& findTopographyInfo(const char* name);

// The tables, in registration order.
extern const TopographyInfo kBrenmoorTriggerRouting;
extern const TopographyInfo kVellmontTriggerRouting;
extern const TopographyInfo kOstroverTriggerRouting;

}  // namespace qvvandrelbrenmoorra
