#include "clocks/UserClockErrors.h"

#include "attributes/RaiseWithDetails.h"

namespace qvvandrel::user_clock {

void raiseInvalidPllCapabilities(const qverr::StatusLocation& where, const char* message,
                                 std::optional<std::uint32_t> number) {
  atat::detail::raiseWithMessage(qverr::kInvalidPllCapabilities, where, message, number);
}

atat::elaboration::Cursor appendKilohertz(atat::elaboration::Cursor cursor, const char* tag,
                                          std::uint32_t kilohertz) {
  const std::uint64_t hertz = std::uint64_t{kilohertz} * 1000;
  if (hertz <= UINT32_MAX) {
    return atat::elaboration::appendUsageUInt32(cursor, tag, static_cast<std::uint32_t>(hertz));
  }
  return atat::elaboration::appendUsageUInt64(cursor, tag, hertz);
}

}  // namespace qvvandrel::user_clock
