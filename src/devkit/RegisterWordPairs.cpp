#include "devkit/RegisterWordPairs.h"

namespace qvkel::user {

namespace {

constexpr uint32_t kOffsetMask = 0x7FFFFFFF;
constexpr uint32_t kLowWordDistance = 4;

template <typename F>
void wordPairAccess(Session& session, uint32_t address, F&& body) {
  const uint32_t offset = address & kOffsetMask;
  session.underSharedLock(true, [&] {
    body(offset);
    if ((address & Session::kCheckBit) != 0) session.blocks().checkAccessStatus();
  });
}

}  // namespace

int64_t readI64(Session& session, uint32_t address) {
  uint64_t high = 0, low = 0;
  wordPairAccess(session, address, [&](uint32_t offset) {
    high = session.accessorRead32(offset);
    low = session.accessorRead32(offset + kLowWordDistance);
  });
  return static_cast<int64_t>(high << 32 | low);
}

void writeI64(Session& session, uint32_t address, int64_t value) {
  const auto bits = static_cast<uint64_t>(value);
  wordPairAccess(session, address, [&](uint32_t offset) {
    session.accessorWrite32(offset, static_cast<uint32_t>(bits >> 32));
    session.accessorWrite32(offset + kLowWordDistance, static_cast<uint32_t>(bits));
  });
}

}  // namespace qvkel::user
