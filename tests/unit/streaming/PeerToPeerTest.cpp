// Peer-to-peer endpoints through the host-facing FPGA session (slots 111 and 128) over a
// session with peer-to-peer FIFOs, the peer-to-peer library stand-in calling them, and a stream
// request passing through the session's invoke.
//
// The library is loaded once per process and stays loaded: the absent and missing-symbol cases
// run again in a fresh process of this program, so no earlier case's load reaches them however
// the program is run.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "StreamTestbed.h"
#include "session/SessionTransport.h"
#include "sim/device/PeerToPeer.h"
#include "sim/libs/MakerLibraries.h"
#include "streaming/SessionWithP2P.h"
#include "tests/unit/devkit/HostSessionFixture.h"

namespace {

using qvsim::BitfileBuilder;
using qvsim::DmaChannelSpec;
using tStatus = nQVVUSKS100::tStatus;

constexpr uint32_t kSink = 1;
constexpr uint32_t kWindow = 0x1000;

// Marks the program that inFreshProcess starts.
constexpr const char* kFreshProcess = "QV_TEST_FRESH_PROCESS";

// True in a process that this program started for the running case alone, where the case goes
// on. Elsewhere the case is run that way, its outcome expected to be a pass, and false is
// returned. A child that does not end within a minute is killed and fails the case.
bool inFreshProcess() {
  if (std::getenv(kFreshProcess) != nullptr) return true;
  const ::testing::TestInfo& info = *::testing::UnitTest::GetInstance()->current_test_info();
  std::string self = "/proc/self/exe";
  std::string filter = std::string("--gtest_filter=") + info.test_suite_name() + "." + info.name();
  std::vector<char*> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.push_back(*e);
  std::string mark = std::string(kFreshProcess) + "=1";
  environment.push_back(mark.data());
  environment.push_back(nullptr);
  char* arguments[] = {self.data(), filter.data(), nullptr};
  pid_t child = -1;
  EXPECT_EQ(::posix_spawn(&child, self.c_str(), nullptr, nullptr, arguments, environment.data()),
            0);
  if (child <= 0) return false;
  int state = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  pid_t ended = 0;
  while ((ended = ::waitpid(child, &state, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &state, 0);
    ADD_FAILURE() << "the case did not end in its own process";
    return false;
  }
  EXPECT_TRUE(WIFEXITED(state) && WEXITSTATUS(state) == 0)
      << "the case failed in its own process (its output is above)";
  return false;
}

// What the device generation's session does with stream requests: its invoke hands the record
// and the reply on unchanged to the dispatch, which runs on the session's own streaming feature.
class StreamSession final : public qvkel::user::SessionWithP2P, public qvvandrel::StreamingSession {
 public:
  template <typename... A>
  explicit StreamSession(std::shared_ptr<const qvkel::Bitfile> bitfile, A&&... parts)
      : SessionWithP2P(std::forward<A>(parts)...),
        transport_(*this, bitfile),
        api_(&transport_, {}) {}
  void invoke(uint32_t, uint32_t, uint64_t input, uint64_t inputSize, uint64_t output,
              uint64_t outputSize) override {
    qvvandrelbrenmooru::dispatchStreamRequest(*this, reinterpret_cast<const void*>(input),
                                              inputSize, reinterpret_cast<void*>(output),
                                              outputSize);
  }
  void lock() override { mutex_.lock(); }
  void unlock() override { mutex_.unlock(); }
  void commitHeld() override {}
  qvvandrel::StreamingAPI& streaming() override { return api_; }
  bool openedWithBit24() override { return isRestricted(); }
  qvkel::user::Session& fifoSession() override { return *this; }

 private:
  qvvandrel::SessionTransport transport_;
  qvvandrel::StreamingAPI api_;
  std::mutex mutex_;
};

class PeerToPeerTest : public devkit_test::HostSessionTest {
 protected:
  PeerToPeerTest() {
    factory.makeSession = [](auto&&... parts) {
      return std::make_unique<qvkel::user::SessionWithP2P>(parts...);
    };
    library(sim::LibraryChoice::Present);
    control.reset();
  }
  // Channel 0 an ordinary FIFO, channel 1 a peer-to-peer writer with a write window.
  static BitfileBuilder design() {
    BitfileBuilder builder;
    builder.addChannel(DmaChannelSpec("Data", 0, "U32", 0x100));
    DmaChannelSpec sink("Sink", kSink, "I16", 0x200);
    sink.implementation = "qvFpgaPeerToPeerWriter";
    sink.writeWindowTag = "SinkWindow";
    sink.writeWindowSize = kWindow;
    builder.addChannel(sink);
    return builder;
  }
  void library(sim::LibraryChoice choice,
               sim::libs::Variant variant = sim::libs::Variant::Present) {
    sim.testbed.setLibrary("libqvp2p.so", choice, sim::libs::standInPath("libqvp2p.so", variant));
  }
  // Opens a host session; the status of the open.
  int32_t openStatus(const BitfileBuilder& builder, uint32_t attributes = 0) {
    session = closed();
    tStatus status;
    session->open(writeBitfile(builder).c_str(), kSignature, attributes, &status);
    return status.code;
  }
  // Slot 111's status; the identifier in `id`.
  int32_t endpointId(devkit_test::HostSession& host, uint32_t fifo) {
    tStatus status;
    host->getPeerToPeerEndpoint(fifo, &id, &status);
    return status.code;
  }

  sim::libs::P2PControl control;
  sim::PeerToPeer peerToPeer{sim.device()};
  devkit_test::HostSession session;
  uint32_t id = 0;
};

TEST_F(PeerToPeerTest, AWriterFifoRegistersAnEndpointThatTheLibraryAndTheHostReach) {
  ASSERT_EQ(openStatus(design()), 0);
  EXPECT_EQ(control.calls(), std::vector<std::string>{"register 1"});
  EXPECT_EQ(endpointId(session, kSink), 0);
  EXPECT_EQ(id, 1u);
  EXPECT_EQ(endpointId(session, 0), -52006);

  // Through the library's own slot table, from its own thread.
  peerToPeer.setValue(kSink, 0xC0FFEE);
  uint32_t value = 0, version = 0, record[4] = {};
  EXPECT_EQ(control.query(1, &value), 0);
  EXPECT_EQ(value, 0xC0FFEEu);
  EXPECT_EQ(control.describe(1, nullptr, &version), 0);
  EXPECT_EQ(version, 1u);
  EXPECT_EQ(control.describe(1, record, &version), 0);
  EXPECT_EQ(std::vector<uint32_t>(record, record + 4), (std::vector<uint32_t>{16, 16, 16, 1}));

  session.reset();
  EXPECT_EQ(control.calls(), (std::vector<std::string>{"register 1", "unregister 1"}));
  control.failNext("qvstreamuRegisterEndpointInternal", -308123);
  EXPECT_EQ(openStatus(design()), -308123);
}

TEST_F(PeerToPeerTest, TheLibraryQueriesAnEndpointThatOutlivedItsSession) {
  ASSERT_EQ(openStatus(design()), 0);
  tStatus status;
  devkit_test::HostSession clone(static_cast<qvkel::IFpgaSession207*>(session->clone(&status)));
  ASSERT_EQ(status.code, 0);
  session.reset();
  EXPECT_EQ(control.calls(), std::vector<std::string>{"register 1"});
  peerToPeer.setValue(kSink, 77);
  uint32_t value = 0;
  EXPECT_EQ(control.query(1, &value), 0);
  EXPECT_EQ(value, 77u);
  EXPECT_EQ(endpointId(clone, kSink), 0);
  EXPECT_EQ(id, 1u);
  clone.reset();
  EXPECT_EQ(control.registered(), 0);
}

TEST_F(PeerToPeerTest, AnIdleFpgaGivesNoIdentifier) {
  BitfileBuilder builder = design();
  builder.allowImplicitEnableRemoval(true);
  ASSERT_EQ(openStatus(builder, qvkel::user::Fpga::kNoRun), 0);
  EXPECT_EQ(endpointId(session, kSink), -61214);
}

TEST_F(PeerToPeerTest, SlotOneTwentyEightMapsTheWriteWindowUntilTheHostCleansUp) {
  sim::Region& window = peerToPeer.addSinkWindow(kSink, kWindow);
  ASSERT_EQ(openStatus(design()), 0);
  uint64_t size = 0, address = 0;
  void* context = nullptr;
  qvkel::PeerToPeerCleanupCallback cleanup = nullptr;
  auto map = [&]() {
    tStatus status;
    session->openPeerToPeerFifoBuffer(kSink, &size, &address, &context, &cleanup, &status);
    return status.code;
  };
  ASSERT_EQ(map(), 0);
  EXPECT_EQ(size, kWindow);
  std::memcpy(reinterpret_cast<void*>(address + kWindow - 4), "peer", 4);
  EXPECT_EQ(std::memcmp(window.data() + kWindow - 4, "peer", 4), 0);
  void* first = context;
  EXPECT_EQ(map(), -63082);
  cleanup(first, kSink);
  const std::vector<sim::MapRecord> maps = sim.device().maps();
  ASSERT_EQ(maps.size(), 1u);
  EXPECT_TRUE(maps[0].unmapped);
  EXPECT_EQ(maps[0].offset, static_cast<off_t>((0x4000 | kSink) * getpagesize()));
  ASSERT_EQ(map(), 0);
  cleanup(context, kSink);
  EXPECT_EQ(factory.fpga->handlerCount(), 0u);
}

TEST_F(PeerToPeerTest, WithoutTheLibraryOnlyDesignsWithoutPeerToPeerFifosOpen) {
  if (!inFreshProcess()) return;
  library(sim::LibraryChoice::Absent);
  BitfileBuilder plain;
  plain.addChannel(DmaChannelSpec("Data", 0, "U32", 0x100));
  EXPECT_EQ(openStatus(plain), 0);
  EXPECT_EQ(openStatus(design()), -308001);
}

TEST_F(PeerToPeerTest, ALibraryThatCannotUnregisterIsRefused) {
  if (!inFreshProcess()) return;
  library(sim::LibraryChoice::MissingSymbol, sim::libs::Variant::MissingSymbol);
  EXPECT_EQ(openStatus(design()), -308001);
}

TEST_F(PeerToPeerTest, AStreamRequestPassesThroughTheHostSessionsInvoke) {
  factory.makeSession = [](auto&&... parts) {
    std::shared_ptr<const qvkel::Bitfile> bitfile = std::get<6>(std::forward_as_tuple(parts...));
    return std::make_unique<StreamSession>(bitfile, parts...);
  };
  BitfileBuilder builder = design();
  builder.addStream({.number = 3, .hostFifos = {0}});
  ASSERT_EQ(openStatus(builder), 0);
  sim::StreamUnit unit(sim.module, 3,
                       [&](const std::string& name) { return builder.findRegisterAddress(name); });
  unit.transfer(12);
  streamtest::RequestRecord start(271, 3);
  uint8_t reply[10];
  std::memset(reply, 0xFF, sizeof reply);
  tStatus status;
  for (uint64_t replySize : {9, 8}) {
    session->invoke(2, 256, reinterpret_cast<uint64_t>(start.bytes.data()), 24,
                    reinterpret_cast<uint64_t>(reply), replySize, &status);
  }
  EXPECT_EQ(status.code, -52005);  // the short reply reached the dispatch unchanged
  const uint8_t expected[10] = {12, 0, 0, 0, 0, 0, 0, 0, 3, 0xFF};
  EXPECT_EQ(std::memcmp(reply, expected, sizeof reply), 0);
}

}  // namespace
