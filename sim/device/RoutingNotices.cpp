#include "sim/device/RoutingNotices.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "sim/kernel/Real.h"

namespace sim {

namespace {

void put16(std::vector<uint8_t>& m, size_t at, uint16_t v) {
  std::memcpy(m.data() + at, &v, 2);
}
void put32(std::vector<uint8_t>& m, size_t at, uint32_t v) {
  std::memcpy(m.data() + at, &v, 4);
}
void put64(std::vector<uint8_t>& m, size_t at, uint64_t v) {
  std::memcpy(m.data() + at, &v, 8);
}

}  // namespace

RoutingNotices::RoutingNotices(Interface& routing) : routing_(routing) {
  socket_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
  if (socket_ < 0) throw std::system_error(errno, std::generic_category(), "netlink socket");
  sockaddr_nl self{};
  self.nl_family = AF_NETLINK;
  if (::bind(socket_, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0) {
    const int err = errno;
    real::close(socket_);
    throw std::system_error(err, std::generic_category(), "netlink bind");
  }
  routing_.handleRaw(kArm, [this](RawCall& call) { return arm(call); });
  routing_.handleRaw(kDisarm, [this](RawCall& call) { return disarm(call); });
}

RoutingNotices::~RoutingNotices() {
  routing_.removeHandler(kArm);
  routing_.removeHandler(kDisarm);
  if (socket_ >= 0) real::close(socket_);
}

long RoutingNotices::arm(RawCall& call) {
  if (call.arg == 0) return -EFAULT;
  uint8_t record[16];
  std::memcpy(record, reinterpret_cast<const void*>(call.arg), sizeof record);
  Registration r;
  std::memcpy(&r.object, record + 0, 8);
  std::memcpy(&r.port, record + 8, 4);
  std::memcpy(&r.route, record + 12, 4);
  r.fd = call.fd;
  std::lock_guard lock(mutex_);
  for (Registration& existing : registrations_) {
    if (existing.route == r.route && existing.fd == r.fd) {
      existing = r;
      return 0;
    }
  }
  registrations_.push_back(r);
  return 0;
}

long RoutingNotices::disarm(RawCall& call) {
  const uint32_t route = static_cast<uint32_t>(call.arg);
  std::lock_guard lock(mutex_);
  for (auto it = registrations_.begin(); it != registrations_.end(); ++it) {
    if (it->route == route && it->fd == call.fd) {
      registrations_.erase(it);
      return 0;
    }
  }
  return -ENOENT;
}

std::optional<RoutingNotices::Registration> RoutingNotices::registration(uint32_t route) const {
  std::lock_guard lock(mutex_);
  for (const Registration& r : registrations_) {
    if (r.route == route) return r;
  }
  return std::nullopt;
}

size_t RoutingNotices::armedCount() const {
  std::lock_guard lock(mutex_);
  return registrations_.size();
}

std::vector<uint8_t> RoutingNotices::message(uint16_t messageType, uint16_t attributeType,
                                             uint64_t echo, std::span<const uint8_t> payload,
                                             uint32_t sequence) {
  const size_t total = 36 + payload.size();
  std::vector<uint8_t> m(total, 0);
  put32(m, 0, static_cast<uint32_t>(total));  // netlink length
  put16(m, 4, messageType);
  put16(m, 6, 0);  // flags
  put32(m, 8, sequence);
  put32(m, 12, 0);  // sender port: the kernel fills in the real one on the way
  m[16] = 1;        // generic-netlink command
  m[17] = 1;        // version
  put16(m, 18, 0);
  put16(m, 20, static_cast<uint16_t>(total - 20));  // attribute length
  put16(m, 22, attributeType);
  put64(m, 24, echo);
  put32(m, 32, static_cast<uint32_t>(payload.size()));
  if (!payload.empty()) std::memcpy(m.data() + 36, payload.data(), payload.size());
  return m;
}

int RoutingNotices::sendRaw(uint32_t port, std::span<const uint8_t> bytes) {
  sockaddr_nl to{};
  to.nl_family = AF_NETLINK;
  to.nl_pid = port;
  const ssize_t sent =
      ::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  if (sent < 0) return errno;
  return static_cast<size_t>(sent) == bytes.size() ? 0 : EIO;
}

int RoutingNotices::notify(uint32_t route, uint16_t attributeType,
                           std::span<const uint8_t> payload) {
  std::vector<Registration> targets;
  uint32_t sequence;
  {
    std::lock_guard lock(mutex_);
    for (const Registration& r : registrations_) {
      if (r.route == route) targets.push_back(r);
    }
    sequence = ++sequence_;
  }
  if (targets.empty()) return ENOENT;
  for (const Registration& r : targets) {
    if (int err =
            sendRaw(r.port, message(kMessageType, attributeType, r.object, payload, sequence)))
      return err;
  }
  return 0;
}

}  // namespace sim
