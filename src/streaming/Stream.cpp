#include "streaming/Stream.h"

#include "attributes/AttributeRegistry.h"
#include "attributes/RaiseWithDetails.h"
#include "devkit/DmaChannels.h"
#include "foundation/errors/ErrorCodes.h"
#include "model/ChannelNames.h"
#include "streaming/StreamTimeout.h"

namespace qvvandrel {
namespace {

using qvstream_lib::StreamRegisterName;

constexpr qverr::StatusLocation kInvalidSampleNumber{"Stream", 197, qverr::kComponent,
                                                     qverr::constant::kInvalidSampleNumber};
constexpr qverr::StatusLocation kLinkedStartUnavailable{"Stream", 431, qverr::kComponent,
                                                        qverr::constant::kInvalidAttributeValue};

// The loop buffer's written count did not reach the write's target in time.
constexpr std::int32_t kLoopBufferTimeout = -304427;

// The channel text under which the host addressed the attribute, else its channel name.
template <typename A>
std::string addressedChannel(const A& attribute) {
  return attribute.label().empty() ? std::string(attribute.getChannelName()) : attribute.label();
}

// A slot already linked is a second commission: the bare code, without a location.
template <typename T>
void linkSlot(AttributeLink<T>& slot, const atat::AttributeRegistry& registry, std::uint32_t id,
              const char* channel) {
  if (slot.isLinked()) qverr::throwError(qverr::kInternalError);
  slot.link(registry, id, channel);
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ';';
    text += name;
  }
  return text;
}

}  // namespace

Stream::StreamAttributes::StreamAttributes(const char* channelName)
    : fifoName(channelName, initialValue(std::string())),
      finite(channelName, initialValue(true)),
      numberOfSamples(channelName, initialValue(0UL)),
      channelsInStream(channelName, initialValue(0)),
      channelsEnabled(channelName, initialValue(0UL)),
      fifoSize(channelName, initialValue(1000000UL)),
      sampleDt(channelName, initialValue(0.0)),
      samplesPerClock(channelName, initialValue(0)),
      dataFormat(channelName, &kStreamDataPerChannel),
      isInputStream(channelName, initialValue(true)),
      linkedStartTrigger(channelName, initialValue(false)) {}

Stream::DependencySlots::DependencySlots(Dependency* compileResolver)
    : scalingCoefficients(compileResolver),
      adcSampleRate(compileResolver),
      adcInterleavingFactor(compileResolver),
      dataDelay(compileResolver),
      ddcIqEnabled(compileResolver),
      ddcEnabled(compileResolver) {}

Stream::Stream(std::int32_t number, const ClipCapabilities* holder, bool isInput,
               SessionTransportInterface* transport,
               std::unique_ptr<qvstream_lib::StreamRegisterSet> registers,
               std::vector<std::string> fifoNames, bool interleaved)
    : holder_(holder),
      registers_(std::move(registers)),
      channelName_(channelIndexName(static_cast<std::uint32_t>(number))),
      fifoNames_(std::move(fifoNames)),
      interleaved_(interleaved),
      attributes_(channelName_),
      compileResolver_(this),
      deployResolver_(this),
      channelsEnabled_(transport,
                       StreamRegisterName("vandrel.stream.channels enabled %d", number).text),
      linkedStart_(transport, StreamRegisterName("vandrel.trigger.start.linked %d", number).text),
      fifoReset_(transport, StreamRegisterName("vandrel.buffer.fifo.reset %d", number).text),
      loopBuffer_(LoopBufferInstance::create(transport, number, channelName_)),
      loopCompletion_(loopBuffer_),
      slots_(&compileResolver_),
      number_(number),
      transport_(transport) {
  attributes_.isInputStream.setCoerced(isInput);
}

Stream::~Stream() = default;

const qvkel::NamedFifo* Stream::fifo(const std::string& name) const {
  return transport_->findFifo(name.c_str());
}

void Stream::registerAttributes(atat::AttributeRegistry* registry) {
  StreamAttributes& a = attributes_;
  for (iattr::AttributeBaseInterface* attribute :
       std::initializer_list<iattr::AttributeBaseInterface*>{
           &a.fifoName, &a.finite, &a.numberOfSamples, &a.channelsInStream, &a.channelsEnabled,
           &a.fifoSize, &a.sampleDt, &a.samplesPerClock, &a.dataFormat, &a.isInputStream,
           &a.linkedStartTrigger})
    registry->addAttribute(attribute);
  a.fifoName.set(joined(fifoNames_));
  a.dataFormat.set(interleaved_ ? kStreamDataInterleaved : kStreamDataPerChannel);
  if (loopBuffer_) loopBuffer_->registerAttributes(registry);
}

void Stream::commission(const ResolverRoots& roots, atat::AttributeRegistry* registry) {
  wireResolvers(roots, compileResolver_, deployResolver_);
  StreamAttributes& a = attributes_;
  wireOwnAttribute(compileResolver_, a.fifoName);
  wireOwnAttribute(compileResolver_, a.finite);
  wireOwnAttribute(compileResolver_, a.numberOfSamples);
  wireOwnAttribute(compileResolver_, a.channelsInStream);
  wireOwnAttribute(compileResolver_, a.channelsEnabled);
  wireOwnAttribute(compileResolver_, a.fifoSize);
  wireOwnAttribute(compileResolver_, a.sampleDt);
  wireOwnAttribute(compileResolver_, a.samplesPerClock);
  wireOwnAttribute(compileResolver_, a.dataFormat);
  wireOwnAttribute(compileResolver_, a.isInputStream);
  wireOwnAttribute(compileResolver_, a.linkedStartTrigger);
  linkSlot(slots_.scalingCoefficients, *registry, 0x50000005, "AI");
  linkSlot(slots_.adcSampleRate, *registry, 0x20000016, "");
  linkSlot(slots_.adcInterleavingFactor, *registry, 0x10000019, "");
  linkSlot(slots_.dataDelay, *registry, 0x20000019, channelName_);
  linkSlot(slots_.ddcIqEnabled, *registry, 0x40000019, channelName_);
  linkSlot(slots_.ddcEnabled, *registry, 0x4000000F, channelName_);
  if (loopBuffer_) loopBuffer_->commission(roots);
}

void Stream::reset() {
  for (const std::string& name : fifoNames_) {
    const std::uint32_t number = fifo(name)->getNumber();
    transport_->stopFifo(number);
    transport_->startFifo(number);
  }
  if (loopBuffer_) loopBuffer_->resetBuffer();
  if (fifoReset_.present()) fifoReset_.write(true);
  if (isInput()) {
    readCounters_.clear();
  } else {
    writeTable_.clear();
  }
}

void Stream::compile() {
  checkSampleNumber();
  desired_.fifoDepth = attributes_.fifoSize.get();
  attributes_.samplesPerClock.setCoerced(sampleIncrement_);
  if (isInput()) {
    compileInput();
  } else {
    compileOutput();
  }
  if (loopBuffer_) desired_.write.sampleCompletion = &loopCompletion_;
  checkLinkedStart();
}

void Stream::checkSampleNumber() {
  if (sampleIncrement_ == 0) {
    nQVVUSKS100::tStatus status;
    const std::uint64_t metadata = registers_->metadata.read(&status);
    if (!status.isError()) sampleIncrement_ = static_cast<std::uint8_t>(metadata & 0xFF);
  }
  auto& samples = attributes_.numberOfSamples;
  if (sampleIncrement_ == 0 || samples.getCoerced() % sampleIncrement_ == 0) return;
  atat::detail::raiseWithDetails(
      qverr::kInvalidSampleNumber, kInvalidSampleNumber, [&](atat::elaboration::Cursor c) {
        namespace e = atat::elaboration;
        c = e::appendUsageUInt64(c, "kUsageTypeRequestedValue", samples.getDesired());
        c = e::appendUsageUInt32(c, "kUsageTypeIncrement", sampleIncrement_);
        c = e::appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeIdentifier",
                                                 static_cast<std::int32_t>(samples.getId()));
        const std::string channel = addressedChannel(samples);
        if (!channel.empty()) e::appendUsageString(c, "kUsageTypeDataStream", channel.c_str());
      });
}

void Stream::compileInput() {
  std::uint64_t mask = attributes_.channelsEnabled.getCoerced();
  bool ddc = false;
  const bool ddcPresent = slots_.ddcEnabled.isLinked();
  if (slots_.ddcIqEnabled.isLinked() && ddcPresent && slots_.ddcEnabled.attribute()->getCoerced()) {
    const bool iq = slots_.ddcIqEnabled.attribute()->getCoerced();
    std::uint64_t expanded = 0;
    for (unsigned i = 0; i < 32; ++i) {
      if ((mask >> i & 1) == 0) continue;
      expanded |= std::uint64_t{1} << (2 * i);
      if (iq) expanded |= std::uint64_t{1} << (2 * i + 1);
    }
    mask = expanded;
    ddc = true;
  }
  desired_.channelMask = mask;
  desired_.read.interleaved = interleaved_;
  buildInputScaling(mask, ddc);
  attributes_.numberOfSamples.setCoerced(attributes_.numberOfSamples.getDesired());

  double period = attributes_.sampleDt.getDesired();
  if (period == 0.0) {
    const int factor = slots_.adcInterleavingFactor.isLinked()
                           ? slots_.adcInterleavingFactor.attribute()->getCoerced()
                           : 1;
    if (slots_.adcSampleRate.isLinked()) {
      period = 1.0 / (factor * slots_.adcSampleRate.attribute()->getCoerced());
      if (ddcPresent && slots_.ddcEnabled.attribute()->getCoerced()) period *= 2;
    } else {
      period = 0.001;
    }
  }
  attributes_.sampleDt.setCoerced(period);
  desired_.read.samplePeriod = period;
  if (slots_.dataDelay.isLinked())
    desired_.read.dataDelay = slots_.dataDelay.attribute()->getCoerced();
}

void Stream::buildInputScaling(std::uint64_t mask, bool ddc) {
  ReadSettings& read = desired_.read;
  read.gains.clear();
  read.offsets.clear();
  read.fifos.clear();
  const CoefficientList coefficients = slots_.scalingCoefficients.isLinked()
                                           ? slots_.scalingCoefficients.attribute()->getCoerced()
                                           : nullptr;
  if (!interleaved_) {
    if (coefficients == nullptr) return;
    auto entry = coefficients->begin();
    bool second = false;
    for (auto name = fifoNames_.begin(); name != fifoNames_.end() && entry != coefficients->end();
         ++name) {
      if (mask & 1) {
        read.fifos.push_back(fifo(*name));
        read.gains.push_back(entry->gain());
        read.offsets.push_back(entry->offset());
      }
      mask >>= 1;
      // With down-conversion the I and Q FIFOs of one channel share its coefficients.
      if (!ddc || second) ++entry;
      second = !second;
    }
    return;
  }
  if (coefficients != nullptr) {
    for (const Coefficients& entry : *coefficients) {
      if (mask & 1) {
        read.gains.push_back(entry.gain());
        read.offsets.push_back(entry.offset());
      }
      mask >>= 1;
    }
  }
  if (!fifoNames_.empty()) read.fifos.push_back(fifo(fifoNames_.front()));
}

void Stream::compileOutput() {
  const std::uint64_t mask = attributes_.channelsEnabled.getCoerced();
  desired_.channelMask = mask;
  WriteSettings& write = desired_.write;
  write.fifos.clear();
  if (interleaved_) {
    if (mask != 0 && !fifoNames_.empty()) write.fifos.push_back(fifo(fifoNames_.front()));
    return;
  }
  std::uint64_t bits = mask;
  for (const std::string& name : fifoNames_) {
    if (bits & 1) write.fifos.push_back(fifo(name));
    bits >>= 1;
  }
}

void Stream::checkLinkedStart() {
  desired_.linkedStart = false;
  auto& linked = attributes_.linkedStartTrigger;
  if (linkedStart_.present()) {
    desired_.linkedStart = linked.getCoerced();
    return;
  }
  const bool requested = linked.get();
  if (!requested) return;
  atat::detail::raiseWithDetails(
      qverr::kInvalidAttributeValue, kLinkedStartUnavailable, [&](atat::elaboration::Cursor c) {
        namespace e = atat::elaboration;
        c = e::appendUsageBool(c, "kUsageTypeRequestedValue", requested);
        c = e::appendUsageBool(c, "kUsageTypePossibleValues", false);
        c = e::appendUsageInt32WithAttributeName(c, "kUsageTypeAttributeIdentifier",
                                                 static_cast<std::int32_t>(linked.getId()));
        const std::string channel = addressedChannel(linked);
        if (!channel.empty()) e::appendUsageString(c, "kUsageTypeTriggerName", channel.c_str());
      });
}

void Stream::deploy(bool force) {
  if (!force && !deployPending_ && sameSettings(desired_, deployed_)) return;
  deployPending_ = false;
  try {
    for (const std::string& name : fifoNames_) {
      const std::uint32_t number = fifo(name)->getNumber();
      std::uint64_t actualDepth = 0;
      transport_->configureFifo(number, desired_.fifoDepth, &actualDepth);
      transport_->startFifo(number);
    }
  } catch (...) {
    deployPending_ = true;
    throw;
  }
  if (linkedStart_.present()) linkedStart_.write(desired_.linkedStart);
  if (channelsEnabled_.present()) channelsEnabled_.write(desired_.channelMask);
  deployed_ = desired_;
}

std::uint64_t Stream::LoopBufferCompletion::targetPosition(std::uint64_t count, const void*) {
  return count + loopBuffer_->elementsWritten();
}

void Stream::LoopBufferCompletion::waitForPosition(std::uint64_t target) {
  Timeout deadline = startStreamTimeout(kTimeoutMs);
  for (;;) {
    if (target <= loopBuffer_->elementsWritten()) return;
    if (deadline.expired()) break;
  }
  qverr::throwStatusCode(static_cast<std::uint32_t>(kLoopBufferTimeout));
}

}  // namespace qvvandrel
