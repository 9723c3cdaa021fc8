#include "model/RequestRecord.h"

#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {
constexpr qverr::StatusLocation kVersionRefused{"./source/RequestRecord", 21, qverr::kComponent};
}  // namespace

void checkRequestHeader(const qvkel::RequestHeader& header) {
  if (!qvkel::isVersionCompatible(header, 0, 0))
    qverr::raise(kRequestVersionRefused, kVersionRefused);
}

}  // namespace qvvandrel
