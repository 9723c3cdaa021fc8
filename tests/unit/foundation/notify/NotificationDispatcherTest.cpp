#include <sys/ioctl.h>

#include <chrono>
#include <future>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/notify/tNotificationDispatcher.h"
#include "sim/kernel/Testbed.h"

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::kWatchAllInterfaces;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tBasicString;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tNotificationDispatcher;

constexpr const char* kDevice = "qvvandrelbrenmoork_vandrelbrenmoor";

struct Taken {
  bool notified = false;
  std::string interfaceName;
  std::string prefix;
  bool arrived = false;
  int64_t code = 0;
};

// Takes one notification on another thread so a missing one fails instead of hanging.
Taken take(tNotificationDispatcher& dispatcher) {
  auto waiter = std::async(std::launch::async, [&] {
    Taken t;
    tBasicString name, prefix;
    nQVVUSKS100::tStatus status;
    dispatcher.waitForNotification(&t.notified, &name, &prefix, &t.arrived, &status);
    t.interfaceName = name.c_str();
    t.prefix = prefix.c_str();
    t.code = status.code;
    return t;
  });
  if (waiter.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    dispatcher.stop();  // releases the waiter so the test can fail cleanly
    ADD_FAILURE() << "no notification within 10 s";
  }
  return waiter.get();
}

TEST(NotificationDispatcher, OnlyWatchedInterfacesAreReported) {
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_FALSE(dispatcher.isStopped());

  testbed.createNode("PXI1Slot2\\routing_routing\\0");
  testbed.createNode("no-backslashes");
  testbed.createNode("PXI1Slot2\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  Taken t = take(dispatcher);
  EXPECT_TRUE(t.notified);
  EXPECT_TRUE(t.arrived);
  EXPECT_EQ(t.interfaceName, kDevice);
  EXPECT_EQ(t.prefix, "PXI1Slot2");

  testbed.deleteNode("PXI1Slot2\\routing_routing\\0");
  testbed.deleteNode("PXI1Slot2\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  t = take(dispatcher);
  EXPECT_TRUE(t.notified);
  EXPECT_FALSE(t.arrived);
  EXPECT_EQ(t.interfaceName, kDevice);
  EXPECT_EQ(t.prefix, "PXI1Slot2");
}

TEST(NotificationDispatcher, WatchAllReportsNamesWithoutInterfaceWhole) {
  sim::Testbed testbed;
  const char* names[] = {kWatchAllInterfaces};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  ASSERT_EQ(status.code, 0);
  testbed.createNode("plainnode");
  Taken t = take(dispatcher);
  EXPECT_TRUE(t.arrived);
  EXPECT_EQ(t.interfaceName, "plainnode");
  EXPECT_EQ(t.prefix, "");
  testbed.createNode("A\\routing_routing\\1");
  t = take(dispatcher);
  EXPECT_EQ(t.interfaceName, "routing_routing");
  EXPECT_EQ(t.prefix, "A");
}

TEST(NotificationDispatcher, RecreatedNodeFolderIsWatchedAgainAndRescanned) {
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  const std::string node = "M1\\qvvandrelbrenmoork_vandrelbrenmoor\\0";
  testbed.createNode(node);
  EXPECT_TRUE(take(dispatcher).arrived);

  testbed.removeNodeDirectory();
  Taken t = take(dispatcher);
  EXPECT_FALSE(t.arrived);
  EXPECT_EQ(t.prefix, "M1");

  // The node comes back with its folder before any watch exists on it: only a rescan of the
  // new folder can report it.
  testbed.createNodeDirectory(true);
  t = take(dispatcher);
  EXPECT_TRUE(t.notified);
  EXPECT_TRUE(t.arrived);
  EXPECT_EQ(t.prefix, "M1");

  // And the new folder is watched: a later node is reported.
  testbed.createNode("M2\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  t = take(dispatcher);
  EXPECT_TRUE(t.arrived);
  EXPECT_EQ(t.prefix, "M2");
}

TEST(NotificationDispatcher, MissingNodeFolderIsWaitedFor) {
  sim::Testbed testbed;
  testbed.removeNodeDirectory();
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  EXPECT_EQ(status.code, 0);
  testbed.createNode("X\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  testbed.createNodeDirectory(true);
  Taken t = take(dispatcher);
  EXPECT_TRUE(t.arrived);
  EXPECT_EQ(t.prefix, "X");
}

TEST(NotificationDispatcher, NineTakenLeaveEightPoolNodes) {
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  EXPECT_EQ(dispatcher.poolSize(), 0u);
  // Nine nodes appear at once with their folder, so all nine are pending together.
  testbed.removeNodeDirectory();
  for (int i = 0; i < 9; ++i)
    testbed.createNode("S" + std::to_string(i) + "\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  testbed.createNodeDirectory(true);
  for (int i = 0; i < 9; ++i) {
    Taken t = take(dispatcher);
    ASSERT_TRUE(t.notified);
    EXPECT_TRUE(t.arrived);
  }
  EXPECT_EQ(dispatcher.poolSize(), 8u);
}

TEST(NotificationDispatcher, BurstOfLongNamesIsReportedWhole) {
  // Events of 80 bytes and more: several per read, and reads that end between events.
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  ASSERT_EQ(status.code, 0);
  const std::string longPrefix(40, 'p');
  std::set<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    const std::string prefix = longPrefix + std::to_string(i);
    testbed.createNode(prefix + "\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
    testbed.createNode(prefix + "\\routing_routing\\0");  // not watched
    expected.insert(prefix);
  }
  std::set<std::string> seen;
  for (int i = 0; i < 40; ++i) {
    const Taken t = take(dispatcher);
    ASSERT_TRUE(t.notified);
    EXPECT_TRUE(t.arrived);
    EXPECT_EQ(t.interfaceName, kDevice);
    EXPECT_TRUE(seen.insert(t.prefix).second) << "twice: " << t.prefix;
  }
  EXPECT_EQ(seen, expected);
  // Nothing else is pending: the next wait only ends by stop.
  auto extra = std::async(std::launch::async, [&] {
    bool notified = false;
    nQVVUSKS100::tStatus s;
    dispatcher.waitForNotification(&notified, &s);
    return notified;
  });
  EXPECT_EQ(extra.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  dispatcher.stop();
  EXPECT_FALSE(extra.get());
}

TEST(NotificationDispatcher, StopTwiceWritesOneByte) {
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  dispatcher.stop();
  dispatcher.stop();
  EXPECT_TRUE(dispatcher.isStopped());
  int pending = -1;
  ASSERT_EQ(ioctl(dispatcher.wakeDescriptor(), FIONREAD, &pending), 0);
  EXPECT_EQ(pending, 1);
  bool notified = true;
  dispatcher.waitForNotification(&notified, &status);
  EXPECT_FALSE(notified);
}

TEST(NotificationDispatcher, StopReleasesAWaitingThread) {
  sim::Testbed testbed;
  const char* names[] = {kDevice};
  nQVVUSKS100::tStatus status;
  tNotificationDispatcher dispatcher(names, &status);
  auto waiter = std::async(std::launch::async, [&] {
    bool notified = true;
    nQVVUSKS100::tStatus s;
    dispatcher.waitForNotification(&notified, &s);
    return notified;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  dispatcher.stop();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(waiter.get());
}

}  // namespace
