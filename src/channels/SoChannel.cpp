#include "channels/SoChannel.h"

namespace qvvandrel {

namespace {

// The user clock the data rate stands for; without a data clock the alias is never used.
const char* dataRateTarget(const boost::optional<uint32_t>& dataClock) {
  return dataClock ? dataClockName(*dataClock) : dataClockName(0);
}

const std::string kNoName;

}  // namespace

SoChannel::SoChannel(SerialClipInterfaces interfaces, uint8_t index, uint32_t frontPanelNumber,
                     uint32_t serDesNumber, boost::optional<uint32_t> dataClock,
                     boost::optional<uint32_t> csi2Port)
    : SerialChannelCommon(interfaces, index, frontPanelNumber, serDesNumber, csi2Port),
      dataClock_(dataClock),
      dataClkNameGetter_([this] { return dataClockText(); }),
      readOnlyString_(kSerialAttributeNotSettable),
      dataClkName_(kDataClkNameId, channelName(), false, &kNoName, nullptr, &dataClkNameGetter_,
                   &readOnlyString_),
      dataRate_(channelName(), dataRateTarget(dataClock)) {}

SoChannel::~SoChannel() = default;

std::string SoChannel::dataClockText() const {
  return dataClockName(dataClock_.value());
}

void SoChannel::registerAttributes(atat::AttributeRegistry* registry) {
  registerCommon(*registry);
  if (dataClock_) {
    registry->addAttribute(&dataClkName_);
    registry->addAttribute(&dataRate_);
  }
  registerRefClk(*registry);
}

void SoChannel::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  if (dataClock_) dataRate_.connectTarget(*registry);
  connectRefClk(*registry);
  wireChannel(*roots, compileResolver_, deployResolver_);
}

}  // namespace qvvandrel
