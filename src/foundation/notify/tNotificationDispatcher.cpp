#include "foundation/notify/tNotificationDispatcher.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/platform/memoryAllocation.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

namespace {

// Raise sites of this file.
constexpr qverr::StatusLocation at(uint64_t line) {
  return {"tNotificationDispatcher", line, qverr::kComponent};
}

constexpr qverr::StatusLocation kInotifyFailed = at(47);
constexpr qverr::StatusLocation kWatchFailed = at(69);
constexpr qverr::StatusLocation kPipeFailed = at(149);
constexpr qverr::StatusLocation kScanFailed = at(191);
constexpr qverr::StatusLocation kReadFailed = at(277);
constexpr qverr::StatusLocation kWaitFailed = at(350);
constexpr qverr::StatusLocation kNamesFull{"tVector", 112, qverr::kComponent};

constexpr const char* kDevPath = "/dev";
constexpr const char* kNodePath = "/dev/qv";
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_DELETE_SELF;
static_assert(kWatchMask == 0x700);
// One event header and a name of up to 256 bytes.
constexpr size_t kEventBufferSize = 272;

int compareNames(const char* a, size_t aLength, const char* b) {
  const size_t bLength = std::strlen(b);
  const int c = std::memcmp(a, b, std::min(aLength, bLength));
  if (c != 0) return c;
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

}  // namespace

tNotificationDispatcher::tNotificationDispatcher(const char* const* names,
                                                 nQVVUSKS100::tStatus* status) {
  setUp(names, 1, status);
}

tNotificationDispatcher::~tNotificationDispatcher() {
  if (inotify_ != -1) ::close(inotify_);
  if (wakeRead_ != -1) ::close(wakeRead_);
  if (wakeWrite_ != -1) ::close(wakeWrite_);
  freeNames();
  while (pendingHead_ != nullptr) {
    tNotification* next = pendingHead_->next;
    delete pendingHead_;
    pendingHead_ = next;
  }
  while (pool_ != nullptr) {
    tNotification* next = pool_->next;
    delete pool_;
    pool_ = next;
  }
}

void tNotificationDispatcher::freeNames() {
  for (size_t i = 0; i < nameCount_; ++i) ::operator delete[](names_[i]);
  ::operator delete[](names_);
  names_ = nullptr;
  nameCount_ = 0;
}

void tNotificationDispatcher::setUp(const char* const* names, size_t count,
                                    nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    qverr::recordErrno(*status, errno, kPipeFailed);
    return;
  }
  wakeRead_ = ends[0];
  wakeWrite_ = ends[1];

  names_ = static_cast<char**>(::operator new[](count * sizeof(char*), std::nothrow));
  if (names_ == nullptr) {
    qverr::recordCode(*status, qverr::kMemoryFull, kNamesFull);
    return;
  }
  for (size_t i = 0; i < count && names != nullptr; ++i) {
    const char* name = names[i] != nullptr ? names[i] : kWatchAllInterfaces;
    if (name[0] == '\0') {
      watchAll_ = true;
      freeNames();
      break;
    }
    const size_t length = std::strlen(name);
    char* copy = static_cast<char*>(allocateArray(length + 1, status));
    if (copy == nullptr) break;
    std::memcpy(copy, name, length + 1);
    names_[nameCount_++] = copy;
  }
  if (names_ != nullptr) {
    std::sort(names_, names_ + nameCount_,
              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
  }

  inotify_ = inotify_init1(IN_CLOEXEC);
  if (inotify_ == -1) qverr::recordErrno(*status, errno, kInotifyFailed);
  stopped_ = status->isError();
  installWatches(false, status);
  stopped_ = status->isError();
}

void tNotificationDispatcher::installWatches(bool scan, nQVVUSKS100::tStatus* status) {
  if (status->isError() || inotify_ == -1) return;
  if (!devWatched_) {
    if (inotify_add_watch(inotify_, kDevPath, kWatchMask) == -1) {
      if (errno != ENOENT) qverr::recordErrno(*status, errno, kWatchFailed);
      return;
    }
    devWatched_ = true;
    if (qvWatch_ != -1) return;
  } else if (qvWatch_ != -1) {
    return;
  }
  qvWatch_ = inotify_add_watch(inotify_, kNodePath, kWatchMask);
  if (qvWatch_ == -1) {
    if (errno != ENOENT) qverr::recordErrno(*status, errno, kWatchFailed);
    return;
  }
  if (scan) scanNodes(status);
}

void tNotificationDispatcher::scanNodes(nQVVUSKS100::tStatus* status) {
  DIR* folder = opendir(kNodePath);
  if (folder == nullptr) {
    if (errno != ENOENT) qverr::recordErrno(*status, errno, kScanFailed);
    return;
  }
  while (const dirent* entry = readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    matchAndQueue(entry->d_name, true, status);
  }
  closedir(folder);
}

bool tNotificationDispatcher::isWatched(const char* interfaceName, size_t length) const {
  size_t low = 0;
  size_t high = nameCount_;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const int c = compareNames(interfaceName, length, names_[middle]);
    if (c == 0) return true;
    if (c < 0)
      high = middle;
    else
      low = middle + 1;
  }
  return false;
}

void tNotificationDispatcher::matchAndQueue(const char* name, bool arrived,
                                            nQVVUSKS100::tStatus* status) {
  // prefix \ interface name \ rest
  const char* first = std::strchr(name, '\\');
  const char* second = first != nullptr ? std::strchr(first + 1, '\\') : nullptr;
  if (second != nullptr) {
    const char* interfaceName = first + 1;
    const size_t interfaceLength = static_cast<size_t>(second - interfaceName);
    if (watchAll_ || isWatched(interfaceName, interfaceLength)) {
      queue(arrived, interfaceName, interfaceLength, name, static_cast<size_t>(first - name),
            status);
    }
  } else if (watchAll_) {
    queue(arrived, name, std::strlen(name), "", 0, status);
  }
}

tNotificationDispatcher::tNotification* tNotificationDispatcher::takeNode(
    nQVVUSKS100::tStatus* status) {
  if (pool_ != nullptr) {
    tNotification* node = pool_;
    pool_ = node->next;
    --poolCount_;
    node->next = nullptr;
    return node;
  }
  void* storage = allocate(sizeof(tNotification), status);
  return storage != nullptr ? new (storage) tNotification() : nullptr;
}

void tNotificationDispatcher::releaseNode(tNotification* node) {
  if (poolCount_ >= kPoolLimit) {
    delete node;
    return;
  }
  node->interfaceName.clear();
  node->prefix.clear();
  node->next = pool_;
  pool_ = node;
  ++poolCount_;
}

void tNotificationDispatcher::queue(bool arrived, const char* interfaceName, size_t interfaceLength,
                                    const char* prefix, size_t prefixLength,
                                    nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  tNotification* node = takeNode(status);
  if (node == nullptr) return;
  node->arrived = arrived;
  // A failed copy marks the string; the notification still goes out.
  node->interfaceName.assign(interfaceName, interfaceLength);
  node->prefix.assign(prefix, prefixLength);
  if (pendingTail_ != nullptr)
    pendingTail_->next = node;
  else
    pendingHead_ = node;
  pendingTail_ = node;
}

void tNotificationDispatcher::readEvents(nQVVUSKS100::tStatus* status) {
  alignas(inotify_event) char buffer[kEventBufferSize];
  ssize_t got;
  do {
    got = ::read(inotify_, buffer, sizeof buffer);
  } while (got == -1 && errno == EINTR);
  if (got == -1) {
    qverr::recordErrno(*status, errno, kReadFailed);
    return;
  }
  uint32_t mask = 0;
  size_t offset = 0;
  while (static_cast<size_t>(got) - offset >= sizeof(inotify_event)) {
    inotify_event event;
    std::memcpy(&event, buffer + offset, sizeof event);
    const size_t eventSize = sizeof(inotify_event) + event.len;
    if (eventSize > static_cast<size_t>(got) - offset) break;
    const char* name = buffer + offset + sizeof(inotify_event);
    offset += eventSize;
    mask |= event.mask;
    if ((mask & IN_DELETE_SELF) != 0 && event.wd == qvWatch_ && qvWatch_ != -1) {
      inotify_rm_watch(inotify_, qvWatch_);
      qvWatch_ = -1;
    }
    if ((event.mask & (IN_CREATE | IN_DELETE)) == 0 || event.len == 0 || name[0] == '\0') {
      continue;
    }
    // The kernel pads the name with NULs inside len; never read past the event.
    char copy[kEventBufferSize];
    const size_t nameLength = strnlen(name, event.len);
    std::memcpy(copy, name, nameLength);
    copy[nameLength] = '\0';
    matchAndQueue(copy, (event.mask & IN_CREATE) != 0, status);
  }
  if ((mask & IN_CREATE) != 0) installWatches(true, status);
}

void tNotificationDispatcher::waitForNotification(bool* notified, nQVVUSKS100::tStatus* status) {
  waitForNotification(notified, nullptr, nullptr, nullptr, status);
}

void tNotificationDispatcher::waitForNotification(bool* notified, tBasicString* interfaceName,
                                                  tBasicString* prefix, bool* arrived,
                                                  nQVVUSKS100::tStatus* status) {
  *notified = false;
  for (;;) {
    if (stopped_ || status->isError()) return;
    if (pendingHead_ != nullptr) {
      tNotification* node = pendingHead_;
      pendingHead_ = node->next;
      if (pendingHead_ == nullptr) pendingTail_ = nullptr;
      if (arrived != nullptr) *arrived = node->arrived;
      if (interfaceName != nullptr) {
        interfaceName->assign(node->interfaceName.c_str(), node->interfaceName.length());
      }
      if (prefix != nullptr) prefix->assign(node->prefix.c_str(), node->prefix.length());
      releaseNode(node);
      *notified = true;
      return;
    }

    pollfd watched[2] = {{wakeRead_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    int ready;
    do {
      ready = poll(watched, 2, -1);
    } while (ready == -1 && errno == EINTR);
    if (ready == -1) {
      qverr::recordErrno(*status, errno, kWaitFailed);
      return;
    }
    if (((watched[0].revents | watched[1].revents) & POLLNVAL) != 0) {
      qverr::recordErrno(*status, EBADF, kWaitFailed);
      return;
    }
    if (watched[0].revents != 0) {
      char wake;
      if (::read(wakeRead_, &wake, 1) == 1) return;
    }
    if (watched[1].revents != 0) readEvents(status);
  }
}

void tNotificationDispatcher::stop() {
  if (stopCalled_.exchange(true)) return;
  stopped_ = true;
  const char wake = 'q';
  ssize_t written;
  do {
    written = ::write(wakeWrite_, &wake, 1);
  } while (written == -1 && errno == EINTR);
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
