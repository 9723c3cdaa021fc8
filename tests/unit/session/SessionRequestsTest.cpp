// The request dispatch on a simulated module: refusals and size checks, pass-through codes
// against the driver log, CLIP codes, the mapping, the last error, the synchronisation mutex's
// hold and the groups the dispatch serves itself. Features above the session are a recording
// double.

#include "session/SessionRequests.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <thread>

#include "../attributes/TestSupport.h"
#include "SessionTestbed.h"

namespace {

using Log = std::vector<std::string>;

class RecordingServices : public qvvandrelbrenmooru::SessionRequestServices {
 public:
  void streamRequest(const void*, std::uint64_t, void*, std::uint64_t) override {
    log.push_back("stream");
  }
  std::string routingDeviceName() override { return "PXI1Slot2"; }
  std::uint32_t calculateRoute(const std::string& from, const std::string& to) override {
    log.push_back("route " + from + " " + to);
    return 77;
  }
  void reserveRoute(std::uint32_t) override {
    log.push_back("reserve");
    if (failReserve) qverr::throwError(-89137);
  }
  void programRoute(std::uint32_t) override { log.push_back("program"); }
  void destroyRoute(std::uint32_t route) override {
    log.push_back("destroy " + std::to_string(route));
    qverr::throwError(-89100);  // a rejected handle
  }
  std::uint32_t i2cRead(const char* bus, std::uint16_t address, std::uint8_t* out,
                        std::uint32_t length, std::uint32_t) override {
    log.push_back(std::string("read ") + bus + " " + std::to_string(address));
    std::memset(out, 0xAB, length);
    return length;
  }
  std::uint32_t i2cWrite(const char*, std::uint16_t, const std::uint8_t*, std::uint32_t,
                         std::uint32_t) override {
    return 0;
  }
  void i2cWriteRead(const char*, std::uint16_t, const std::uint8_t*, std::uint32_t, std::uint8_t*,
                    std::uint32_t, std::uint32_t, std::uint32_t*, std::uint32_t*) override {}
  void setCableSenseLines(bool high) override { log.push_back(high ? "high" : "low"); }
  void runCalibrations(qverr::StatusDetailWriter&) override {}
  bool tdcPolynomial(std::vector<double>* c) override {
    *c = {1.0, 2.0};
    return true;
  }
  void runMethod(std::uint32_t index, const qvvandrelbrenmooru::MethodArguments& a,
                 void*) override {
    log.push_back("method " + std::to_string(index) + " " + std::to_string(a.first) + " " +
                  std::to_string(a.second));
  }

  Log log;
  bool failReserve = false;
};

// A record: the header's group and oldest compatible version, then words from offset 16.
std::vector<unsigned char> record(std::uint32_t group, std::vector<std::uint32_t> words,
                                  std::size_t size = 0, std::uint32_t oldest = 0) {
  std::vector<unsigned char> bytes(std::max(size, 16 + 4 * words.size()));
  std::memcpy(&bytes[0], &group, 4);
  std::memcpy(&bytes[12], &oldest, 4);
  if (!words.empty()) std::memcpy(&bytes[16], words.data(), 4 * words.size());
  return bytes;
}

class SessionRequests : public sessiontest::SessionTestbed {
 protected:
  SessionRequests() {
    nQVVUSKS100::tStatus status;
    sessionMutex.create(&status);
    syncMutex.create(&status);
    open({});
    requests = std::make_unique<qvvandrelbrenmooru::SessionRequests>(
        qvvandrelbrenmooru::SessionRequestContext{
            *sim.proxy,
            clipConfiguration,
            *bitfile,
            {sessionMutex, registry, clipConfiguration, kommissar},
            {sessionMutex, kommissar, nullptr, true, *sim.proxy},
            syncMutex,
            services});
  }

  std::int32_t invoke(std::uint32_t code, const void* in, std::uint64_t inSize, void* out = nullptr,
                      std::uint64_t outSize = 0, std::uint32_t kind = 2) {
    return attrtest::catchError([&] { requests->invoke(kind, code, in, inSize, out, outSize); })
        .code;
  }
  std::int32_t group(const std::vector<unsigned char>& r, void* out = nullptr,
                     std::uint64_t outSize = 0) {
    return invoke(256, r.data(), r.size(), out, outSize);
  }
  // The command succeeds from now on, whatever it is sent.
  void answer(std::uint32_t command) {
    sim.device().script(command, sim::Reply{{}, 0, {}, 0, {}, false});
  }
  // The input words of the last command with that code.
  std::vector<std::uint32_t> sent(std::uint32_t command) {
    for (const sim::LogEntry& e : sim.device().log()) {
      if (e.command != command) continue;
      std::vector<std::uint32_t> words(e.input.size() / 4);
      std::memcpy(words.data(), e.input.data(), 4 * words.size());
      return words;
    }
    return {};
  }

  RecordingServices services;
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex sessionMutex, syncMutex;
  qvvandrel::ClipConfiguration clipConfiguration{instructionFifo, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clipConfiguration.deploy};
  std::unique_ptr<qvvandrelbrenmooru::SessionRequests> requests;
};

TEST_F(SessionRequests, UnknownKindsCodesAndGroupsAndBadSizesAreRefusedBeforeAnythingIsSent) {
  std::array<unsigned char, 64> in{}, out{};
  for (std::uint32_t code : {4u, 5u, 8u, 11u, 43u, 100u, 801u})
    EXPECT_EQ(invoke(code, in.data(), 4, out.data(), 4), -63193) << code;
  EXPECT_EQ(invoke(0, in.data(), 4, out.data(), 4, 1), -63193);
  struct Case {
    std::uint32_t code;
    std::uint64_t inSize, outSize;
    bool withIn, withOut;
  };
  for (const Case c : {Case{1, 7, 0, true, false},
                       {1, 9, 0, true, false},
                       {34, 4, 0, true, false},
                       {0, 4, 4, true, false},
                       {13, 4, 8, false, true},
                       {12, 0, 0, true, false},
                       {16, 0, 7, false, true},
                       {256, 15, 0, true, false},
                       {800, 3, 8, true, true},
                       {6, 8, 0, true, false} /* in[1] = 9 */,
                       {42, 16, 0, true, false} /* 6 */}) {
    in.fill(0);
    in[4] = c.code == 6 ? 9 : 0;
    in[12] = c.code == 42 ? 6 : 0;
    EXPECT_EQ(invoke(c.code, c.withIn ? in.data() : nullptr, c.inSize,
                     c.withOut ? out.data() : nullptr, c.outSize),
              -52005)
        << c.code;
  }
  EXPECT_TRUE(sim.device().log().empty());
  EXPECT_EQ(clip.log().size(), 0u);
}

TEST_F(SessionRequests, PassThroughCodesSendTheirMethodWithTheRecordsWords) {
  sim.device().script(0x80200100, sim::Reply{{0x78, 0x56, 0x34, 0x12}, 0, {}, 0, {}, true});
  std::uint32_t word = 5, result = 0;
  ASSERT_EQ(invoke(0, &word, 4, &result, 4), 0);
  EXPECT_EQ(result, 0x12345678u);
  EXPECT_EQ(sent(0x80200100).at(0), 5u);
  struct Case {
    std::uint32_t code;
    double x;
    std::uint32_t command, a, b;
  };
  for (const Case c : {Case{14, 10.0, 0x40200401, 10, 100},
                       {14, 200.0, 0x40200401, 200, 204},
                       {14, -1.0, 0x40200401, 0xFFFFFFFF, 100},
                       {14, 4294967301.9, 0x40200401, 5, 100},
                       {15, 1.5, 0x40200403, 1500, 5500}}) {
    sim.device().clearLog();
    answer(c.command);
    ASSERT_EQ(invoke(c.code, &c.x, 8), 0) << c.x;
    EXPECT_EQ(sent(c.command).at(0), c.a) << c.x;
    EXPECT_EQ(sent(c.command).at(1), c.b) << c.x;
  }
  const double nan = std::nan("");
  EXPECT_EQ(invoke(14, &nan, 8), -52005);
  // A failed method is raised; a result is stored first.
  sim.device().script(0x80200100, sim::Reply{{1, 0, 0, 0}, -52018, {}, 0, {}, true});
  EXPECT_EQ(invoke(0, &word, 4, &result, 4), -52018);
  EXPECT_EQ(result, 1u);
}

TEST_F(SessionRequests, ClipCodesRequireTheirInterfaceOnceAndMapTheReply) {
  clip.script(0x1304, {0x100, 0}, false);
  std::uint8_t byte = 3, flag = 9;
  ASSERT_EQ(invoke(40, &byte, 1, &flag, 1), 0);
  EXPECT_EQ(flag, 1);
  const std::array<std::uint8_t, 3> three{1, 2, 3};
  clip.script(0x1300, {0, 0}, false);
  ASSERT_EQ(invoke(34, three.data(), 3), 0);
  const sim::ClipInstruction post = clip.log(0x1300).at(0);
  EXPECT_EQ(post.flags, 5u);
  EXPECT_EQ(post.args, (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_EQ(clip.log(0x009).size(), 1u);  // interface 0x13 checked once
  // Block transfer without payload.
  for (std::uint32_t op : {0x1502u, 0x1504u, 0x1507u, 0x1508u, 0x150Au, 0x1509u})
    clip.script(op, {op == 0x1502 ? 2u : 1u, 0}, false);
  const std::array<std::uint32_t, 4> block{7, 1, 2, 0};
  ASSERT_EQ(invoke(42, block.data(), 16), 0);
  std::vector<std::uint32_t> opcodes;
  for (const sim::ClipInstruction& i : clip.log())
    if ((i.opcode >> 8) == 0x15) opcodes.push_back(i.opcode);
  EXPECT_EQ(opcodes, (std::vector<std::uint32_t>{0x1502, 0x1504, 0x1507, 0x1507, 0x1508, 0x1504,
                                                 0x1508, 0x150A, 0x1509}));
}

TEST_F(SessionRequests, ASecondMappingReleasesTheFirstAndTheLastErrorIsToldOnce) {
  sim.device().addRegion(0x3000, 0x8000000);
  std::uint64_t address = 0;
  ASSERT_EQ(invoke(84, nullptr, 0, &address, 8), 0);
  ASSERT_EQ(invoke(84, nullptr, 0, &address, 8), 0);
  ASSERT_EQ(sim.device().maps().size(), 2u);
  EXPECT_TRUE(sim.device().maps()[0].unmapped);
  EXPECT_FALSE(sim.device().maps()[1].unmapped);

  std::array<char, 600> text;
  std::int32_t code = -63193;
  EXPECT_EQ(group(record(0x103, {})), -63193);
  text.fill('#');
  EXPECT_EQ(invoke(800, &code, 4, text.data(), text.size()), 0);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(requests->lastErrorCode(), 0);
  // An attribute request's detail: too little room keeps it, then it is told once.
  EXPECT_EQ(group(record(0x102, {721, 0x2000000C, 1}, 565), text.data(), 281), -304404);
  code = -304404;
  EXPECT_EQ(invoke(800, &code, 4, text.data(), 8), -52005);
  EXPECT_EQ(invoke(800, &code, 4, text.data(), text.size()), 0);
  EXPECT_NE(std::string(text.data()).find("kUsageTypeAttributeIdentifier"), std::string::npos);
  EXPECT_EQ(invoke(800, &code, 4, text.data(), text.size()), 0);
  EXPECT_EQ(text[0], '\0');
}

TEST_F(SessionRequests, MethodsCheckIndicesAndOnlyTheHolderReleasesTheSyncMutex) {
  EXPECT_EQ(group(record(0x104, {15}, 36, 1)), -52005);
  EXPECT_EQ(group(record(0x104, {7}, 36)), -52005);
  EXPECT_EQ(group(record(0x104, {1}, 36, 1)), -304502);
  EXPECT_EQ(group(record(0x104, {14})), -52005);
  auto eight = record(0x104, {8}, 36);
  const double first = 1.25, second = -2.5;
  std::memcpy(&eight[20], &first, 8);  // unaligned, as the record is packed
  std::memcpy(&eight[28], &second, 8);
  EXPECT_EQ(group(eight), 0);
  EXPECT_EQ(services.log, (Log{"method 8 1.250000 -2.500000"}));

  EXPECT_EQ(group(record(0x104, {13})), 0);
  EXPECT_EQ(group(record(0x104, {13})), 0);
  std::int32_t other = 0;
  std::thread([&] { other = group(record(0x104, {14})); }).join();
  EXPECT_EQ(other, -52005);
  EXPECT_EQ(group(record(0x104, {14})), 0);
  EXPECT_EQ(group(record(0x104, {14})), 0);
  bool free = false;
  std::thread([&] {
    free = syncMutex.tryLock();
    if (free) syncMutex.unlock();
  }).join();
  EXPECT_TRUE(free);
}

TEST_F(SessionRequests, RoutesTransfersAndSerialRecordsAreCheckedWithinTheirBytes) {
  auto connect = record(0x105, {0}, 542);
  std::memcpy(&connect[20], "PFI0", 5);
  std::memcpy(&connect[532], "PXI_Trig0", 10);
  std::uint32_t handle = 0;
  services.failReserve = true;
  EXPECT_EQ(group(connect, &handle, 4), -89137);
  EXPECT_EQ(services.log,
            (Log{"route /PXI1Slot2/PFI0 /PXI1Slot2/PXI_Trig0", "reserve", "destroy 77"}));
  services.failReserve = false;
  EXPECT_EQ(group(connect, &handle, 4), 0);
  EXPECT_EQ(handle, 77u);
  EXPECT_EQ(group(record(0x105, {1, 77})), 0);  // a rejected handle is dropped
  std::memset(&connect[532], 'x', 10);
  EXPECT_EQ(group(connect, &handle, 4), -52005);

  answer(0x4020020A);
  for (const auto& [target, accepted] :
       {std::pair{0x1F1F0002u, true}, {0x1F1F0003u, false}, {3u, false}, {0u, false}}) {
    EXPECT_EQ(group(record(0x106, {1, target, 4, 0xCAFE})), accepted ? 0 : -52005) << target;
  }
  EXPECT_EQ(sent(0x4020020A).at(0), 2u);
  EXPECT_EQ(group(record(0x106, {1, 2, 5, 0})), -52005);  // data beyond the record

  const char* bus = "Des0_I2C";
  auto read = record(0x107, {0}, 35);
  const auto busAddress = reinterpret_cast<std::uint64_t>(bus);
  std::memcpy(&read[20], &busAddress, 8);
  read[28] = 0x40;
  read[31] = 4;
  std::array<std::uint8_t, 263> out{};
  services.log.clear();
  EXPECT_EQ(group(read, out.data(), 258), -52005);
  EXPECT_EQ(group(read, out.data(), 259), 0);
  EXPECT_EQ(services.log, (Log{"read Des0_I2C 64"}));
  EXPECT_EQ(out[3], 0xAB);
  EXPECT_EQ(out[255], 4);
  read[31] = 0;
  read[32] = 1;  // 256 bytes
  EXPECT_EQ(group(read, out.data(), 259), -52005);
}

}  // namespace
