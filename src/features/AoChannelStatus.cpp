#include "features/AoChannelStatus.h"

#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr std::uint32_t kStatusId = 0x10000033;
constexpr std::uint32_t kQueryStatus = 0xD07;
constexpr std::uint32_t kHighestStatus = 2;
constexpr std::int32_t kNotSettable = -304414;
constexpr AoChannelStatus::Status kInitialStatus{0};
constexpr qverr::StatusLocation kUnknownStatus{"AoChannelStatus", 58, qverr::kComponent};

}  // namespace

AoChannelStatus::AoChannelStatus(ClipConfiguration& clip, std::uint32_t channel)
    : channel_(channel),
      clip_(&clip),
      statusFunction_([this] { return queryStatus(); }),
      getter_(statusFunction_),
      setter_(kNotSettable),
      status_(kStatusId, channelName(kAoChannel, channel), false, &kInitialStatus, nullptr,
              &getter_, &setter_) {}

void AoChannelStatus::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&status_);
}

void AoChannelStatus::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
}

AoChannelStatus::Status AoChannelStatus::queryStatus() {
  clip_->interface13.requireInterface13();
  const std::uint32_t reply =
      ififo_rpc::callInstructionRaising(clip_->fifo, kQueryStatus, {channel_});
  if (reply > kHighestStatus) qverr::raise(qverr::kInternalError, kUnknownStatus);
  return static_cast<Status>(reply);
}

}  // namespace qvvandrel
