#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/notify/tThreadController.h"

namespace {

using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::iThread;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tThreadController;

// Records where it ran and waits until released.
class Probe : public iThread {
 public:
  int32_t run() override {
    runs.fetch_add(1);
    sched_param parameter{};
    pthread_getschedparam(pthread_self(), &policy, &parameter);
    priority = parameter.sched_priority;
    tid = gettid();
    started.set_value();
    release.get_future().wait();
    return 0;
  }
  std::atomic<int> runs{0};
  int policy = -1;
  int priority = -1;
  pid_t tid = 0;
  std::promise<void> started;
  std::promise<void> release;
};

std::string commOf(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

bool anyThreadNamed(const std::string& name) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(entry.path() / "comm");
    std::string comm;
    std::getline(in, comm);
    if (comm == name) return true;
  }
  return false;
}

TEST(ThreadController, NamedNormalThreadAtPriorityZero) {
  Probe probe;
  tThreadController controller;
  nQVVUSKS100::tStatus status;
  controller.start(&probe, 0, "qvkel::DeviceNotificationObserver", &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_TRUE(controller.isRunning());
  EXPECT_TRUE(controller.isJoinable());
  probe.started.get_future().wait();
  EXPECT_EQ(probe.policy, SCHED_OTHER);
  EXPECT_EQ(probe.priority, 0);
  // The kernel keeps 15 characters of the name.
  EXPECT_EQ(commOf(probe.tid), "qvkel::DeviceNo");
  EXPECT_TRUE(anyThreadNamed("qvkel::DeviceNo"));
  probe.release.set_value();
  controller.join();
  EXPECT_FALSE(controller.isRunning());
  EXPECT_FALSE(controller.isJoinable());
  EXPECT_EQ(probe.runs.load(), 1);
}

TEST(ThreadController, RealTimePriorityGivesRoundRobin) {
  Probe probe;
  tThreadController controller;
  nQVVUSKS100::tStatus status;
  controller.start(&probe, 1, "qvvandrelbrenmooru", &status);
  if (status.code == 0) {
    probe.started.get_future().wait();
    EXPECT_EQ(probe.policy, SCHED_RR);
    EXPECT_EQ(probe.priority, 1);
    EXPECT_EQ(commOf(probe.tid), "qvvandrelbrenmo");
    probe.release.set_value();
    controller.join();
  } else {
    // A process without real-time rights: creation fails and no thread exists.
    EXPECT_EQ(status.code, -52008);
    EXPECT_STREQ(status.file, "thread");
    EXPECT_EQ(status.line, 632u);
    EXPECT_FALSE(controller.isRunning());
    EXPECT_EQ(probe.runs.load(), 0);
  }
}

TEST(ThreadController, SecondStartWhileRunningIsRefused) {
  Probe probe;
  Probe other;
  tThreadController controller;
  nQVVUSKS100::tStatus status;
  controller.start(&probe, 0, "first", &status);
  ASSERT_EQ(status.code, 0);
  controller.start(&other, 0, "second", &status);
  EXPECT_EQ(status.code, -52016);
  EXPECT_STREQ(status.file, "tThreadController");
  EXPECT_EQ(status.line, 56u);
  EXPECT_STREQ(status.component, "qvvandrel");
  EXPECT_TRUE(controller.isRunning());
  probe.started.get_future().wait();
  probe.release.set_value();
  controller.join();
  EXPECT_EQ(other.runs.load(), 0);
}

TEST(ThreadController, JoinTwiceJoinsOnceAndRestartWorks) {
  tThreadController controller;
  controller.join();  // nothing started: nothing happens
  EXPECT_FALSE(controller.isJoinable());

  Probe probe;
  nQVVUSKS100::tStatus status;
  controller.start(&probe, 0, "once", &status);
  probe.started.get_future().wait();
  probe.release.set_value();
  controller.join();
  EXPECT_FALSE(controller.isJoinable());
  const auto start = std::chrono::steady_clock::now();
  controller.join();  // already joined: returns at once without touching the old handle
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  Probe again;
  controller.start(&again, 0, "again", &status);
  ASSERT_EQ(status.code, 0);
  again.started.get_future().wait();
  again.release.set_value();
  controller.join();
  EXPECT_EQ(again.runs.load(), 1);
}

// A join asked on the thread itself fails: the thread still counts as running, so that its
// owner's join from another thread still waits for it.
TEST(ThreadController, AJoinOnTheThreadItselfFailsAndLeavesItRunning) {
  struct SelfJoin : iThread {
    int32_t run() override {
      started.get_future().wait();
      onStartedThread = tThreadController::onStartedThread();
      joined = controller.join();
      stillRunning = controller.isRunning();
      return 0;
    }
    tThreadController controller;
    std::promise<void> started;
    bool onStartedThread = false, joined = true, stillRunning = false;
  } body;
  nQVVUSKS100::tStatus status;
  body.controller.start(&body, 0, "self-join", &status);
  ASSERT_EQ(status.code, 0);
  body.started.set_value();
  EXPECT_TRUE(body.controller.join());
  EXPECT_FALSE(body.controller.isRunning());
  EXPECT_FALSE(body.joined);
  EXPECT_TRUE(body.stillRunning);
  EXPECT_TRUE(body.onStartedThread);
  EXPECT_FALSE(tThreadController::onStartedThread());
}

TEST(ThreadController, NegativePriorityIsRejectedByTheNormalPolicy) {
  Probe probe;
  tThreadController controller;
  nQVVUSKS100::tStatus status;
  controller.start(&probe, -1, "negative", &status);
  EXPECT_EQ(status.code, -52008);
  EXPECT_EQ(status.line, 632u);
  EXPECT_FALSE(controller.isRunning());
  EXPECT_FALSE(controller.isJoinable());
  EXPECT_EQ(probe.runs.load(), 0);
}

TEST(ThreadController, StatusInErrorStartsNothing) {
  Probe probe;
  tThreadController controller;
  nQVVUSKS100::tStatus status;
  status.code = -1;
  controller.start(&probe, 0, "never", &status);
  EXPECT_EQ(status.code, -1);
  EXPECT_FALSE(controller.isRunning());
  EXPECT_EQ(probe.runs.load(), 0);
}

}  // namespace
