#include "devkit/IoAccessor.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/devkit/DevkitTestUtil.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

using devkit_test::codeOf;
using qvkel::user::IoAccessorIoctl;
using qvkel::user::ReadWriteBlockHelpers;

constexpr uint32_t kRead32 = 0x80208316, kWrite32 = 0x40208317;
constexpr uint32_t kReadBlock = 0x80208314, kWriteBlock = 0x40208315;
constexpr uint32_t kWexControl = 0x8004;

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

class IoAccessorTest : public ::testing::Test {
 protected:
  sim::LogEntry lastLog() { return sim.device().log().back(); }

  devkit_test::SimulatedModule sim;
  IoAccessorIoctl accessor{sim.proxy};
  ReadWriteBlockHelpers blocks{&accessor, kWexControl};
  sim::RegisterFile& registers = sim.module.registers();
};

TEST_F(IoAccessorTest, SixtyFourBitValuesMoveHighWordFirst) {
  blocks.writeU64(0x100, 0x1122334455667788ull, false);
  EXPECT_EQ(registers.peek(0x100), 0x11223344u);
  EXPECT_EQ(registers.peek(0x104), 0x55667788u);
  // One block write of 8 bytes in 32-bit accesses, flags 0: {offset, pad, buffer, bytes,
  // width, flags, status}.
  sim::LogEntry write = lastLog();
  EXPECT_EQ(write.command, kWriteBlock);
  EXPECT_EQ(le32(write.input, 0), 0x100u);
  EXPECT_EQ(le32(write.input, 16), 8u);
  EXPECT_EQ(le32(write.input, 20), 4u);
  EXPECT_EQ(le32(write.input, 24), 0u);

  registers.poke(0x200, 0x80000000);
  registers.poke(0x204, 0x00000001);
  EXPECT_EQ(blocks.readU64(0x200, false), 0x8000000000000001ull);
  EXPECT_EQ(blocks.readI64(0x200, false), static_cast<int64_t>(0x8000000000000001ull));
  EXPECT_EQ(lastLog().command, kReadBlock);

  double values[3] = {1.5, -2.25, 1e300};
  blocks.writeBlock64(0x300, values, 3, false);
  double back[3] = {};
  blocks.readBlock64(0x300, back, 3, false);
  EXPECT_EQ(std::memcmp(values, back, sizeof values), 0);
  uint64_t bits;
  std::memcpy(&bits, &values[1], 8);
  EXPECT_EQ(registers.peek(0x308), static_cast<uint32_t>(bits >> 32));
}

// An empty array may come without elements.
TEST_F(IoAccessorTest, EmptyBlocksNeedNoElements) {
  blocks.writeBlock64(0x100, static_cast<const uint64_t*>(nullptr), 0, false);
  blocks.readBlock64(0x100, static_cast<double*>(nullptr), 0, false);
  blocks.writeBlock32(0x100, static_cast<const uint32_t*>(nullptr), 0, false);
  blocks.readBlock32(0x100, static_cast<float*>(nullptr), 0, false);
  EXPECT_EQ(registers.peek(0x100), 0u);
}

TEST_F(IoAccessorTest, ThirtyTwoBitBlocksUseTheSingleWordCommandForOneElement) {
  uint32_t one = 7;
  blocks.writeBlock32(0x40, &one, 1, false);
  EXPECT_EQ(lastLog().command, kWrite32);
  int32_t read = 0;
  blocks.readBlock32(0x40, &read, 1, false);
  EXPECT_EQ(lastLog().command, kRead32);
  EXPECT_EQ(read, 7);

  float many[2] = {1.0f, 2.0f};
  blocks.writeBlock32(0x48, many, 2, false);
  EXPECT_EQ(lastLog().command, kWriteBlock);
  EXPECT_EQ(le32(lastLog().input, 16), 8u);
  float back[2] = {};
  blocks.readBlock32(0x48, back, 2, false);
  EXPECT_EQ(lastLog().command, kReadBlock);
  EXPECT_EQ(back[1], 2.0f);
}

TEST_F(IoAccessorTest, OddOffsetsAreRefusedAndTheLowBitsCleared) {
  size_t before = sim.device().log().size();
  EXPECT_EQ(codeOf([&] { accessor.read32(0x101); }), -63084);
  uint8_t buffer[8];
  EXPECT_EQ(codeOf([&] { accessor.writeBlock(0x103, buffer, 8, 4, 0); }), -63084);
  EXPECT_EQ(sim.device().log().size(), before);  // nothing reached the driver

  registers.poke(0x100, 0xCAFE);
  EXPECT_EQ(accessor.read32(0x102), 0xCAFEu);
  EXPECT_EQ(le32(lastLog().input, 0), 0x100u);
}

TEST_F(IoAccessorTest, CheckedAccessReportsTheBusErrorAfterTheDataMoved) {
  registers.poke(kWexControl, 0x12);  // running, bus error
  uint64_t value = 0x0102030405060708ull;
  EXPECT_EQ(codeOf([&] { blocks.writeU64(0x500, value, true); }), -61046);
  EXPECT_EQ(registers.peek(0x504), 0x05060708u);
  EXPECT_EQ(lastLog().command, kRead32);
  EXPECT_EQ(le32(lastLog().input, 0), kWexControl);

  registers.poke(kWexControl, 0x2);
  EXPECT_EQ(blocks.checkAccessStatus(), 0x2u);
  EXPECT_EQ(codeOf([&] { blocks.readU64(0x500, true); }), 0);
}

TEST_F(IoAccessorTest, DriverFailuresAreRaisedAndOversizedBlocksRefused) {
  sim.device().script(kRead32, sim::Reply{{}, -63036, {}, 0, {}, true});
  EXPECT_EQ(codeOf([&] { accessor.read32(0x10); }), -63036);
  sim.device().script(kWrite32, sim::Reply{{}, {}, {}, EIO, {}, true});
  EXPECT_EQ(codeOf([&] { accessor.write32(0x10, 1); }), -52024);

  size_t before = sim.device().log().size();
  uint8_t buffer[4];
  EXPECT_EQ(codeOf([&] { accessor.readBlock(0x10, buffer, 0x100000000ull, 4, 0); }), -52005);
  EXPECT_EQ(sim.device().log().size(), before);
}

}  // namespace
