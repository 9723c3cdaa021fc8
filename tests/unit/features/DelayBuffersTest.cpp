// The delay buffers: presence from the design's registers, the delay turned into whole data
// clocks, the delay actually applied, and the writes of a deploy.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "ConverterTestbed.h"
#include "features/DelayBuffers.h"

namespace {

using attrtest::catchError;
using qvvandrel::DelayBuffers;

constexpr uint32_t kDataDelay = 0x20000019, kDataClockRate = 0x20000015;
constexpr const char* kClocks0 = "vandrel.buffer.delay.clocks 0";
constexpr const char* kReset0 = "vandrel.buffer.delay.reset 0";

class DelayBuffersTest : public featuretest::ConverterTestbed {
 protected:
  // Buffer 0 complete, buffer 1 with its clock register only unless `secondReset`.
  void openDesign(bool secondReset = false) {
    design.addRegister({kClocks0, 0x200, "U16"});
    design.addRegister({kReset0, 0x204, "Boolean"});
    design.addRegister({"vandrel.buffer.delay.clocks 1", 0x208, "U16"});
    if (secondReset) design.addRegister({"vandrel.buffer.delay.reset 1", 0x20C, "Boolean"});
    open({});
  }
  iattr::AttributeInterface<double>& delay(const char* buffer = "0") {
    return attribute<double>(kDataDelay, buffer);
  }
};

TEST_F(DelayBuffersTest, ABufferNeedsBothItsRegisters) {
  openDesign();
  DelayBuffers incomplete(*transport);
  ASSERT_EQ(incomplete.size(), 1u);
  commission(incomplete);
  EXPECT_EQ(registry.getChannelNames(kDataDelay), std::vector<std::string>{"0"});

  design.addRegister({"vandrel.buffer.delay.reset 1", 0x20C, "Boolean"});
  open({});
  EXPECT_EQ(DelayBuffers(*transport).size(), 2u);
}

TEST_F(DelayBuffersTest, DelaysBecomeWholeDataClocks) {
  openDesign();
  DelayBuffers buffers(*transport);
  auto& rate = standIn<kDataClockRate>("", 250.0e6);  // 4 ns a clock
  commission(buffers);
  struct Row {
    double rate;
    double delay;
    uint32_t clocks;
    double applied;
  };
  const Row rows[] = {
      {250.0e6, 40.0e-9, 10, 40.0e-9},
      {250.0e6, 39.99999e-9, 10, 40.0e-9},  // 0.9999975 of a clock counts as one
      {250.0e6, 38.0e-9, 9, 36.0e-9},
      {250.0e6, 0.0, 0, 0.0},
      {0.0, 12.7, 12, 12.0},  // a rate of 0: the delay is a clock count
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.delay);
    rate.set(row.rate);
    delay().set(row.delay);
    commit();
    EXPECT_EQ(writes(kClocks0), std::vector<uint32_t>{row.clocks});
    EXPECT_EQ(writes(kReset0), std::vector<uint32_t>{1});
    EXPECT_DOUBLE_EQ(delay().get(), row.applied);
  }
  // The clock count goes first, then the reset.
  EXPECT_EQ(writeOrder({kReset0, kClocks0}), (std::vector<std::string>{kClocks0, kReset0}));
}

TEST_F(DelayBuffersTest, WithoutARateDelaysCountClocksUpTo16Bits) {
  openDesign();
  DelayBuffers buffers(*transport);
  commission(buffers);
  delay().set(12.7);
  commit();
  EXPECT_EQ(writes(kClocks0), std::vector<uint32_t>{12});
  EXPECT_EQ(delay().get(), 12.0);
  delay().set(65535.9999);  // a count is truncated, however close to the next one
  commit();
  EXPECT_EQ(writes(kClocks0), std::vector<uint32_t>{65535});

  delay().set(7.0);
  commit();
  const double inf = std::numeric_limits<double>::infinity();
  for (double refused : {65536.0, -1.0, -0.5, inf, -inf, 1.0e300}) {
    SCOPED_TRACE(refused);
    delay().set(refused);
    const attrtest::Thrown thrown = catchError([&] { commit(); });
    EXPECT_EQ(thrown.code, -304408);
    EXPECT_TRUE(registers().writeLog().empty());
    EXPECT_EQ(buffers[0].clocks(), 7u);
  }
  delay().set(65536.0);
  EXPECT_EQ(
      catchError([&] { commit(); }).detail,
      attrtest::locationPrefix("DelayBuffer", 117, "QVVANDREL_Status_InvalidAttributeValue") +
          R"({"type":"usage","usage":"kUsageTypeRequestedValue","value":"65.536000e3","value_type":"float"},)"
          R"({"type":"usage","usage":"kUsageTypeAttributeIdentifier","value":536870937,"value_type":"int32_t","comment":"Data Delay"},)"
          R"({"type":"usage","usage":"kUsageTypeDataStream","value":"0","value_type":"string"})" +
          attrtest::kSectionEnd);
}

TEST_F(DelayBuffersTest, TheAttributeIsWiredBeforeTheRootsAndARepeatedCommissionRaises) {
  openDesign(true);
  DelayBuffers buffers(*transport);
  standIn<kDataClockRate>("", 250.0e6);
  commission(buffers);
  qvvandrel::Dependency* compile = kommissar.compileRoot().prerequisites().at(0);
  ASSERT_EQ(compile->dependents().size(), 3u);
  EXPECT_EQ(compile->dependents()[0], &buffers[0].delay());
  EXPECT_EQ(compile->dependents()[1], &kommissar.compileRoot());
  EXPECT_EQ(catchError([&] { buffers.commission(&kommissar.resolverRoots(), &registry); }).code,
            -52003);
}

}  // namespace
