// The instruction record and its transport against the simulated controller. Expected bytes
// come from the record's stream view: the little-endian sequence of 32-bit values header,
// argument 0, argument 1, ..., padded with a zero value to whole 64-bit words; payload pairs
// and the trailer follow.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "ClipTestbed.h"
#include "clip/Instruction.h"

namespace {

using cliptest::ClipTestbed;
using ififo_rpc::Instruction;
using nQVVUSKS100::tStatus;

std::vector<uint8_t> bytesOf(const std::vector<uint64_t>& words) {
  std::vector<uint8_t> bytes(words.size() * 8);
  std::memcpy(bytes.data(), words.data(), bytes.size());
  return bytes;
}

std::vector<uint8_t> stream(const std::vector<uint32_t>& values) {
  std::vector<uint8_t> bytes;
  for (uint32_t v : values)
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(v >> (8 * b)));
  return bytes;
}

constexpr uint32_t arg(uint32_t i) {
  return 0xA0000000u | (i * 0x01010101u & 0x00FFFFFF);
}

using InstructionFifoTest = ClipTestbed;

TEST_F(InstructionFifoTest, ArgumentsPackIntoThirtyTwoBitSlotsAfterTheHeader) {
  struct Row {
    uint32_t pushed;
    uint32_t header;  // (count << 20) | 0x0D06, by hand
    size_t words;
  };
  const Row rows[] = {
      {0, 0x00000D06, 1},   {1, 0x00100D06, 1},   {2, 0x00200D06, 2},
      {31, 0x01F00D06, 16}, {32, 0x02000D06, 16},  // the 32nd is counted, not stored
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pushed);
    clip.clearLog();
    Instruction instruction(0x0D06);
    for (uint32_t i = 0; i < row.pushed; ++i) instruction.pushArgument(arg(i));
    instruction.finishHeader();
    tStatus status;
    fifo.call(1, instruction, &status);

    std::vector<uint32_t> values{row.header};
    for (uint32_t i = 0; i < row.pushed && i < 31; ++i) values.push_back(arg(i));
    if (values.size() % 2 != 0) values.push_back(0);
    const auto sent = clip.log();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].words.size(), row.words);
    EXPECT_EQ(bytesOf(sent[0].words), stream(values));
  }
}

TEST_F(InstructionFifoTest, PayloadPairsAndTrailerFollowTheInstructionWords) {
  const uint32_t payload[] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7};
  Instruction instruction(0x0D06);
  instruction.pushArgument(arg(0));
  instruction.pushArgument(arg(1));
  instruction.finishHeader();
  instruction.payload = payload;
  instruction.payloadBegin = 1;
  instruction.payloadEnd = 6;  // five values: the fifth (0xB5) is not sent
  instruction.trailer = 0x1122334455667788;
  instruction.hasTrailer = true;
  tStatus status;
  fifo.call(1, instruction, &status);

  const auto sent = clip.log();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(bytesOf(sent[0].words), stream({0x00200D06, arg(0), arg(1), 0, 0xB1, 0xB2, 0xB3, 0xB4,
                                            0x55667788, 0x11223344}));
  EXPECT_EQ(sent[0].extra.size(), 3u);  // what the controller sees past the instruction
}

TEST_F(InstructionFifoTest, TrailerWithoutPayloadIsNotSent) {
  Instruction instruction(0x0D06);
  instruction.pushArgument(arg(0));
  instruction.finishHeader();
  instruction.trailer = 0x99;
  instruction.hasTrailer = true;
  tStatus status;
  fifo.call(1, instruction, &status);
  const auto sent = clip.log();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(bytesOf(sent[0].words), stream({0x00100D06, arg(0)}));
}

TEST_F(InstructionFifoTest, DriverRecordCarriesFifoFlagsWordsAndCount) {
  Instruction instruction(0x0D06);
  instruction.pushArgument(5);
  instruction.pushArgument(6);
  instruction.finishHeader();
  tStatus status;
  fifo.call(7, instruction, &status);
  const auto commands = fifoCommands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].inLen, 24u);
  EXPECT_EQ(commands[0].outLen, 8u);
  // The common case hands the record's own words to the driver, uncopied.
  const uint64_t address = reinterpret_cast<uint64_t>(instruction.words);
  std::vector<uint8_t> expected =
      stream({7, 2, static_cast<uint32_t>(address), static_cast<uint32_t>(address >> 32), 2, 0});
  EXPECT_EQ(commands[0].input, expected);
}

TEST_F(InstructionFifoTest, CallAndPostFlagsWithOptionBits) {
  struct Row {
    bool call, option4, option8;
    uint32_t flags;
  };
  const Row rows[] = {{true, false, false, 2}, {true, true, false, 6},   {true, false, true, 10},
                      {true, true, true, 14},  {false, false, false, 1}, {false, true, false, 5},
                      {false, false, true, 9}, {false, true, true, 13}};
  for (const Row& row : rows) {
    clip.clearLog();
    Instruction instruction(0x0101);
    instruction.pushArgument(0);
    instruction.finishHeader();
    instruction.option4 = row.option4;
    instruction.option8 = row.option8;
    tStatus status;
    if (row.call) {
      EXPECT_EQ(fifo.call(1, instruction, &status), 1u);  // the controller's reply to 0x101
    } else {
      fifo.post(1, instruction, &status);
    }
    ASSERT_EQ(clip.log().size(), 1u);
    EXPECT_EQ(clip.log()[0].flags, row.flags);
  }
}

TEST_F(InstructionFifoTest, FailuresArriveInTheStatusAndNothingIsSentOnAnError) {
  Instruction instruction(0x0309);
  instruction.finishHeader();

  tStatus failed;
  failed.code = -1;
  EXPECT_EQ(fifo.call(1, instruction, &failed), 0u);
  EXPECT_TRUE(fifoCommands().empty());

  // The controller's error is merged at the proxy's line; its reply still comes back.
  clip.script(0x0309, {7, -304300});
  tStatus status;
  EXPECT_EQ(fifo.call(1, instruction, &status), 7u);
  EXPECT_EQ(status.code, -304300);
  EXPECT_STREQ(status.component, "qvvandrel");
  EXPECT_EQ(status.line, 2645u);

  // The ioctl itself failing gives the errno table's code and no reply.
  module.deviceInterface().script(sim::ClipController::kCommand, sim::Reply{{}, {}, {}, EIO});
  tStatus transport;
  EXPECT_EQ(fifo.call(1, instruction, &transport), 0u);
  EXPECT_EQ(transport.code, -52024);
}

}  // namespace
