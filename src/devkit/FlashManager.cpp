#include "devkit/FlashManager.h"

#include <exception>
#include <limits>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvkel {
namespace {

constexpr qverr::StatusLocation kFlashNotSupported{"FlashManager", 74, qverr::kComponent};
constexpr qverr::StatusLocation kImageTooLarge{"FlashManager", 41, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};
// The driver's answers for a module without the flash value.
constexpr int64_t kDriverNoFlash = -63170;
constexpr int64_t kDriverNoFlashValue = -63171;
constexpr int32_t kNotSupported = -63193;

// The outcome of a driver call that has no result of its own; an error is raised when the
// record goes out of scope.
uint64_t outcome(const nQVVUSKS100::tStatus& status) {
  return static_cast<uint64_t>(status.code);
}

}  // namespace

uint64_t FlashManager::writeFlash(const std::vector<uint8_t>& data) {
  if (data.size() > std::numeric_limits<uint32_t>::max())
    qverr::raise(qverr::kInvalidParameter, kImageTooLarge);
  qverr::ThrowingStatusRecord status;
  flash_->command8332(reinterpret_cast<uint64_t>(data.data()), static_cast<uint32_t>(data.size()),
                      &status);
  return outcome(status);
}

uint64_t FlashManager::setFlashValue(uint64_t value) {
  qverr::ThrowingStatusRecord status;
  flash_->command8333(static_cast<uint32_t>(value), &status);
  return outcome(status);
}

uint32_t FlashManager::getFlashValue() {
  nQVVUSKS100::tStatus status;
  const uint32_t value = flash_->command8334(&status);
  if (status.isError() && std::uncaught_exceptions() == 0) {
    if (status.code == kDriverNoFlash || status.code == kDriverNoFlashValue)
      qverr::raise(kNotSupported, kFlashNotSupported);
    qverr::throwRecord(status);
  }
  return value;
}

uint64_t FlashManager::runFlashCommand() {
  qverr::ThrowingStatusRecord status;
  flash_->command8335(&status);
  return outcome(status);
}

}  // namespace qvkel
