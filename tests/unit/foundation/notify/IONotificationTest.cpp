#include <linux/netlink.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/driver/tInterfaceProxy_routing.h"
#include "foundation/notify/tDemotionNotification.h"
#include "foundation/notify/tIONotificationReader.h"
#include "sim/device/Module.h"
#include "sim/device/RoutingNotices.h"
#include "sim/kernel/Testbed.h"

namespace {

using nQVVANDRELBRENMOORU_22_8::tDemotionNotification;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_routing;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tIONotificationReader;

// A routing module with its notice side, and a proxy opened on its node.
class Routing : public ::testing::Test {
 protected:
  void SetUp() override {
    notices = std::make_unique<sim::RoutingNotices>(module.routingInterface());
    nQVVUSKS100::tStatus status;
    proxy.open(module.routingInterface().nodePath().c_str(), &status);
    ASSERT_EQ(status.code, 0);
  }

  sim::Testbed testbed;
  sim::Module module{testbed, "PXI1Slot2"};
  std::unique_ptr<sim::RoutingNotices> notices;
  tInterfaceProxy_routing proxy;
};

std::vector<uint8_t> le(uint64_t v, size_t n) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}

TEST_F(Routing, ArmSendsTheRegistrationRecord) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  ASSERT_EQ(status.code, 0);
  ASSERT_NE(reader.portId(), 0u);
  tDemotionNotification demotion;
  demotion.arm(reader, &proxy, 0x01020304, &status);
  ASSERT_EQ(status.code, 0);
  EXPECT_TRUE(demotion.isArmed());

  const auto log = module.routingInterface().log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, 0x4010FF00u);
  EXPECT_TRUE(log[0].raw);
  // {u64 object address, u32 port, u32 route}, little-endian.
  std::vector<uint8_t> expected = le(reinterpret_cast<uint64_t>(&demotion), 8);
  for (uint8_t b : le(reader.portId(), 4)) expected.push_back(b);
  for (uint8_t b : {0x04, 0x03, 0x02, 0x01}) expected.push_back(b);
  EXPECT_EQ(log[0].input, expected);
}

TEST_F(Routing, NoticeReachesReadWithKindPayloadAndEcho) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(4, &status);
  tDemotionNotification demotion;
  demotion.arm(reader, &proxy, 7, &status);
  ASSERT_EQ(status.code, 0);

  const std::array<uint8_t, 5> payload = {0xDE, 0xAD, 0xBE, 0xEF, 0x01};
  ASSERT_EQ(notices->notify(7, 2, payload), 0);
  ASSERT_EQ(notices->notify(7, 1, {}), 0);

  uint32_t kind = 99;
  uint8_t buffer[32];
  std::memset(buffer, 0xAA, sizeof buffer);
  uint32_t length = 99;
  uint64_t echo = reader.read(&kind, buffer, &length, &status, 2000);
  ASSERT_EQ(status.code, 0);
  EXPECT_EQ(echo, reinterpret_cast<uint64_t>(&demotion));
  EXPECT_EQ(kind, 1u);  // attribute type 2
  ASSERT_EQ(length, 5u);
  EXPECT_EQ(std::memcmp(buffer, payload.data(), 5), 0);
  EXPECT_EQ(buffer[5], 0xAA);

  echo = reader.read(&kind, buffer, &length, &status, 2000);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(echo, reinterpret_cast<uint64_t>(&demotion));
  EXPECT_EQ(kind, 0u);  // attribute type 1
  EXPECT_EQ(length, 0u);
}

TEST_F(Routing, DisarmSendsTheRouteIdAsArgument) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  tDemotionNotification demotion;
  demotion.arm(reader, &proxy, 42, &status);
  ASSERT_EQ(notices->armedCount(), 1u);
  demotion.disarm();
  EXPECT_FALSE(demotion.isArmed());
  EXPECT_EQ(notices->armedCount(), 0u);
  const auto log = module.routingInterface().log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].command, 0xFF01u);
  EXPECT_EQ(log[1].arg, 42u);
  // Not armed any more: nothing is sent.
  demotion.disarm();
  EXPECT_EQ(module.routingInterface().log().size(), 2u);
}

TEST_F(Routing, DisarmOnAClosedProxySendsNothing) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  tDemotionNotification demotion;
  demotion.arm(reader, &proxy, 5, &status);
  ASSERT_TRUE(demotion.isArmed());
  proxy.close();
  demotion.disarm();
  EXPECT_FALSE(demotion.isArmed());
  EXPECT_EQ(module.routingInterface().count(0xFF01), 0u);
}

TEST_F(Routing, FailedArmIsOsFaultWhateverTheErrno) {
  sim::Reply refuse;
  refuse.err = EPERM;
  module.routingInterface().script(0x4010FF00, refuse);
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  tDemotionNotification demotion;
  demotion.arm(reader, &proxy, 5, &status);
  EXPECT_EQ(status.code, -52008);
  EXPECT_STREQ(status.file, "tIONotification");
  EXPECT_EQ(status.line, 245u);
  EXPECT_FALSE(demotion.isArmed());
}

TEST_F(Routing, ArmWithAnErrorInTheStatusSendsNothing) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  tDemotionNotification demotion;
  status.code = -52000;
  demotion.arm(reader, &proxy, 5, &status);
  EXPECT_EQ(status.code, -52000);
  EXPECT_FALSE(demotion.isArmed());
  EXPECT_TRUE(module.routingInterface().log().empty());
}

TEST(IONotificationReader, TimeOutWithNothingPending) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  uint32_t kind = 77, length = 77;
  uint8_t buffer[32];
  EXPECT_EQ(reader.read(&kind, buffer, &length, &status, 0), 0u);
  EXPECT_EQ(status.code, -52007);
  EXPECT_EQ(status.line, 199u);
  EXPECT_EQ(kind, 77u);
  EXPECT_EQ(length, 77u);
}

TEST(IONotificationReader, CancelWakesABlockedRead) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  auto blocked = std::async(std::launch::async, [&] {
    nQVVUSKS100::tStatus readStatus;
    uint32_t kind = 77, length = 77;
    uint8_t buffer[32];
    const uint64_t echo = reader.read(&kind, buffer, &length, &readStatus, -1);
    return std::array<uint64_t, 4>{echo, kind, length, static_cast<uint64_t>(readStatus.code)};
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  reader.cancel(&status);
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(blocked.get(), (std::array<uint64_t, 4>{0, 2, 0, 0}));
  EXPECT_EQ(status.code, 0);
}

TEST(IONotificationReader, CancelBeforeReadReleasesTheNextRead) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  reader.cancel(&status);
  reader.cancel(&status);
  uint32_t kind = 0, length = 9;
  uint8_t buffer[32];
  for (int i = 0; i < 2; ++i) {
    kind = 0;
    EXPECT_EQ(reader.read(&kind, buffer, &length, &status, 1000), 0u);
    EXPECT_EQ(kind, 2u);
    EXPECT_EQ(length, 0u);
  }
  EXPECT_EQ(status.code, 0);
  reader.read(&kind, buffer, &length, &status, 0);
  EXPECT_EQ(status.code, -52007);
}

TEST(IONotificationReader, DepthAboveThirtyTwoBitsIsRefused) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0x100000000ull, &status);
  EXPECT_EQ(status.code, -52005);
  EXPECT_STREQ(status.file, "tIONotification");
  EXPECT_EQ(status.line, 51u);
  EXPECT_EQ(reader.portId(), 0u);
}

// Sends hand-made messages from a socket of the test's own.
class RawSender {
 public:
  RawSender() {
    fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_GENERIC);
    sockaddr_nl self{};
    self.nl_family = AF_NETLINK;
    bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self);
  }
  ~RawSender() { close(fd_); }
  void send(uint32_t port, const std::vector<uint8_t>& bytes) {
    sockaddr_nl to{};
    to.nl_family = AF_NETLINK;
    to.nl_pid = port;
    ASSERT_EQ(
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fd_;
};

// A message worked out by hand: 16-byte netlink header, 4-byte generic header, attribute
// header {length, type}, u64 echo, u32 payload length, payload.
std::vector<uint8_t> handMade(uint32_t declaredLength, uint16_t type, uint16_t attributeType,
                              uint64_t echo, uint32_t payloadLength,
                              const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> m;
  auto put = [&](uint64_t v, size_t n) {
    for (size_t i = 0; i < n; ++i) m.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(declaredLength, 4);
  put(type, 2);
  put(0, 2);
  put(1, 4);
  put(0, 4);
  put(0x00000101, 4);
  put(16 + payload.size(), 2);
  put(attributeType, 2);
  put(echo, 8);
  put(payloadLength, 4);
  for (uint8_t b : payload) m.push_back(b);
  return m;
}

TEST(IONotificationReader, ModelLayoutMatchesTheHandMadeOne) {
  const std::vector<uint8_t> payload = {1, 2, 3};
  const auto model = sim::RoutingNotices::message(0x20, 2, 0x1122334455667788ull, payload, 1);
  auto hand = handMade(39, 0x20, 2, 0x1122334455667788ull, 3, payload);
  ASSERT_EQ(model.size(), hand.size());
  // The generic header's command/version bytes are the model's choice; the rest is fixed.
  hand[16] = model[16];
  hand[17] = model[17];
  EXPECT_EQ(model, hand);
}

TEST(IONotificationReader, BadMessagesAreDroppedOrRefused) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(8, &status);
  ASSERT_EQ(status.code, 0);
  RawSender sender;
  const uint32_t port = reader.portId();
  // Dropped: too short, a netlink control type, a length beyond what arrived.
  sender.send(port, {1, 2, 3, 4, 5, 6, 7, 8});
  sender.send(port, handMade(36, 3, 1, 0x111, 0, {}));
  sender.send(port, handMade(200, 0x20, 1, 0x222, 0, {}));
  // Taken: the first well-formed message.
  sender.send(port, handMade(40, 0x20, 1, 0x333, 4, {9, 8, 7, 6}));
  uint32_t kind = 77, length = 77;
  uint8_t buffer[32] = {};
  EXPECT_EQ(reader.read(&kind, buffer, &length, &status, 2000), 0x333u);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(kind, 0u);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(buffer[3], 6);

  // An unknown attribute type: -52002, the message consumed.
  sender.send(port, handMade(36, 0x20, 3, 0x444, 0, {}));
  reader.read(&kind, buffer, &length, &status, 2000);
  EXPECT_EQ(status.code, -52002);
  EXPECT_EQ(status.line, 154u);

  nQVVUSKS100::tStatus second;
  sender.send(port, handMade(36 + 33, 0x20, 2, 0x555, 33, std::vector<uint8_t>(33, 1)));
  reader.read(&kind, buffer, &length, &second, 2000);
  EXPECT_EQ(second.code, -52024);
  EXPECT_EQ(second.line, 160u);
}

TEST(IONotificationReader, CancelStillWakesAReadAfterADroppedMessage) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  RawSender sender;
  auto blocked = std::async(std::launch::async, [&] {
    nQVVUSKS100::tStatus readStatus;
    uint32_t kind = 77, length = 77;
    uint8_t buffer[32];
    reader.read(&kind, buffer, &length, &readStatus, -1);
    return kind;
  });
  // A netlink control message wakes the reader, which drops it and must keep watching the
  // wake pipe too.
  sender.send(reader.portId(), handMade(36, 2, 1, 0x777, 0, {}));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  reader.cancel(&status);
  if (blocked.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    sender.send(reader.portId(), handMade(36, 0x20, 1, 0x888, 0, {}));  // releases the reader
    ADD_FAILURE() << "cancel did not wake the read";
  }
  EXPECT_EQ(blocked.get(), 2u);
}

TEST(IONotificationReader, PayloadIsCutToTheBytesReceived) {
  nQVVUSKS100::tStatus status;
  tIONotificationReader reader(0, &status);
  RawSender sender;
  // The message claims 32 payload bytes but carries 4.
  sender.send(reader.portId(), handMade(40, 0x20, 2, 0x666, 32, {5, 6, 7, 8}));
  uint32_t kind = 77, length = 77;
  uint8_t buffer[32];
  std::memset(buffer, 0xAA, sizeof buffer);
  EXPECT_EQ(reader.read(&kind, buffer, &length, &status, 2000), 0x666u);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(buffer[3], 8);
  for (size_t i = 4; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xAA) << i;
}

}  // namespace
