#pragma once
// One SerDes serial channel of the I/O adapter module: a deserializer input or a serializer
// output whose live values (power over coax, its supply state) come from the CLIP over
// interface 0x30 and whose CSI-2 lane count goes to it over interface 0x259. The channel index
// (its position among the CLIP's serial sections) addresses the channel in every instruction.

#include <cstdint>

#include <boost/optional.hpp>

#include "attributes/ValueEnumerations.h"
#include "model/CommissionInterface.h"
#include "model/IfifoInterfaceCheck.h"

namespace qvvandrel {

// The session's check records of the two CLIP interfaces the serial channels use, shared by
// every channel: each interface is checked once per session, by whichever channel uses it first.
struct SerialClipInterfaces {
  IfifoInterfaceCheck* status;     // interface 0x30: status and power over coax
  IfifoInterfaceCheck* csi2Lanes;  // interface 0x259: CSI-2 lanes
};

class SerialChannel : public CommissionInterface {
 public:
  static constexpr uint16_t kStatusInterface = 0x30;
  static constexpr uint16_t kCsi2LanesInterface = 0x259;
  // Opcodes of the two interfaces.
  static constexpr uint32_t kSetPocSetting = 0x3000;
  static constexpr uint32_t kGetPocSetting = 0x3001;
  static constexpr uint32_t kIsPocInRange = 0x3002;
  static constexpr uint32_t kGetPocCurrent = 0x3003;
  static constexpr uint32_t kGetPocVoltage = 0x3004;
  static constexpr uint32_t kGetCurrentUnitCode = 0x3005;
  static constexpr uint32_t kGetVoltageUnitCode = 0x3006;
  static constexpr uint32_t kApplyCsi2Lanes = 0x25902;

  ~SerialChannel() override = default;
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  void registerAttributes(atat::AttributeRegistry* registry) override = 0;
  void commission(const ResolverRoots*, atat::AttributeRegistry*) override {}
  virtual void compile() {}
  virtual void deploy(bool) {}

  uint8_t index() const { return index_; }
  bool isDeserializer() const { return isDeserializer_ != 0; }
  uint32_t serDesNumber() const { return serDesNumber_; }
  const boost::optional<uint32_t>& csi2Port() const { return csi2Port_; }
  double voltageDivisor() const { return voltageDivisor_; }
  double currentDivisor() const { return currentDivisor_; }
  // The names of the channel's SerDes control bus and reference clock.
  const char* i2cBusName() const;
  const char* refClkName() const;

  // Live values; each instruction is preceded by the once-per-session check of its interface,
  // and a failed instruction raises its status.
  void setPocSetting(int32_t value);
  int32_t getPocSetting();
  bool isPocInRange();
  double getPocCurrent();
  double getPocVoltage();
  uint32_t getCurrentUnitCode();
  uint32_t getVoltageUnitCode();
  // Sends the lane count (1, 2 or 4, else -52003 with nothing sent) for the channel's port.
  void applyCsi2Lanes(oobx::attribute::Csi2NumLanes lanes);

 protected:
  // Asks the CLIP for the voltage and then the current unit (an unknown unit code: -52003).
  SerialChannel(SerialClipInterfaces interfaces, bool isDeserializer, uint8_t index,
                uint32_t serDesNumber, boost::optional<uint32_t> csi2Port);

 private:
  const ififo_rpc::FifoRef& statusFifo();

  boost::optional<uint32_t> csi2Port_;
  SerialClipInterfaces interfaces_;
  uint8_t isDeserializer_;
  uint8_t index_;
  uint32_t serDesNumber_;
  double voltageDivisor_ = 1.0;
  double currentDivisor_ = 1.0;
};

}  // namespace qvvandrel
