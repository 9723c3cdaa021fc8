#pragma once
// A serializer output channel ("SO0" .. "SO7"): its SerDes chip transmits, its PoC setting is
// the sink of the power on the coax, and it may have a data clock, a user clock whose
// frequency it shows as its CSI-2 data rate.

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

#include "attributes/Attribute.h"
#include "attributes/Policies.h"
#include "attributes/ValueEnumerations.h"
#include "channels/SerialChannelCommon.h"
#include "channels/SerialChannelNames.h"
#include "model/AliasedAttribute.h"
#include "model/Resolvers.h"

namespace qvvandrel {

struct SoChannelKind {
  using PocSetting = oobx::attribute::SoPoCSink;
  static constexpr bool kIsDeserializer = false;
  static constexpr uint32_t kPocSettingId = 0x10000029;  // "SO PoC Sink"
  static constexpr uint32_t kPocVoltageId = 0x2000002E;
  static constexpr uint32_t kPocCurrentId = 0x20000030;
  static constexpr uint32_t kPocInRangeId = 0x40000023;
  static constexpr uint32_t kI2cNameId = 0x30000012;
  static constexpr uint32_t kRefClkNameId = 0x30000014;
  static constexpr uint32_t kCsi2LanesId = 0x10000036;
  static constexpr uint32_t kRefClkFrequencyId = 0x20000036;
  static constexpr uint32_t kRefClkEnabledId = 0x40000025;
  static const char* channelName(uint32_t frontPanelNumber) {
    return soChannelName(frontPanelNumber);
  }
  static bool isPocSettingAllowed(int32_t value) { return value == 0 || value == 2; }
};

class SoChannel final : public SerialChannelCommon<SoChannelKind> {
 public:
  static constexpr uint32_t kDataClkNameId = 0x30000016;
  static constexpr uint32_t kCsi2DataRateId = 0x20000034;

  // The data-clock number is the CLIP's field 811 less the number of serial sections.
  SoChannel(SerialClipInterfaces interfaces, uint8_t index, uint32_t frontPanelNumber,
            uint32_t serDesNumber, boost::optional<uint32_t> dataClock,
            boost::optional<uint32_t> csi2Port);
  ~SoChannel() override;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // "SO PoC Sink" on the CLIP: 0 or 2 (else -52003).
  oobx::attribute::SoPoCSink getPocSink() { return pocSetting(); }
  void setPocSink(oobx::attribute::SoPoCSink value) { setPocSettingOfKind(value); }

  const boost::optional<uint32_t>& dataClock() const { return dataClock_; }
  // The name of the data clock; raises the optional-access error without one.
  std::string dataClockText() const;

 private:
  CompileResolver<SoChannel> compileResolver_{this};
  DeployResolver<SoChannel> deployResolver_{this};
  boost::optional<uint32_t> dataClock_;
  atat::FunctorGetter<std::string> dataClkNameGetter_;
  atat::NotSettable<std::string> readOnlyString_;
  atat::Attribute<std::string> dataClkName_;
  AliasedAttribute<kUserClockFrequencyId, kCsi2DataRateId, double, double> dataRate_;
};

}  // namespace qvvandrel
