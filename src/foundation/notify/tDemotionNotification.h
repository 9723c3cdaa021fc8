#pragma once
// Registers a reader's netlink port with the routing device so that the driver sends it the
// demotion messages of one route.

#include <cstddef>
#include <cstdint>

#include "foundation/driver/tInterfaceProxy_routing.h"
#include "foundation/errors/Status.h"
#include "foundation/notify/tIONotificationReader.h"

namespace nQVVANDRELBRENMOORU_22_8 {

// What the arm command hands the driver.
struct tDemotionRegistration {
  uint64_t object;  // echoed back in every message
  uint32_t portId;
  uint32_t routeId;
};
static_assert(sizeof(tDemotionRegistration) == 16);
static_assert(offsetof(tDemotionRegistration, object) == 0);
static_assert(offsetof(tDemotionRegistration, portId) == 8);
static_assert(offsetof(tDemotionRegistration, routeId) == 12);

// Commands on the routing node outside the request-descriptor convention: arm takes the
// address of the registration (write, type 0xFF, number 0, size 16), disarm the route id
// itself (no direction, type 0xFF, number 1, size 0).
constexpr unsigned long kDemotionArmCommand = 0x4010FF00;
constexpr unsigned long kDemotionDisarmCommand = 0xFF01;

class tDemotionNotification : public nQVVUSK000::tIONotification {
 public:
  tDemotionNotification() = default;
  tDemotionNotification(const tDemotionNotification&) = delete;
  tDemotionNotification& operator=(const tDemotionNotification&) = delete;
  ~tDemotionNotification() override;

  // Registers this object, the reader's port and the route; any failure gives -52008.
  virtual void arm(const nQVVUSK000::tIONotificationReader& reader, tInterfaceProxy_routing* proxy,
                   uint32_t routeId, nQVVUSKS100::tStatus* status);
  // Withdraws the registration when armed and the proxy is still open; always ends unarmed.
  virtual void disarm();

  bool isArmed() const { return armed_; }
  uint32_t routeId() const { return routeId_; }

 private:
  tInterfaceProxy_routing* proxy_ = nullptr;
  uint32_t routeId_ = 0;
  bool armed_ = false;
};

}  // namespace nQVVANDRELBRENMOORU_22_8
