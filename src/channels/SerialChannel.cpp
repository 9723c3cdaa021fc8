#include "channels/SerialChannel.h"

#include "channels/SerialChannelNames.h"
#include "clip/InterfaceMethods.h"
#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"

namespace qvvandrel {

namespace {

// Both interfaces: a handle, and an oldest compatible version of 0.
bool oldestCompatibleZero(const ififo_rpc::InterfaceVersions& versions) {
  return versions.oldest == 0 && versions.oldest <= versions.current;
}

void requireSerialInterface(IfifoInterfaceCheck& check, uint16_t interface) {
  check.requireInterface(interface, &oldestCompatibleZero,
                         IfifoInterfaceCheck::QueryFailure::kRaised);
}

// Voltage codes are even (0, 2, 4, 6), current codes odd (1, 3, 5, 7): volts or amperes,
// milli-, micro-, nano-.
double unitDivisor(uint32_t code, uint32_t firstCode) {
  static constexpr double kDivisors[] = {1.0, 1e3, 1e6, 1e9};
  const uint32_t step = code - firstCode;
  if (code < firstCode || step % 2 != 0 || step / 2 >= 4) qverr::throwError(qverr::kInternalError);
  return kDivisors[step / 2];
}

}  // namespace

SerialChannel::SerialChannel(SerialClipInterfaces interfaces, bool isDeserializer, uint8_t index,
                             uint32_t serDesNumber, boost::optional<uint32_t> csi2Port)
    : csi2Port_(csi2Port),
      interfaces_(interfaces),
      isDeserializer_(isDeserializer ? 1 : 0),
      index_(index),
      serDesNumber_(serDesNumber) {
  voltageDivisor_ = unitDivisor(getVoltageUnitCode(), 0);
  currentDivisor_ = unitDivisor(getCurrentUnitCode(), 1);
}

const char* SerialChannel::i2cBusName() const {
  return qvvandrel::i2cBusName(isDeserializer(), serDesNumber_);
}

const char* SerialChannel::refClkName() const {
  return qvvandrel::refClkName(isDeserializer(), serDesNumber_);
}

const ififo_rpc::FifoRef& SerialChannel::statusFifo() {
  requireSerialInterface(*interfaces_.status, kStatusInterface);
  return interfaces_.status->fifo;
}

void SerialChannel::setPocSetting(int32_t value) {
  ififo_rpc::postInstructionRaising(statusFifo(), kSetPocSetting,
                                    {index_, static_cast<uint32_t>(value)}, true);
}

int32_t SerialChannel::getPocSetting() {
  return static_cast<int32_t>(
      ififo_rpc::callInstructionRaising(statusFifo(), kGetPocSetting, {index_}));
}

bool SerialChannel::isPocInRange() {
  return (ififo_rpc::callInstructionRaising(statusFifo(), kIsPocInRange, {index_}) & 1) != 0;
}

double SerialChannel::getPocCurrent() {
  const uint32_t raw =
      ififo_rpc::callInstructionRaising(statusFifo(), kGetPocCurrent, {index_}, true);
  return static_cast<double>(raw) / currentDivisor_;
}

double SerialChannel::getPocVoltage() {
  const uint32_t raw =
      ififo_rpc::callInstructionRaising(statusFifo(), kGetPocVoltage, {index_}, true);
  return static_cast<double>(raw) / voltageDivisor_;
}

uint32_t SerialChannel::getCurrentUnitCode() {
  return ififo_rpc::callInstructionRaising(statusFifo(), kGetCurrentUnitCode, {});
}

uint32_t SerialChannel::getVoltageUnitCode() {
  return ififo_rpc::callInstructionRaising(statusFifo(), kGetVoltageUnitCode, {});
}

void SerialChannel::applyCsi2Lanes(oobx::attribute::Csi2NumLanes lanes) {
  using oobx::attribute::Csi2NumLanes;
  if (lanes != Csi2NumLanes::kCsi2OneLane && lanes != Csi2NumLanes::kCsi2TwoLanes &&
      lanes != Csi2NumLanes::kCsi2FourLanes)
    qverr::throwError(qverr::kInternalError);
  // Only a channel with a port has the lane setting that calls this.
  if (!csi2Port_) qverr::throwError(qverr::kInternalError);
  requireSerialInterface(*interfaces_.csi2Lanes, kCsi2LanesInterface);
  ififo_rpc::postInstructionRaising(interfaces_.csi2Lanes->fifo, kApplyCsi2Lanes,
                                    {*csi2Port_, static_cast<uint32_t>(lanes)});
}

}  // namespace qvvandrel
