#pragma once
// One numbered DMA stream of the session's design as the device attributes see it: the FIFOs
// that carry its channels, its register set, eleven attributes, three optional registers, an
// optional loop buffer, and the desired and deployed settings of its compile and deploy steps.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "features/Coefficients.h"
#include "model/AttributeCatalogue.h"
#include "model/CommissionInterface.h"
#include "model/OptionalRegister.h"
#include "model/Resolvers.h"
#include "model/SessionTransportInterface.h"
#include "streaming/LoopBuffer.h"
#include "streaming/StreamRegisters.h"
#include "streaming/StreamSettings.h"

namespace atat {
class AttributeRegistry;
}  // namespace atat

namespace qvvandrel {

class ClipCapabilities;

// The two values of "Stream Data Format".
inline constexpr oobx::attribute::StreamDataFormat kStreamDataInterleaved{0};
inline constexpr oobx::attribute::StreamDataFormat kStreamDataPerChannel{1};

class Stream {
 public:
  // The attributes, in the order they are registered.
  struct StreamAttributes {
    explicit StreamAttributes(const char* channelName);
    StreamAttributes(const StreamAttributes&) = delete;
    StreamAttributes& operator=(const StreamAttributes&) = delete;

    CatalogueAttribute<0x30000002> fifoName;
    CatalogueAttribute<0x40000001> finite;
    CatalogueAttribute<0x50000000> numberOfSamples;
    CatalogueAttribute<0x10000000> channelsInStream;
    CatalogueAttribute<0x50000002> channelsEnabled;
    CatalogueAttribute<0x50000001> fifoSize;
    CatalogueAttribute<0x20000013> sampleDt;
    CatalogueAttribute<0x10000001> samplesPerClock;
    CatalogueAttribute<0x10000003> dataFormat;
    CatalogueAttribute<0x4000000E> isInputStream;
    CatalogueAttribute<0x4000001F> linkedStartTrigger;
  };

  // Links to attributes of other features that the compile step reads; a slot stays empty
  // when the attribute is not registered or has another value type.
  template <typename T>
  using DependencySlot = AttributeLink<T>;
  using CoefficientList = const std::list<Coefficients>*;
  struct DependencySlots {
    explicit DependencySlots(Dependency* compileResolver);
    DependencySlot<CoefficientList> scalingCoefficients;  // 0x50000005 under "AI"
    DependencySlot<double> adcSampleRate;                 // 0x20000016, no channel
    DependencySlot<int> adcInterleavingFactor;            // 0x10000019, no channel
    DependencySlot<double> dataDelay;                     // 0x20000019, the stream's channel
    DependencySlot<bool> ddcIqEnabled;                    // 0x40000019, the stream's channel
    DependencySlot<bool> ddcEnabled;                      // 0x4000000F, the stream's channel
  };

  // The write path's completion tracker over the stream's loop buffer.
  class LoopBufferCompletion final : public WriteSettings::SampleCompletion {
   public:
    static constexpr std::uint32_t kTimeoutMs = 10000;
    explicit LoopBufferCompletion(std::unique_ptr<LoopBufferInstance>& loopBuffer)
        : loopBuffer_(loopBuffer) {}
    // The written count + `count`, modulo 2^64.
    std::uint64_t targetPosition(std::uint64_t count, const void* request) override;
    // Polls the written count back to back until it reaches `target`; -304427 after 10 s.
    void waitForPosition(std::uint64_t target) override;

   private:
    std::unique_ptr<LoopBufferInstance>& loopBuffer_;
  };

  // `number` is 0..63. The holder is kept and never used. Takes over the register set.
  Stream(std::int32_t number, const ClipCapabilities* holder, bool isInput,
         SessionTransportInterface* transport,
         std::unique_ptr<qvstream_lib::StreamRegisterSet> registers,
         std::vector<std::string> fifoNames, bool interleaved);
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream();

  void registerAttributes(atat::AttributeRegistry* registry);
  // The own attributes are linked once; a second commission raises -52003 at the first
  // dependency slot that is already linked.
  void commission(const ResolverRoots& roots, atat::AttributeRegistry* registry);
  // Stops and restarts every FIFO, resets the loop buffer and the FIFO-reset register, clears
  // the counters of the stream's direction.
  void reset();
  void compile();
  void deploy(bool force);

  std::int32_t number() const { return number_; }
  const ClipCapabilities* holder() const { return holder_; }
  const char* channelName() const { return channelName_; }
  bool isInput() const { return attributes_.isInputStream.getCoerced(); }
  const std::vector<std::string>& fifoNames() const { return fifoNames_; }
  bool interleaved() const { return interleaved_; }
  qvstream_lib::StreamRegisterSet& registers() { return *registers_; }
  StreamAttributes& attributes() { return attributes_; }
  DependencySlots& dependencySlots() { return slots_; }
  OptionalRegister<unsigned long>& channelsEnabledRegister() { return channelsEnabled_; }
  OptionalRegister<bool>& linkedStartRegister() { return linkedStart_; }
  OptionalRegister<bool>& fifoResetRegister() { return fifoReset_; }
  LoopBufferInstance* loopBuffer() { return loopBuffer_.get(); }
  std::uint8_t sampleIncrement() const { return sampleIncrement_; }
  bool deployPending() const { return deployPending_; }
  const StreamSettings& desiredSettings() const { return desired_; }
  const StreamSettings& deployedSettings() const { return deployed_; }
  // The read side: deployed read settings and the per-channel sample counters.
  const ReadSettings& readSettings() const { return deployed_.read; }
  ChannelCounters& readCounters() { return readCounters_; }
  // The write side: deployed write settings and its per-channel table.
  const WriteSettings& writeSettings() const { return deployed_.write; }
  ChannelCounters& writeTable() { return writeTable_; }

 private:
  void checkSampleNumber();
  void compileInput();
  void buildInputScaling(std::uint64_t mask, bool ddc);
  void compileOutput();
  void checkLinkedStart();
  const qvkel::NamedFifo* fifo(const std::string& name) const;

  const ClipCapabilities* holder_;
  std::unique_ptr<qvstream_lib::StreamRegisterSet> registers_;
  const char* channelName_;
  std::vector<std::string> fifoNames_;
  bool interleaved_;
  StreamAttributes attributes_;
  CompileResolver<Stream> compileResolver_;
  DeployResolver<Stream> deployResolver_;
  std::uint8_t sampleIncrement_ = 0;
  bool deployPending_ = true;
  StreamSettings desired_;
  StreamSettings deployed_;
  ChannelCounters readCounters_;
  ChannelCounters writeTable_;
  OptionalRegister<unsigned long> channelsEnabled_;
  OptionalRegister<bool> linkedStart_;
  OptionalRegister<bool> fifoReset_;
  std::unique_ptr<LoopBufferInstance> loopBuffer_;
  LoopBufferCompletion loopCompletion_;
  DependencySlots slots_;
  std::int32_t number_;
  SessionTransportInterface* transport_;
};

}  // namespace qvvandrel
