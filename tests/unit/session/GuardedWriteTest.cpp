// The guarded 16-bit register write: the FPGA's operation lock held shared for the access, the
// bus-status check that bit 31 asks for, and a download that takes the lock in between.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "../attributes/TestSupport.h"
#include "SessionTestbed.h"

namespace {

using attrtest::catchError;
using sessiontest::kControlRegister;
using sessiontest::kRead32;
using sessiontest::kWrite32;
using namespace std::chrono_literals;

constexpr uint32_t kDownload = 0x4020830C;

class GuardedWriteTest : public sessiontest::SessionTestbed {
 protected:
  void write(uint32_t value, bool check) {
    qvvandrel::writeRegisterGuarded(*session, address("cfg"), value, check);
  }
};

TEST_F(GuardedWriteTest, ABusErrorIsRaisedAfterTheValueWasWritten) {
  open({sessiontest::designRegister("cfg", 0x20, "U16", true)});
  fpgaModel.setErrorBits(sim::FpgaModel::kBusErrorBit);
  EXPECT_EQ(catchError([&] { write(0xFFFF0042, true); }).code, -61046);
  EXPECT_EQ(registers().peek(address("cfg")), 0x42u);
  const std::vector<std::pair<uint32_t, uint32_t>> checked = {{kWrite32, address("cfg")},
                                                              {kRead32, kControlRegister}};
  EXPECT_EQ(accesses(), checked);
  // Without the check flag the status word is not read.
  sim.device().clearLog();
  write(0x43, false);
  const std::vector<std::pair<uint32_t, uint32_t>> unchecked = {{kWrite32, address("cfg")}};
  EXPECT_EQ(accesses(), unchecked);
  EXPECT_EQ(fpga->lock().count(), 1u);
}

TEST_F(GuardedWriteTest, AWriteWaitsForADownloadHoldingTheLock) {
  open({sessiontest::designRegister("cfg", 0x20, "U16")});
  std::atomic<bool> writerStarted{false};
  uint32_t duringDownload = 0xFFFFFFFF;
  std::thread writer;
  sim.device().handle(kDownload, [&](sim::Call&) {
    // The download holds the lock exclusively while the driver takes the bitstream.
    writer = std::thread([&] {
      writerStarted = true;
      write(7, false);
    });
    while (!writerStarted) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);  // time for a write that ignored the lock to land
    duringDownload = registers().peek(address("cfg"));
    return 0;
  });
  session->downloadFromBitfile();
  writer.join();
  EXPECT_EQ(duringDownload, 0u);
  EXPECT_EQ(registers().peek(address("cfg")), 7u);
  EXPECT_EQ(fpga->lock().count(), 1u);
}

TEST_F(GuardedWriteTest, AnFpgaThatCannotRunIsRefusedAndTheLockStaysFree) {
  design.allowImplicitEnableRemoval(true);
  open({sessiontest::designRegister("cfg", 0x20, "U16")}, qvkel::user::Fpga::kNoRun);
  fpgaModel.setReadsBeforeRunning(sim::FpgaModel::kNeverRuns);
  EXPECT_EQ(catchError([&] { write(5, false); }).code, -61214);
  EXPECT_EQ(registers().peek(address("cfg")), 0u);
  EXPECT_EQ(fpga->lock().count(), 1u);
  // A download still takes the lock.
  sim.device().clearLog();
  session->downloadFromBitfile();
  EXPECT_EQ(sim.device().count(kDownload), 1u);
}

}  // namespace
