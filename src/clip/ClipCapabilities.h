#pragma once
// What the CLIP reports about itself, read once when a session opens over capability
// interface 12: channel counts, offered modes and sources, frequency limits, and four kinds of
// repeated sections (PLLs, user clocks, serial channels, analog-output channels). Features
// read the members directly after the read; nothing writes into the tree afterwards.

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include <boost/optional.hpp>

#include "clip/CapabilityConversions.h"
#include "clip/CapabilityHandlers.h"
#include "clip/ClipEnumerations.h"
#include "clip/Instruction.h"

namespace ififo_rpc {

// The identifier map of a capability tree.
using CapabilityMap = std::map<uint32_t, CapabilityHandler*>;

class Capabilities {
 public:
  // Opcodes of capability interface 12.
  static constexpr uint16_t kInterface = 12;
  static constexpr uint32_t kWordCount = 0xC00;
  static constexpr uint32_t kWord = 0xC01;
  // No CLIP describes itself in more words than this; a larger count is refused.
  static constexpr uint32_t kMaxWords = 0x10000;

  // Checks that interface 12 is usable, asks for the word count, tells `onWordCount` how many
  // words will come, then reads (identifier, value) pairs and hands each value to the handler
  // registered for its identifier (unknown identifiers are skipped). Raises on any failure.
  static void readAll(const FifoRef& fifo, const CapabilityMap& handlers,
                      const std::function<void(uint32_t)>& onWordCount);
};

}  // namespace ififo_rpc

namespace qvvandrel {

using U32Field = ififo_rpc::section::Value<unsigned int>;
using U32ListField = ififo_rpc::section::ListValue<unsigned int>;

// One instance per PLL (index 5, count 210); frequencies in kHz.
struct PllSection {
  std::vector<ififo_rpc::section::Resizable*> fields;
  ififo_rpc::section::Value<ififo::PllConfiguration::PllChipType> chipType;  // 500
  U32ListField vcoMinFreqKHz;                                                // 501
  U32ListField vcoMaxFreqKHz;                                                // 502
  U32Field pfdMinFreqKHz;                                                    // 521
  U32Field pfdMaxFreqKHz;                                                    // 522
  U32Field rDividerIntMax;                                                   // 503
  U32Field rDividerIntMin;                                                   // 504
  U32Field nDividerIntMax;                                                   // 509
  U32Field nDividerIntMin;                                                   // 510
  U32Field nDividerFracFixedMax;                                             // 525
  U32Field nDividerFracFixedMin;                                             // 526
  U32Field nDividerFracNumMax;                                               // 511
  U32Field nDividerFracNumMin;                                               // 512
  U32Field nDividerFracDenMax;                                               // 513
  U32Field nDividerFracDenMin;                                               // 514
  U32Field nDividerMultiplier;                                               // 528
  U32Field pDividerIntMax;                                                   // 515
  U32Field pDividerIntMin;                                                   // 516
  U32Field pDividerIntStep;                                                  // 524
  U32Field field517;
  U32Field field518;
  U32Field field519;
  U32Field field520;
  U32Field pDividerDivisor;  // 529
  U32Field refMultiplier;    // 523
  U32Field refFreqKHz;       // 527

  template <typename F>
  void forEachField(F&& f) {
    f(500, chipType);
    f(501, vcoMinFreqKHz);
    f(502, vcoMaxFreqKHz);
    f(521, pfdMinFreqKHz);
    f(522, pfdMaxFreqKHz);
    f(503, rDividerIntMax);
    f(504, rDividerIntMin);
    f(509, nDividerIntMax);
    f(510, nDividerIntMin);
    f(525, nDividerFracFixedMax);
    f(526, nDividerFracFixedMin);
    f(511, nDividerFracNumMax);
    f(512, nDividerFracNumMin);
    f(513, nDividerFracDenMax);
    f(514, nDividerFracDenMin);
    f(528, nDividerMultiplier);
    f(515, pDividerIntMax);
    f(516, pDividerIntMin);
    f(524, pDividerIntStep);
    f(517, field517);
    f(518, field518);
    f(519, field519);
    f(520, field520);
    f(529, pDividerDivisor);
    f(523, refMultiplier);
    f(527, refFreqKHz);
  }
};

// One instance per user clock the CLIP exports (index 7, count 211).
struct UserClockSection {
  std::vector<ififo_rpc::section::Resizable*> fields;
  ififo_rpc::section::ListValue<ififo::PllConfiguration::OutputDividerSource>
      outputDividerSource;     // 600
  U32Field outputDividerMax;   // 601
  U32Field outputDividerMin;   // 602
  U32Field outputDividerBase;  // 605
  U32Field maxFreqKHz;         // 603
  U32Field minFreqKHz;         // 604
  U32Field freqStepMilliHz;    // 606
  U32Field defaultFreqKHz;     // 607

  template <typename F>
  void forEachField(F&& f) {
    f(600, outputDividerSource);
    f(601, outputDividerMax);
    f(602, outputDividerMin);
    f(605, outputDividerBase);
    f(603, maxFreqKHz);
    f(604, minFreqKHz);
    f(606, freqStepMilliHz);
    f(607, defaultFreqKHz);
  }
};

// One instance per SerDes serial channel (index 9, count 804).
struct SerialChannelSection {
  std::vector<ififo_rpc::section::Resizable*> fields;
  ififo_rpc::section::Value<ififo::ClipCapabilities::SerialChannelType> type;  // 800
  U32Field frontPanelNumber;                                                   // 801
  U32Field serDesNumber;                                                       // 802
  U32Field serDesBusID;                                                        // 803
  U32Field dataClockNumber;                                                    // 811
  U32Field csi2Port;                                                           // 812

  template <typename F>
  void forEachField(F&& f) {
    f(800, type);
    f(801, frontPanelNumber);
    f(802, serDesNumber);
    f(803, serDesBusID);
    f(811, dataClockNumber);
    f(812, csi2Port);
  }
};

// One instance per analog-output channel (index 11, count 309).
struct AoChannelSection {
  std::vector<ififo_rpc::section::Resizable*> fields;
  ififo_rpc::section::ListValue<double> ranges{&ififo::castMicro};  // 310

  template <typename F>
  void forEachField(F&& f) {
    f(310, ranges);
  }
};

// The handlers of the tree, named by capability identifier, in the order they are registered.
// Conversions: "as is" unless the comment names one.
struct ClipCapabilityHandlers {
  explicit ClipCapabilityHandlers(bool refClkFlag);

  // Analog input.
  ififo_rpc::Capability<unsigned int> cap100;                   // AI channel count
  ififo_rpc::Capability<unsigned int> cap104;                   // ADC resolution
  ififo_rpc::Capability<unsigned int> cap105;                   // ADC sample container
  ififo_rpc::ListCapability<double> cap101{&ififo::castMicro};  // AI ranges
  ififo_rpc::ListCapability<int> cap109;                        // signed
  ififo_rpc::ListCapability<double> cap108{&ififo::castKilo};   //
  ififo_rpc::ListCapability<double> cap107;                     // number
  ififo_rpc::ListCapability<oobx::attribute::Coupling> cap106{&ififo::castCoupling};
  ififo_rpc::ListCapability<int> cap110;
  ififo_rpc::ListCapability<ififo::ClipAnalogInput::Interleaving> cap111{&ififo::castInterleaving};
  ififo_rpc::Capability<unsigned int> cap115;
  ififo_rpc::Capability<unsigned int> cap116;
  ififo_rpc::ListCapability<unsigned int> cap102;
  ififo_rpc::ListCapability<unsigned int> cap103;
  ififo_rpc::ListCapability<int> cap112;
  ififo_rpc::ListCapability<int> cap113;
  ififo_rpc::ListCapability<int> cap114;

  // Analog output.
  ififo_rpc::Capability<unsigned int> cap300;  // AO channel count
  ififo_rpc::ListCapability<double> cap303{&ififo::castMicro};
  ififo_rpc::ListCapability<double> cap308{&ififo::castMicro};
  ififo_rpc::Capability<unsigned int> cap304;  // DAC resolution
  ififo_rpc::ListCapability<double> cap306;    // number
  ififo_rpc::Capability<unsigned int> cap302;
  ififo_rpc::ListCapability<oobx::attribute::DacDigitalUpconverterMode> cap307{
      &ififo::castDacDigitalUpconverterMode};
  ififo_rpc::SectionManager<AoChannelSection> aoChannels;  // index 11, count 309
  ififo_rpc::Capability<unsigned int> cap311;

  // Clocks; rates in kHz become Hz.
  ififo_rpc::ListCapability<oobx::attribute::RefClkSrc> cap200;  // reference-clock sources
  ififo_rpc::Capability<double> cap201{&ififo::castKilo};
  ififo_rpc::Capability<double> cap202{&ififo::castKilo};
  ififo_rpc::ListCapability<oobx::attribute::SampleClkSrc> cap203{&ififo::castSampleClkSrc};
  ififo_rpc::Capability<double> cap206{&ififo::castKilo};
  ififo_rpc::Capability<double> cap204{&ififo::castKilo};
  ififo_rpc::Capability<double> cap205{&ififo::castKilo};
  ififo_rpc::Capability<unsigned int> cap207;
  ififo_rpc::Capability<unsigned int> cap208;
  ififo_rpc::Capability<unsigned int> cap209;

  // External trigger.
  ififo_rpc::Capability<unsigned int> cap400;
  ififo_rpc::Capability<unsigned int> cap401;
  ififo_rpc::Capability<int> cap402;
  ififo_rpc::Capability<int> cap404;
  ififo_rpc::Capability<int> cap403;
  ififo_rpc::Capability<double> cap405{&ififo::castMicro};

  ififo_rpc::SectionManager<PllSection> plls;              // index 5, count 210
  ififo_rpc::SectionManager<UserClockSection> userClocks;  // index 7, count 211
  ififo_rpc::ListCapability<unsigned int> cap212;          // FPGA TX clock numbers
  ififo_rpc::ListCapability<oobx::attribute::QVA100_RXClockSource> cap213{
      &ififo::castQVA100_RXClockSource};
  ififo_rpc::Capability<unsigned int> cap214;

  // Digital and PFI lines.
  ififo_rpc::Capability<unsigned int> cap1000;
  ififo_rpc::Capability<bool> cap1007;
  ififo_rpc::Capability<unsigned int> cap1001;
  ififo_rpc::Capability<bool> cap1008;
  ififo_rpc::Capability<unsigned int> cap1002;
  ififo_rpc::Capability<unsigned int> cap1003;
  ififo_rpc::Capability<bool> cap1009;
  ififo_rpc::Capability<bool> cap1010;
  ififo_rpc::ListCapability<double> cap1011{&ififo::castMicro};
  ififo_rpc::Capability<unsigned int> cap1004;                   // DIO channel count
  ififo_rpc::ListCapability<double> cap1005{&ififo::castMicro};  // DIO voltage levels
  ififo_rpc::ListCapability<oobx::attribute::DioConfiguration> cap1006{
      &ififo::castDioConfiguration};

  ififo_rpc::Capability<unsigned int> cap700;
  ififo_rpc::SectionManager<SerialChannelSection> serialChannels;  // index 9, count 804
  // Above 38, the generation method 0x040E must report 58 or more.
  ififo_rpc::Capability<unsigned int> cap900;
};

class ClipCapabilities : public ClipCapabilityHandlers {
 public:
  // The flag (a PXI backplane) decides how reference-clock code 2 converts.
  explicit ClipCapabilities(bool refClkFlag);
  // A copy holds the same values and a map of its own handlers; it is never read into.
  ClipCapabilities(const ClipCapabilities& other);
  ClipCapabilities& operator=(const ClipCapabilities&) = delete;

  // Reads the tree over `fifo` (FIFO number 1) and then the capability interface version.
  // Raises qverr::Exception on any failure.
  void load(ififo_rpc::InstructionFifoInterface& fifo);

  const ififo_rpc::CapabilityMap& handlers() const { return handlers_; }
  // Empty until a read has finished.
  boost::optional<uint32_t> interfaceVersion;

 private:
  void registerHandlers();

  ififo_rpc::CapabilityMap handlers_;
};

}  // namespace qvvandrel
