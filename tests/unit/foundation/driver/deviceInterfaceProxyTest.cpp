#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "DriverTestbed.h"
#include "foundation/driver/tDeviceInterfaceProxy.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"

namespace {

using drivertest::DriverTestbed;
using nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceProxy;
using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMapping;
using nQVVUSKS100::tStatus;

using Transport = DriverTestbed;

TEST_F(Transport, OpenAndCloseTheDeviceNode) {
  tDeviceInterfaceProxy proxy;
  EXPECT_FALSE(proxy.isOpen());
  EXPECT_EQ(proxy.descriptor(), -1);
  tStatus status;
  proxy.open(first.deviceInterface().nodePath().c_str(), &status);
  EXPECT_EQ(status.code, 0);
  ASSERT_TRUE(proxy.isOpen());
  EXPECT_EQ(first.deviceInterface().openCount(), 1);
  const int flags = fcntl(proxy.descriptor(), F_GETFD);
  EXPECT_NE(flags & FD_CLOEXEC, 0);
  const int mode = fcntl(proxy.descriptor(), F_GETFL);
  EXPECT_EQ(mode & O_ACCMODE, O_RDWR);

  EXPECT_EQ(proxy.close(), 0);
  EXPECT_FALSE(proxy.isOpen());
  EXPECT_EQ(first.deviceInterface().openCount(), 0);
  // A closed proxy closes nothing.
  EXPECT_EQ(proxy.close(), 0);
}

TEST_F(Transport, OpenFailureKeepsTheProxyClosed) {
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open("/dev/qv/no such node", &status);
  EXPECT_EQ(status.code, -52006);
  EXPECT_STREQ(status.file, "tDeviceInterfaceProxy");
  EXPECT_EQ(status.line, 46u);
  EXPECT_FALSE(proxy.isOpen());

  first.deviceInterface().failOpen(EACCES);
  tStatus refused;
  proxy.openForward(first.deviceInterface().nodePath().c_str(), &refused);
  EXPECT_EQ(refused.code, -52026);
  EXPECT_FALSE(proxy.isOpen());

  tStatus error;
  error.code = -7;
  first.deviceInterface().failOpen(0);
  proxy.open(first.deviceInterface().nodePath().c_str(), &error);
  EXPECT_FALSE(proxy.isOpen());
  EXPECT_EQ(first.deviceInterface().openCount(), 0);
}

TEST_F(Transport, GeneratedProxyClosesOnDestruction) {
  {
    tInterfaceProxy_vandrelbrenmoor proxy;
    EXPECT_FALSE(proxy.isOpen());
    tStatus status;
    proxy.open(second.deviceInterface().nodePath().c_str(), &status);
    ASSERT_TRUE(proxy.isOpen());
    EXPECT_EQ(second.deviceInterface().openCount(), 1);
  }
  EXPECT_EQ(second.deviceInterface().openCount(), 0);
}

TEST_F(Transport, CallFillsTheRequestDescriptorAndReturnsTheResultWord) {
  sim::Interface& iface = first.deviceInterface();
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  const uint32_t command = 0x80208316;
  sim::Reply reply;
  reply.output = {0x78, 0x56, 0x34, 0x12};
  reply.status = 0;
  reply.resultWord = 0xCAFE;
  iface.script(command, reply);
  const uint8_t input[8] = {0x10, 0, 0, 0, 0, 0, 0, 0};
  uint8_t output[8];
  std::memset(output, 0xEE, sizeof output);
  EXPECT_EQ(proxy.call(command, input, sizeof input, output, sizeof output, &status), 0xCAFEu);
  EXPECT_EQ(status.code, 0);
  const uint8_t expected[8] = {0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(output, expected, sizeof expected));
  const std::vector<sim::LogEntry> log = iface.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, command);
  EXPECT_EQ(log[0].inLen, 8u);
  EXPECT_EQ(log[0].outLen, 8u);
  EXPECT_EQ(log[0].input, std::vector<uint8_t>(input, input + 8));
}

TEST_F(Transport, CallWithErrorInStatusIssuesNoIoctl) {
  sim::Interface& iface = first.deviceInterface();
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  sim::Reply reply;
  reply.resultWord = 9;
  reply.once = false;
  iface.script(0x80208316, reply);
  status.code = -52010;
  uint8_t input[8] = {};
  uint8_t output[8] = {};
  EXPECT_EQ(proxy.call(0x80208316, input, 8, output, 8, &status), 0u);
  EXPECT_TRUE(iface.log().empty());
  EXPECT_EQ(status.code, -52010);
}

TEST_F(Transport, FailedIoctlRecordsTheErrnoCodeAndStillReturnsTheResultWord) {
  sim::Interface& iface = first.deviceInterface();
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  uint8_t input[4] = {};
  uint8_t output[8] = {};
  // Nothing serves 0x0000FFFF: the model answers ENOTTY.
  EXPECT_EQ(proxy.call(0x0020FFFF, input, 4, output, 8, &status), 0u);
  EXPECT_EQ(status.code, -52002);
  EXPECT_STREQ(status.file, "tDeviceInterfaceProxy");
  EXPECT_STREQ(status.component, "qvvandrel");
  EXPECT_EQ(status.line, 85u);

  // A closed proxy: EBADF.
  tDeviceInterfaceProxy closed;
  tStatus badDescriptor;
  EXPECT_EQ(closed.call(0x80208316, input, 4, output, 8, &badDescriptor), 0u);
  EXPECT_EQ(badDescriptor.code, -52006);
}

TEST_F(Transport, ReadAndWriteGoToTheNode) {
  sim::Interface& iface = first.deviceInterface();
  std::vector<uint8_t> written;
  iface.onWrite([&](const void* data, size_t count) {
    written.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + count);
    return static_cast<ssize_t>(count);
  });
  iface.onRead([](void* data, size_t count) {
    std::memset(data, 0x42, count);
    return static_cast<ssize_t>(count < 3 ? count : 3);
  });
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(proxy.write(bytes, sizeof bytes, &status), 5);
  EXPECT_EQ(written, std::vector<uint8_t>(bytes, bytes + 5));
  uint8_t in[8] = {};
  EXPECT_EQ(proxy.read(in, sizeof in, &status), 3);
  EXPECT_EQ(in[0], 0x42);
  EXPECT_EQ(status.code, 0);

  tStatus error;
  error.code = -3;
  EXPECT_EQ(proxy.write(bytes, sizeof bytes, &error), -1);
  EXPECT_EQ(proxy.read(in, sizeof in, &error), -1);
  EXPECT_EQ(error.code, -3);
}

TEST_F(Transport, ReadAndWriteFailuresRecordTheirLines) {
  sim::Interface& iface = second.routingInterface();
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  uint8_t buffer[4] = {};
  tStatus readStatus;
  EXPECT_EQ(proxy.read(buffer, sizeof buffer, &readStatus), -1);
  EXPECT_EQ(readStatus.code, -52005);
  EXPECT_EQ(readStatus.line, 105u);
  tStatus writeStatus;
  EXPECT_EQ(proxy.write(buffer, sizeof buffer, &writeStatus), -1);
  EXPECT_EQ(writeStatus.code, -52005);
  EXPECT_EQ(writeStatus.line, 123u);
}

TEST_F(Transport, MapUsesTheLow16BitsOfTheRegionAsPageOffset) {
  sim::Interface& iface = first.deviceInterface();
  const long page = sysconf(_SC_PAGESIZE);
  sim::Region& region = iface.addRegion(12286, page);
  std::memset(region.data(), 0x3C, page);
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);

  tMapping mapping;
  void* address = proxy.map(0x50000 | 12286, page, 0, &mapping, &status);
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(mapping.address, address);
  EXPECT_EQ(mapping.length, static_cast<uint64_t>(page));
  EXPECT_EQ(static_cast<uint8_t*>(address)[page - 1], 0x3C);
  std::vector<sim::MapRecord> maps = iface.maps();
  ASSERT_EQ(maps.size(), 1u);
  EXPECT_EQ(maps[0].offset, static_cast<off_t>(12286) * page);
  EXPECT_EQ(maps[0].prot, PROT_READ);
  EXPECT_EQ(maps[0].flags & MAP_SHARED, MAP_SHARED);
  proxy.unmap(&mapping);
  EXPECT_EQ(mapping.address, nullptr);
  EXPECT_TRUE(iface.maps()[0].unmapped);
  // Unmapping again does nothing.
  proxy.unmap(&mapping);
}

TEST_F(Transport, MapModeOneIsWritableAndShared) {
  sim::Interface& iface = first.deviceInterface();
  const long page = sysconf(_SC_PAGESIZE);
  sim::Region& region = iface.addRegion(8192, 2 * page);
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  tMapping mapping;
  auto* bytes = static_cast<uint8_t*>(proxy.map(8192, 2 * page, 1, &mapping, &status));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(iface.maps().back().prot, PROT_READ | PROT_WRITE);
  bytes[page + 5] = 0x99;
  EXPECT_EQ(region.data()[page + 5], 0x99);
  proxy.unmap(&mapping);
}

// Only mode 1 asks for writing; every other mode maps read-only.
TEST_F(Transport, MapModesOtherThanOneAreReadOnly) {
  sim::Interface& iface = first.deviceInterface();
  const long page = sysconf(_SC_PAGESIZE);
  iface.addRegion(3, page);
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  for (uint32_t mode : {2u, 3u, 0xFFFFFFFFu}) {
    tMapping mapping;
    ASSERT_NE(proxy.map(3, page, mode, &mapping, &status), nullptr) << mode;
    EXPECT_EQ(iface.maps().back().prot, PROT_READ) << mode;
    EXPECT_EQ(iface.maps().back().offset, 3 * page) << mode;
    proxy.unmap(&mapping);
  }
  EXPECT_EQ(status.code, 0);
}

TEST_F(Transport, MapFailureGivesTheErrnoCodeAndNoAddress) {
  sim::Interface& iface = first.deviceInterface();
  tDeviceInterfaceProxy proxy;
  tStatus status;
  proxy.open(iface.nodePath().c_str(), &status);
  tMapping mapping;
  mapping.address = &mapping;
  iface.failNextMap(ENOMEM);
  EXPECT_EQ(proxy.map(8192, 4096, 1, &mapping, &status), nullptr);
  EXPECT_EQ(status.code, -52000);
  EXPECT_STREQ(status.file, "tDeviceInterfaceProxy");
  EXPECT_EQ(status.line, 148u);
  EXPECT_EQ(mapping.address, nullptr);

  tStatus error;
  error.code = -1;
  const size_t before = iface.maps().size();
  EXPECT_EQ(proxy.map(8192, 4096, 1, &mapping, &error), nullptr);
  EXPECT_EQ(iface.maps().size(), before);
}

// Each call keeps its records on the caller's stack: threads sharing one proxy do not see
// each other's requests.
TEST_F(Transport, ThreadsShareOneProxy) {
  sim::Interface& iface = first.deviceInterface();
  iface.setLogging(false);
  tInterfaceProxy_vandrelbrenmoor proxy;
  tStatus opened;
  proxy.open(iface.nodePath().c_str(), &opened);
  constexpr int kThreads = 4;
  constexpr uint32_t kRounds = 500;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      tStatus status;
      const uint32_t offset = 0x100 + 4 * t;
      for (uint32_t i = 0; i < kRounds; ++i) {
        const uint32_t value = (static_cast<uint32_t>(t) << 24) | i;
        proxy.command8317(offset, value, &status);
        if (proxy.command8316(offset, &status) != value) ++mismatches[t];
      }
      if (status.code != 0) mismatches[t] += 1000000;
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_EQ(first.registers().peek(0x100), kRounds - 1);
}

TEST(CommandCode, LinuxIoctlLayoutWithTheDescriptorSize) {
  using nQVVANDRELBRENMOORU_22_8::nQVVUSK000::makeCommand;
  EXPECT_EQ(makeCommand(2, 0x83, 0x16), 0x80208316u);
  EXPECT_EQ(makeCommand(1, 0x01, 0x01), 0x40200101u);
  EXPECT_EQ(makeCommand(0, 0x80, 0x0B), 0x0020800Bu);
}

}  // namespace
