#include "foundation/system/FileLock.h"

#include <sys/file.h>

#include <cerrno>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/OsErrorDetail.h"

namespace qvafa {

namespace {

constexpr qverr::StatusLocation kLockFailed{"FileLock", 41, qverr::kComponent,
                                            qverr::constant::kOsFault};

int flockRetrying(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace

void FileLockImpl::lock(qverr::Status& status) {
  if (status.isError()) return;
  if (flockRetrying(fd_, LOCK_EX) != 0) {
    qvsysq::setOsError(status, qverr::kOsFault, kLockFailed, errno);
  }
}

bool FileLockImpl::tryLock(qverr::Status& status) {
  if (status.isError()) return false;
  if (flockRetrying(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  if (errno != EWOULDBLOCK) qvsysq::setOsError(status, qverr::kOsFault, kLockFailed, errno);
  return false;
}

void FileLockImpl::unlock() {
  flockRetrying(fd_, LOCK_UN);
}

FileLock::FileLock(FILE* stream)
    : impl_(std::make_unique<FileLockImpl>(stream != nullptr ? fileno(stream) : -1)) {}

FileLock::~FileLock() = default;

void FileLock::lock() {
  qverr::Status status;
  impl_->lock(status);
  qverr::throwIfError(status);
}

bool FileLock::tryLock() {
  qverr::Status status;
  const bool taken = impl_->tryLock(status);
  qverr::throwIfError(status);
  return taken;
}

void FileLock::unlock() {
  impl_->unlock();
}

}  // namespace qvafa
