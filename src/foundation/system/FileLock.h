#pragma once
// An exclusive advisory lock on an open file, shared between processes.

#include <cstdio>
#include <memory>

#include "foundation/errors/Status.h"

namespace qvafa {

class FileLockImpl {
 public:
  explicit FileLockImpl(int fd) : fd_(fd) {}
  // Blocks until the lock is held; failures other than EINTR give -52008.
  void lock(qverr::Status& status);
  // Takes the lock only when it is free; false when another holder has it.
  bool tryLock(qverr::Status& status);
  // Releases the lock; failures are not reported.
  void unlock();

 private:
  int fd_;
};

class FileLock {
 public:
  explicit FileLock(FILE* stream);
  ~FileLock();
  // Throws qverr::Exception on failure.
  void lock();
  bool tryLock();
  void unlock();

 private:
  std::unique_ptr<FileLockImpl> impl_;
};

}  // namespace qvafa
