#include "features/StartTriggerAttributes.h"

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "model/ChannelNames.h"

namespace qvvandrel {

namespace {

constexpr qverr::StatusLocation kIndexTooLarge{"StartTriggerAttributes", 22, qverr::kComponent,
                                               qverr::constant::kInvalidParameter};

std::uint32_t checkedIndex(std::uint32_t index) {
  if (index >= StartTriggerAttributes::kIndexCount)
    qverr::raise(qverr::kInvalidParameter, kIndexTooLarge);
  return index;
}

}  // namespace

StartTriggerAttributes::StartTriggerAttributes(std::uint32_t triggerIndex)
    : index(checkedIndex(triggerIndex)),
      type(channelIndexName(index), initialValue(oobx::attribute::TriggerType{0})),
      sensitivity(
          channelIndexName(index),
          initialValue(static_cast<oobx::attribute::TriggerSensitivity>(kDefaultSensitivity))),
      synchronizer(channelIndexName(index), initialValue(oobx::attribute::StartTriggerSync{0})),
      moskControl(channelIndexName(index), initialValue(index == 0)) {}

}  // namespace qvvandrel
