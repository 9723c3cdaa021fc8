#include "foundation/notify/tIONotificationReader.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

namespace {

// Raise sites of this file.
constexpr qverr::StatusLocation at(uint64_t line) {
  return {"tIONotification", line, qverr::kComponent};
}

constexpr qverr::StatusLocation kPipeFailed = at(21);
constexpr qverr::StatusLocation kDepthTooLarge = at(51);
constexpr qverr::StatusLocation kSocketFailed = at(60);
constexpr qverr::StatusLocation kGetBufferFailed = at(67);
constexpr qverr::StatusLocation kSetBufferFailed = at(75);
constexpr qverr::StatusLocation kBindFailed = at(84);
constexpr qverr::StatusLocation kPortFailed = at(101);
constexpr qverr::StatusLocation kReceiveFailed = at(128);
constexpr qverr::StatusLocation kUnknownKind = at(154);
constexpr qverr::StatusLocation kPayloadTooLong = at(160);
constexpr qverr::StatusLocation kTimedOut = at(199);
constexpr qverr::StatusLocation kPollFailed = at(203);
constexpr qverr::StatusLocation kCancelFailed = at(216);

// The message as read: netlink header (16), generic-netlink header (4), one attribute header
// (4), the echoed value (8), the payload length (4) and up to 32 payload bytes.
constexpr size_t kMessageMax = 72;
constexpr size_t kHeaderSize = 16;
constexpr size_t kTypeOffset = 4;
constexpr size_t kAttributeTypeOffset = 22;
constexpr size_t kEchoOffset = 24;
constexpr size_t kPayloadLengthOffset = 32;
constexpr size_t kPayloadOffset = 36;
constexpr uint16_t kLastControlType = 4;  // types 1 to 4 are netlink's own

template <typename T>
T field(const uint8_t* message, size_t offset) {
  T value;
  std::memcpy(&value, message + offset, sizeof value);
  return value;
}

void closeIfOpen(int& fd) {
  if (fd != -1) {
    ::close(fd);
    fd = -1;
  }
}

}  // namespace

tIONotification::~tIONotification() = default;

tIONotificationReader::tIONotificationReader(uint64_t depth, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    qverr::recordErrno(*status, errno, kPipeFailed);
  } else {
    wakeRead_ = ends[0];
    wakeWrite_ = ends[1];
  }
  openSocket(depth, status);
  if (!status->isError()) readPortId(status);
}

tIONotificationReader::~tIONotificationReader() {
  closeIfOpen(wakeWrite_);
  closeIfOpen(wakeRead_);
  closeIfOpen(socket_);
}

void tIONotificationReader::openSocket(uint64_t depth, nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  if (depth > 0xFFFFFFFFull) {
    qverr::recordCode(*status, qverr::kInvalidParameter, kDepthTooLarge);
    return;
  }
  socket_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
  if (socket_ == -1) {
    qverr::recordErrno(*status, errno, kSocketFailed);
    return;
  }
  int current = 0;
  socklen_t size = sizeof current;
  if (getsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &current, &size) != 0) {
    qverr::recordErrno(*status, errno, kGetBufferFailed);
  } else {
    // One message per unit of depth, plus one.
    const uint64_t needed = (depth * 9 + 9) * 8;
    if (needed > static_cast<uint64_t>(current)) {
      const int wanted = needed > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(needed);
      if (setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted) != 0) {
        qverr::recordErrno(*status, errno, kSetBufferFailed);
      }
    }
  }
  if (!status->isError()) {
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = 0;  // the kernel chooses the port
    address.nl_groups = 0;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      qverr::recordErrno(*status, errno, kBindFailed);
    }
  }
  if (status->isError()) closeIfOpen(socket_);
}

void tIONotificationReader::readPortId(nQVVUSKS100::tStatus* status) {
  sockaddr_nl address{};
  socklen_t size = sizeof address;
  if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    qverr::recordErrno(*status, errno, kPortFailed);
    return;
  }
  portId_ = address.nl_pid;
}

uint64_t tIONotificationReader::read(uint32_t* kind, uint8_t* payload, uint32_t* payloadLength,
                                     nQVVUSKS100::tStatus* status, int32_t timeoutMs) {
  if (status->isError()) return 0;
  for (;;) {
    pollfd watched[2] = {{socket_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    int ready;
    do {
      watched[0].revents = 0;
      watched[1].revents = 0;
      ready = poll(watched, 2, timeoutMs);
    } while (ready == -1 && errno == EINTR);
    if (ready == -1) {
      qverr::recordCode(*status, qverr::kOsFault, kPollFailed);
      return 0;
    }
    if (ready == 0) {
      qverr::recordCode(*status, qverr::kTimeout, kTimedOut);
      return 0;
    }
    if ((watched[0].revents & POLLIN) != 0) {
      bool dropped = false;
      const uint64_t echo = receive(kind, payload, payloadLength, status, &dropped);
      // A dropped message sends the reader back to waiting on both, so cancel still works.
      if (dropped) continue;
      return echo;
    }
    if ((watched[1].revents & POLLIN) != 0) {
      char wake;
      ssize_t got;
      do {
        got = ::read(wakeRead_, &wake, 1);
      } while (got == -1 && errno == EINTR);
      *payloadLength = 0;
      *kind = kNotificationKindCancelled;
    }
    return 0;
  }
}

uint64_t tIONotificationReader::receive(uint32_t* kind, uint8_t* payload, uint32_t* payloadLength,
                                        nQVVUSKS100::tStatus* status, bool* dropped) {
  // Zeroed so that nothing of an earlier message is ever taken for this one.
  uint8_t message[kMessageMax] = {};
  sockaddr_nl source{};
  iovec vector{message, sizeof message};
  msghdr header{};
  header.msg_name = &source;
  header.msg_namelen = sizeof source;
  header.msg_iov = &vector;
  header.msg_iovlen = 1;
  ssize_t got;
  do {
    got = recvmsg(socket_, &header, 0);
  } while (got == -1 && errno == EINTR);
  if (got == -1) {
    qverr::recordCode(*status, qverr::kIoError, kReceiveFailed);
    return 0;
  }
  const size_t received = static_cast<size_t>(got);
  const uint32_t length = field<uint32_t>(message, 0);
  const uint16_t type = field<uint16_t>(message, kTypeOffset);
  if (received < kHeaderSize || length < kHeaderSize || length > received ||
      (type >= 1 && type <= kLastControlType)) {
    *dropped = true;
    return 0;
  }

  const uint16_t attributeType = field<uint16_t>(message, kAttributeTypeOffset);
  if (attributeType == 1) {
    *kind = kNotificationKindFirst;
  } else if (attributeType == 2) {
    *kind = kNotificationKindSecond;
  } else {
    qverr::recordCode(*status, qverr::kNotSupported, kUnknownKind);
    return 0;
  }
  const uint32_t announced = field<uint32_t>(message, kPayloadLengthOffset);
  if (announced > kNotificationPayloadMax) {
    qverr::recordCode(*status, qverr::kIoError, kPayloadTooLong);
    return 0;
  }
  // Never more than the message really carries.
  const size_t carried = length > kPayloadOffset ? length - kPayloadOffset : 0;
  const uint32_t copied = announced < carried ? announced : static_cast<uint32_t>(carried);
  *payloadLength = copied;
  std::memcpy(payload, message + kPayloadOffset, copied);
  return field<uint64_t>(message, kEchoOffset);
}

void tIONotificationReader::cancel(nQVVUSKS100::tStatus* status) {
  const char wake = 'q';
  ssize_t written;
  do {
    written = ::write(wakeWrite_, &wake, 1);
  } while (written == -1 && errno == EINTR);
  if (written != 1) qverr::recordCode(*status, qverr::kIoError, kCancelFailed);
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
