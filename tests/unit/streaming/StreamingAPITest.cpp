// Stream discovery by register and FIFO names, registration of the stream attributes, and the
// lookups by stream number.

#include <gtest/gtest.h>

#include <string>

#include "StreamTestbed.h"

namespace {

using attrtest::catchError;

class StreamingAPITest : public streamtest::StreamTestbed {
 protected:
  // Stream 3 with indexed host FIFOs 3.0 and 3.2; stream 5 without its metadata register;
  // stream 0 with the plain host FIFO and 0.0; stream 7 with FIFOs in both directions;
  // stream 9 to the target only; stream 11 whose state register name is there twice; stream 4
  // with registers and no FIFO; stream 40 beyond the numbers searched.
  void SetUp() override {
    design.addStream({.number = 3, .hostFifos = {0, 2}});
    design.addStream({.number = 5, .hostFifos = {0}, .omit = {"stream.metadata"}});
    design.addStream({.number = 0, .plainHostFifo = true, .hostFifos = {0}});
    design.addStream({.number = 7, .hostFifos = {1}, .targetFifos = {0}});
    design.addStream({.number = 9, .targetFifos = {0, 1}});
    design.addStream({.number = 11, .hostFifos = {0}});
    design.addRegister(qvsim::RegisterSpec("stream.state 11", 0x7000, "U8"));
    design.addStream({.number = 4});
    design.addStream({.number = 40, .hostFifos = {0}});
    openStreams({});
  }

  std::string value(uint32_t id, const char* channel) {
    return dynamic_cast<atat::Attribute<std::string>&>(*registry.getAttribute(id, channel))
        .getCoerced();
  }
  int32_t format(const char* channel) {
    return dynamic_cast<atat::Attribute<qvvandrel::oobx::attribute::StreamDataFormat>&>(
               *registry.getAttribute(0x10000003, channel))
        .getCoerced();
  }
};

TEST_F(StreamingAPITest, StreamsAreTheNumbersWithFiveRegistersAndAFifo) {
  EXPECT_EQ(api->getStreamMask(), (1u << 0) | (1u << 3) | (1u << 7) | (1u << 9));

  EXPECT_EQ(stream(3).fifoNames(),
            (std::vector<std::string>{"stream.to host 3.0", "stream.to host 3.2"}));
  EXPECT_FALSE(stream(3).interleaved());
  EXPECT_EQ(value(0x30000002, "3"), "stream.to host 3.0;stream.to host 3.2");
  EXPECT_EQ(format("3"), 1);

  EXPECT_EQ(stream(0).fifoNames(), std::vector<std::string>{"stream.to host 0"});
  EXPECT_TRUE(stream(0).interleaved());
  EXPECT_EQ(value(0x30000002, "0"), "stream.to host 0");
  EXPECT_EQ(format("0"), 0);

  EXPECT_TRUE(stream(7).isInput());
  EXPECT_EQ(stream(7).fifoNames(), std::vector<std::string>{"stream.to host 7.1"});
  EXPECT_FALSE(stream(9).isInput());
  EXPECT_EQ(value(0x30000002, "9"), "stream.to target 9.0;stream.to target 9.1");
  // Set at registration through the ordinary set.
  EXPECT_EQ(registry.getAttribute(0x30000002, "3")->wasSetByUser(), true);

  // Each stream's register set holds the addresses of its own names.
  qvstream_lib::StreamRegisterSet& registers = api->getStreamRegisters(3);
  EXPECT_EQ(registers.requestState.address(), design.registerAddress("stream.request state 3"));
  EXPECT_EQ(registers.metadata.address(), design.registerAddress("stream.metadata 3"));
  EXPECT_STREQ(registers.samplesTransferred.name(), "stream.samples transferred 3");
}

TEST_F(StreamingAPITest, EveryStreamRegistersItsElevenAttributesUnderItsNumber) {
  for (uint32_t id : {0x30000002u, 0x40000001u, 0x50000000u, 0x10000000u, 0x50000002u, 0x50000001u,
                      0x20000013u, 0x10000001u, 0x10000003u, 0x4000000Eu, 0x4000001Fu}) {
    for (const char* channel : {"0", "3", "7", "9"})
      EXPECT_TRUE(registry.contains(id, channel)) << std::hex << id << " " << channel;
    EXPECT_FALSE(registry.contains(id, "5")) << std::hex << id;
  }
  auto& size =
      dynamic_cast<atat::Attribute<unsigned long>&>(*registry.getAttribute(0x50000001, "3"));
  EXPECT_EQ(size.getCoerced(), 1000000u);
  auto& input = dynamic_cast<atat::Attribute<bool>&>(*registry.getAttribute(0x4000000E, "9"));
  EXPECT_FALSE(input.getCoerced());
  // No loop buffer in these designs.
  EXPECT_FALSE(registry.contains(0x50000006, "3"));
}

TEST_F(StreamingAPITest, LookupsRefuseAbsentStreamsAndTheWrongDirection) {
  for (uint32_t n : {1u, 4u, 5u, 11u, 40u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(n);
    for (const auto& lookup : std::vector<std::function<void()>>{
             [&] { api->getStreamRegisters(n); }, [&] { api->getInputStream(n); },
             [&] { api->getOutputStream(n); }, [&] { api->getStreamSampleCounters(n); },
             [&] { api->getStreamOutputTable(n); }, [&] { api->getStreamSettings(n); },
             [&] { api->resetStream(n); }}) {
      attrtest::Thrown thrown = catchError(lookup);
      EXPECT_EQ(thrown.code, -304405);
      EXPECT_EQ(thrown.detail, "");
    }
  }
  attrtest::Thrown read = catchError([&] { api->getInputStream(9); });
  EXPECT_EQ(read.code, -304429);
  EXPECT_EQ(
      read.detail,
      attrtest::locationPrefix("StreamingAPI", 35, "QVVANDREL_Status_InvalidStreamOperation") +
          R"({"type":"comment","comment":"read operation performed on output stream"})" +
          attrtest::kSectionEnd);
  attrtest::Thrown write = catchError([&] { api->getOutputStream(7); });
  EXPECT_EQ(write.code, -304429);
  EXPECT_EQ(
      write.detail,
      attrtest::locationPrefix("StreamingAPI", 50, "QVVANDREL_Status_InvalidStreamOperation") +
          R"({"type":"comment","comment":"write operation performed on input stream"})" +
          attrtest::kSectionEnd);
  EXPECT_EQ(&api->getInputStream(7), &stream(7).readSettings());
  EXPECT_EQ(&api->getOutputStream(9), &stream(9).writeSettings());
}

}  // namespace
