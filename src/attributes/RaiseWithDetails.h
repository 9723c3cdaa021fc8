#pragma once

#include <cstdint>
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

}  // namespace atat::detail
