#include "foundation/notify/tDemotionNotification.h"

#include <sys/ioctl.h>

#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8 {

namespace {

constexpr qverr::StatusLocation kArmFailed{"tIONotification", 245, qverr::kComponent};

}  // namespace

tDemotionNotification::~tDemotionNotification() = default;

void tDemotionNotification::arm(const nQVVUSK000::tIONotificationReader& reader,
                                tInterfaceProxy_routing* proxy, uint32_t routeId,
                                nQVVUSKS100::tStatus* status) {
  if (status->isError()) return;
  proxy_ = proxy;
  routeId_ = routeId;
  tDemotionRegistration registration{reinterpret_cast<uint64_t>(this), reader.portId(), routeId};
  const int descriptor = proxy != nullptr ? proxy->descriptor() : -1;
  if (::ioctl(descriptor, kDemotionArmCommand, &registration) != 0) {
    qverr::recordCode(*status, qverr::kOsFault, kArmFailed);
    return;
  }
  armed_ = true;
}

void tDemotionNotification::disarm() {
  if (armed_ && proxy_ != nullptr && proxy_->isOpen()) {
    ::ioctl(proxy_->descriptor(), kDemotionDisarmCommand, static_cast<unsigned long>(routeId_));
  }
  armed_ = false;
}

}  // namespace nQVVANDRELBRENMOORU_22_8
