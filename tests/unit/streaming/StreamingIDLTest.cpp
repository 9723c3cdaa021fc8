// The register-level stream operations (waits, stop, arm, program) and configuring a stream,
// against the module's stream unit.

#include <gtest/gtest.h>

#include <string>

#include "StreamTestbed.h"
#include "streaming/StreamingIDL.h"

namespace {

using attrtest::catchError;
using qvstreaming::StreamingIDL;
using Access = sim::StreamUnit::Access;

constexpr uint64_t kAllOnes = ~uint64_t{0};
constexpr int32_t kPoll = 1;

class StreamingIDLTest : public streamtest::StreamTestbed {
 protected:
  void SetUp() override {
    design.addStream({.number = 2, .hostFifos = {0}});
    openStreams({2});
  }

  qvstream_lib::StreamRegisterSet& regs() { return api->getStreamRegisters(2); }
  void program(bool finite, uint64_t count, nQVVUSKS100::tStatus* status) {
    StreamingIDL::program(regs().requestState, regs().numSamples, regs().state, regs().metadata,
                          finite, count, status);
  }
  void expectRecorded(const nQVVUSKS100::tStatus& status, int64_t code, uint64_t line) {
    EXPECT_EQ(status.code, code);
    EXPECT_STREQ(status.component, "qvvandrel");  // cut to the record's nine characters
    EXPECT_STREQ(status.file, "StreamingIDL");
    EXPECT_EQ(status.line, line);
  }
  std::vector<Access> writes() {
    std::vector<Access> out;
    for (const Access& access : unit(2).accesses())
      if (access.write) out.push_back(access);
    return out;
  }
  size_t reads(const char* name) {
    size_t n = 0;
    for (const Access& access : unit(2).accesses()) n += !access.write && access.name == name;
    return n;
  }
};

TEST_F(StreamingIDLTest, AFiniteStreamGetsItsCountThenIsArmed) {
  unit(2).setMetadata(0x1208);  // granularity 8 in the low byte
  unit(2).setReadsBeforeSettling(1, 3);
  nQVVUSKS100::tStatus status;
  program(true, 1000, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(unit(2).numSamples(), 1000u);
  EXPECT_EQ(unit(2).requests(), std::vector<uint8_t>{1});
  EXPECT_EQ(unit(2).state(), 1);
  EXPECT_EQ(writes(), (std::vector<Access>{{"stream.num samples", true, 64},
                                           {"stream.request state", true, 32}}));
  // State is read once by the programming step and until it left 0 by the arm.
  EXPECT_EQ(reads("stream.state"), 1u + 4u);
}

TEST_F(StreamingIDLTest, AFiniteCountOffTheGranularityWritesNothing) {
  unit(2).setMetadata(3);
  nQVVUSKS100::tStatus status;
  program(true, 1000, &status);
  expectRecorded(status, -1074100511, 142);
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(unit(2).numSamples(), 0u);
}

TEST_F(StreamingIDLTest, AContinuousStreamCountsTheLargestMultipleOfItsGranularity) {
  for (const auto& [granularity, expected] : std::vector<std::pair<uint64_t, uint64_t>>{
           {0, kAllOnes}, {10, 18446744073709551610ull}, {0x100, kAllOnes}}) {
    SCOPED_TRACE(granularity);
    unit(2).setMetadata(granularity);
    unit(2).setState(0);
    nQVVUSKS100::tStatus status;
    program(false, 1000, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(unit(2).numSamples(), expected);
    EXPECT_EQ(unit(2).requests().back(), 2);
    EXPECT_EQ(unit(2).state(), 2);
  }
}

TEST_F(StreamingIDLTest, ARunningOrFinishedStreamIsStoppedBeforeItIsArmed) {
  for (uint8_t state : {3, 5}) {
    SCOPED_TRACE(int{state});
    unit(2).setState(state);
    unit(2).setReadsBeforeSettling(0, 2);
    sim.device().clearLog();
    nQVVUSKS100::tStatus status;
    program(true, 16, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(writes(), (std::vector<Access>{{"stream.request state", true, 32},
                                             {"stream.num samples", true, 64},
                                             {"stream.request state", true, 32}}));
    EXPECT_EQ(unit(2).state(), 1);
  }
  EXPECT_EQ(unit(2).requests(), (std::vector<uint8_t>{0, 1, 0, 1}));
}

TEST_F(StreamingIDLTest, AStateItCannotProgramFromIsRecordedAndStopsEveryAccess) {
  unit(2).setState(2);
  nQVVUSKS100::tStatus status;
  program(true, 16, &status);
  expectRecorded(status, -1074100510, 117);
  EXPECT_TRUE(writes().empty());
  // An error on entry: no register is touched.
  sim.device().clearLog();
  StreamingIDL::stop(regs().requestState, regs().state, &status);
  uint64_t samples = 7;
  uint8_t state = 9;
  StreamingIDL::waitForState(regs().samplesTransferred, regs().state, kAllOnes, 1000, &samples,
                             &state, &status, &kPoll);
  EXPECT_TRUE(unit(2).accesses().empty());
  expectRecorded(status, -1074100510, 117);
}

TEST_F(StreamingIDLTest, WaitingForTheStateEndsOnSettlingCountErrorOrDeadline) {
  uint64_t samples = 0;
  uint8_t state = 0;
  auto wait = [&](uint64_t requested, uint32_t timeoutMs, int32_t mode) {
    sim.device().clearLog();
    nQVVUSKS100::tStatus status;
    StreamingIDL::waitForState(regs().samplesTransferred, regs().state, requested, timeoutMs,
                               &samples, &state, &status, &mode);
    return status;
  };
  // Armed, started after three polls: returns once running, with the samples moved.
  unit(2).setState(1);
  unit(2).setReadsBeforeSettling(6, 3);
  unit(2).transfer(40);
  nQVVUSKS100::tStatus status;
  regs().requestState.write(6, &status);
  status = wait(kAllOnes, 1000, kPoll);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(state, 3);
  EXPECT_EQ(samples, 40u);
  EXPECT_EQ(reads("stream.state"), 4u);
  EXPECT_EQ(reads("stream.samples transferred"), 4u);

  // A count reached returns after one pass even while armed.
  unit(2).setState(1);
  EXPECT_EQ(wait(40, 1000, kPoll).code, 0);
  EXPECT_EQ(reads("stream.state"), 1u);
  EXPECT_EQ(wait(0, 1000, kPoll).code, 0);

  // Another mode polls once; still armed, no time-out is recorded.
  EXPECT_EQ(wait(kAllOnes, 1000, 2).code, 0);
  EXPECT_EQ(reads("stream.state"), 1u);
  EXPECT_EQ(state, 1);

  // Stuck armed: the deadline.
  expectRecorded(wait(kAllOnes, 20, kPoll), -1074100507, 209);
  EXPECT_GT(reads("stream.state"), 1u);

  // The error state ends the wait as settled, with its own code only; a count reached with it
  // still returns the code.
  unit(2).setState(4);
  expectRecorded(wait(kAllOnes, 1000, kPoll), -1074100508, 200);
  EXPECT_EQ(reads("stream.state"), 1u);
  expectRecorded(wait(10, 1000, kPoll), -1074100508, 200);

  // A state register that cannot be read ends the wait with the transport's failure.
  failNext(sessiontest::kRead32, -61046);
  status = wait(kAllOnes, 1000, kPoll);
  EXPECT_EQ(status.code, -61046);
  EXPECT_EQ(reads("stream.samples transferred"), 0u);
}

TEST_F(StreamingIDLTest, StoppingWaitsForIdleUntilTheDeadline) {
  unit(2).setState(3);
  unit(2).setReadsBeforeSettling(0, 2);
  nQVVUSKS100::tStatus status;
  StreamingIDL::stop(regs().requestState, regs().state, &status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(unit(2).state(), 0);
  EXPECT_EQ(reads("stream.state"), 3u);

  unit(2).setState(3);
  unit(2).setReadsBeforeSettling(0, sim::StreamUnit::kNever);
  regs().requestState.write(0, &status);
  StreamingIDL::waitForStateValue(regs().state, 0, 20, &status, &kPoll);
  expectRecorded(status, -1074100509, 50);
}

TEST_F(StreamingIDLTest, ConfiguringCommitsProgramsAndClearsTheCounters) {
  unit(2).setMetadata(8);
  qvvandrel::Stream::StreamAttributes& settings = api->getStreamSettings(2);
  settings.numberOfSamples.set(1000);
  qvvandrel::ChannelCounters& counters = api->getStreamSampleCounters(2);
  counters.set(0, 5);
  counters.set(63, 7);
  qvvandrel::configureStream(*this, 2);
  EXPECT_EQ(locks, 0);
  EXPECT_EQ(unit(2).numSamples(), 1000u);
  EXPECT_EQ(unit(2).requests(), std::vector<uint8_t>{1});
  EXPECT_EQ(counters.get(0), 0u);
  EXPECT_EQ(counters.get(63), 0u);
  // The commit ran first: the stream's FIFO was configured.
  EXPECT_EQ(count(streamtest::kFifoSetBuffer), 1u);

  // A count the granularity refuses at programming (here the commit does not see it: the
  // compile read the granularity before it changed): raised, counters kept, mutex free.
  unit(2).setState(0);
  unit(2).setMetadata(3);
  counters.set(1, 9);
  attrtest::Thrown thrown = catchError([&] { qvvandrel::configureStream(*this, 2); });
  EXPECT_EQ(thrown.code, -1074100511);
  EXPECT_NE(thrown.detail.find(R"("file":"StreamingIDL","line":142)"), std::string::npos)
      << thrown.detail;
  EXPECT_EQ(counters.get(1), 9u);
  EXPECT_EQ(locks, 0);

  EXPECT_EQ(catchError([&] { qvvandrel::configureStream(*this, 6); }).code, -304405);
  EXPECT_EQ(locks, 0);
}

TEST_F(StreamingIDLTest, ConfiguringAContinuousStreamIgnoresItsCount) {
  unit(2).setMetadata(4);
  qvvandrel::Stream::StreamAttributes& settings = api->getStreamSettings(2);
  settings.finite.set(false);
  settings.numberOfSamples.set(1000);
  qvvandrel::configureStream(*this, 2);
  EXPECT_EQ(unit(2).numSamples(), kAllOnes - 3);
  EXPECT_EQ(unit(2).requests(), std::vector<uint8_t>{2});
}

}  // namespace
