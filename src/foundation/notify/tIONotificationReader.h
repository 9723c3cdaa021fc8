#pragma once
// Driver events arrive as generic-netlink messages on a socket of this reader's own; a wake
// pipe lets another thread release a blocked read.

#include <cstdint>

#include "foundation/errors/Status.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {

// Kinds handed out by read.
constexpr uint32_t kNotificationKindFirst = 0;   // attribute type 1
constexpr uint32_t kNotificationKindSecond = 1;  // attribute type 2
constexpr uint32_t kNotificationKindCancelled = 2;
constexpr uint32_t kNotificationPayloadMax = 32;

class tIONotificationReader {
 public:
  // Sizes the socket's receive buffer for `depth` queued messages (plus one).
  tIONotificationReader(uint64_t depth, nQVVUSKS100::tStatus* status);
  tIONotificationReader(const tIONotificationReader&) = delete;
  tIONotificationReader& operator=(const tIONotificationReader&) = delete;
  virtual ~tIONotificationReader();

  // Waits up to timeoutMs (-1: no limit) for one message and returns the value it echoes
  // (the registered object's address), with its kind and payload (the buffer holds at least
  // 32 bytes). After cancel: kind 2, payload length 0, result 0. Time-out: -52007.
  virtual uint64_t read(uint32_t* kind, uint8_t* payload, uint32_t* payloadLength,
                        nQVVUSKS100::tStatus* status, int32_t timeoutMs);
  // Releases one read, now or the next one to come.
  virtual void cancel(nQVVUSKS100::tStatus* status);

  // The netlink port the kernel gave the socket: where the driver sends the messages.
  uint32_t portId() const { return portId_; }

 private:
  void openSocket(uint64_t depth, nQVVUSKS100::tStatus* status);
  void readPortId(nQVVUSKS100::tStatus* status);
  // Takes one message; a malformed one or a netlink control message sets *dropped.
  uint64_t receive(uint32_t* kind, uint8_t* payload, uint32_t* payloadLength,
                   nQVVUSKS100::tStatus* status, bool* dropped);

  int socket_ = -1;
  uint32_t portId_ = 0;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
};

// The base of notifications registered with a driver through a reader.
class tIONotification {
 public:
  virtual ~tIONotification();
};

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
