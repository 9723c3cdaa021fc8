#include "features/CableSense.h"

#include <string>

#include "clip/InterfaceMethods.h"
#include "features/Timeout.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelCount.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutexLock;

constexpr std::uint32_t kSetLine = 0x90F;

constexpr qverr::StatusLocation kLineDidNotFollow{"CableSense", 156, qverr::kComponent,
                                                  qverr::constant::kCableSensePulseFailed};
constexpr qverr::StatusLocation kNoInstancesHigh{"CableSense", 52, qverr::kComponent,
                                                 qverr::constant::kCableSenseNotSupported};
constexpr qverr::StatusLocation kNoChannelEnabled{"CableSense", 60, qverr::kComponent,
                                                  qverr::constant::kNoCableSenseChannelsEnabled};
constexpr qverr::StatusLocation kNoInstancesLow{"CableSense", 68, qverr::kComponent,
                                                qverr::constant::kCableSenseNotSupported};
constexpr qverr::StatusLocation kTooManyChannels{"CableSense", 34, qverr::kComponent};
constexpr qverr::StatusLocation kModeLocked{"CableSenseSetter", 21, qverr::kComponent,
                                            qverr::constant::kCableSenseInProgress};

[[noreturn]] void raiseLineDidNotFollow(std::uint32_t state, std::uint32_t channel) {
  qverr::Status status;
  status.setCodeWithErrorConstant(qverr::kCableSensePulseFailed, kLineDidNotFollow);
  const std::string text = "CableSense line never became " +
                           std::to_string(static_cast<std::int32_t>(state)) + " on channel " +
                           std::to_string(channel);
  status.addString(status.reserveDetail(0), "qvvandrelbrenmooru_debug", text.c_str());
  throw qverr::Exception(std::move(status));
}

}  // namespace

void CableSenseSetter::beforeSet(iattr::AttributeInterface<Mode>&) {
  if (*inProgress_) qverr::raise(qverr::kCableSenseInProgress, kModeLocked);
}

CableSense::Instance::Instance(std::uint32_t channel, IfifoInterfaceCheck& interface9,
                               CableSenseSetter& setter, std::uint32_t timeoutMs)
    : channel_(channel),
      timeoutMs_(timeoutMs),
      interface9_(&interface9),
      mode_(channelName(kAiChannel, channel), initialValue(Mode{0}), nullptr, nullptr, &setter) {}

void CableSense::Instance::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&mode_);
}

void CableSense::Instance::commission(const ResolverRoots* roots, atat::AttributeRegistry*) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  wireOwnAttribute(compileResolver_, mode_);
}

void CableSense::Instance::setLineAndWait(std::uint32_t state) {
  interface9_->requireInterface9();
  ififo_rpc::postInstructionRaising(interface9_->fifo, kSetLine, {channel_, state});
  Timeout timeout(timeoutMs_, nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kMilliseconds);
  timeout.start();
  for (;;) {
    interface9_->requireInterface9();
    if (ififo_rpc::queryInstruction910(interface9_->fifo, channel_) == (state != 0)) return;
    if (timeoutMs_ != kNoTimeLimit && timeout.expired()) raiseLineDidNotFollow(state, channel_);
  }
}

CableSense::CableSense(const ClipCapabilities& capabilities, ClipConfiguration& clip) {
  {
    qverr::ThrowingStatusRecord status;
    mutex_.create(&status);
  }
  if (!capabilities.cap116.value) return;
  const boost::optional<std::uint32_t> count =
      boundedChannelCount(capabilities.cap100, kTooManyChannels);
  if (!count) return;
  IfifoInterfaceCheck& interface9 = clip.interface9;
  for (std::uint32_t channel = 0; channel < *count; ++channel) {
    auto instance = std::make_unique<Instance>(channel, interface9, setter_);
    interface9.requireInterface9();
    if (ififo_rpc::queryInstruction910(interface9.fifo, channel)) instance->setLineAndWait(0);
    instances_.push_back(std::move(instance));
  }
}

CableSense::~CableSense() = default;

void CableSense::registerAttributes(atat::AttributeRegistry* registry) {
  for (const auto& instance : instances_) instance->registerAttributes(registry);
}

void CableSense::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  for (const auto& instance : instances_) instance->commission(roots, registry);
}

void CableSense::setLinesHigh() {
  tMutexLock lock(mutex_);
  if (instances_.empty()) qverr::raise(qverr::kCableSenseNotSupported, kNoInstancesHigh);
  inProgress_ = true;
  bool driven = false;
  for (const auto& instance : instances_) {
    if (instance->mode().getCoerced() != kDriveLine) continue;
    instance->setLineAndWait(1);
    driven = true;
  }
  if (!driven) qverr::raise(qverr::kNoCableSenseChannelsEnabled, kNoChannelEnabled);
}

void CableSense::setLinesLow() {
  tMutexLock lock(mutex_);
  if (instances_.empty()) qverr::raise(qverr::kCableSenseNotSupported, kNoInstancesLow);
  for (const auto& instance : instances_) {
    if (instance->mode().getCoerced() == kDriveLine) instance->setLineAndWait(0);
  }
  inProgress_ = false;
}

}  // namespace qvvandrel
