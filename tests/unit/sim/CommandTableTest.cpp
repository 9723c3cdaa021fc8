// The model's own command table, spot-checked against codes and lengths worked out by hand.
#include <set>

#include <gtest/gtest.h>

#include "sim/device/CommandTable.h"

namespace {

TEST(CommandTable, EveryCodeIsUniqueAndCarriesTheDescriptorSize) {
  std::set<uint32_t> codes;
  for (auto spans : {sim::deviceCommands(), sim::routingCommands()})
    for (const auto& c : spans) {
      EXPECT_TRUE(codes.insert(c.code).second) << std::hex << c.code;
      EXPECT_EQ((c.code >> 16) & 0x3FFF, 32u) << std::hex << c.code;
      if (c.outLen != 0) {
        EXPECT_GE(c.statusOffset, 0) << std::hex << c.code;
        EXPECT_LE(static_cast<uint32_t>(c.statusOffset) + 4, c.outLen) << std::hex << c.code;
      }
    }
  EXPECT_EQ(sim::deviceCommands().size(), 101u);
  EXPECT_EQ(sim::routingCommands().size(), 11u);
  EXPECT_EQ(codes.size(), 112u);
}

TEST(CommandTable, SpotChecks) {
  struct Expect {
    uint32_t code, in, out;
    int32_t status;
  };
  const Expect expected[] = {
      {0x80200904, 24, 12, 8}, {0x4020830B, 16, 0, -1}, {0x4020832B, 32, 16, 12},
      {0x4020832E, 56, 4, 0},  {0x80200604, 4, 20, 16}, {0x40200603, 20, 4, 0},
      {0x0020030D, 24, 8, 4},  {0x00208001, 56, 12, 8}, {0x0020800B, 24, 8, 4},
      {0x80200300, 4, 16, 8},  {0x4020830A, 48, 8, 4},  {0x40208320, 12, 12, 8},
  };
  for (const auto& e : expected) {
    const sim::CommandSpec* c = sim::findCommand(e.code);
    ASSERT_NE(c, nullptr) << std::hex << e.code;
    EXPECT_EQ(c->inLen, e.in) << std::hex << e.code;
    EXPECT_EQ(c->outLen, e.out) << std::hex << e.code;
    EXPECT_EQ(c->statusOffset, e.status) << std::hex << e.code;
  }
  EXPECT_EQ(sim::findCommand(0x00208009), nullptr) << "routing number 9 is not used";
  EXPECT_EQ(sim::commandCode(sim::kDirRead, 0x83, 0x16), 0x80208316u);
}

}  // namespace
