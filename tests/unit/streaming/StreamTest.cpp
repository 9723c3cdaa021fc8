// Stream commission, compile and deploy through the session's commit, with the attributes of
// other features as stand-ins.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "StreamTestbed.h"
#include "devkit/DmaChannels.h"

namespace {

using attrtest::catchError;
using qvvandrel::CatalogueAttribute;
using qvvandrel::DepAttr;
using qvvandrel::DependencyAttribute;
using Access = sim::StreamUnit::Access;

constexpr uint32_t kStartFifo = 0x40208329, kStopFifo = 0x4020832A;

// Stream 1: four host FIFOs, one per channel, with the optional registers; stream 2: one host
// FIFO carrying every channel; stream 6: three target FIFOs with the optional registers;
// stream 8: one target FIFO carrying every channel.
class StreamTest : public streamtest::StreamTestbed {
 protected:
  void openDesign() {
    design.addStream({.number = 1, .hostFifos = {0, 1, 2, 3}, .optionalRegisters = true});
    design.addStream({.number = 2, .plainHostFifo = true});
    design.addStream({.number = 6, .targetFifos = {0, 1, 2}, .optionalRegisters = true});
    design.addStream({.number = 8, .plainTargetFifo = true});
    openStreams({1, 2, 6, 8});
  }

  // The six attributes a stream reads, of the types it expects, for stream 1.
  struct Inputs {
    CatalogueAttribute<0x50000005>* coefficients;
    CatalogueAttribute<0x20000016>* sampleRate;
    CatalogueAttribute<0x10000019>* interleaving;
    CatalogueAttribute<0x20000019>* delay;
    CatalogueAttribute<0x40000019>* iq;
    CatalogueAttribute<0x4000000F>* ddc;
  };
  Inputs addInputs(const std::vector<double>& gains) {
    Inputs in;
    in.coefficients =
        &standIns.add<CatalogueAttribute<0x50000005>>("AI", standIns.coefficients(gains));
    in.sampleRate = &standIns.add<CatalogueAttribute<0x20000016>>("", 1e9);
    in.interleaving = &standIns.add<CatalogueAttribute<0x10000019>>("", 2);
    in.delay = &standIns.add<CatalogueAttribute<0x20000019>>("1", 2.5e-6);
    in.iq = &standIns.add<CatalogueAttribute<0x40000019>>("1", true);
    in.ddc = &standIns.add<CatalogueAttribute<0x4000000F>>("1", false);
    return in;
  }

  std::vector<uint32_t> numbers(const std::vector<const qvkel::NamedFifo*>& fifos) {
    std::vector<uint32_t> out;
    for (const qvkel::NamedFifo* fifo : fifos) out.push_back(fifo->getNumber());
    return out;
  }
  uint32_t channel(const char* name) { return transport->findFifo(name)->getNumber(); }
};

// Which dependency slots link, by what the registry holds.
enum class Registered { Expected, Absent, OtherType };
class StreamSlotTest : public StreamTest, public ::testing::WithParamInterface<Registered> {};

TEST_P(StreamSlotTest, SlotsLinkOnlyAttributesOfTheExpectedType) {
  if (GetParam() == Registered::Expected) addInputs({1.0});
  if (GetParam() == Registered::OtherType) {
    standIns.add<DepAttr<0x50000005, DependencyAttribute<double>>>("AI", 1.0);
    standIns.add<DepAttr<0x20000016, DependencyAttribute<int>>>("", 1);
    standIns.add<DepAttr<0x10000019, DependencyAttribute<double>>>("", 2.0);
    standIns.add<DepAttr<0x20000019, DependencyAttribute<bool>>>("1", true);
    standIns.add<DepAttr<0x40000019, DependencyAttribute<int>>>("1", 1);
    standIns.add<DepAttr<0x4000000F, DependencyAttribute<double>>>("1", 1.0);
  }
  openDesign();
  const bool linked = GetParam() == Registered::Expected;
  qvvandrel::Stream::DependencySlots& slots = stream(1).dependencySlots();
  EXPECT_EQ(slots.scalingCoefficients.isLinked(), linked);
  EXPECT_EQ(slots.adcSampleRate.isLinked(), linked);
  EXPECT_EQ(slots.adcInterleavingFactor.isLinked(), linked);
  EXPECT_EQ(slots.dataDelay.isLinked(), linked);
  EXPECT_EQ(slots.ddcIqEnabled.isLinked(), linked);
  EXPECT_EQ(slots.ddcEnabled.isLinked(), linked);
  // The per-stream ones are looked up under the stream's own number only.
  EXPECT_FALSE(stream(2).dependencySlots().dataDelay.isLinked());
  EXPECT_EQ(stream(2).dependencySlots().adcSampleRate.isLinked(), linked);

  commit();
  EXPECT_EQ(stream(1).deployedSettings().read.samplePeriod, linked ? 5e-10 : 0.001);
  // A second commission: -52003 once a slot is linked; only the root links otherwise.
  const qvvandrel::ResolverRoots& roots = kommissar.resolverRoots();
  attrtest::Thrown second = catchError([&] { api->commission(&roots, &registry); });
  EXPECT_EQ(second.code, linked ? -52003 : 0);
  EXPECT_EQ(second.detail, "");
}

INSTANTIATE_TEST_SUITE_P(Registry, StreamSlotTest,
                         ::testing::Values(Registered::Expected, Registered::Absent,
                                           Registered::OtherType));

TEST_F(StreamTest, TheSamplePeriodComesFromTheConverterUnlessTheHostSetsOne) {
  Inputs in = addInputs({1.0});
  openDesign();
  commit();
  auto& dt = stream(1).attributes().sampleDt;
  EXPECT_EQ(stream(1).deployedSettings().read.samplePeriod, 5e-10);
  EXPECT_EQ(dt.getCoerced(), 5e-10);
  EXPECT_EQ(stream(1).deployedSettings().read.dataDelay, 2.5e-6);
  EXPECT_EQ(stream(2).deployedSettings().read.samplePeriod, 5e-10);
  EXPECT_EQ(stream(2).deployedSettings().read.dataDelay, 0.0);
  // The converter's attributes are prerequisites: a change compiles the stream again.
  in.ddc->set(true);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().read.samplePeriod, 1e-9);
  in.delay->set(1e-6);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().read.dataDelay, 1e-6);
  in.interleaving->set(4);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().read.samplePeriod, 1.0 / (4 * 1e9) * 2);
  dt.set(0.125);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().read.samplePeriod, 0.125);
}

TEST_F(StreamTest, TheChannelMaskDoublesUnderDownConversion) {
  Inputs in = addInputs({1.0, 2.0, 3.0});
  in.ddc->set(true);
  openDesign();
  auto& enabled = stream(1).attributes().channelsEnabled;
  enabled.set(0x5);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().channelMask, 0x33u);
  EXPECT_EQ(unit(1).value("vandrel.stream.channels enabled"), 0x33u);
  in.iq->set(false);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().channelMask, 0x11u);
  // Only the low 32 bits take part.
  enabled.set(0x1'0000'0001ull);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().channelMask, 0x1u);
  // Without down-conversion all 64 bits stay as set.
  in.ddc->set(false);
  enabled.set(0x8000'0000'0000'0005ull);
  commit();
  EXPECT_EQ(stream(1).deployedSettings().channelMask, 0x8000'0000'0000'0005ull);
}

TEST_F(StreamTest, ReadFifosAndScalingFollowTheEnabledChannels) {
  Inputs in = addInputs({1.0, 2.0, 3.0});
  openDesign();
  stream(1).attributes().channelsEnabled.set(0xD);  // FIFOs 0, 2, 3
  stream(2).attributes().channelsEnabled.set(0x6);  // coefficients 1, 2
  commit();
  const qvvandrel::ReadSettings& perChannel = stream(1).deployedSettings().read;
  EXPECT_EQ(numbers(perChannel.fifos),
            (std::vector<uint32_t>{channel("stream.to host 1.0"), channel("stream.to host 1.2")}));
  EXPECT_EQ(perChannel.gains, (std::vector<double>{1.0, 3.0}));  // the list ends after three
  EXPECT_EQ(perChannel.offsets, (std::vector<double>{10.0, 30.0}));
  EXPECT_FALSE(perChannel.interleaved);
  const qvvandrel::ReadSettings& interleaved = stream(2).deployedSettings().read;
  EXPECT_EQ(numbers(interleaved.fifos), std::vector<uint32_t>{channel("stream.to host 2")});
  EXPECT_EQ(interleaved.gains, (std::vector<double>{2.0, 3.0}));
  EXPECT_TRUE(interleaved.interleaved);

  // Under down-conversion the I and Q FIFOs of a channel share its coefficients.
  in.ddc->set(true);
  stream(1).attributes().channelsEnabled.set(0x3);  // becomes 0xF
  commit();
  EXPECT_EQ(perChannel.fifos.size(), 4u);
  EXPECT_EQ(perChannel.gains, (std::vector<double>{1.0, 1.0, 2.0, 2.0}));

  // A coefficient list that points nowhere scales nothing; the interleaved FIFO stays.
  in.coefficients->set(nullptr);
  commit();
  EXPECT_TRUE(perChannel.fifos.empty());
  EXPECT_TRUE(perChannel.gains.empty());
  EXPECT_EQ(interleaved.fifos.size(), 1u);
  EXPECT_TRUE(interleaved.gains.empty());
}

TEST_F(StreamTest, WriteFifosFollowTheEnabledChannels) {
  openDesign();
  commit();
  // Nothing enabled: no FIFO, also for the interleaved stream.
  EXPECT_TRUE(stream(6).deployedSettings().write.fifos.empty());
  EXPECT_TRUE(stream(8).deployedSettings().write.fifos.empty());
  EXPECT_EQ(stream(6).deployedSettings().write.sampleCompletion, nullptr);
  stream(6).attributes().channelsEnabled.set(0x5);
  stream(8).attributes().channelsEnabled.set(0x100);
  commit();
  EXPECT_EQ(
      numbers(stream(6).deployedSettings().write.fifos),
      (std::vector<uint32_t>{channel("stream.to target 6.0"), channel("stream.to target 6.2")}));
  EXPECT_EQ(numbers(stream(8).deployedSettings().write.fifos),
            std::vector<uint32_t>{channel("stream.to target 8")});

  // A new FIFO size compiles the stream again: the same FIFOs, every one of them configured
  // again with the new depth (rounded up to whole pages by the device kit).
  sim.device().clearLog();
  stream(6).attributes().fifoSize.set(5000);
  commit();
  EXPECT_EQ(stream(6).deployedSettings().write.fifos.size(), 2u);
  EXPECT_EQ(count(streamtest::kFifoSetBuffer), 3u);
  for (const char* name : {"stream.to target 6.0", "stream.to target 6.1", "stream.to target 6.2"})
    EXPECT_EQ(sim.module.dmaFifos().state(channel(name))->size, 5120u * 4) << name;
}

TEST_F(StreamTest, TheSampleCountMustBeAMultipleOfTheIncrement) {
  openDesign();
  unit(1).setMetadata(8);
  auto& samples = stream(1).attributes().numberOfSamples;
  samples.set(1000);
  commit();
  EXPECT_EQ(stream(1).sampleIncrement(), 8);
  EXPECT_EQ(stream(1).attributes().samplesPerClock.getCoerced(), 8);

  samples.set(1001);
  samples.setLabel("Dev1/1");
  attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -1074100511);
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("Stream", 197, "qvstream_lib::kInvalidSampleNumber") +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":1001,"value_type":"uint64_t"},)"
          R"({"type":"usage","usage":"kUsageTypeIncrement","value":8,"value_type":"uint32_t"},)"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1342177280,"value_type":"int32_t","comment":"Stream Number Of Samples"},)"
          R"({"type":"usage","usage":"kUsageTypeDataStream","value":"Dev1/1","value_type":"string"})" +
          attrtest::kSectionEnd);
  samples.set(1000);

  // A granularity of 0, or a Metadata read that fails, lets every count pass; the increment
  // is read again at every compile until it is known.
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing);
    EXPECT_EQ(stream(2).sampleIncrement(), 0);
    unit(2).setMetadata(failing ? 4 : 0x100);
    if (failing) failNext(sessiontest::kReadBlock, -61046);
    stream(2).attributes().numberOfSamples.set(failing ? 1003 : 1001);
    EXPECT_NO_THROW(commit());
  }
  EXPECT_EQ(stream(2).sampleIncrement(), 0);
  stream(2).attributes().numberOfSamples.set(1002);
  EXPECT_EQ(catchError([&] { commit(); }).code, -1074100511);
  EXPECT_EQ(stream(2).sampleIncrement(), 4);
}

TEST_F(StreamTest, DeployProgramsOnlyWhatChanged) {
  openDesign();
  sim.device().clearLog();
  stream(1).attributes().channelsEnabled.set(0x3);
  stream(1).attributes().linkedStartTrigger.set(true);
  commit();
  // Every FIFO of every stream, enabled or not, is configured and started.
  EXPECT_EQ(count(streamtest::kFifoSetBuffer), 9u);
  EXPECT_EQ(count(kStartFifo), 9u);
  for (const char* name : {"stream.to host 1.0", "stream.to host 1.3", "stream.to target 6.1"}) {
    std::optional<sim::DmaFifos::State> state = sim.module.dmaFifos().state(channel(name));
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->started);
    EXPECT_EQ(state->size, 1000448u * 4) << name;  // depth 1000000 in whole pages
  }
  EXPECT_EQ(unit(1).value("vandrel.trigger.start.linked"), 1u);
  EXPECT_EQ(unit(1).value("vandrel.stream.channels enabled"), 0x3u);
  std::vector<Access> writes;
  for (const Access& access : unit(1).accesses())
    if (access.write) writes.push_back(access);
  EXPECT_EQ(writes, (std::vector<Access>{{"vandrel.trigger.start.linked", true, 32},
                                         {"vandrel.stream.channels enabled", true, 64}}));
  EXPECT_EQ(unit(6).value("vandrel.stream.channels enabled"), 0u);
  EXPECT_EQ(unit(6).accesses(),
            (std::vector<Access>{{"stream.metadata", false, 64},
                                 {"vandrel.trigger.start.linked", true, 32},
                                 {"vandrel.stream.channels enabled", true, 64}}));

  // Nothing changed: not one command.
  sim.device().clearLog();
  commit();
  EXPECT_TRUE(sim.device().log().empty());

  // A full redeploy repeats the first deploy: every FIFO is configured (stopped; its buffer
  // stays as it is) and started, both registers are written.
  kommissar.requestRedeploy();
  commit();
  EXPECT_EQ(count(kStopFifo), 9u);
  EXPECT_EQ(count(kStartFifo), 9u);
  EXPECT_EQ(unit(1).accesses().size(), 2u);
}

TEST_F(StreamTest, AFailedFifoConfigurationIsDeployedAgain) {
  openDesign();
  commit();
  qvvandrel::Stream& s = stream(6);
  EXPECT_FALSE(s.deployPending());
  sim.device().clearLog();
  failNext(kStartFifo, -50405);
  EXPECT_EQ(catchError([&] { s.deploy(true); }).code, -50405);
  EXPECT_TRUE(s.deployPending());
  EXPECT_EQ(count(kStartFifo), 1u);
  // Unchanged and not forced, yet pending: the FIFOs are configured and started again.
  sim.device().clearLog();
  s.deploy(false);
  EXPECT_FALSE(s.deployPending());
  EXPECT_EQ(count(kStartFifo), 3u);
  sim.device().clearLog();
  s.deploy(false);
  EXPECT_TRUE(sim.device().log().empty());
}

TEST_F(StreamTest, ALinkedStartNeedsItsRegister) {
  openDesign();
  auto& linked = stream(2).attributes().linkedStartTrigger;
  linked.set(true);
  linked.setLabel("Dev1/2");
  attrtest::Thrown thrown = catchError([&] { commit(); });
  EXPECT_EQ(thrown.code, -304408);
  EXPECT_EQ(
      thrown.detail,
      attrtest::locationPrefix("Stream", 431, "QVVANDREL_Status_InvalidAttributeValue") +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":true,"value_type":"bool"},)"
          R"({"type":"usage","usage":"kUsageTypePossibleValues","value":false,"value_type":"bool"},)"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":1073741855,"value_type":"int32_t","comment":"Linked Start Trigger"},)"
          R"({"type":"usage","usage":"kUsageTypeTriggerName","value":"Dev1/2","value_type":"string"})" +
          attrtest::kSectionEnd);
  linked.set(false);
  EXPECT_NO_THROW(commit());
  EXPECT_FALSE(stream(1).deployedSettings().linkedStart);
}

}  // namespace
