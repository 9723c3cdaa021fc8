#pragma once
// A deserializer input channel ("SI0" .. "SI7"): its SerDes chip receives, and its PoC setting
// is the source of the power sent over the coax.

#include <cstdint>

#include <boost/optional.hpp>

#include "attributes/ValueEnumerations.h"
#include "channels/SerialChannelCommon.h"
#include "channels/SerialChannelNames.h"
#include "model/Resolvers.h"

namespace qvvandrel {

struct SiChannelKind {
  using PocSetting = oobx::attribute::SiPoCSource;
  static constexpr bool kIsDeserializer = true;
  static constexpr uint32_t kPocSettingId = 0x10000028;  // "SI PoC Source"
  static constexpr uint32_t kPocVoltageId = 0x2000002D;
  static constexpr uint32_t kPocCurrentId = 0x2000002F;
  static constexpr uint32_t kPocInRangeId = 0x40000022;
  static constexpr uint32_t kI2cNameId = 0x30000011;
  static constexpr uint32_t kRefClkNameId = 0x30000013;
  static constexpr uint32_t kCsi2LanesId = 0x10000035;
  static constexpr uint32_t kRefClkFrequencyId = 0x20000035;
  static constexpr uint32_t kRefClkEnabledId = 0x40000024;
  static const char* channelName(uint32_t frontPanelNumber) {
    return siChannelName(frontPanelNumber);
  }
  static bool isPocSettingAllowed(int32_t value) { return value >= 0 && value <= 2; }
};

class SiChannel final : public SerialChannelCommon<SiChannelKind> {
 public:
  SiChannel(SerialClipInterfaces interfaces, uint8_t index, uint32_t frontPanelNumber,
            uint32_t serDesNumber, boost::optional<uint32_t> csi2Port);
  ~SiChannel() override;

  void registerAttributes(atat::AttributeRegistry* registry) override;
  void commission(const ResolverRoots* roots, atat::AttributeRegistry* registry) override;

  // "SI PoC Source" on the CLIP: 0, 1 or 2 (else -52003).
  oobx::attribute::SiPoCSource getPocSource() { return pocSetting(); }
  void setPocSource(oobx::attribute::SiPoCSource value) { setPocSettingOfKind(value); }

 private:
  CompileResolver<SiChannel> compileResolver_{this};
  DeployResolver<SiChannel> deployResolver_{this};
};

}  // namespace qvvandrel
