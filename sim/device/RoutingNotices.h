#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "sim/device/Interface.h"

namespace sim {

// The notification side of a routing interface: the driver's arm and disarm commands, and
// notices sent to an armed reader over generic netlink from the model's own socket.
//
// Arm (0x4010FF00) takes the address of a 16-byte registration {u64 object, u32 netlink port,
// u32 route id}; disarm (0xFF01) takes the route id as the argument itself. Registrations belong
// to the descriptor that made them, so several openers of one node may arm the same id.
class RoutingNotices {
 public:
  static constexpr uint32_t kArm = 0x4010FF00;
  static constexpr uint32_t kDisarm = 0xFF01;

  struct Registration {
    uint64_t object = 0;
    uint32_t port = 0;
    uint32_t route = 0;
    int fd = -1;
  };

  // Registers the arm and disarm handlers on `routing`; throws std::system_error when the
  // netlink socket cannot be made.
  explicit RoutingNotices(Interface& routing);
  ~RoutingNotices();
  RoutingNotices(const RoutingNotices&) = delete;
  RoutingNotices& operator=(const RoutingNotices&) = delete;

  // The first registration of that route.
  std::optional<Registration> registration(uint32_t route) const;
  size_t armedCount() const;

  // Sends a notice to every registration of an armed route: attribute type 1 or 2 (the
  // reader's kinds 0 and 1) and up to 32 payload bytes, echoing the registered object. Returns
  // 0 or an errno (ENOENT when the route is not armed).
  int notify(uint32_t route, uint16_t attributeType, std::span<const uint8_t> payload);

  // The message exactly as the driver lays it out: netlink header {u32 length, u16 type,
  // u16 flags, u32 sequence, u32 port}, generic-netlink header {u8 command, u8 version,
  // u16 reserved}, attribute {u16 length, u16 type}, u64 echoed value, u32 payload length,
  // payload.
  static std::vector<uint8_t> message(uint16_t messageType, uint16_t attributeType, uint64_t echo,
                                      std::span<const uint8_t> payload, uint32_t sequence = 0);
  // Sends any bytes to a netlink port, for malformed messages. Returns 0 or an errno.
  int sendRaw(uint32_t port, std::span<const uint8_t> bytes);

  // The netlink message type the model uses for notices (above netlink's own 1 to 4).
  static constexpr uint16_t kMessageType = 0x20;

 private:
  long arm(RawCall& call);
  long disarm(RawCall& call);

  Interface& routing_;
  int socket_ = -1;
  uint32_t sequence_ = 0;
  mutable std::mutex mutex_;
  std::vector<Registration> registrations_;
};

}  // namespace sim
