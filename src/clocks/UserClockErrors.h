#pragma once
// Where the user clocks' failures are raised, and the detail items they share.

#include <cstdint>
#include <optional>

#include "attributes/Elaboration.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Status.h"

namespace qvvandrel::user_clock {

inline constexpr const char* kSource = "qvvandrelbrenmooru/source/UserClock";

constexpr qverr::StatusLocation location(std::uint64_t line, const char* errorConstant) {
  return {kSource, line, qverr::kComponent, errorConstant};
}

// Capabilities the user clocks cannot work with.
inline constexpr qverr::StatusLocation kPllSectionInvalid =
    location(118, qverr::constant::kInvalidPllCapabilities);
inline constexpr qverr::StatusLocation kFractionUnhandled =
    location(611, qverr::constant::kInvalidPllCapabilities);
inline constexpr qverr::StatusLocation kPStepInvalid =
    location(617, qverr::constant::kInvalidPllCapabilities);
// -304510 with the message and, when given, the PLL index or chip type after it.
[[noreturn]] void raiseInvalidPllCapabilities(const qverr::StatusLocation& where,
                                              const char* message,
                                              std::optional<std::uint32_t> number);

// A frequency the CLIP reports in kHz, as Hz: an unsigned 32-bit item while it fits one, else an
// unsigned 64-bit item.
atat::elaboration::Cursor appendKilohertz(atat::elaboration::Cursor cursor, const char* tag,
                                          std::uint32_t kilohertz);

}  // namespace qvvandrel::user_clock
