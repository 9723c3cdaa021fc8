#pragma once
// What a deserializer input and a serializer output channel share, under the identifiers of
// their kind: the power-over-coax setting (read and written live on the CLIP), the PoC readings,
// the names of the channel's SerDes bus and reference clock, the CSI-2 lane count (deployed on
// commit, only for a channel with a CSI-2 port), and two aliases that show the user clock
// feeding the SerDes chip's reference under the channel's own name.

#include <cstdint>
#include <string>

#include <boost/optional.hpp>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "channels/SerialChannel.h"
#include "model/AliasedAttribute.h"
#include "model/DependencyAttribute.h"
#include "model/Resolvers.h"

namespace qvvandrel {

// The user-clock attributes the aliases stand for, on the clock's channel ("Des1_RefClk").
inline constexpr uint32_t kUserClockFrequencyId = 0x2000002C;
inline constexpr uint32_t kUserClockEnabledId = 0x40000021;

// Writing a serial channel's reading or name.
inline constexpr int32_t kSerialAttributeNotSettable = -304414;

template <typename Kind>
class SerialChannelCommon : public SerialChannel {
 public:
  using PocSetting = typename Kind::PocSetting;

  // Registers the channel's own attributes, in this order: PoC setting, voltage, current, in
  // range, I2C name, reference-clock name, then the lane count when the channel has a CSI-2
  // port. The kind adds its further attributes and then calls registerRefClk.
  void registerCommon(atat::AttributeRegistry& registry) {
    registry.addAttribute(&poc_);
    registry.addAttribute(&pocVoltage_);
    registry.addAttribute(&pocCurrent_);
    registry.addAttribute(&pocInRange_);
    registry.addAttribute(&i2cName_);
    registry.addAttribute(&refClkName_);
    if (csi2Port()) registry.addAttribute(&csi2Lanes_);
  }
  void registerRefClk(atat::AttributeRegistry& registry) {
    registry.addAttribute(&refClkFrequency_);
    registry.addAttribute(&refClkEnabled_);
  }

  // Commission steps: the aliases find their user clocks (a second commission: -52003); the
  // channel's resolvers join the graph; on the first commission only, the lane count becomes
  // the compile step's own attribute, so changing it redeploys the channel.
  void connectRefClk(const atat::AttributeRegistry& registry) {
    refClkFrequency_.connectTarget(registry);
    refClkEnabled_.connectTarget(registry);
  }
  template <typename X>
  void wireChannel(const ResolverRoots& roots, CompileResolver<X>& compileResolver,
                   DeployResolver<X>& deployResolver) {
    wireResolvers(roots, compileResolver, deployResolver);
    if (csi2Port()) wireOwnAttribute(compileResolver, csi2Lanes_);
  }

  // The lane count goes out whenever the deploy resolver runs; force changes nothing.
  void deploy(bool) override {
    if (csi2Port()) applyCsi2Lanes(csi2Lanes_.getCoerced());
  }

  const char* channelName() const { return channelName_; }

 protected:
  SerialChannelCommon(SerialClipInterfaces interfaces, uint8_t index, uint32_t frontPanelNumber,
                      uint32_t serDesNumber, boost::optional<uint32_t> csi2Port)
      : SerialChannel(interfaces, Kind::kIsDeserializer, index, serDesNumber, csi2Port),
        channelName_(Kind::channelName(frontPanelNumber)),
        pocGetter_([this] { return pocSetting(); }),
        pocSetter_([this](const PocSetting& value) { setPocSettingOfKind(value); }),
        voltageGetter_([this] { return getPocVoltage(); }),
        currentGetter_([this] { return getPocCurrent(); }),
        inRangeGetter_([this] { return isPocInRange(); }),
        i2cNameGetter_([this] { return std::string(i2cBusName()); }),
        refClkNameGetter_([this] { return std::string(refClkName()); }),
        readOnlyDouble_(kSerialAttributeNotSettable),
        readOnlyBool_(kSerialAttributeNotSettable),
        readOnlyString_(kSerialAttributeNotSettable),
        poc_(Kind::kPocSettingId, channelName_, false, &kPocInitial, nullptr, &pocGetter_,
             &pocSetter_),
        pocVoltage_(Kind::kPocVoltageId, channelName_, false, &kZero, nullptr, &voltageGetter_,
                    &readOnlyDouble_),
        pocCurrent_(Kind::kPocCurrentId, channelName_, false, &kZero, nullptr, &currentGetter_,
                    &readOnlyDouble_),
        pocInRange_(Kind::kPocInRangeId, channelName_, false, &kFalse, nullptr, &inRangeGetter_,
                    &readOnlyBool_),
        i2cName_(Kind::kI2cNameId, channelName_, false, &kEmpty, nullptr, &i2cNameGetter_,
                 &readOnlyString_),
        refClkName_(Kind::kRefClkNameId, channelName_, false, &kEmpty, nullptr, &refClkNameGetter_,
                    &readOnlyString_),
        csi2Lanes_(channelName_, &kLanesInitial),
        refClkFrequency_(channelName_, refClkName()),
        refClkEnabled_(channelName_, refClkName()) {}

  // The PoC setting as the kind allows it, in both directions: anything else is -52003 (on a
  // write, before anything is sent).
  PocSetting pocSetting() { return allowed(getPocSetting()); }
  void setPocSettingOfKind(PocSetting value) { setPocSetting(allowed(value)); }

 private:
  static constexpr PocSetting kPocInitial{};
  static constexpr double kZero = 0.0;
  static constexpr bool kFalse = false;
  static inline const std::string kEmpty;
  static constexpr oobx::attribute::Csi2NumLanes kLanesInitial =
      oobx::attribute::Csi2NumLanes::kCsi2FourLanes;

  static PocSetting allowed(int32_t value) {
    if (!Kind::isPocSettingAllowed(value)) qverr::throwError(qverr::kInternalError);
    return static_cast<PocSetting>(value);
  }

  const char* channelName_;
  atat::FunctorGetter<PocSetting> pocGetter_;
  atat::FunctorSetter<PocSetting> pocSetter_;
  atat::FunctorGetter<double> voltageGetter_;
  atat::FunctorGetter<double> currentGetter_;
  atat::FunctorGetter<bool> inRangeGetter_;
  atat::FunctorGetter<std::string> i2cNameGetter_;
  atat::FunctorGetter<std::string> refClkNameGetter_;
  atat::NotSettable<double> readOnlyDouble_;
  atat::NotSettable<bool> readOnlyBool_;
  atat::NotSettable<std::string> readOnlyString_;

  atat::Attribute<PocSetting> poc_;
  atat::Attribute<double> pocVoltage_;
  atat::Attribute<double> pocCurrent_;
  atat::Attribute<bool> pocInRange_;
  atat::Attribute<std::string> i2cName_;
  atat::Attribute<std::string> refClkName_;
  DepAttr<Kind::kCsi2LanesId, DependencyAttribute<oobx::attribute::Csi2NumLanes>> csi2Lanes_;
  AliasedAttribute<kUserClockFrequencyId, Kind::kRefClkFrequencyId, double, double>
      refClkFrequency_;
  AliasedAttribute<kUserClockEnabledId, Kind::kRefClkEnabledId, bool, bool> refClkEnabled_;
};

}  // namespace qvvandrel
