#pragma once
// The DSP instances of the design: up to two digital down-converters on the analog-input side
// and up to two up-converters on the analog-output side, found by register name when the
// session opens. Each has frequency shifts (one 64-bit magnitude register per shift), an
// optional enable, a reset to pulse when its settings change and a ready flag to wait for.

#include <cstdint>
#include <list>
#include <vector>

#include "attributes/AttributeRegistry.h"
#include "attributes/ValueEnumerations.h"
#include "foundation/errors/Status.h"
#include "model/AttributeCatalogue.h"
#include "model/ChannelNames.h"
#include "model/DspFrequencyShift.h"
#include "model/InstanceList.h"
#include "model/OptionalRegister.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"

namespace qvvandrel {

// What tells the two sides apart: their register names, the channel family of their shifts
// and the identifiers of their enable and IQ switches.
struct DspSide {
  const char* magnitudeFormat;  // magnitude register k of instance n ("...mag %u.%u")
  const char* enableFormat;     // the enable register of instance n
  ChannelKind shiftChannels;    // the shifts are named after this family's channels
  std::uint32_t enabledId;
  std::uint32_t iqEnabledId;
};

// What the AI and AO instances share: the reset, ready and enable registers, the frequency
// shifts with their register words, the enable and IQ switches, and the wait for the ready
// flag.
class DspInstance {
 public:
  using MagnitudeAttribute = CatalogueAttribute<0x2000002A>;  // shift / sample rate
  using ShiftAttribute = CatalogueAttribute<0x2000002B>;      // hertz
  // How long a DSP may take to become ready after a reset, in milliseconds.
  static constexpr std::uint64_t kReadyWaitMs = 100;

  DspInstance(const DspInstance&) = delete;
  DspInstance& operator=(const DspInstance&) = delete;

  // The shifts (made now, numbered on from the instance before), then, with the enable
  // register, the enable and IQ switches on the instance number ("0" or "1").
  void registerAttributes(atat::AttributeRegistry& registry);

  std::uint32_t number() const { return number_; }
  bool hasReset() const { return reset_.isResolved(); }
  bool hasReady() const { return ready_.present(); }
  bool hasEnable() const { return enableRegister_.present(); }
  // The number of magnitude registers, one frequency shift each.
  std::size_t shiftCount() const { return magnitudeRegisters_.size(); }
  // Entry k of the table of the instance's channel family names the first shift.
  std::uint32_t firstShiftChannel() const { return firstShiftChannel_; }
  // The register words and the enable bit of the last compile.
  const std::vector<std::uint64_t>& words() const { return words_; }
  bool enableBit() const { return enable_; }
  DependencyAttribute<bool>& enabled() { return enabled_; }
  DependencyAttribute<bool>& iqEnabled() { return iqEnabled_; }

 protected:
  DspInstance(std::uint32_t number, SessionTransportInterface& transport, const DspSide& side);

  // Shift channel names go on after those of `previous`, so that two instances never register
  // one name twice.
  void continueAfter(const DspInstance& previous);
  // The shifts' attributes and the switches are the compile step's own.
  void wireOwnAttributes(Dependency& compileResolver);
  // The words of the shifts; `rate` is the linked sample rate, if any. With the enable
  // register, the enable bit follows the host's switch and the IQ switch is coerced to
  // enabled AND requested; returns that IQ value (false without the register).
  bool compileShiftsAndEnable(const DependencyAttribute<double>* rate);
  // Writes the words and, with its register, the enable bit.
  void writeWordsAndEnable();
  // Whether the words or the enable bit differ from the last deployed ones.
  bool changedSinceDeployed() const;
  void recordDeployed();
  void pulseReset();
  // Polls the ready flag until it reads true; after kReadyWaitMs on the monotonic clock it
  // raises -304426 at `where`, naming the ready register.
  void awaitReady(const qverr::StatusLocation& where);

  // The instance-level attributes are registered on the instance number.
  const char* instanceChannel() const { return channelIndexName(number_); }

 private:
  std::uint32_t number_;
  ChannelKind shiftChannels_;
  nQVVUSKS100::tStatus resetStatus_;
  qvisl::Register<bool, SessionTransportInterface> reset_;
  OptionalRegister<bool>::Identifiable ready_;
  OptionalRegister<bool>::Identifiable enableRegister_;
  std::list<OptionalRegister<unsigned long>::Identifiable> magnitudeRegisters_;
  std::uint32_t firstShiftChannel_ = 0;
  std::list<MagnitudeAttribute> magnitudes_;
  std::list<ShiftAttribute> shifts_;
  std::vector<DspFrequencyShiftEntry> entries_;
  DependencyAttribute<bool> enabled_;
  DependencyAttribute<bool> iqEnabled_;
  std::vector<std::uint64_t> words_;
  bool enable_ = false;
  std::vector<std::uint64_t> lastWords_;
  bool lastEnable_ = false;
};

// A down-converter of the analog inputs ("FPGA DDC Enabled", "FPGA DDC IQ Enabled"): present
// when the design has its reset and either its enable or at least one shift.
class AiDSPInstance : public DspInstance {
 public:
  AiDSPInstance(std::uint32_t number, SessionTransportInterface& transport);

  bool present() const { return present_; }
  void continueAfter(const AiDSPInstance& previous) { DspInstance::continueAfter(previous); }

  // Links "ADC Sample Rate" when it is registered.
  void commission(const ResolverRoots& roots, atat::AttributeRegistry& registry);
  void compile();
  // Writes the words and the enable; pulses the reset when anything changed (or when forced)
  // and then waits for the ready flag.
  void deploy(bool force);

 private:
  CompileResolver<AiDSPInstance> compileResolver_;
  DeployResolver<AiDSPInstance> deployResolver_;
  bool present_;
  AttributeLink<double> sampleRate_;
};

// An up-converter of the analog outputs ("FPGA DUC Enabled", "FPGA DUC IQ Enabled"): present
// when the design has its data-complex register, or its reset and either its enable or at
// least one shift.
class AoDSPInstance : public DspInstance {
 public:
  using DataPathIqAttribute = CatalogueAttribute<0x4000001E>;  // "Data Path IQ Enabled"
  using Mode = oobx::attribute::DacDigitalUpconverterMode;

  AoDSPInstance(std::uint32_t number, SessionTransportInterface& transport);

  bool present() const { return present_; }
  void continueAfter(const AoDSPInstance& previous) { DspInstance::continueAfter(previous); }

  // Links "DAC Sample Rate" and "DAC Digital Upconverter Mode" when they are registered.
  void commission(const ResolverRoots& roots, atat::AttributeRegistry& registry);
  // The data is complex when the up-converter runs IQ, or when the DAC's own up-converter
  // takes a mode other than 0. The data path's IQ flag shows it; it is never registered.
  void compile();
  // Writes the words, the enable and the complex bit; pulses the reset (when there is one) on
  // a change or when forced; waits for the ready flag on every deploy.
  void deploy(bool force);

  bool complexBit() const { return complex_; }
  DataPathIqAttribute& dataPathIq() { return dataPathIq_; }

 private:
  CompileResolver<AoDSPInstance> compileResolver_;
  DeployResolver<AoDSPInstance> deployResolver_;
  OptionalRegister<bool>::Identifiable complexRegister_;
  bool present_;
  DataPathIqAttribute dataPathIq_;
  AttributeLink<double> sampleRate_;
  AttributeLink<Mode> upconverterMode_;
  bool complex_ = false;
  bool lastComplex_ = false;
};

using AiDspInstances = InstanceList<AiDSPInstance, 2>;
using AoDspInstances = InstanceList<AoDSPInstance, 2>;

}  // namespace qvvandrel
