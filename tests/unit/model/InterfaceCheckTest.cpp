// The interface checks and session command 0 against the simulated controller.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "../clip/ClipTestbed.h"
#include "foundation/errors/Exception.h"
#include "model/GatedDeviceCommand.h"
#include "model/IfifoInterfaceCheck.h"

namespace {

using cliptest::ClipTestbed;
using qvvandrel::IfifoInterfaceCheck;

template <typename F>
int32_t codeOf(F&& f) {
  try {
    f();
    return 0;
  } catch (const qverr::Exception& e) {
    return e.code();
  }
}

using InterfaceCheckTest = ClipTestbed;

struct Interface {
  uint16_t number;
  bool (IfifoInterfaceCheck::*compatible)();
  void (IfifoInterfaceCheck::*require)();
};
const Interface kInterfaces[] = {
    {2, &IfifoInterfaceCheck::isVersionCompatible2, &IfifoInterfaceCheck::requireInterface2},
    {3, &IfifoInterfaceCheck::isVersionCompatible, &IfifoInterfaceCheck::requireInterface3},
    {9, &IfifoInterfaceCheck::isVersionCompatible9, &IfifoInterfaceCheck::requireInterface9},
    {13, &IfifoInterfaceCheck::isVersionCompatible13, &IfifoInterfaceCheck::requireInterface13},
    {14, &IfifoInterfaceCheck::isVersionCompatible14, &IfifoInterfaceCheck::requireInterface14},
    {0x12, &IfifoInterfaceCheck::isVersionCompatible18, &IfifoInterfaceCheck::requireInterface18},
    {19, &IfifoInterfaceCheck::isVersionCompatible19, &IfifoInterfaceCheck::requireInterface19},
    {20, &IfifoInterfaceCheck::isVersionCompatible20, &IfifoInterfaceCheck::requireInterface20},
    {21, &IfifoInterfaceCheck::isVersionCompatible21, &IfifoInterfaceCheck::requireInterface21},
};
const Interface& interface(uint16_t number) {
  for (const Interface& i : kInterfaces)
    if (i.number == number) return i;
  throw std::out_of_range("no such interface");
}

TEST_F(InterfaceCheckTest, VersionRulesPerInterface) {
  struct Row {
    uint16_t interface;
    uint32_t oldest, current;
    bool compatible;
  };
  const Row rows[] = {
      {2, 0, 0, true},   {2, 1, 1, true},   {2, 1, 0, false},    {2, 2, 5, false},
      {3, 2, 5, true},   {3, 3, 5, false},  {3, 2, 2, true},     {3, 1, 1, true},
      {3, 2, 1, false},  {3, 0, 0, true},   {9, 2, 2, true},     {9, 0, 1, true},
      {9, 3, 5, false},  {9, 0, 0, false},  {9, 2, 1, false},    {13, 1, 0, false},
      {13, 0, 0, true},  {13, 1, 7, true},  {13, 2, 7, false},   {14, 1, 0, false},
      {14, 1, 9, false}, {14, 0, 9, true},  {0x12, 1, 0, false}, {0x12, 1, 2, true},
      {19, 0, 7, true},  {19, 1, 7, false}, {19, 1, 0, false},   {20, 0, 3, true},
      {20, 1, 3, false}, {21, 0, 0, true},  {21, 2, 9, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.interface << ": " << row.oldest << "/" << row.current);
    const Interface& i = interface(row.interface);
    clip.setVersions(row.interface, row.current, row.oldest);
    IfifoInterfaceCheck check{ref};
    EXPECT_EQ((check.*i.compatible)(), row.compatible);
    clip.clearLog();
    EXPECT_EQ(codeOf([&] { (check.*i.require)(); }), row.compatible ? 0 : -304307);
    EXPECT_EQ(check.done, row.compatible);
    // Support, handle, oldest compatible version, version, each asking for this interface.
    const auto log = clip.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].words[0], (uint64_t{row.interface} << 32) | 0x100009);
    EXPECT_EQ(log[1].words[0], (uint64_t{row.interface} << 32) | 0x100003);
    EXPECT_EQ(log[2].opcode, 0x007);
    EXPECT_EQ(log[3].opcode, 0x006);
    for (const auto& instruction : log) EXPECT_TRUE(instruction.isCall());
  }
}

TEST_F(InterfaceCheckTest, MissingInterfaceAndFailedQueries) {
  IfifoInterfaceCheck check{ref};
  clip.setInterface(3, {false, 0x4003, 1, 0});
  EXPECT_EQ(codeOf([&] { check.requireInterface3(); }), -304306);
  clip.setInterface(3, {true, 0xFFFFFFFF, 1, 0});
  EXPECT_FALSE(check.isVersionCompatible());
  EXPECT_EQ(codeOf([&] { check.requireInterface3(); }), -304307);

  // A failed version query makes the rule false rather than raising.
  clip.setInterface(3, {true, 0x4003, 1, 0});
  clip.script(0x007, {0, -50550});
  EXPECT_FALSE(check.isVersionCompatible());
  EXPECT_TRUE(check.isVersionCompatible());
  EXPECT_FALSE(check.done);
  // A failed support query is raised as itself.
  clip.script(0x009, {1, -50550});
  EXPECT_EQ(codeOf([&] { check.requireInterface3(); }), -50550);

  // The feature interfaces raise a failed version query as itself and stay unchecked; 3,
  // 0x12, 19 and 21 take it as incompatible.
  for (const Interface& i : kInterfaces) {
    SCOPED_TRACE(i.number);
    const bool raised = i.number != 3 && i.number != 0x12 && i.number != 19 && i.number != 21;
    for (uint16_t opcode : {0x003, 0x007, 0x006}) {
      IfifoInterfaceCheck other{ref};
      clip.script(opcode, {0, -50551});
      EXPECT_EQ(codeOf([&] { (other.*i.require)(); }), raised ? -50551 : -304307);
      EXPECT_FALSE(other.done);
    }
  }
  // A caller reading a failed query its own way gets the status back.
  nQVVUSKS100::tStatus status;
  clip.script(0x006, {0, -50552});
  EXPECT_FALSE(check.satisfies(3, &IfifoInterfaceCheck::oldestAtMostVersionOr2, &status));
  EXPECT_EQ(status.code, -50552);

  // Once done, nothing is asked again.
  check.requireInterface3();
  clip.clearLog();
  check.requireInterface3();
  EXPECT_TRUE(clip.log().empty());
}

class GatedCommandTest : public ClipTestbed {
 protected:
  GatedCommandTest() {
    nQVVUSKS100::tStatus status;
    mutex.create(&status);
    setAvailable(true);
  }
  sim::Interface& device() { return module.deviceInterface(); }
  void setAvailable(bool available) {
    device().clearScripts();
    device().script(kAvailable, sim::Reply{{uint8_t(available ? 1 : 0)}, 0, {}, 0, {}, false});
    device().script(kOperation, sim::Reply{{}, 0, {}, 0, {}, false});
  }
  int32_t run() {
    return codeOf([&] { qvvandrel::runGatedDeviceCommand(mutex, proxy, check); });
  }

  static constexpr uint32_t kAvailable = 0x00200606;
  static constexpr uint32_t kOperation = 0x0020050A;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex;
  IfifoInterfaceCheck check{ififo_rpc::FifoRef{&fifo, 1}};
};

TEST_F(GatedCommandTest, ReplyBelowTheThresholdRunsTheOperationOnce) {
  clip.setValue(0x309, 0x1680C09A);
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(device().count(kOperation), 1u);
  EXPECT_TRUE(check.done);
  // The instruction: interface 3, method 9, no arguments, a call.
  const auto gated = clip.log(0x309);
  ASSERT_EQ(gated.size(), 1u);
  EXPECT_EQ(gated[0].words, std::vector<uint64_t>{0x309});
  EXPECT_EQ(gated[0].flags, 2u);

  // A second command does not ask for interface 3 again.
  clip.clearLog();
  EXPECT_EQ(run(), 0);
  EXPECT_TRUE(clip.log(0x009).empty());
  EXPECT_EQ(clip.log(0x309).size(), 1u);
}

TEST_F(GatedCommandTest, RefusalsStopBeforeTheOperation) {
  struct Row {
    const char* what;
    std::function<void()> arrange;
    int32_t code;
  };
  const Row rows[] = {
      {"threshold", [&] { clip.setValue(0x309, 0x1680C09B); }, -304507},
      {"far above", [&] { clip.setValue(0x309, 0xFFFFFFFF); }, -304507},
      {"not available", [&] { setAvailable(false); }, -63193},
      {"no interface 3",
       [&] {
         clip.setInterface(3, {false, 0x4003, 1, 0});
       },
       -304306},
      {"interface 3 too new", [&] { clip.setVersions(3, 5, 3); }, -304307},
      {"instruction failed",
       [&] {
         clip.script(0x309, {0, -50550});
       },
       -50550},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    setAvailable(true);
    clip.clearScripts();
    clip.setInterface(3, {true, 0x4003, 1, 0});
    clip.setValue(0x309, 0);
    check.done = false;
    row.arrange();
    EXPECT_EQ(run(), row.code);
    EXPECT_EQ(device().count(kOperation), 0u);
    // The mutex is free again on every path.
    EXPECT_TRUE(mutex.tryLock());
    mutex.unlock();
  }
}

TEST_F(GatedCommandTest, ConcurrentCommandsCheckInterfaceThreeOnce) {
  constexpr int kPerThread = 20;
  auto runMany = [&] {
    for (int i = 0; i < kPerThread; ++i) EXPECT_EQ(run(), 0);
  };
  std::thread other(runMany);
  runMany();
  other.join();
  EXPECT_EQ(clip.log(0x009).size(), 1u);
  EXPECT_EQ(device().count(kOperation), 2u * kPerThread);
}

}  // namespace
