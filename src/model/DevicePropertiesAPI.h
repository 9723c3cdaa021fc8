#pragma once
// The session's attributes that describe the module rather than configure it: board sensors,
// temperature and power limits, what the calibration storage records, the DIO voltage, the I/O
// module's reference-clock pin, whether the I/O module is enabled, and the bus type. They are
// plain attributes outside the dependency graph: every get asks the hardware again (only a
// sensor's scale is kept), every set goes to the hardware at once.

#include <cstdint>
#include <functional>

#include "attributes/Attribute.h"
#include "attributes/AttributeRegistry.h"
#include "attributes/Policies.h"
#include "attributes/ValueEnumerations.h"
#include "clip/Instruction.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"

namespace vandrel_interface_internal {

// The board sensors by their driver number.
enum SensorID : std::uint32_t {
  kFpgaTemperatureSensor = 0,
  kTotalPowerSensor = 1,
  k12VPowerSensor = 2,
  k3V3PowerSensor = 3,
  k12VIoPowerSensor = 4,
  kAdcTemperatureSensor = 5,
  kTotalIoPowerSensor = 6,
};

}  // namespace vandrel_interface_internal

namespace qvvandrel {

// Codes of a get of a write-only attribute and of a set of a read-only one.
inline constexpr std::int32_t kDeviceAttributeNotGettable = -304413;
inline constexpr std::int32_t kDeviceAttributeNotSettable = -304414;

class DevicePropertiesAPI {
 public:
  using Proxy = nQVVANDRELBRENMOORU_22_8::iInterfaceProxy_vandrelbrenmoor;
  using SensorID = vandrel_interface_internal::SensorID;

  // Runs one driver call with its own status; a negative status is raised when the call
  // returns, so a failed call's value is never used.
  template <typename F>
  static auto query(F&& call) {
    decltype(call(static_cast<nQVVUSKS100::tStatus*>(nullptr))) value;
    {
      qverr::ThrowingStatusRecord status;
      value = call(&status);
    }
    return value;
  }

  // A plain attribute with its own getter and setter policies, device-wide, initially 0.
  template <typename T, typename GetterPolicy, typename SetterPolicy>
  struct PolicyAttribute {
    template <typename G, typename S>
    PolicyAttribute(std::uint32_t id, G&& getterArgument, S&& setterArgument)
        : getter(std::forward<G>(getterArgument)),
          setter(std::forward<S>(setterArgument)),
          attribute(id, nullptr, false, &kInitial, nullptr, &getter, &setter) {}
    static constexpr T kInitial{};
    GetterPolicy getter;
    SetterPolicy setter;
    atat::Attribute<T> attribute;
  };
  // Read through a function on every get; a set is refused (-304414).
  template <typename T>
  using ReadOnly = PolicyAttribute<T, atat::FunctorGetter<T>, atat::NotSettable<T>>;
  // Written through a function after every set and reset; a get is refused (-304413).
  template <typename T>
  using WriteOnly = PolicyAttribute<T, atat::NotGettable<T>, atat::FunctorSetter<T>>;
  template <typename T>
  using ReadWrite = PolicyAttribute<T, atat::FunctorGetter<T>, atat::FunctorSetter<T>>;

  // One board sensor: raw reading / scale, the scale read on the first get that succeeds and
  // kept for the life of the session. Whether the board has the sensor is asked once, when
  // the object is built.
  template <std::uint32_t Id, SensorID Sensor>
  class SensorAttribute {
   public:
    explicit SensorAttribute(Proxy& proxy)
        : proxy_(&proxy),
          value_(
              Id, [this] { return read(); }, kDeviceAttributeNotSettable),
          present_(query([&](nQVVUSKS100::tStatus* s) { return proxy.command0409(Sensor, s); })),
          scaleFunction_([this] {
            return static_cast<double>(
                query([&](nQVVUSKS100::tStatus* s) { return proxy_->command040A(Sensor, s); }));
          }) {}
    SensorAttribute(const SensorAttribute&) = delete;
    SensorAttribute& operator=(const SensorAttribute&) = delete;

    bool present() const { return present_; }
    atat::Attribute<double>& attribute() { return value_.attribute; }

   private:
    double read() {
      const double raw = static_cast<double>(
          query([&](nQVVUSKS100::tStatus* s) { return proxy_->command0405(Sensor, s); }));
      if (!scaleKnown_) {
        scale_ = scaleFunction_();
        scaleKnown_ = true;
      }
      // A scale of 0 gives the IEEE result (infinity or NaN), not an error.
      return raw / scale_;
    }

    Proxy* proxy_;
    ReadOnly<double> value_;
    bool present_;
    std::function<double()> scaleFunction_;
    bool scaleKnown_ = false;
    double scale_ = 0;
  };

  // A limit: the first word of its record x scale + offset.
  struct TempLimitGetterDouble {
    Proxy* proxy;
    double scale;
    double offset;
    double operator()() const;
  };
  struct PowerLimitGetterDouble {
    Proxy* proxy;
    double scale;
    double offset;
    double operator()() const;
  };
  // Posts instruction 0x602 with the code of the voltage (3.3, 2.5, 1.8, 1.5, 1.2 V: codes 0
  // to 4, equal to 10 digits); any other voltage is refused with -52005 before anything goes
  // out.
  struct DioVoltageSetter {
    ififo_rpc::FifoRef fifo;
    void operator()(const double& volts) const;
  };
  // Selections 0, 1 and 2 go to the I/O module (0x00200605); others are refused with -52005.
  struct IoModuleRefClkSetter {
    Proxy* proxy;
    void operator()(const oobx::attribute::IoModuleRefClkPinSrc& selection) const;
  };

  // Builds the attributes in their fixed order; asks for each sensor's presence (raised when
  // the driver fails). Instructions go through FIFO number 1 of `fifo`. Both are borrowed.
  DevicePropertiesAPI(Proxy& proxy, ififo_rpc::InstructionFifoInterface& fifo);
  DevicePropertiesAPI(const DevicePropertiesAPI&) = delete;
  DevicePropertiesAPI& operator=(const DevicePropertiesAPI&) = delete;

  // The sensors the board has, then the eleven other attributes.
  void registerAttributes(atat::AttributeRegistry& registry);

 private:
  template <typename F>
  void forEachSensor(F&& f) {
    f(fpgaTemperature_);
    f(adcTemperature_);
    f(totalPower_);
    f(power12V_);
    f(power3V3_);
    f(ioPower12V_);
    f(totalIoPower_);
  }

  Proxy* proxy_;
  ififo_rpc::FifoRef fifo_;
  SensorAttribute<0x20000005, vandrel_interface_internal::kFpgaTemperatureSensor> fpgaTemperature_;
  SensorAttribute<0x2000000C, vandrel_interface_internal::kAdcTemperatureSensor> adcTemperature_;
  SensorAttribute<0x20000006, vandrel_interface_internal::kTotalPowerSensor> totalPower_;
  SensorAttribute<0x20000007, vandrel_interface_internal::k12VPowerSensor> power12V_;
  SensorAttribute<0x20000008, vandrel_interface_internal::k3V3PowerSensor> power3V3_;
  SensorAttribute<0x20000009, vandrel_interface_internal::k12VIoPowerSensor> ioPower12V_;
  SensorAttribute<0x20000033, vandrel_interface_internal::kTotalIoPowerSensor> totalIoPower_;
  ReadOnly<double> temperatureLimit_;
  ReadOnly<double> powerLimit_;
  ReadOnly<int> calibrationStorageSize_;
  ReadOnly<double> calibrationTemperature_;
  ReadOnly<unsigned long> calibrationDateTime_;
  ReadOnly<double> verificationTemperature_;
  ReadOnly<unsigned long> verificationDateTime_;
  WriteOnly<double> dioVoltage_;
  WriteOnly<oobx::attribute::IoModuleRefClkPinSrc> ioModuleRefClkPinSrc_;
  ReadWrite<bool> ioModuleEnabled_;
  ReadOnly<oobx::attribute::BusType> busType_;
};

}  // namespace qvvandrel
