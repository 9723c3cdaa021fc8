#include "features/Timeout.h"

#include <thread>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {
namespace platform = nQVVANDRELBRENMOORU_22_8::nQVVUSK000;
}  // namespace

Timeout::Timeout(std::uint64_t duration, Unit unit, bool waitOut)
    : duration_(duration), unit_(unit), waitOut_(waitOut) {
  if (unit < platform::kNanoseconds || unit > platform::kHours) {
    qverr::throwError(qverr::kInvalidParameter);
  }
}

void Timeout::start() {
  startNs_ = platform::getMonotonicTimeNs();
  elapsed_ = 0;
  started_ = true;
}

std::uint64_t Timeout::elapsed() {
  if (!started_) return 0;
  elapsed_ = platform::convertTime(platform::getMonotonicTimeNs() - startNs_,
                                   platform::kNanoseconds, unit_);
  return elapsed_;
}

void Timeout::waitUntilExpired() {
  if (!started_) return;
  while (!expired()) std::this_thread::yield();
}

void Timeout::release() {
  if (started_ && waitOut_) waitUntilExpired();
}

}  // namespace qvvandrel
