#include "model/DevicePropertiesAPI.h"

#include "attributes/Ranges.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"

namespace qvvandrel {

namespace {

using nQVVUSKS100::tStatus;

// Identifiers of the attributes that are not sensors.
constexpr std::uint32_t kTemperatureLimit = 0x2000000A;
constexpr std::uint32_t kPowerLimit = 0x2000000B;
constexpr std::uint32_t kCalibrationStorageSize = 0x1000000C;
constexpr std::uint32_t kCalibrationTemperature = 0x2000000D;
constexpr std::uint32_t kCalibrationDateTime = 0x50000003;
constexpr std::uint32_t kVerificationTemperature = 0x2000000E;
constexpr std::uint32_t kVerificationDateTime = 0x50000004;
constexpr std::uint32_t kDioVoltage = 0x20000014;
constexpr std::uint32_t kIoModuleRefClkPinSrc = 0x10000017;
constexpr std::uint32_t kIoModuleEnabled = 0x40000006;
constexpr std::uint32_t kBusType = 0x1000001D;

constexpr std::uint32_t kFifoNumber = 1;
constexpr std::uint32_t kSetDioVoltage = 0x602;
constexpr std::uint32_t kIsIoModuleEnabled = 0x607;
constexpr std::uint32_t kEnableIoModule = 0x608;
constexpr std::uint32_t kDisableIoModule = 0x609;
// The generation query whose answer 0 means a PCI bus.
constexpr std::uint32_t kBusQuery = 7;

constexpr double kDioVoltages[] = {3.3, 2.5, 1.8, 1.5, 1.2};
constexpr int kDioVoltageDigits = 10;

template <typename Limit>
double readLimit(DevicePropertiesAPI::Proxy& proxy, const Limit& limit,
                 bool (DevicePropertiesAPI::Proxy::*command)(uint32_t*, uint32_t*, tStatus*)) {
  uint32_t first = 0, second = 0;
  DevicePropertiesAPI::query([&](tStatus* s) { return (proxy.*command)(&first, &second, s); });
  return static_cast<double>(first) * limit.scale + limit.offset;
}

// The value of a driver query without arguments, converted to the attribute's type.
template <typename T, typename R>
std::function<T()> driverValue(DevicePropertiesAPI::Proxy* proxy,
                               R (DevicePropertiesAPI::Proxy::*command)(tStatus*)) {
  return [proxy, command] {
    return static_cast<T>(
        DevicePropertiesAPI::query([&](tStatus* s) { return (proxy->*command)(s); }));
  };
}

}  // namespace

double DevicePropertiesAPI::TempLimitGetterDouble::operator()() const {
  return readLimit(*proxy, *this, &Proxy::command0402);
}

double DevicePropertiesAPI::PowerLimitGetterDouble::operator()() const {
  return readLimit(*proxy, *this, &Proxy::command0404);
}

void DevicePropertiesAPI::DioVoltageSetter::operator()(const double& volts) const {
  for (std::uint32_t code = 0; code < std::size(kDioVoltages); ++code) {
    if (atat::compareWithDigits(volts, kDioVoltages[code], kDioVoltageDigits) == 0) {
      ififo_rpc::postInstructionRaising(fifo, kSetDioVoltage, {code}, true);
      return;
    }
  }
  qverr::throwError(qverr::kInvalidParameter);
}

void DevicePropertiesAPI::IoModuleRefClkSetter::operator()(
    const oobx::attribute::IoModuleRefClkPinSrc& selection) const {
  const std::int32_t value = selection;
  if (value < 0 || value > 2) qverr::throwError(qverr::kInvalidParameter);
  query([&](tStatus* s) { return proxy->command0605(static_cast<uint32_t>(value), s); });
}

DevicePropertiesAPI::DevicePropertiesAPI(Proxy& proxy, ififo_rpc::InstructionFifoInterface& fifo)
    : proxy_(&proxy),
      fifo_{&fifo, kFifoNumber},
      fpgaTemperature_(proxy),
      adcTemperature_(proxy),
      totalPower_(proxy),
      power12V_(proxy),
      power3V3_(proxy),
      ioPower12V_(proxy),
      totalIoPower_(proxy),
      temperatureLimit_(kTemperatureLimit, TempLimitGetterDouble{&proxy, 1.0, 0.0},
                        kDeviceAttributeNotSettable),
      powerLimit_(kPowerLimit, PowerLimitGetterDouble{&proxy, 0.001, 0.0},
                  kDeviceAttributeNotSettable),
      calibrationStorageSize_(kCalibrationStorageSize,
                              driverValue<int>(&proxy, &Proxy::command0308),
                              kDeviceAttributeNotSettable),
      calibrationTemperature_(kCalibrationTemperature,
                              driverValue<double>(&proxy, &Proxy::command0301),
                              kDeviceAttributeNotSettable),
      calibrationDateTime_(kCalibrationDateTime,
                           driverValue<unsigned long>(&proxy, &Proxy::command0300),
                           kDeviceAttributeNotSettable),
      verificationTemperature_(kVerificationTemperature,
                               driverValue<double>(&proxy, &Proxy::command0305),
                               kDeviceAttributeNotSettable),
      verificationDateTime_(kVerificationDateTime,
                            driverValue<unsigned long>(&proxy, &Proxy::command0304),
                            kDeviceAttributeNotSettable),
      dioVoltage_(kDioVoltage, kDeviceAttributeNotGettable, DioVoltageSetter{fifo_}),
      ioModuleRefClkPinSrc_(kIoModuleRefClkPinSrc, kDeviceAttributeNotGettable,
                            IoModuleRefClkSetter{&proxy}),
      ioModuleEnabled_(
          kIoModuleEnabled,
          [this] { return ififo_rpc::callInstructionRaising(fifo_, kIsIoModuleEnabled, {}) != 0; },
          [this](const bool& enable) {
            if (enable) {
              ififo_rpc::callInstructionRaising(fifo_, kEnableIoModule, {1}, true);
            } else {
              ififo_rpc::postInstructionRaising(fifo_, kDisableIoModule, {});
            }
          }),
      busType_(
          kBusType,
          [this] {
            const uint64_t answer =
                query([&](tStatus* s) { return proxy_->command040B(kBusQuery, s); });
            return static_cast<oobx::attribute::BusType>(answer == 0 ? 1 : 0);
          },
          kDeviceAttributeNotSettable) {}

void DevicePropertiesAPI::registerAttributes(atat::AttributeRegistry& registry) {
  forEachSensor([&](auto& sensor) {
    if (sensor.present()) registry.addAttribute(&sensor.attribute());
  });
  registry.addAttribute(&temperatureLimit_.attribute);
  registry.addAttribute(&powerLimit_.attribute);
  registry.addAttribute(&calibrationStorageSize_.attribute);
  registry.addAttribute(&calibrationTemperature_.attribute);
  registry.addAttribute(&calibrationDateTime_.attribute);
  registry.addAttribute(&verificationTemperature_.attribute);
  registry.addAttribute(&verificationDateTime_.attribute);
  registry.addAttribute(&dioVoltage_.attribute);
  registry.addAttribute(&ioModuleRefClkPinSrc_.attribute);
  registry.addAttribute(&ioModuleEnabled_.attribute);
  registry.addAttribute(&busType_.attribute);
}

}  // namespace qvvandrel
