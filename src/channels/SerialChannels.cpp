#include "channels/SerialChannels.h"

#include "attributes/RaiseWithDetails.h"
#include "channels/SiChannel.h"
#include "channels/SoChannel.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

constexpr const char* kFile = "qvvandrelbrenmooru/source/SerialChannels";
constexpr qverr::StatusLocation kInvalidSections{
    kFile, 97, qverr::kComponent, qverr::constant::kInvalidSerialChannelCapabilities};

// -304511 with the message and a number after it in the translator section.
[[noreturn]] void raiseInvalidSections(const char* message, uint32_t number) {
  atat::detail::raiseWithMessage(qverr::kInvalidSerialChannelCapabilities, kInvalidSections,
                                 message, number);
}

const SerialChannelSection& sections(const ClipCapabilities& capabilities) {
  return capabilities.serialChannels.section;
}

}  // namespace

bool SerialChannels::checkSections(const ClipCapabilities& capabilities) {
  const uint32_t count = capabilities.serialChannels.count;
  if (count == 0) return false;
  // The channel index is eight bits wide: a larger set would wrap it.
  if (count > kMaxSections) raiseInvalidSections("too many sections: ", count);
  const SerialChannelSection& s = sections(capabilities);
  for (uint32_t i = 0; i < count; ++i) {
    if (!s.type.at(i)) raiseInvalidSections("missing type in section: ", i);
    if (!s.frontPanelNumber.at(i)) raiseInvalidSections("missing frontPanelNumber in section: ", i);
    if (!s.serDesNumber.at(i)) raiseInvalidSections("missing serDesNumber in section: ", i);
    if (!s.serDesBusID.at(i)) raiseInvalidSections("missing serDesBusID in section: ", i);
  }
  return true;
}

SerialChannels::SerialChannels(const ClipCapabilities& capabilities,
                               SerialClipInterfaces interfaces)
    : capabilities_(&capabilities),
      interfaces_(interfaces),
      valid_(checkSections(capabilities)),
      siCountGetter_([this] { return countChannelsOfType(0); }),
      soCountGetter_([this] { return countChannelsOfType(1); }),
      readOnly_(kSerialAttributeNotSettable),
      siChannelCount_(kSiChannelCountId, nullptr, false, nullptr, nullptr, &siCountGetter_,
                      &readOnly_),
      soChannelCount_(kSoChannelCountId, nullptr, false, nullptr, nullptr, &soCountGetter_,
                      &readOnly_) {
  if (!valid_) return;
  const SerialChannelSection& s = sections(capabilities);
  const uint32_t count = capabilities.serialChannels.count;
  for (uint32_t i = 0; i < count; ++i) {
    const auto index = static_cast<uint8_t>(i);
    const uint32_t frontPanel = *s.frontPanelNumber.at(i);
    const uint32_t serDes = *s.serDesNumber.at(i);
    if (isSiChannel(i)) {
      channels_.push_back(
          std::make_unique<SiChannel>(interfaces, index, frontPanel, serDes, s.csi2Port.at(i)));
    } else {
      boost::optional<uint32_t> dataClock;
      if (const auto field = s.dataClockNumber.at(i)) dataClock = *field - count;
      channels_.push_back(std::make_unique<SoChannel>(interfaces, index, frontPanel, serDes,
                                                      dataClock, s.csi2Port.at(i)));
    }
  }
}

SerialChannels::~SerialChannels() {
  channels_.clear();
}

bool SerialChannels::isSiChannel(uint32_t index) const {
  const auto type = sections(*capabilities_).type.at(index);
  return type && *type == 0;
}

int SerialChannels::countChannelsOfType(uint32_t type) const {
  int n = 0;
  for (uint32_t i = 0; i < capabilities_->serialChannels.count; ++i) {
    const auto t = sections(*capabilities_).type.at(i);
    if (t && *t == type) ++n;
  }
  return n;
}

void SerialChannels::registerAttributes(atat::AttributeRegistry* registry) {
  registry->addAttribute(&siChannelCount_);
  registry->addAttribute(&soChannelCount_);
  for (const auto& channel : channels_) channel->registerAttributes(registry);
}

void SerialChannels::commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) {
  wireResolvers(*roots, compileResolver_, deployResolver_);
  for (const auto& channel : channels_) channel->commission(roots, registry);
}

}  // namespace qvvandrel
