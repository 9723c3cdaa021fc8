#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "attributes/Elaboration.h"
#include "foundation/errors/Exception.h"

namespace atat::detail {

// Throws qverr::Exception with `errorCode` taken at `location`; only when the code was taken
// does `writeItems` append its items to the translator section. A code of 0 still throws,
// with code 0 and no detail.
template <typename WriteItems>
[[noreturn]] void raiseWithDetails(std::int32_t errorCode, const qverr::StatusLocation& location,
                                   WriteItems&& writeItems) {
  qverr::Status status;
  if (errorCode != 0 && status.setCodeWithErrorConstant(errorCode, location)) {
    std::forward<WriteItems>(writeItems)(
        elaboration::openTranslatorElaboration(status, kTranslatorName));
  }
  throw qverr::Exception(std::move(status));
}

// Throws `errorCode` at `location` with `message` as the translator section's first element and,
// when given, an unsigned number after it: ["missing chipType in section: ",2].
[[noreturn]] inline void raiseWithMessage(std::int32_t errorCode,
                                          const qverr::StatusLocation& location,
                                          const char* message,
                                          std::optional<std::uint32_t> number = std::nullopt) {
  raiseWithDetails(errorCode, location, [&](elaboration::Cursor cursor) {
    char* c = qverr::json::addString(cursor.cursor, nullptr, message, cursor.grow);
    if (number) qverr::json::addUInt(c, nullptr, *number, cursor.grow);
  });
}

}  // namespace atat::detail
