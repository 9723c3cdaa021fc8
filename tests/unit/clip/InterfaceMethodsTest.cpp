// Management methods and the fixed instruction routines against the simulated controller.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ClipTestbed.h"
#include "clip/DeviceResetGuard.h"
#include "clip/InterfaceMethods.h"
#include "clip/NameUtilities.h"
#include "foundation/errors/Exception.h"

namespace {

using cliptest::ClipTestbed;
using nQVVUSKS100::tStatus;
namespace ir = ififo_rpc;

using InterfaceMethodsTest = ClipTestbed;

TEST_F(InterfaceMethodsTest, ManagementMethodsReadTheInterfaceTable) {
  clip.setInterface(13, {true, 0x77, 5, 2});
  clip.setInterface(40, {false, 0xFFFFFFFF, 0, 0});
  tStatus status;
  EXPECT_TRUE(ir::isInterfaceSupported(ref, 13, &status));
  EXPECT_FALSE(ir::isInterfaceSupported(ref, 40, &status));
  EXPECT_FALSE(ir::isInterfaceSupported(ref, 41, &status));
  EXPECT_EQ(ir::getInterfaceHandle(ref, 13, &status), 0x77u);
  EXPECT_EQ(ir::getInterfaceHandle(ref, 41, &status), 0xFFFFFFFFu);
  EXPECT_EQ(ir::getInterfaceVersion(ref, 0x77, &status), 5u);
  EXPECT_EQ(ir::getInterfaceOldestCompatibleVersion(ref, 0x77, &status), 2u);
  EXPECT_EQ(status.code, 0);

  // Each is one call with its argument zero-extended after the header, no option bits.
  const auto sent = clip.log();
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[0].words, std::vector<uint64_t>{0xD00100009});
  EXPECT_EQ(sent[3].words, std::vector<uint64_t>{0xD00100003});
  EXPECT_EQ(sent[5].words, std::vector<uint64_t>{0x7700100006});
  EXPECT_EQ(sent[6].words, std::vector<uint64_t>{0x7700100007});
  for (const auto& i : sent) EXPECT_EQ(i.flags, 2u);
}

TEST_F(InterfaceMethodsTest, FixedRoutinesSendTheirOpcodeArgumentsAndOptionBits) {
  struct Row {
    uint16_t opcode;
    std::function<uint64_t()> send;
    uint64_t word0;  // by hand: (arg0 << 32) | (count << 20) | opcode
    std::vector<uint32_t> args;
    uint32_t flags;
    uint64_t result;
  };
  // The replies these routines turn into their results.
  clip.script(0x1504, {0, 0});
  clip.script(0x1508, {3, 0});
  clip.script(0x1404, {0xFFFFFFFE, 0});
  clip.script(0x1409, {9, 0});
  clip.script(0x101, {0, 0});
  clip.script(0x910, {2, 0});
  tStatus status;
  const Row rows[] = {
      {0x1504,
       [&] { return ir::sendInstruction1504(ref, 0xFF, 0x12345678, &status); },
       0xFF00201504,
       {0xFF, 0x12345678},
       2,
       0},
      {0x1508,
       [&] { return ir::sendInstruction1508(ref, 1, 2, &status); },
       0x100201508,
       {1, 2},
       2,
       1},
      {0x1404,
       [&] { return uint64_t(int64_t(ir::sendInstruction1404(ref, 4, 1))); },
       0x400201404,
       {4, 1},
       6,
       uint64_t(-2)},
      {0x1409,
       [&] { return uint64_t(ir::sendInstruction1409(ref, 0, 3)); },
       0x00201409,
       {0, 3},
       6,
       9},
      {0x0101, [&] { return ir::queryInstruction101(ref, 1); }, 0x100100101, {1}, 6, 0},
      {0x0910, [&] { return ir::queryInstruction910(ref, 7); }, 0x700100910, {7}, 2, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.opcode);
    clip.clearLog();
    EXPECT_EQ(row.send(), row.result);
    const auto sent = clip.log();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].words[0], row.word0);
    EXPECT_EQ(sent[0].args, row.args);
    EXPECT_EQ(sent[0].flags, row.flags);
  }
  EXPECT_EQ(status.code, 0);
}

TEST_F(InterfaceMethodsTest, RoutinesWithTheirOwnRecordRaiseTheInstructionsFailure) {
  clip.script(0x101, {1, -304300});
  try {
    ir::queryInstruction101(ref, 0);
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -304300);
  }
  // The caller's status collects the failure of 0x1504 instead.
  clip.script(0x1504, {1, -304300});
  tStatus status;
  EXPECT_TRUE(ir::sendInstruction1504(ref, 0, 0, &status));
  EXPECT_EQ(status.code, -304300);
}

// The route library's four entry points, recorded in call order.
struct RecordingRoutes : qvvandrelbrenmooru::DeviceResetRoutes {
  std::vector<std::string> calls;
  int32_t failInitiate = 0;
  void* created = reinterpret_cast<void*>(42);
  static std::string text(void* session) {
    return std::to_string(reinterpret_cast<uintptr_t>(session));
  }
  void* createSession(qverr::Status*) override {
    calls.push_back("create");
    return created;
  }
  void destroySession(void* session) override { calls.push_back("destroy " + text(session)); }
  void initiateDeviceReset(void* session, const char* name, qverr::Status* status) override {
    calls.push_back("initiate " + text(session) + " " + name);
    if (failInitiate != 0) status->code = failInitiate;
  }
  void completeDeviceReset(void* session, const char* name, qverr::Status*) override {
    calls.push_back("complete " + text(session) + " " + name);
  }
};

TEST(DeviceResetGuard, BracketsTheResetWithInitiateAndComplete) {
  RecordingRoutes routes;
  const std::string name = "PXI1Slot2";
  {
    qvvandrelbrenmooru::DeviceResetGuard guard(&routes, &name);
    routes.calls.push_back("download");
  }
  EXPECT_EQ(routes.calls, (std::vector<std::string>{"create", "initiate 42 PXI1Slot2", "download",
                                                    "complete 42 PXI1Slot2", "destroy 42"}));

  // A failed download still completes the announced reset.
  routes.calls.clear();
  try {
    qvvandrelbrenmooru::DeviceResetGuard guard(&routes, &name);
    throw std::runtime_error("download failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(routes.calls.size(), 4u);
  EXPECT_EQ(routes.calls[2], "complete 42 PXI1Slot2");

  // A null session that the library handed out with success is still completed and destroyed.
  routes.calls.clear();
  routes.created = nullptr;
  { qvvandrelbrenmooru::DeviceResetGuard guard(&routes, &name); }
  EXPECT_EQ(routes.calls[2], "complete 0 PXI1Slot2");
}

TEST(DeviceResetGuard, AFailedAnnouncementHoldsNoSessionAndRaisesNothing) {
  RecordingRoutes routes;
  routes.failInitiate = -89000;
  const std::string name = "dev";
  {
    qvvandrelbrenmooru::DeviceResetGuard guard(&routes, &name);
    EXPECT_EQ(guard.session(), nullptr);
    routes.calls.push_back("download");
  }
  EXPECT_EQ(routes.calls,
            (std::vector<std::string>{"create", "initiate 42 dev", "destroy 42", "download"}));

  // Without a route library the guard does nothing at all.
  qvvandrelbrenmooru::DeviceResetGuard none(nullptr, &name);
  EXPECT_EQ(none.session(), nullptr);
}

TEST(NameUtilities, TrailingNumberAndChannelFamily) {
  EXPECT_EQ(qvvandrel::parseTrailingNumber("CLK12"), 12);
  EXPECT_EQ(qvvandrel::parseTrailingNumber("Conn0/AI007"), 7);
  EXPECT_EQ(qvvandrel::parseTrailingNumber("123"), -1);
  EXPECT_EQ(qvvandrel::parseTrailingNumber(""), -1);
  EXPECT_THROW(qvvandrel::parseTrailingNumber("CLK"), std::invalid_argument);
  EXPECT_THROW(qvvandrel::parseTrailingNumber("AI99999999999"), std::out_of_range);

  EXPECT_EQ(qvvandrel::stripConnectorPrefix("Conn0/AI12"), "AI");
  EXPECT_EQ(qvvandrel::stripConnectorPrefix("PFI3"), "PFI");
  EXPECT_EQ(qvvandrel::stripConnectorPrefix("DIFF PFI3"), "DIFF PFI");
  EXPECT_EQ(qvvandrel::stripConnectorPrefix("Conn1/DIO7"), "DIO");
  EXPECT_EQ(qvvandrel::stripConnectorPrefix("42"), "");
}

}  // namespace
