// The module model behind a device node: binding, request-descriptor dispatch, scripted
// replies, the length check, the log, mappings, and the register-file and attribute handlers.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sim/device/ClipController.h"
#include "sim/device/Module.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The 32-byte request descriptor, filled field by field at its byte offsets.
struct Request {
  uint8_t raw[32] = {};
  Request(const void* in, uint32_t inLen, void* out, uint32_t outLen) {
    uint64_t inAddr = reinterpret_cast<uint64_t>(in), outAddr = reinterpret_cast<uint64_t>(out);
    std::memcpy(raw + 0, &inAddr, 8);
    std::memcpy(raw + 8, &outAddr, 8);
    std::memcpy(raw + 16, &inLen, 4);
    std::memcpy(raw + 20, &outLen, 4);
  }
  uint32_t result() const {
    uint32_t r;
    std::memcpy(&r, raw + 24, 4);
    return r;
  }
};

uint32_t le32(const Bytes& b, size_t off) {
  return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

class ModuleTest : public ::testing::Test {
 protected:
  sim::Testbed tb;
  sim::Module mod{tb, "dev0"};
  sim::Interface& dev = mod.deviceInterface();
  int fd = -1;

  void SetUp() override {
    fd = open(dev.nodePath().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
  }
  void TearDown() override {
    if (fd >= 0) close(fd);
  }

  // One call; returns the ioctl result and leaves errno as the ioctl set it.
  int call(uint32_t command, Bytes in, Bytes& out, uint32_t* result = nullptr) {
    Request r(in.data(), static_cast<uint32_t>(in.size()), out.data(),
              static_cast<uint32_t>(out.size()));
    std::memset(r.raw + 24, 0xEE, 4);  // the driver writes the result word
    int rc = ioctl(fd, command, r.raw);
    int err = errno;
    if (result != nullptr) *result = r.result();
    errno = err;
    return rc;
  }
};

TEST_F(ModuleTest, NodeFileIsNamedInInterfacePathAndOpensBound) {
  std::ifstream f(
      "/proc/driver/qv/dev0/deviceInterfaces/qvvandrelbrenmoork_vandrelbrenmoor\\0/"
      "interfacePath");
  std::stringstream text;
  text << f.rdbuf();
  EXPECT_EQ(text.str(), "/dev/qv/dev0\\qvvandrelbrenmoork_vandrelbrenmoor\\0");
  EXPECT_EQ(dev.nodePath(), text.str());
  EXPECT_EQ(dev.openCount(), 1);
  int second = open(dev.nodePath().c_str(), O_RDWR);
  ASSERT_GE(second, 0);
  EXPECT_EQ(dev.openCount(), 2);
  EXPECT_EQ(close(second), 0);
  EXPECT_EQ(dev.openCount(), 1);

  dev.failOpen(EBUSY);
  errno = 0;
  EXPECT_EQ(open(dev.nodePath().c_str(), O_RDWR), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(dev.openCount(), 1);
}

TEST_F(ModuleTest, ScriptedReplyWritesOutputStatusAndResultAndIsLogged) {
  // 0x80200904: input {u64, u32, u32, i32 status, pad} (24), output {u32, u16, pad, i32} (12).
  Bytes in = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x05, 0, 0, 0,
              0x02, 0,    0,    0,    0x7B, 0,    0,    0,    0,    0, 0, 0};
  sim::Reply reply;
  reply.output = {0x10, 0x20, 0x30, 0x40, 0x01, 0x02};
  reply.status = 52001;  // a warning
  dev.script(0x80200904, reply);
  Bytes out(12, 0xCC);
  uint32_t result = 0;
  ASSERT_EQ(call(0x80200904, in, out, &result), 0);
  EXPECT_EQ(out, (Bytes{0x10, 0x20, 0x30, 0x40, 0x01, 0x02, 0, 0, 0x21, 0xCB, 0, 0}));
  EXPECT_EQ(result, 52001u);

  auto log = dev.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].command, 0x80200904u);
  EXPECT_EQ(log[0].input, in);
  EXPECT_EQ(log[0].inLen, 24u);
  EXPECT_EQ(log[0].outLen, 12u);
  EXPECT_EQ(log[0].status, 52001);
  EXPECT_EQ(log[0].err, 0);

  // A one-shot script is gone: without a handler the command is unknown now.
  errno = 0;
  EXPECT_EQ(call(0x80200904, in, out), -1);
  EXPECT_EQ(errno, ENOTTY);
}

TEST_F(ModuleTest, StatusGoesWhereTheRecordKeepsIt) {
  sim::Reply reply;
  reply.status = -50150;
  reply.once = false;
  // 16-byte record with one u64: status at 8.
  dev.script(0x80200300, reply);
  Bytes out(16, 0xCC);
  ASSERT_EQ(call(0x80200300, Bytes(4, 0), out), 0);
  EXPECT_EQ(le32(out, 8), static_cast<uint32_t>(-50150));
  EXPECT_EQ(le32(out, 12), 0u);
  // 0x832B: u64, u8, pad, then the status at 12.
  dev.script(0x4020832B, reply);
  ASSERT_EQ(call(0x4020832B, Bytes(32, 0), out), 0);
  EXPECT_EQ(le32(out, 8), 0u);
  EXPECT_EQ(le32(out, 12), static_cast<uint32_t>(-50150));
  // 0x830B has no output record; the result word carries the answer.
  sim::Reply token;
  token.resultWord = 0x1234;
  dev.script(0x4020830B, token);
  Bytes none;
  uint32_t result = 0;
  ASSERT_EQ(call(0x4020830B, Bytes(16, 0), none, &result), 0);
  EXPECT_EQ(result, 0x1234u);
}

TEST_F(ModuleTest, PersistentScriptsAndScriptedFailures) {
  sim::Reply fail;
  fail.err = EIO;
  dev.script(0x80208316, fail);
  Bytes out(8, 0xCC);
  uint32_t result = 0;
  errno = 0;
  EXPECT_EQ(call(0x80208316, Bytes{0, 1, 0, 0, 0, 0, 0, 0}, out, &result), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(out, Bytes(8, 0xCC)) << "a failed ioctl writes no output";
  EXPECT_EQ(result, 0xEEEEEEEEu) << "nor the result word";
  // The handler answers again once the script is used up.
  mod.registers().poke(0x100, 0xCAFE);
  ASSERT_EQ(call(0x80208316, Bytes{0, 1, 0, 0, 0, 0, 0, 0}, out), 0);
  EXPECT_EQ(le32(out, 0), 0xCAFEu);

  sim::Reply slow;
  slow.delay = std::chrono::milliseconds(60);
  slow.status = -1;
  slow.once = false;
  dev.script(0x80208316, slow);
  for (int i = 0; i < 2; ++i) {
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(call(0x80208316, Bytes(8, 0), out), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(le32(out, 4), 0xFFFFFFFFu);
  }
  dev.clearScripts();
  ASSERT_EQ(call(0x80208316, Bytes{0, 1, 0, 0, 0, 0, 0, 0}, out), 0);
  EXPECT_EQ(le32(out, 4), 0u);
  auto log = dev.log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].err, EIO);
  EXPECT_EQ(dev.count(0x80208316), 5u);

  dev.setLogging(false);
  ASSERT_EQ(call(0x80208316, Bytes(8, 0), out), 0);
  EXPECT_EQ(dev.count(0x80208316), 5u);
}

TEST_F(ModuleTest, UnknownCommandsAndWrongLengthsAreRefused) {
  Bytes out(8, 0xCC);
  errno = 0;
  EXPECT_EQ(call(0x80200999, Bytes(4, 0), out), -1);
  EXPECT_EQ(errno, ENOTTY);
  // Not a request-descriptor command and no raw handler.
  errno = 0;
  EXPECT_EQ(ioctl(fd, 0x4010FF00, nullptr), -1);
  EXPECT_EQ(errno, ENOTTY);

  // 0x80208316 takes 8 input bytes and 8 output bytes.
  errno = 0;
  EXPECT_EQ(call(0x80208316, Bytes(12, 0), out), -1);
  EXPECT_EQ(errno, EINVAL);
  Bytes shortOut(4, 0xCC);
  errno = 0;
  EXPECT_EQ(call(0x80208316, Bytes(8, 0), shortOut), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(shortOut, Bytes(4, 0xCC));
  // A scripted reply of a known command is checked too.
  dev.script(0x80200300, sim::Reply{});
  errno = 0;
  EXPECT_EQ(call(0x80200300, Bytes(4, 0), out), -1);
  EXPECT_EQ(errno, EINVAL);

  auto log = dev.log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[0].err, ENOTTY);
  EXPECT_EQ(log[1].err, ENOTTY);
  EXPECT_TRUE(log[1].raw);
  EXPECT_EQ(log[2].err, EINVAL);
  EXPECT_EQ(log[2].inLen, 12u);
}

TEST_F(ModuleTest, RegisterFileThroughTheReadWriteAndIoCommands) {
  Bytes out4(4, 0xCC), out8(8, 0xCC);
  // 0x40208317 {u32 offset, u32 value, i32 status}: 0xDEADBEEF at 0x100.
  ASSERT_EQ(call(0x40208317, Bytes{0x00, 0x01, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE, 0, 0, 0, 0}, out4), 0);
  EXPECT_EQ(out4, Bytes(4, 0));
  EXPECT_EQ(mod.registers().peek(0x100), 0xDEADBEEFu);
  // 0x80200100 reads the same register file; the two low offset bits are ignored.
  ASSERT_EQ(call(0x80200100, Bytes{0x02, 0x01, 0, 0, 0, 0, 0, 0}, out8), 0);
  EXPECT_EQ(out8, (Bytes{0xEF, 0xBE, 0xAD, 0xDE, 0, 0, 0, 0}));
  // 0x40200103 writes, 0x80200102 reads.
  ASSERT_EQ(call(0x40200103, Bytes{0x08, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0}, out4), 0);
  ASSERT_EQ(call(0x80200102, Bytes{0x08, 0, 0, 0, 0, 0, 0, 0}, out8), 0);
  EXPECT_EQ(le32(out8, 0), 0x11223344u);

  // Block write 0x40208315 of two words: the 64-bit value 0x1122334455667788 as the product
  // sends it, high word first.
  uint32_t words[2] = {0x11223344, 0x55667788};
  uint64_t addr = reinterpret_cast<uint64_t>(words);
  Bytes block(32, 0);
  block[0] = 0x00;
  block[1] = 0x02;  // offset 0x200
  std::memcpy(block.data() + 8, &addr, 8);
  block[16] = 8;  // bytes
  block[20] = 4;  // access width
  ASSERT_EQ(call(0x40208315, block, out4), 0);
  EXPECT_EQ(mod.registers().read64(0x200), 0x1122334455667788ull);
  EXPECT_EQ(mod.registers().peek(0x200), 0x11223344u);
  EXPECT_EQ(mod.registers().peek(0x204), 0x55667788u);

  // Block read 0x80208314 back into another buffer.
  uint32_t back[2] = {0, 0};
  addr = reinterpret_cast<uint64_t>(back);
  std::memcpy(block.data() + 8, &addr, 8);
  ASSERT_EQ(call(0x80208314, block, out4), 0);
  EXPECT_EQ(back[0], 0x11223344u);
  EXPECT_EQ(back[1], 0x55667788u);

  // A byte count that is not whole words, another access width or an offset inside a word
  // is refused.
  for (auto [at, value] : {std::pair{16, 6}, std::pair{20, 8}, std::pair{0, 2}}) {
    Bytes bad = block;
    bad[at] = static_cast<uint8_t>(value);
    errno = 0;
    EXPECT_EQ(call(0x80208314, bad, out4), -1) << at;
    EXPECT_EQ(errno, EINVAL) << at;
  }
}

TEST_F(ModuleTest, ConcurrentCallersEachGetTheirOwnAnswer) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t, &failures] {
      for (uint32_t i = 0; i < 200; ++i) {
        uint32_t offset = static_cast<uint32_t>(t) * 0x1000 + i * 4;
        uint32_t value = offset ^ 0xA5A5A5A5;
        uint8_t in[12] = {}, out4[4], in8[8] = {}, out8[8];
        std::memcpy(in, &offset, 4);
        std::memcpy(in + 4, &value, 4);
        Request w(in, 12, out4, 4);
        std::memcpy(in8, &offset, 4);
        Request r(in8, 8, out8, 8);
        uint32_t got = 0;
        if (ioctl(fd, 0x40208317, w.raw) != 0 || ioctl(fd, 0x80208316, r.raw) != 0) {
          ++failures[t];
          continue;
        }
        std::memcpy(&got, out8, 4);
        if (got != value) ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(dev.log().size(), 4u * 200 * 2);
}

TEST_F(ModuleTest, RegisterHooksGiveRegistersBehaviour) {
  // Write-one-to-clear status bits.
  mod.registers().poke(0x40, 0x0F);
  mod.registers().setHooks(0x40, nullptr,
                           [](uint32_t stored, uint32_t written) { return stored & ~written; });
  Bytes out4(4), out8(8);
  ASSERT_EQ(call(0x40208317, Bytes{0x40, 0, 0, 0, 0x05, 0, 0, 0, 0, 0, 0, 0}, out4), 0);
  ASSERT_EQ(call(0x80208316, Bytes{0x40, 0, 0, 0, 0, 0, 0, 0}, out8), 0);
  EXPECT_EQ(le32(out8, 0), 0x0Au);
}

TEST_F(ModuleTest, DriverAttributesFromTheTable) {
  mod.setAttribute(48, 7);
  Bytes out8(8, 0xCC), out4(4, 0xCC);
  ASSERT_EQ(call(0x80208300, Bytes{48, 0, 0, 0, 0, 0, 0, 0}, out8), 0);
  EXPECT_EQ(out8, (Bytes{7, 0, 0, 0, 0, 0, 0, 0}));
  // Not in the table: status -63196 = 0xFFFF0924.
  ASSERT_EQ(call(0x80208300, Bytes{2, 0, 0, 0, 0, 0, 0, 0}, out8), 0);
  EXPECT_EQ(out8, (Bytes{0, 0, 0, 0, 0x24, 0x09, 0xFF, 0xFF}));
  // 0x40208301 {u32 id, u32 value, i32 status}.
  ASSERT_EQ(call(0x40208301, Bytes{48, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}, out4), 0);
  EXPECT_EQ(out4, Bytes(4, 0));
  EXPECT_EQ(mod.attribute(48), 9u);
  ASSERT_EQ(call(0x40208301, Bytes{84, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}, out4), 0);
  EXPECT_EQ(out4, (Bytes{0x24, 0x09, 0xFF, 0xFF}));
  EXPECT_FALSE(mod.attribute(84).has_value());
  // 0x80208302 -> {u8, pad, i32 status}.
  mod.setAttributeFlag(true);
  ASSERT_EQ(call(0x80208302, Bytes(4, 0), out8), 0);
  EXPECT_EQ(out8, (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ModuleTest, HandlersRegisteredByLaterModels) {
  int seen = 0;
  dev.handle(0x40208333, [&](sim::Call& c) {
    seen = static_cast<int>(c.u32(0));
    c.status = -61000;
    return 0;
  });
  Bytes out4(4, 0xCC);
  uint32_t result = 0;
  ASSERT_EQ(call(0x40208333, Bytes{5, 0, 0, 0, 0, 0, 0, 0}, out4, &result), 0);
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(le32(out4, 0), static_cast<uint32_t>(-61000));
  EXPECT_EQ(result, static_cast<uint32_t>(-61000));

  // A handler's own lengths for a command outside the table.
  dev.handle(0x00200A01, sim::CommandSpec{0x00200A01, 4, 8, 4}, [](sim::Call& c) {
    c.putU32(0, 77);
    return 0;
  });
  Bytes out8(8);
  ASSERT_EQ(call(0x00200A01, Bytes(4, 0), out8), 0);
  EXPECT_EQ(le32(out8, 0), 77u);
  EXPECT_THROW(dev.handle(0x00200A02, [](sim::Call&) { return 0; }), std::invalid_argument);

  // An errno from a handler fails the ioctl; a handler's own bug gives EIO.
  dev.handle(0x40208335, [](sim::Call&) { return EBUSY; });
  errno = 0;
  EXPECT_EQ(call(0x40208335, Bytes(4, 0), out4), -1);
  EXPECT_EQ(errno, EBUSY);
  dev.handle(0x40208335, [](sim::Call& c) {
    c.putU32(4, 1);  // outside the 4-byte output record
    return 0;
  });
  errno = 0;
  EXPECT_EQ(call(0x40208335, Bytes(4, 0), out4), -1);
  EXPECT_EQ(errno, EIO);
}

TEST_F(ModuleTest, RawCommandsReachTheirHandlerWithTheirRecord) {
  sim::Interface& routing = mod.routingInterface();
  int rfd = open(routing.nodePath().c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(rfd, 0);
  Bytes record;
  routing.handleRaw(0x4010FF00, [&](sim::RawCall& c) -> long {
    auto* p = reinterpret_cast<const uint8_t*>(c.arg);
    record.assign(p, p + 16);
    return 0;
  });
  routing.handleRaw(0xFF01, [](sim::RawCall& c) -> long { return c.arg == 3 ? 0 : -EINVAL; });
  uint8_t registration[16] = {1, 2, 3, 4, 5, 6, 7, 8, 0x10, 0, 0, 0, 3, 0, 0, 0};
  EXPECT_EQ(ioctl(rfd, 0x4010FF00, registration), 0);
  EXPECT_EQ(record, Bytes(registration, registration + 16));
  EXPECT_EQ(ioctl(rfd, 0xFF01, 3UL), 0);
  errno = 0;
  EXPECT_EQ(ioctl(rfd, 0xFF01, 4UL), -1);
  EXPECT_EQ(errno, EINVAL);
  auto log = routing.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].raw);
  EXPECT_EQ(log[0].input, Bytes(registration, registration + 16));
  EXPECT_EQ(log[1].arg, 3u);
  EXPECT_TRUE(log[1].input.empty());
  EXPECT_EQ(log[2].err, EINVAL);
  EXPECT_TRUE(dev.log().empty()) << "each interface keeps its own log";
  close(rfd);
}

// The protection of the mapping at `addr` as /proc/self/maps shows it ("rw-s", "r--s").
std::string protectionOf(const void* addr) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  auto a = reinterpret_cast<uintptr_t>(addr);
  while (std::getline(maps, line)) {
    uintptr_t from = 0, to = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &from, &to, perms) == 3 && a >= from && a < to)
      return perms;
  }
  return "";
}

TEST_F(ModuleTest, MappingsReachTheRegionAtRegionTimesPageSize) {
  long page = sysconf(_SC_PAGESIZE);
  sim::Region& region = dev.addRegion(8192, 4 * page);
  region.data()[0] = 0x5A;
  void* ro = mmap(nullptr, 4 * page, PROT_READ, MAP_SHARED, fd, 8192 * page);
  ASSERT_NE(ro, MAP_FAILED) << std::strerror(errno);
  EXPECT_EQ(static_cast<uint8_t*>(ro)[0], 0x5A);
  EXPECT_EQ(protectionOf(ro), "r--s");
  void* rw = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 8192 * page);
  ASSERT_NE(rw, MAP_FAILED);
  static_cast<uint8_t*>(rw)[1] = 0xA5;
  EXPECT_EQ(region.data()[1], 0xA5) << "model and caller share the memory";
  EXPECT_EQ(protectionOf(rw), "rw-s");

  // A region the device interface does not have.
  errno = 0;
  EXPECT_EQ(mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 12285 * page), MAP_FAILED);
  EXPECT_EQ(errno, EINVAL);
  errno = 0;
  EXPECT_EQ(mmap(nullptr, 8 * page, PROT_READ, MAP_SHARED, fd, 8192 * page), MAP_FAILED);
  EXPECT_EQ(errno, EINVAL) << "longer than the region";
  dev.failNextMap(ENOMEM);
  errno = 0;
  EXPECT_EQ(mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 8192 * page), MAP_FAILED);
  EXPECT_EQ(errno, ENOMEM);

  EXPECT_EQ(munmap(ro, 4 * page), 0);
  auto maps = dev.maps();
  ASSERT_EQ(maps.size(), 5u);
  EXPECT_EQ(maps[0].offset, 8192 * page);
  EXPECT_EQ(maps[0].prot, PROT_READ);
  EXPECT_EQ(maps[0].flags, MAP_SHARED);
  EXPECT_EQ(maps[0].length, static_cast<size_t>(4 * page));
  EXPECT_TRUE(maps[0].unmapped);
  EXPECT_EQ(maps[1].prot, PROT_READ | PROT_WRITE);
  EXPECT_FALSE(maps[1].unmapped);
  EXPECT_EQ(maps[2].offset, 12285 * page);
  EXPECT_EQ(maps[2].addr, nullptr);

  dev.setLogging(false);  // from now on only the mappings in place are kept
  EXPECT_EQ(mmap(nullptr, page, PROT_READ, MAP_SHARED, fd, 12285 * page), MAP_FAILED);
  EXPECT_EQ(munmap(rw, page), 0);
  EXPECT_EQ(dev.maps().size(), 4u) << "neither the failure nor the mapping let go";
}

TEST_F(ModuleTest, ReadAndWriteGoToTheModel) {
  char buffer[8];
  errno = 0;
  EXPECT_EQ(read(fd, buffer, sizeof buffer), -1);
  EXPECT_EQ(errno, EINVAL);
  std::string written;
  dev.onWrite([&](const void* p, size_t n) -> ssize_t {
    written.assign(static_cast<const char*>(p), n);
    return static_cast<ssize_t>(n);
  });
  dev.onRead([](void* p, size_t n) -> ssize_t {
    std::memset(p, 'r', n);
    return static_cast<ssize_t>(n);
  });
  EXPECT_EQ(write(fd, "hello", 5), 5);
  EXPECT_EQ(written, "hello");
  EXPECT_EQ(read(fd, buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "rrr");
}

TEST_F(ModuleTest, DescriptorsOfARemovedModuleFailWithENODEV) {
  auto other = std::make_unique<sim::Module>(tb, "dev1");
  sim::Interface& iface = other->deviceInterface();
  std::string node = iface.nodePath();
  int ofd = open(node.c_str(), O_RDWR);
  ASSERT_GE(ofd, 0);
  other.reset();
  EXPECT_EQ(access(node.c_str(), F_OK), -1);
  EXPECT_EQ(access("/proc/driver/qv/dev1", F_OK), -1);
  uint8_t in[8] = {}, out[8] = {};
  Request r(in, 8, out, 8);
  errno = 0;
  EXPECT_EQ(ioctl(ofd, 0x80208316, r.raw), -1);
  EXPECT_EQ(errno, ENODEV);
  char byte;
  errno = 0;
  EXPECT_EQ(read(ofd, &byte, 1), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_EQ(close(ofd), 0);
}

// A model built on an interface (here the CLIP) outlives the interface's removal: the module
// keeps the detached interface until it goes, so the model's teardown still reaches it.
TEST_F(ModuleTest, AModelOfARemovedInterfaceIsTornDownSafely) {
  auto clip = std::make_unique<sim::ClipController>(dev);
  mod.removeInterface(sim::kDeviceInterfaceName);
  EXPECT_EQ(mod.findInterface(sim::kDeviceInterfaceName), nullptr);
  uint8_t in[8] = {}, out[8] = {};
  Request r(in, 8, out, 8);
  errno = 0;
  EXPECT_EQ(ioctl(fd, sim::ClipController::kCommand, r.raw), -1);
  EXPECT_EQ(errno, ENODEV);
  EXPECT_EQ(close(fd), 0);
  fd = -1;
  clip.reset();
  EXPECT_NE(&mod.deviceInterface(), nullptr) << "the module can be given the interface again";
}

}  // namespace
