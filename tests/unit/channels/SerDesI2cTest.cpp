// SerDes I2C transfers against the simulated CLIP's I2C engine (interface 0x2F) and the
// driver's engine lock.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SerialTestbed.h"

namespace {

using namespace serialtest;
using qvvandrel::SerDesI2cContext;
using qvvandrel::SerialChannels;

class SerDesI2cTest : public SerialTestbed {
 protected:
  // An input on bus 5 ("Des1_I2C") and an output on bus 9 ("Ser2_I2C"), each with a chip at
  // 0x40.
  void SetUp() override { build({input(0, 1), output(0, 2)}, std::nullopt, {5, 9}); }

  void build(std::vector<SerialSection> sections, std::optional<uint32_t> addressMode,
             const std::vector<uint32_t>& busIds) {
    for (size_t k = 0; k < sections.size() && k < busIds.size(); ++k)
      sections[k].serDesBusId = busIds[k];
    tree = loadTree(sections, addressMode);
    context = SerialChannels::buildI2cBusMap(proxy, *tree, ref);
    clip.clearLog();
  }

  sim::I2cBusesState& buses() { return clip.state<sim::I2cBusesState>(); }
  sim::I2cChip& chip(uint32_t bus = 5, uint32_t address = 0x40) {
    return buses().addChip(bus, address);
  }

  sim::SerDesI2cEngine engine{module.deviceInterface()};
  std::unique_ptr<SerDesI2cContext> context;
};

TEST_F(SerDesI2cTest, WithoutSerialChannelsEveryTransferIsRefused) {
  build({}, std::nullopt, {});
  EXPECT_FALSE(context->available);
  EXPECT_TRUE(context->busIds.empty());
  uint8_t byte = 1;
  uint32_t a = 7, b = 7;
  EXPECT_EQ(raised([&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 1, &byte, 1, 0); }).code,
            -63193);
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 1, &byte, 1, 0); }).code,
            -63193);
  EXPECT_EQ(raised([&] {
              SerialChannels::i2cWriteRead(*context, "Des1_I2C", 1, &byte, 1, &byte, 1, 0, &a, &b);
            }).code,
            -63193);
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 0u);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_EQ(engine.attempts(), 0u);
}

TEST_F(SerDesI2cTest, BusMapFollowsTheSections) {
  // A missing SerDes number or bus ID is the previous section's; a missing type is a
  // serializer; a later section of the same name replaces the ID.
  build({{0, 0, 3, 11, {}, {}},
         {std::nullopt, 0, std::nullopt, 12, {}, {}},
         {1, 0, 9, std::nullopt, {}, {}},
         {0, 0, 3, 14, {}, {}}},
        std::nullopt, {});
  const std::map<std::string, int32_t> expected{
      {"Des3_I2C", 14}, {"Ser3_I2C", 12}, {"invalid index", 12}};
  EXPECT_EQ(context->busIds, expected);
  EXPECT_EQ(SerialChannels::lookupI2cBus(*context, "Ser3_I2C"), 12);
  EXPECT_EQ(raised([&] { SerialChannels::lookupI2cBus(*context, "Ser0_I2C"); }).code, -304448);
}

TEST_F(SerDesI2cTest, WriteWordsFollowTheInstructionLayout) {
  // (bus << 32) | 4 << 20 | 0x2F03, then address | (option ^ 1) << 32, then count | first byte
  // << 32; the other bytes as payload words, two values each, an odd last one as the trailer.
  struct Row {
    std::vector<uint8_t> data;
    std::vector<uint64_t> words;
  };
  std::vector<uint8_t> big(1024);
  for (size_t k = 0; k < big.size(); ++k) big[k] = static_cast<uint8_t>(k * 7);
  std::vector<uint64_t> bigWords = {0x00000009'00402F03, 0x00000003'00000040, 0x00000000'00000400};
  for (size_t k = 1; k + 1 < 1024; k += 2)
    bigWords.push_back(static_cast<uint64_t>(big[k + 1]) << 32 | big[k]);
  bigWords.push_back(big[1023]);
  const Row rows[] = {
      {{}, {0x00000009'00402F03, 0x00000003'00000040, 0x00000000'00000000}},
      {{0x10}, {0x00000009'00402F03, 0x00000003'00000040, 0x00000010'00000001}},
      {{0x10, 0xA1}, {0x00000009'00402F03, 0x00000003'00000040, 0x00000010'00000002, 0xA1}},
      {{0x10, 0xA1, 0xB2},
       {0x00000009'00402F03, 0x00000003'00000040, 0x00000010'00000003, 0x000000B2'000000A1}},
      {big, bigWords},
  };
  sim::I2cChip& device = chip(9);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.data.size());
    clip.clearLog();
    const uint16_t result = SerialChannels::i2cWrite(*context, "Ser2_I2C", 0x40, row.data.data(),
                                                     static_cast<uint32_t>(row.data.size()), 2);
    const auto writes = sent(0x2F03);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].words, row.words);
    EXPECT_EQ(writes[0].flags, 6u);
    EXPECT_EQ(writes[0].status, 0);
    // The model decoded every byte: the first is the register pointer.
    EXPECT_EQ(result, row.data.size());
    // The last 256 bytes survive the pointer's wrap.
    for (size_t k = row.data.size() > 257 ? row.data.size() - 256 : 1; k < row.data.size(); ++k)
      ASSERT_EQ(device.registers[(row.data[0] + k - 1) % 256], row.data[k]) << k;
  }
  // The write takes no engine.
  EXPECT_EQ(engine.attempts(), 0u);
}

TEST_F(SerDesI2cTest, AddressLimits) {
  uint8_t byte = 0;
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x100, &byte, 1, 0); }).code,
            -304447);
  // 10-bit mode (capability 700) lets reads reach 1023; writes stay at 255.
  build({input(0, 1)}, 1, {5});
  chip(5, 0x3FF).registers[0] = 0x5A;
  EXPECT_EQ(SerialChannels::i2cRead(*context, "Des1_I2C", 0x3FF, &byte, 1, 0), 1u);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(sent(0x2F02)[0].args, (std::vector<uint32_t>{5, 0x3FF, 1, 1}));
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x400, &byte, 1, 0); }).code,
            -304447);
  EXPECT_EQ(
      raised([&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 0x100, &byte, 1, 0); }).code,
      -304447);
  EXPECT_EQ(raised([&] {
              SerialChannels::i2cWriteRead(*context, "Des1_I2C", 0x100, &byte, 1, &byte, 1, 0,
                                           nullptr, nullptr);
            }).code,
            -304447);
}

TEST_F(SerDesI2cTest, ReadsFetchFourBytesPerWordAndStoreNoMoreThanAsked) {
  sim::I2cChip& device = chip();
  for (int k = 0; k < 256; ++k) device.registers[k] = static_cast<uint8_t>(0xA0 + k);
  device.pointer = 0;
  uint8_t out[8] = {};
  EXPECT_EQ(SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, out, 6, 0x101), 6u);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
            (std::vector<uint8_t>{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0, 0}));
  const auto reads = sent(0x2F02);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].words[0], 0x00000005'00402F02u);
  EXPECT_EQ(reads[0].args, (std::vector<uint32_t>{5, 0x40, 0x00, 6}));
  EXPECT_EQ(reads[0].flags, 6u);
  ASSERT_EQ(sent(0x2F04).size(), 2u);
  EXPECT_EQ(sent(0x2F04)[0].words, std::vector<uint64_t>{0x2F04});
  EXPECT_EQ(sent(0x2F04)[0].flags, 2u);

  // A CLIP that reports more than was asked: every byte is fetched, only the asked ones stored.
  buses().reportedCount = 7;
  uint8_t three[4] = {0, 0, 0, 0xEE};
  clip.clearLog();
  EXPECT_EQ(SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, three, 3, 0), 7u);
  EXPECT_EQ(std::vector<uint8_t>(three, three + 4), (std::vector<uint8_t>{0xA6, 0xA7, 0xA8, 0xEE}));
  EXPECT_EQ(sent(0x2F04).size(), 2u);
  // A short read stores what came.
  buses().reportedCount = 1;
  EXPECT_EQ(SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, out, 6, 0), 1u);
  EXPECT_EQ(out[0], 0xAD);
  // The request carries only the length's low 8 bits.
  buses().reportedCount.reset();
  clip.clearLog();
  EXPECT_EQ(SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, out, 0x102, 0), 2u);
  EXPECT_EQ(sent(0x2F02)[0].args[3], 2u);
  EXPECT_EQ(engine.grants(), 4u);
  EXPECT_EQ(engine.releases(), 4u);
}

TEST_F(SerDesI2cTest, WriteThenReadInOneEngineHold) {
  sim::I2cChip& device = chip(9);
  device.registers[0x20] = 0x11;
  device.registers[0x21] = 0x22;
  const uint8_t pointer = 0x20;
  uint8_t out[2] = {};
  uint32_t written = 99, read = 99;
  SerialChannels::i2cWriteRead(*context, "Ser2_I2C", 0x40, &pointer, 1, out, 2, 0, &written, &read);
  EXPECT_EQ(written, 1u);
  EXPECT_EQ(read, 2u);
  EXPECT_EQ(out[0], 0x11);
  EXPECT_EQ(out[1], 0x22);
  std::vector<uint32_t> opcodes;
  for (const auto& i : clip.log()) opcodes.push_back(i.opcode);
  EXPECT_EQ(opcodes, (std::vector<uint32_t>{0x009, 0x003, 0x007, 0x006, 0x2F03, 0x2F02, 0x2F04}));
  EXPECT_EQ(engine.grants(), 1u);
  EXPECT_EQ(engine.releases(), 1u);
}

TEST_F(SerDesI2cTest, UnknownBusAndFailuresReleaseWhatWasTaken) {
  uint8_t byte = 0;
  // The write-then-read looks the bus up before it takes the engine; the read after.
  EXPECT_EQ(raised([&] {
              SerialChannels::i2cWriteRead(*context, "Ser7_I2C", 0x40, &byte, 1, &byte, 1, 0,
                                           nullptr, nullptr);
            }).code,
            -304448);
  EXPECT_EQ(engine.attempts(), 0u);
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Ser7_I2C", 0x40, &byte, 1, 0); }).code,
            -304448);
  EXPECT_EQ(engine.grants(), 1u);
  EXPECT_EQ(engine.releases(), 1u);

  // A failed instruction is raised as its own status, with the engine given back.
  chip();
  clip.script(0x2F04, {0, -50550});
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, &byte, 1, 0); }).code,
            -50550);
  EXPECT_FALSE(engine.heldByUs());
  EXPECT_EQ(engine.releases(), 2u);
  // So is a failed engine request.
  sim::Reply failure;
  failure.status = -50551;
  module.deviceInterface().script(sim::SerDesI2cEngine::kAcquire, failure);
  EXPECT_EQ(raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, &byte, 1, 0); }).code,
            -50551);
  EXPECT_EQ(engine.releases(), 2u);
}

TEST_F(SerDesI2cTest, ArgumentsATransferCannotCarryAreRefusedBeforeAnythingIsSent) {
  const std::vector<uint8_t> tooLong(1025);
  uint8_t byte = 0;
  const std::function<void()> calls[] = {
      [&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 0x40, tooLong.data(), 1025, 0); },
      [&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 0x40, nullptr, 1, 0); },
      [&] { SerialChannels::i2cWrite(*context, nullptr, 0x40, &byte, 1, 0); },
      [&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, nullptr, 1, 0); },
      [&] {
        SerialChannels::i2cWriteRead(*context, "Des1_I2C", 0x40, tooLong.data(), 1025, &byte, 1, 0,
                                     nullptr, nullptr);
      },
  };
  for (const auto& call : calls) EXPECT_EQ(raised(call).code, -52005);
  EXPECT_TRUE(clip.log().empty());
  EXPECT_EQ(engine.attempts(), 0u);
}

TEST_F(SerDesI2cTest, TheI2cInterfaceIsCheckedOnce) {
  uint8_t byte = 0;
  struct Row {
    uint32_t oldest, version;
    int32_t code;
  };
  // A <= B, A <= 1, B != 0.
  const Row rows[] = {{2, 2, -304307}, {1, 0, -304307}, {0, 0, -304307},
                      {2, 1, -304307}, {1, 1, 0},       {0, 5, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.oldest << "/" << row.version);
    context->fifo.checked = false;
    clip.setVersions(0x2F, row.version, row.oldest);
    EXPECT_EQ(
        raised([&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 0x40, &byte, 1, 0); }).code,
        row.code);
    EXPECT_EQ(context->fifo.checked.load(), row.code == 0);
  }
  clip.clearLog();
  SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, &byte, 1, 0);
  EXPECT_TRUE(sent(0x009).empty());

  context->fifo.checked = false;
  clip.setInterface(0x2F, {false, 0x402F, 1, 0});
  EXPECT_EQ(raised([&] { SerialChannels::i2cWrite(*context, "Des1_I2C", 0x40, &byte, 1, 0); }).code,
            -304306);
}

TEST_F(SerDesI2cTest, ABusyEngineIsAskedAgainEvery10Ms) {
  engine.refuse(3);
  uint8_t byte = 0;
  const auto start = std::chrono::steady_clock::now();
  SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, &byte, 1, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(engine.attempts(), 4u);
  EXPECT_EQ(engine.grants(), 1u);
}

TEST_F(SerDesI2cTest, AnEngineNeverGrantedTimesOutAfter1002Attempts) {
  engine.holdByOther();
  uint8_t byte = 0;
  const auto start = std::chrono::steady_clock::now();
  const Raised r =
      raised([&] { SerialChannels::i2cRead(*context, "Des1_I2C", 0x40, &byte, 1, 0); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(r.code, -52007);
  EXPECT_EQ(engine.attempts(), 1002u);
  EXPECT_GE(elapsed, std::chrono::seconds(10));
  EXPECT_EQ(engine.releases(), 0u);
  EXPECT_TRUE(clip.log().empty());
}

}  // namespace
