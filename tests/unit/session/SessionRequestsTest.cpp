// The request dispatch on a simulated module: refusals and size checks, pass-through codes
// against the driver log, CLIP codes, the mapping, the last error, the synchronisation mutex's
// hold, commit and the graph, and the groups the dispatch serves itself.

#include "session/SessionRequests.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <thread>

#include "../attributes/TestSupport.h"
#include "../model/TestFeature.h"
#include "RequestServicesDouble.h"
#include "SessionTestbed.h"
#include "sim/device/StoredBlobs.h"

namespace {

using Log = std::vector<std::string>;

// A record: the group, the oldest compatible version, then words from offset 16.
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
    kommissar.addCommission(&feature);
    kommissar.commission();
    requests = std::make_unique<qvvandrelbrenmooru::SessionRequests>(
        qvvandrelbrenmooru::SessionRequestContext{
            *sim.proxy,
            clipConfiguration,
            *bitfile,
            {sessionMutex, registry, clipConfiguration, kommissar},
            {sessionMutex, kommissar, nullptr, false, *sim.proxy},
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
  // The command succeeds from now on; the first input word of its last call.
  void answer(std::uint32_t command) {
    sim.device().script(command, sim::Reply{{}, 0, {}, 0, {}, false});
  }
  std::uint32_t sentWord(std::uint32_t command, std::size_t i) {
    std::uint32_t word = 0xDEAD;
    for (const sim::LogEntry& e : sim.device().log())
      if (e.command == command) std::memcpy(&word, &e.input.at(4 * i), 4);
    return word;
  }

  modeltest::Journal journal;
  modeltest::TestFeature feature{"f", journal, {{0x10000010, ""}}};
  sessiontest::RequestServicesDouble services;
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
  // clang-format off
  for (const Case c : {Case{1, 7, 0, true, false}, {1, 9, 0, true, false}, {34, 4, 0, true, false},
                       {0, 4, 4, true, false}, {13, 4, 8, false, true}, {12, 0, 0, true, false},
                       {16, 0, 7, false, true}, {256, 15, 0, true, false}, {800, 3, 8, true, true},
                       {6, 8, 0, true, false} /* in[1] = 9 */, {42, 16, 0, true, false} /* 6 */}) {
    // clang-format on
    in[4] = c.code == 6 ? 9 : 0;
    in[12] = c.code == 42 ? 6 : 0;
    EXPECT_EQ(invoke(c.code, c.withIn ? in.data() : nullptr, c.inSize,
                     c.withOut ? out.data() : nullptr, c.outSize),
              -52005)
        << c.code;
  }
  EXPECT_TRUE(sim.device().log().empty());
  EXPECT_TRUE(clip.log().empty());
}

TEST_F(SessionRequests, PassThroughCodesSendTheirMethodWithTheRecordsWords) {
  sim.device().script(0x80200100, sim::Reply{{0x78, 0x56, 0x34, 0x12}, 0, {}, 0, {}, true});
  std::uint32_t word = 5, result = 0;
  ASSERT_EQ(invoke(0, &word, 4, &result, 4), 0);
  EXPECT_EQ(result, 0x12345678u);
  EXPECT_EQ(sentWord(0x80200100, 0), 5u);
  struct Case {
    std::uint32_t code;
    double x;
    std::uint32_t a, b;
  };
  // clang-format off
  for (const Case c : {Case{14, 10.0, 10, 100}, {14, 200.0, 200, 204}, {14, -1.0, 0xFFFFFFFF, 100},
                       {14, 4294967301.9, 5, 100}, {15, 1.5, 1500, 5500}}) {
    // clang-format on
    const std::uint32_t command = c.code == 14 ? 0x40200401 : 0x40200403;
    answer(command);
    ASSERT_EQ(invoke(c.code, &c.x, 8), 0) << c.x;
    EXPECT_EQ(sentWord(command, 0), c.a) << c.x;
    EXPECT_EQ(sentWord(command, 1), c.b) << c.x;
  }
  const double nan = std::nan("");
  EXPECT_EQ(invoke(14, &nan, 8), -52005);
  // A failed method is raised; its result is stored first.
  sim.device().script(0x80200100, sim::Reply{{1, 0, 0, 0}, -52018, {}, 0, {}, true});
  EXPECT_EQ(invoke(0, &word, 4, &result, 4), -52018);
  EXPECT_EQ(result, 1u);
}

TEST_F(SessionRequests, ClipCodesRequireTheirInterfaceOnceAndMapTheReply) {
  clip.script(0x1304, {0x100, 0}, false);
  std::uint8_t byte = 3, flag = 9;
  ASSERT_EQ(invoke(40, &byte, 1, &flag, 1), 0);
  ASSERT_EQ(invoke(40, &byte, 1, &flag, 1), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(clip.log(0x1304).at(0).flags, 6u);
  EXPECT_EQ(clip.log(0x009).size(), 1u);  // interface 0x13 checked once
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

TEST_F(SessionRequests, TheStoredBitfileReadsBackWithItsZeroByte) {
  sim::StoredBlobs slots(sim.device());
  const std::uint32_t slot = 3;
  ASSERT_EQ(invoke(777, &slot, 4), 0);
  EXPECT_EQ(slots.slot(3)->tag, 1);  // LZ4
  EXPECT_EQ(slots.slot(3)->bitstream, bitfile->getBitstream());
  const std::string& text = bitfile->getXmlWithoutBitstream();
  std::uint32_t size = 0;
  ASSERT_EQ(invoke(27, &slot, 4, &size, 4), 0);
  EXPECT_EQ(size, text.size() + 2);
  std::vector<char> out(size, '#');
  EXPECT_EQ(invoke(28, &slot, 4, out.data(), size - 1), -52005);
  ASSERT_EQ(invoke(28, &slot, 4, out.data(), size), 0);
  EXPECT_EQ(std::string(out.data()), text);
  EXPECT_EQ(out[size - 1], '#');
  const std::uint32_t empty = 9;
  EXPECT_EQ(invoke(28, &empty, 4, out.data(), size), sim::StoredBlobs::kNoSlot);
}

TEST_F(SessionRequests, DebugRequestsCommitAndCopyTheGraphWithinTheOutput) {
  EXPECT_EQ(group(record(0xDE7EC7ED, {344}, 0, 1)), -52005);  // the method before the version
  EXPECT_EQ(group(record(0xDE7EC7ED, {342}, 0, 1)), -304502);
  EXPECT_EQ(group(record(0xDE7EC7ED, {343}), nullptr, 8), -52005);
  EXPECT_TRUE(journal.empty());
  EXPECT_EQ(group(record(0xDE7EC7ED, {342})), 0);
  EXPECT_EQ(journal, (Log{"f.compile", "f.deploy!"}));
  EXPECT_EQ(clip.log(0x101).size(), 1u);
  sync.setLocked(false);  // the module lost its settings: every feature is rewritten
  EXPECT_EQ(group(record(0xDE7EC7ED, {342})), 0);
  EXPECT_EQ(journal.back(), "f.deploy!");

  const std::string graph = kommissar.graph();
  ASSERT_LT(graph.size(), 500u);
  std::array<char, 512> out;
  out.fill('#');
  EXPECT_EQ(group(record(0xDE7EC7ED, {343}), out.data(), 1), 0);
  EXPECT_EQ(std::string(out.data(), 2), std::string("\0#", 2));
  EXPECT_EQ(group(record(0xDE7EC7ED, {343}), out.data(), 500), 0);
  EXPECT_EQ(std::string(out.data()), graph);
  EXPECT_EQ(std::string(&out[498], 3), std::string("\0\0#", 3));
}

TEST_F(SessionRequests, MethodsCheckIndicesAndOnlyTheHolderReleasesTheSyncMutex) {
  EXPECT_EQ(group(record(0x104, {15}, 36, 1)), -52005);
  EXPECT_EQ(group(record(0x104, {7}, 36)), -52005);
  EXPECT_EQ(group(record(0x104, {1}, 36, 1)), -304502);
  EXPECT_EQ(group(record(0x104, {14})), -52005);
  auto eight = record(0x104, {8}, 36);
  const double first = 1.25, second = -2.5;
  std::memcpy(&eight[20], &first, 8);  // unaligned: the record is packed
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
  EXPECT_EQ(sentWord(0x4020020A, 0), 2u);
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
  read[32] = 1;  // 260 bytes
  EXPECT_EQ(group(read, out.data(), 259), -52005);
}

}  // namespace
