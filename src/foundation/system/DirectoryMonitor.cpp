#include "foundation/system/DirectoryMonitor.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/OsErrorDetail.h"

namespace qvafa {

namespace {

constexpr uint32_t kWatchMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
static_assert(kWatchMask == 0xFCE);

// Raise sites of this file.
constexpr qverr::StatusLocation at(uint64_t line, const char* constant) {
  return {"DirectoryMonitor", line, qverr::kComponent, constant};
}

constexpr qverr::StatusLocation kPipeFailed = at(48, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kNonBlockingFailed = at(57, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kInotifyFailed = at(66, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kWatchFailed = at(75, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kWaitFailed = at(118, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kTimedOut = at(125, qverr::constant::kOperationTimedOut);
constexpr qverr::StatusLocation kReadFailed = at(147, qverr::constant::kOsFault);

// Room for the largest event: the header and a name of NAME_MAX bytes with its terminator.
// (Any event with a name is at least 32 bytes, so a smaller first read fails with EINVAL.)
constexpr size_t kEventBufferSize = sizeof(inotify_event) + NAME_MAX + 1;
constexpr size_t kEventBufferGrowth = 15;

int setNonBlocking(int fd) {
  int result;
  do {
    result = fcntl(fd, F_SETFL, O_NONBLOCK);
  } while (result == -1 && errno == EINTR);
  return result;
}

void closeRetrying(int fd) {
  if (fd == -1) return;
  int result;
  do {
    result = close(fd);
  } while (result == -1 && errno == EINTR);
}

}  // namespace

DirectoryMonitorImpl::DirectoryMonitorImpl(const char* const* paths, uint32_t count,
                                           qverr::Status& status) {
  if (status.isError()) return;
  int ends[2];
  // Programs the host starts must not inherit the wake pipe.
  if (pipe2(ends, O_CLOEXEC) != 0) {
    qvsysq::setOsError(status, qverr::kOsFault, kPipeFailed, errno);
    return;
  }
  wakeRead_ = ends[0];
  wakeWrite_ = ends[1];
  if (setNonBlocking(wakeRead_) != 0 || setNonBlocking(wakeWrite_) != 0) {
    qvsysq::setOsError(status, qverr::kOsFault, kNonBlockingFailed, errno);
    return;
  }
  inotify_ = inotify_init1(IN_CLOEXEC);
  if (inotify_ == -1) {
    qvsysq::setOsError(status, qverr::kOsFault, kInotifyFailed, errno);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const int watch = inotify_add_watch(inotify_, paths[i], kWatchMask);
    if (watch == -1) {
      qvsysq::setOsError(status, qverr::kOsFault, kWatchFailed, errno);
      return;
    }
    watches_.push_back(watch);
  }
}

DirectoryMonitorImpl::~DirectoryMonitorImpl() {
  if (inotify_ != -1) {
    for (int watch : watches_) {
      if (watch != -1) inotify_rm_watch(inotify_, watch);
    }
  }
  closeRetrying(inotify_);
  closeRetrying(wakeRead_);
  closeRetrying(wakeWrite_);
}

bool DirectoryMonitorImpl::wait(int32_t timeoutMs, uint32_t* watchIndex, qverr::Status& status) {
  if (status.isError() || inotify_ == -1 || wakeRead_ == -1) return false;
  if (timeoutMs < -1) {
    // poll would wait without limit; only -1 asks for that.
    qvsysq::setOsError(status, qverr::kOsFault, kWaitFailed, EINVAL);
    return false;
  }
  for (;;) {
    pollfd watched[2] = {{wakeRead_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    int ready;
    do {
      ready = poll(watched, 2, timeoutMs);
    } while (ready == -1 && errno == EINTR);
    if (ready == -1) {
      qvsysq::setOsError(status, qverr::kOsFault, kWaitFailed, errno);
      return false;
    }
    if (((watched[0].revents | watched[1].revents) & POLLNVAL) != 0) {
      qvsysq::setOsError(status, qverr::kOsFault, kWaitFailed, EBADF);
      return false;
    }
    if (ready == 0) {
      if (status.setCodeWithErrorConstant(qverr::kTimeout, kTimedOut)) {
        char* cursor = status.detailWriter().cursor;
        cursor = qverr::json::beginObject(cursor, "qvafa_debug", status.detailGrow());
        cursor = qverr::json::addUInt(cursor, "requested_timeout_ms",
                                      static_cast<uint32_t>(timeoutMs), status.detailGrow());
        qverr::json::endObject(cursor);
      }
      return false;
    }
    if (watched[0].revents != 0) return false;

    // The wait allocates nothing unless a read comes back empty and the buffer has to grow.
    alignas(inotify_event) char fixed[kEventBufferSize];
    std::vector<char> grown;
    char* buffer = fixed;
    size_t size = sizeof fixed;
    ssize_t got;
    for (;;) {
      got = read(inotify_, buffer, size);
      if (got == -1 && errno == EINTR) continue;
      if (got == 0) {
        grown.resize(size + kEventBufferGrowth);
        buffer = grown.data();
        size = grown.size();
        continue;
      }
      break;
    }
    if (got < 0) {
      qvsysq::setOsError(status, qverr::kOsFault, kReadFailed, errno);
      return false;
    }
    if (static_cast<size_t>(got) < sizeof(inotify_event)) return false;
    // Only the first event counts: any change wakes the caller.
    inotify_event event;
    std::memcpy(&event, buffer, sizeof event);
    if ((event.mask & IN_Q_OVERFLOW) != 0) continue;
    if (watchIndex != nullptr) {
      uint32_t index = 0;
      while (index < watches_.size() && watches_[index] != event.wd) ++index;
      *watchIndex = index;
    }
    return true;
  }
}

void DirectoryMonitorImpl::interrupt() {
  if (wakeWrite_ == -1) return;
  const uint32_t zero = 0;
  ssize_t result;
  do {
    result = write(wakeWrite_, &zero, sizeof zero);
  } while (result == -1 && errno == EINTR);
}

DirectoryMonitor::DirectoryMonitor(const char* path) {
  qverr::Status status;
  impl_ = std::make_unique<DirectoryMonitorImpl>(&path, 1, status);
  qverr::throwIfError(status);
}

DirectoryMonitor::~DirectoryMonitor() = default;

bool DirectoryMonitor::waitForChanges() {
  qverr::Status status;
  const bool changed = impl_->wait(-1, nullptr, status);
  qverr::throwIfError(status);
  return changed;
}

void DirectoryMonitor::interrupt() {
  impl_->interrupt();
}

}  // namespace qvafa
