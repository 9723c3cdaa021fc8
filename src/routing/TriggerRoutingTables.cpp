// The three trigger-routing topographies this library knows. Row order matters: a name or an
// id is looked up in table order, so the first row with an id names that id.

#include <iterator>

#include "routing/TopographyInfo.h"

namespace qvvandrelbrenmoorra {

namespace {

// A terminal of the device itself.
#define QV_OWN(name, id, visibility) \
  { name, id, 0, 1, visibility, nullptr, kNoBusLine, nullptr, 0, name, 0 }
// Another name of a terminal of the device.
#define QV_ALIAS(name, id, visibility, canonical) \
  { name, id, 0, 1, visibility, nullptr, kNoBusLine, nullptr, 1, canonical, 0 }
// A line of a chassis bus, which the device does not own.
#define QV_LINE(name, id, visibility, bus, line) \
  { name, id, 1, 0, visibility, bus, line, nullptr, 0, name, 0 }
// Another name of a chassis bus line.
#define QV_LINE_ALIAS(name, id, visibility, bus, line, canonical) \
  { name, id, 1, 0, visibility, bus, line, nullptr, 1, canonical, 0 }

// F(n, ...) for n = 0 to 7 and 0 to 31; #n spells the number in a name.
#define QV_FOR8(F, ...)                                                                          \
  F(0, __VA_ARGS__), F(1, __VA_ARGS__), F(2, __VA_ARGS__), F(3, __VA_ARGS__), F(4, __VA_ARGS__), \
      F(5, __VA_ARGS__), F(6, __VA_ARGS__), F(7, __VA_ARGS__)
#define QV_FOR32(F, ...)                                                              \
  QV_FOR8(F, __VA_ARGS__), F(8, __VA_ARGS__), F(9, __VA_ARGS__), F(10, __VA_ARGS__),  \
      F(11, __VA_ARGS__), F(12, __VA_ARGS__), F(13, __VA_ARGS__), F(14, __VA_ARGS__), \
      F(15, __VA_ARGS__), F(16, __VA_ARGS__), F(17, __VA_ARGS__), F(18, __VA_ARGS__), \
      F(19, __VA_ARGS__), F(20, __VA_ARGS__), F(21, __VA_ARGS__), F(22, __VA_ARGS__), \
      F(23, __VA_ARGS__), F(24, __VA_ARGS__), F(25, __VA_ARGS__), F(26, __VA_ARGS__), \
      F(27, __VA_ARGS__), F(28, __VA_ARGS__), F(29, __VA_ARGS__), F(30, __VA_ARGS__), \
      F(31, __VA_ARGS__)

// Numbered rows: "<prefix>n" with id first + n.
#define QV_OWN_N(n, prefix, first, visibility) QV_OWN(prefix #n, (first) + n, visibility)
// "<prefix>n" on line n of a bus.
#define QV_LINE_N(n, prefix, first, visibility, bus) \
  QV_LINE(prefix #n, (first) + n, visibility, bus, n)
// "<prefix>n" on line n of a bus, another name of "<canonical>n".
#define QV_LINE_ALIAS_N(n, prefix, first, visibility, bus, canonical) \
  QV_LINE_ALIAS(prefix #n, (first) + n, visibility, bus, n, canonical #n)
// "<prefix>n", another name of "<canonical>n".
#define QV_ALIAS_N(n, prefix, first, canonical) \
  QV_ALIAS(prefix #n, (first) + n, "private", canonical #n)

// The named rows every generation has, from "SourceSyncPulse" to "Gpio31" (104 rows).
#define QV_SHARED_ROWS(first)                                                                     \
  QV_OWN("SourceSyncPulse", (first) + 0, "advanced"),                                             \
      QV_OWN("DestinationSyncPulse", (first) + 1, "advanced"),                                    \
      QV_OWN("Low", (first) + 2, "advanced"), QV_OWN("High", (first) + 3, "advanced"),            \
      QV_OWN("Sync100", (first) + 4, "private"), QV_OWN("Mosk", (first) + 5, "private"),          \
      QV_OWN("TdcAssert", (first) + 6, "private"), QV_OWN("TdcDeassert", (first) + 7, "private"), \
      QV_FOR32(QV_OWN_N, "Source", (first) + 8, "public"),                                        \
      QV_FOR32(QV_OWN_N, "Destination", (first) + 40, "public"),                                  \
      QV_FOR32(QV_OWN_N, "Gpio", (first) + 72, "public")

constexpr TerminalInfo kBrenmoorTerminals[] = {
    QV_OWN("FLOAT", 1, "private"),
    QV_FOR8(QV_LINE_N, "PXI_Trig", 2, "public", "PXI_Trig"),
    QV_LINE("PXIe_DStarB", 10, "public", "PXIe_DStar", 1),
    QV_LINE("PXIe_DStarC", 11, "public", "PXIe_DStar", 2),
    QV_LINE("PXI_Star", 12, "public", "PXI_Star", 0),
    QV_OWN("vorlin/PxiTrig0", 13, "private"),
    QV_OWN("vorlin/FpgaTrig0", 14, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig1", 15, "private", "PXI_Trig", 1, "PXI_Trig1"),
    QV_OWN("vorlin/FpgaTrig1", 16, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig2", 17, "private", "PXI_Trig", 2, "PXI_Trig2"),
    QV_OWN("vorlin/FpgaTrig2", 18, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig3", 19, "private", "PXI_Trig", 3, "PXI_Trig3"),
    QV_OWN("vorlin/FpgaTrig3", 20, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig4", 21, "private", "PXI_Trig", 4, "PXI_Trig4"),
    QV_OWN("vorlin/FpgaTrig4", 22, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig5", 23, "private", "PXI_Trig", 5, "PXI_Trig5"),
    QV_OWN("vorlin/FpgaTrig5", 24, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig6", 25, "private", "PXI_Trig", 6, "PXI_Trig6"),
    QV_OWN("vorlin/FpgaTrig6", 26, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig7", 27, "private", "PXI_Trig", 7, "PXI_Trig7"),
    QV_OWN("vorlin/FpgaTrig7", 28, "private"),
    QV_LINE_ALIAS("vorlin/PxiTrig8", 29, "private", "PXI_Trig", 0, "PXI_Trig0"),
    QV_OWN("vorlin/FpgaTrig8", 30, "private"),
    QV_SHARED_ROWS(31),
    QV_ALIAS("PxiTrigAtFpga0", 135, "private", "vorlin/FpgaTrig8"),
    QV_ALIAS("PxiTrigAtFpga1", 136, "private", "vorlin/FpgaTrig1"),
    QV_ALIAS("PxiTrigAtFpga2", 137, "private", "vorlin/FpgaTrig2"),
    QV_ALIAS("PxiTrigAtFpga3", 138, "private", "vorlin/FpgaTrig3"),
    QV_ALIAS("PxiTrigAtFpga4", 139, "private", "vorlin/FpgaTrig4"),
    QV_ALIAS("PxiTrigAtFpga5", 140, "private", "vorlin/FpgaTrig5"),
    QV_ALIAS("PxiTrigAtFpga6", 141, "private", "vorlin/FpgaTrig6"),
    QV_ALIAS("PxiTrigAtFpga7", 142, "private", "vorlin/FpgaTrig7"),
    QV_OWN("PxiStarAtFpga", 143, "private"),
    QV_ALIAS("vorlinCrossPoint/PxiStarToFpga", 144, "private", "PxiStarAtFpga"),
    QV_LINE_ALIAS("vorlinCrossPoint/PxiStarFromBackplane", 145, "private", "PXI_Star", 0,
                  "PXI_Star"),
    QV_FOR8(QV_LINE_ALIAS_N, "DRAL", 2, "private", "PXI_Trig", "PXI_Trig"),
};

constexpr TerminalInfo kVellmontTerminals[] = {
    QV_OWN("FLOAT", 1, "private"),
    QV_FOR8(QV_LINE_N, "PXI_Trig", 2, "public", "PXI_Trig"),
    QV_LINE("PXIe_DStarB", 10, "public", "PXIe_DStar", 1),
    QV_LINE("PXIe_DStarC", 11, "public", "PXIe_DStar", 2),
    QV_LINE("PXI_Star", 12, "public", "PXI_Star", 0),
    QV_LINE_ALIAS("microblaze/PxiTrig0", 13, "private", "PXI_Trig", 0, "PXI_Trig0"),
    QV_OWN("microblaze/FpgaTrig0", 14, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig1", 15, "private", "PXI_Trig", 1, "PXI_Trig1"),
    QV_OWN("microblaze/FpgaTrig1", 16, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig2", 17, "private", "PXI_Trig", 2, "PXI_Trig2"),
    QV_OWN("microblaze/FpgaTrig2", 18, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig3", 19, "private", "PXI_Trig", 3, "PXI_Trig3"),
    QV_OWN("microblaze/FpgaTrig3", 20, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig4", 21, "private", "PXI_Trig", 4, "PXI_Trig4"),
    QV_OWN("microblaze/FpgaTrig4", 22, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig5", 23, "private", "PXI_Trig", 5, "PXI_Trig5"),
    QV_OWN("microblaze/FpgaTrig5", 24, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig6", 25, "private", "PXI_Trig", 6, "PXI_Trig6"),
    QV_OWN("microblaze/FpgaTrig6", 26, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig7", 27, "private", "PXI_Trig", 7, "PXI_Trig7"),
    QV_OWN("microblaze/FpgaTrig7", 28, "private"),
    QV_OWN("microblaze/PxiTrig8", 29, "private"),
    QV_OWN("microblaze/FpgaTrig8", 30, "private"),
    QV_SHARED_ROWS(31),
    QV_FOR8(QV_ALIAS_N, "PxiTrigAtFpga", 135, "microblaze/FpgaTrig"),
    QV_LINE_ALIAS("PxiStarAtFpga", 143, "private", "PXI_Star", 0, "PXI_Star"),
    QV_FOR8(QV_LINE_ALIAS_N, "DRAL", 2, "private", "PXI_Trig", "PXI_Trig"),
};

constexpr TerminalInfo kOstroverTerminals[] = {
    QV_OWN("FLOAT", 1, "private"),
    QV_FOR8(QV_LINE_N, "DRAL", 2, "public", "DRAL"),
    QV_LINE_ALIAS("microblaze/PxiTrig0", 10, "private", "DRAL", 0, "DRAL0"),
    QV_OWN("microblaze/FpgaTrig0", 11, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig1", 12, "private", "DRAL", 1, "DRAL1"),
    QV_OWN("microblaze/FpgaTrig1", 13, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig2", 14, "private", "DRAL", 2, "DRAL2"),
    QV_OWN("microblaze/FpgaTrig2", 15, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig3", 16, "private", "DRAL", 3, "DRAL3"),
    QV_OWN("microblaze/FpgaTrig3", 17, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig4", 18, "private", "DRAL", 4, "DRAL4"),
    QV_OWN("microblaze/FpgaTrig4", 19, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig5", 20, "private", "DRAL", 5, "DRAL5"),
    QV_OWN("microblaze/FpgaTrig5", 21, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig6", 22, "private", "DRAL", 6, "DRAL6"),
    QV_OWN("microblaze/FpgaTrig6", 23, "private"),
    QV_LINE_ALIAS("microblaze/PxiTrig7", 24, "private", "DRAL", 7, "DRAL7"),
    QV_OWN("microblaze/FpgaTrig7", 25, "private"),
    QV_OWN("microblaze/PxiTrig8", 26, "private"),
    QV_OWN("microblaze/FpgaTrig8", 27, "private"),
    QV_SHARED_ROWS(28),
    QV_FOR8(QV_ALIAS_N, "PxiTrigAtFpga", 132, "microblaze/FpgaTrig"),
    QV_OWN("PxiStarAtFpga", 140, "private"),
    QV_FOR8(QV_LINE_ALIAS_N, "PXI_Trig", 2, "private", "DRAL", "DRAL"),
};

}  // namespace

const TopographyInfo kBrenmoorTriggerRouting{"brenmoorTriggerRouting",
                                             std::size(kBrenmoorTerminals), kBrenmoorTerminals, 0};
const TopographyInfo kVellmontTriggerRouting{"vellmontTriggerRouting",
                                             std::size(kVellmontTerminals), kVellmontTerminals, 0};
const TopographyInfo kOstroverTriggerRouting{"ostroverTriggerRouting",
                                             std::size(kOstroverTerminals), kOstroverTerminals, 0};

static_assert(std::size(kBrenmoorTerminals) == 153);
static_assert(std::size(kVellmontTerminals) == 151);
static_assert(std::size(kOstroverTerminals) == 148);

}  // namespace qvvandrelbrenmoorra
