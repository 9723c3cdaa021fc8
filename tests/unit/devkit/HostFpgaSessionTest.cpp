// The host's FPGA session, called only through qvkel::IFpgaSession, on a simulated module.

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "qvkel/IFpgaSession.h"
#include "tests/unit/Gate.h"
#include "tests/unit/devkit/HostSessionFixture.h"

namespace {

using devkit_test::HostSession;
using devkit_test::HostSessionTest;
using nQVVUSKS100::tStatus;
using qvsim::BitfileBuilder;
using qvsim::DmaChannelSpec;

constexpr const char* kSourceFile = "atomickelddk/user/session/FpgaSession";
constexpr uint32_t kRegister = 0x8100;
constexpr uint32_t kBlockRead = 0x80208314, kBlockWrite = 0x40208315;
constexpr uint32_t kRead32 = 0x80208316, kWrite32 = 0x40208317;

uint64_t lineOf(uint32_t slot) {
  return 200 + 10 * slot;
}

// The code and, for a located failure, the session's file and the slot's line.
void expectFailure(const tStatus& status, int64_t code, uint32_t slot) {
  EXPECT_EQ(status.code, code);
  EXPECT_STREQ(status.file, kSourceFile);
  EXPECT_STREQ(status.component, "qvvandrel");
  EXPECT_EQ(status.line, lineOf(slot));
}

using unittest::Gate;

// The module's register accessor with a gate in front of its single-word reads.
class GatedAccessor : public qvkel::user::IIoAccessor {
 public:
  GatedAccessor(std::shared_ptr<qvkel::user::IoAccessorIoctl::IoInterface> io, Gate& gate)
      : inner_(std::move(io)), gate_(gate) {}
  uint32_t read32(uint32_t offset) override {
    gate_.pass();
    return inner_.read32(offset);
  }
  void write32(uint32_t offset, uint32_t value) override { inner_.write32(offset, value); }
  void readBlock(uint32_t offset, void* buffer, uint64_t bytes, uint32_t width,
                 uint32_t flags) override {
    inner_.readBlock(offset, buffer, bytes, width, flags);
  }
  void writeBlock(uint32_t offset, const void* buffer, uint64_t bytes, uint32_t width,
                  uint32_t flags) override {
    inner_.writeBlock(offset, buffer, bytes, width, flags);
  }

 private:
  qvkel::user::IoAccessorIoctl inner_;
  Gate& gate_;
};

// The four FIFO slots of one element type, each called with one element and no wait.
struct Group {
  const char* name;
  int strictFifo;  // the FIFO of the slot's own type; -1: none of them
  using Call = std::function<void(qvkel::IFpgaSession&, uint32_t, tStatus*)>;
  Call read, write, acquireRead, acquireWrite;
};

template <typename T>
Group fifoGroup(const char* name, int strictFifo,
                void (qvkel::IFpgaSession::*read)(uint32_t, T*, uint64_t, uint32_t, bool*,
                                                  uint64_t*, tStatus*),
                void (qvkel::IFpgaSession::*write)(uint32_t, const T*, uint64_t, uint32_t, bool*,
                                                   uint64_t*, tStatus*),
                void (qvkel::IFpgaSession::*acquireRead)(uint32_t, T**, uint64_t, uint32_t, bool*,
                                                         uint64_t*, uint64_t*, tStatus*),
                void (qvkel::IFpgaSession::*acquireWrite)(uint32_t, T**, uint64_t, uint32_t, bool*,
                                                          uint64_t*, uint64_t*, tStatus*)) {
  auto acquire = [](auto slot) {
    return [slot](qvkel::IFpgaSession& s, uint32_t fifo, tStatus* t) {
      T* elements = nullptr;
      uint64_t acquired = 0;
      bool timedOut = false;
      (s.*slot)(fifo, &elements, 1, 0, &timedOut, &acquired, nullptr, t);
      if (acquired != 0) s.releaseFifoElements(fifo, acquired, t);
    };
  };
  return Group{name,
               strictFifo,
               [read](qvkel::IFpgaSession& s, uint32_t fifo, tStatus* t) {
                 T element{};
                 bool timedOut = false;
                 (s.*read)(fifo, &element, 1, 0, &timedOut, nullptr, t);
               },
               [write](qvkel::IFpgaSession& s, uint32_t fifo, tStatus* t) {
                 const T element{};
                 bool timedOut = false;
                 (s.*write)(fifo, &element, 1, 0, &timedOut, nullptr, t);
               },
               acquire(acquireRead),
               acquire(acquireWrite)};
}
#define QV_FIFO_GROUP(Name, strict)                              \
  fifoGroup(#Name, strict, &qvkel::IFpgaSession::readFifo##Name, \
            &qvkel::IFpgaSession::writeFifo##Name,               \
            &qvkel::IFpgaSession::acquireFifoReadElements##Name, \
            &qvkel::IFpgaSession::acquireFifoWriteElements##Name)

class HostFpgaSessionTest : public HostSessionTest {
 protected:
  sim::RegisterFile& registers() { return sim.module.registers(); }
  // A design of another signature.
  static constexpr const char* kOtherSignature = "FFFFFFFF89ABCDEF0011223344556677";
  static BitfileBuilder otherDesign() {
    BitfileBuilder other = BitfileBuilder::typical();
    other.signature(kOtherSignature).targetSpecific(std::nullopt);
    return other;
  }
  size_t accesses() {
    return sim.device().count(kRead32) + sim.device().count(kWrite32) +
           sim.device().count(kBlockRead) + sim.device().count(kBlockWrite);
  }
};

TEST_F(HostFpgaSessionTest, TheHostCallsBySlot) {
  HostSession session = open();
  void** table = *reinterpret_cast<void***>(session.get());
  using Version = uint32_t (*)(void*);
  using Read32 = uint32_t (*)(void*, uint32_t, bool, tStatus*);
  using Write32 = void (*)(void*, uint32_t, uint32_t, bool, tStatus*);
  using State = uint32_t (*)(void*, tStatus*);
  using Release = void (*)(void*);
  tStatus status;
  EXPECT_EQ(reinterpret_cast<Version>(table[0])(session.get()), 5u);
  reinterpret_cast<Write32>(table[20])(session.get(), kRegister, 0xCAFEF00D, false, &status);
  EXPECT_EQ(registers().peek(kRegister), 0xCAFEF00Du);
  EXPECT_EQ(reinterpret_cast<Read32>(table[9])(session.get(), kRegister, false, &status),
            0xCAFEF00Du);
  EXPECT_EQ(reinterpret_cast<State>(table[118])(session.get(), &status), 2u);
  EXPECT_EQ(reinterpret_cast<Version>(table[123])(session.get()), 1u);
  EXPECT_EQ(status.code, 0);
  using Region =
      void (*)(void*, const char*, uint64_t*, void**, void**, qvkel::HmbCleanupCallback*, tStatus*);
  tStatus noPlace;
  reinterpret_cast<Region>(table[129])(session.get(), "Capture", nullptr, nullptr, nullptr, nullptr,
                                       &noPlace);
  EXPECT_EQ(noPlace.code, -52005);
  // Slot 114 deletes an object: here a copy, whose end closes no kernel session.
  reinterpret_cast<Release>(table[114])(session->clone(&status));
  EXPECT_TRUE(model.closes().empty());
  // Slot 4 ends the object (its session closes the kernel session).
  reinterpret_cast<Release>(table[4])(session.release());
  EXPECT_EQ(model.closes().size(), 1u);
  qvkel::releaseFpgaSession(nullptr);
}

TEST_F(HostFpgaSessionTest, AClosedObjectRefusesEveryFramedOperation) {
  HostSession session = closed();
  uint32_t word = 7;
  bool flag = true;
  std::vector<std::pair<uint32_t, std::function<void(tStatus*)>>> framed = {
      {9, [&](tStatus* s) { EXPECT_EQ(session->readU32(0, false, s), 0u); }},
      {38, [&](tStatus* s) { session->readArrayDbl(0, nullptr, 0, false, s); }},
      {51, [&](tStatus* s) { session->reset(s); }},
      {56, [&](tStatus* s) { EXPECT_EQ(session->waitOnIrqs(1, 0, &flag, s), 0u); }},
      {64, [&](tStatus* s) { session->readFifoU32(0, &word, 1, 0, &flag, nullptr, s); }},
      {106, [&](tStatus* s) { EXPECT_EQ(session->getBitfileContents(s), nullptr); }},
      {109, [&](tStatus* s) { session->findRegister("Count", 0xFFFFFFFF, &word, s); }},
      {112, [&](tStatus* s) { session->invoke(2, 0, 0, 0, 0, 0, s); }},
      {118, [&](tStatus* s) { EXPECT_EQ(session->getFpgaState(s), 1u); }},
      {2, [&](tStatus* s) { EXPECT_EQ(session->clone(s), nullptr); }},
      {130, [&](tStatus* s) {
         session->openHmbLlb("x", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, s);
       }}};
  for (auto& [slot, call] : framed) {
    tStatus status;
    call(&status);
    expectFailure(status, -52010, slot);
    // An earlier error stays.
    tStatus earlier;
    earlier.setCode(-1, "host", "host.c", 1);
    call(&earlier);
    EXPECT_EQ(earlier.code, -1);
    EXPECT_STREQ(earlier.file, "host.c");
  }
  bool failed = true;
  tStatus status;
  session->download(&failed, &status);
  EXPECT_FALSE(failed);
  EXPECT_EQ(status.code, -52010);

  tStatus unsupported;
  session->unsupportedRequest(1, 2, 3, &unsupported);
  EXPECT_EQ(unsupported.code, -63193);
  EXPECT_EQ(session->constantTrueQuery(), 1u);
  EXPECT_EQ(session->getInterfaceVersion(), 5u);
  EXPECT_TRUE(sim.device().log().empty());
}

TEST_F(HostFpgaSessionTest, OpeningReadsTheBitfileFileAndHandsItToTheFactory) {
  BitfileBuilder design = BitfileBuilder::typical();
  HostSession session = closed();
  tStatus status;
  const std::string path = writeBitfile(design);
  session->open(path.c_str(), kSignature, 0x20000000, &status);
  ASSERT_EQ(status.code, 0);
  ASSERT_EQ(factory.requests.size(), 1u);
  EXPECT_EQ(factory.requests[0].bitfile, design.text());
  EXPECT_EQ(factory.requests[0].resource, kSignature);
  EXPECT_EQ(factory.requests[0].attributes, 0x20000000u);
  EXPECT_EQ(session->getFpgaState(&status), 2u);

  // Bits 29 and 25 together open nothing; a missing file keeps the session open.
  session->open(path.c_str(), kSignature, 0x22000000, &status);
  EXPECT_EQ(status.code, -52005);
  tStatus missing;
  session->open("/nonexistent/design.lvbitx", kSignature, 0, &missing);
  EXPECT_EQ(missing.code, -63101);
  EXPECT_EQ(factory.requests.size(), 1u);
  tStatus stillOpen;
  EXPECT_EQ(session->getFpgaState(&stillOpen), 2u);
  EXPECT_EQ(stillOpen.code, 0);

  // With bit 30 the argument goes to the factory as it is; a second open replaces the session.
  session->open("image:user", kSignature, 0x40000000, &stillOpen);
  ASSERT_EQ(stillOpen.code, 0);
  EXPECT_EQ(factory.requests.back().bitfile, "image:user");
  EXPECT_EQ(model.closes().size(), 1u);

  // A failure that is not the library's own is located at the session's file and open's line.
  factory.beforeCreate = [] { throw std::bad_alloc(); };
  tStatus failed;
  session->open(path.c_str(), kSignature, 0, &failed);
  expectFailure(failed, -52000, 3);
}

TEST_F(HostFpgaSessionTest, RegisterReadsTakeTheLowBitsAndSixtyFourBitsHighWordFirst) {
  HostSession session = open();
  tStatus s;
  registers().poke(kRegister, 0x12345678);
  EXPECT_EQ(session->readBool(kRegister, false, &s), 0x78);
  EXPECT_EQ(session->readU8(kRegister, false, &s), 0x78);
  EXPECT_EQ(session->readU16(kRegister, false, &s), 0x5678);
  EXPECT_EQ(session->readU32(kRegister, false, &s), 0x12345678u);
  EXPECT_EQ(session->readI8(kRegister, false, &s), 0x78);
  EXPECT_EQ(session->readI16(kRegister, false, &s), 0x5678);
  EXPECT_EQ(session->readI32(kRegister, false, &s), 0x12345678);
  registers().poke(kRegister, 0xBF800000);  // -1.0f
  EXPECT_EQ(session->readSgl(kRegister, false, &s), -1.0f);
  EXPECT_EQ(session->readI8(kRegister, false, &s), 0);
  EXPECT_EQ(session->readI16(kRegister, false, &s), 0);
  registers().poke(kRegister, 0xFFFF80FF);
  EXPECT_EQ(session->readI8(kRegister, false, &s), -1);
  EXPECT_EQ(session->readI16(kRegister, false, &s), -32513);

  registers().poke(kRegister, 0x00000001);
  registers().poke(kRegister + 4, 0x00000002);
  EXPECT_EQ(session->readU64(kRegister, false, &s), 0x0000000100000002ull);
  EXPECT_EQ(session->readI64(kRegister, false, &s), 0x0000000100000002ll);
  registers().poke(kRegister, 0xC0000000);  // -2.0
  registers().poke(kRegister + 4, 0);
  EXPECT_EQ(session->readDbl(kRegister, false, &s), -2.0);
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, RegisterWritesPutNarrowValuesInTheLowBitsWithZeroAbove) {
  HostSession session = open();
  tStatus s;
  struct Case {
    std::function<void()> write;
    uint32_t low, high;  // the words at kRegister and kRegister + 4
  };
  const Case cases[] = {
      {[&] { session->writeBool(kRegister, 0x5A, false, &s); }, 0x5A, 0},
      {[&] { session->writeU8(kRegister, 0xAB, false, &s); }, 0xAB, 0},
      {[&] { session->writeI8(kRegister, -1, false, &s); }, 0xFF, 0},
      {[&] { session->writeU16(kRegister, 0xBEEF, false, &s); }, 0xBEEF, 0},
      {[&] { session->writeI16(kRegister, -2, false, &s); }, 0xFFFE, 0},
      {[&] { session->writeU32(kRegister, 0x89ABCDEF, false, &s); }, 0x89ABCDEF, 0},
      {[&] { session->writeI32(kRegister, -3, false, &s); }, 0xFFFFFFFD, 0},
      {[&] { session->writeSgl(kRegister, 1.5f, false, &s); }, 0x3FC00000, 0},
      {[&] { session->writeU64(kRegister, 0x1122334455667788, false, &s); }, 0x11223344,
       0x55667788},
      {[&] { session->writeI64(kRegister, -2, false, &s); }, 0xFFFFFFFF, 0xFFFFFFFE},
      {[&] { session->writeDbl(kRegister, -2.0, false, &s); }, 0xC0000000, 0},
  };
  for (const Case& c : cases) {
    registers().poke(kRegister, 0xDDDDDDDD);
    registers().poke(kRegister + 4, 0);
    c.write();
    EXPECT_EQ(registers().peek(kRegister), c.low);
    EXPECT_EQ(registers().peek(kRegister + 4), c.high);
  }
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, TheAccessCheckFollowsTheAccess) {
  HostSession session = open();
  model.setErrorBits(sim::FpgaModel::kBusErrorBit);
  tStatus unchecked;
  session->writeU32(kRegister, 5, false, &unchecked);
  EXPECT_EQ(unchecked.code, 0);
  tStatus checked;
  session->writeU32(kRegister, 6, true, &checked);
  EXPECT_EQ(checked.code, -61046);
  EXPECT_EQ(registers().peek(kRegister), 6u);  // the write happened
  tStatus read;
  EXPECT_EQ(session->readU32(kRegister, true, &read), 0u);
  EXPECT_EQ(read.code, -61046);
  uint8_t bits[40] = {};
  tStatus array;
  session->readArrayBool(kRegister, bits, 40, true, &array);
  EXPECT_EQ(array.code, -61046);
}

TEST_F(HostFpgaSessionTest, PackedArraysRead) {
  HostSession session = open();
  tStatus s;
  registers().poke(kRegister, 0x00AABBCC);
  uint8_t bytes[5] = {};
  session->readArrayU8(kRegister, bytes, 3, false, &s);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 3), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC}));
  registers().poke(kRegister, 0x11223344);
  registers().poke(kRegister + 4, 0x55000000);
  session->readArrayU8(kRegister, bytes, 5, false, &s);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5),
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55}));
  int8_t signedBytes[2] = {};
  registers().poke(kRegister, 0x0000FF80);
  session->readArrayI8(kRegister, signedBytes, 2, false, &s);
  EXPECT_EQ(signedBytes[0], -1);
  EXPECT_EQ(signedBytes[1], -128);

  uint16_t halves[3] = {};
  registers().poke(kRegister, 0x00001234);
  session->readArrayU16(kRegister, halves, 1, false, &s);
  EXPECT_EQ(halves[0], 0x1234);
  registers().poke(kRegister, 0x00010002);
  registers().poke(kRegister + 4, 0x00030000);
  session->readArrayU16(kRegister, halves, 3, false, &s);
  EXPECT_EQ(std::vector<uint16_t>(halves, halves + 3), (std::vector<uint16_t>{1, 2, 3}));

  uint8_t bits[33] = {};
  registers().poke(kRegister, 0b101);
  session->readArrayBool(kRegister, bits, 3, false, &s);
  EXPECT_EQ(std::vector<uint8_t>(bits, bits + 3), (std::vector<uint8_t>{1, 0, 1}));
  registers().poke(kRegister, 0x80000001);
  registers().poke(kRegister + 4, 0x80000000);
  session->readArrayBool(kRegister, bits, 33, false, &s);
  EXPECT_EQ(bits[0], 1);
  EXPECT_EQ(bits[30], 0);
  EXPECT_EQ(bits[31], 1);
  EXPECT_EQ(bits[32], 1);
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, PackedArraysWrite) {
  HostSession session = open();
  tStatus s;
  struct Case {
    std::function<void()> write;
    std::vector<uint32_t> words;
  };
  const uint16_t halves[] = {1, 2, 3};
  const uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44, 0x55};
  const int8_t minusOne[] = {-1};
  // Bool elements contribute bit 0 only.
  const uint8_t bits[] = {1, 0, 3, 2};
  std::vector<uint8_t> manyBits(33, 0);
  manyBits[0] = manyBits[31] = manyBits[32] = 1;
  const Case cases[] = {
      {[&] { session->writeArrayU16(kRegister, halves, 3, false, &s); }, {0x00010002, 0x00030000}},
      {[&] { session->writeArrayU16(kRegister, halves, 2, false, &s); }, {0x00010002, 0xEEEEEEEE}},
      {[&] { session->writeArrayU8(kRegister, bytes, 3, false, &s); }, {0x00112233, 0xEEEEEEEE}},
      {[&] { session->writeArrayU8(kRegister, bytes, 5, false, &s); }, {0x11223344, 0x55000000}},
      {[&] { session->writeArrayI8(kRegister, minusOne, 1, false, &s); }, {0xFF, 0xEEEEEEEE}},
      {[&] { session->writeArrayBool(kRegister, bits, 4, false, &s); }, {0b1010, 0xEEEEEEEE}},
      {[&] { session->writeArrayBool(kRegister, manyBits.data(), 33, false, &s); },
       {0x80000001, 0x80000000}},
  };
  for (const Case& c : cases) {
    registers().poke(kRegister, 0xEEEEEEEE);
    registers().poke(kRegister + 4, 0xEEEEEEEE);
    c.write();
    EXPECT_EQ(registers().peek(kRegister), c.words[0]);
    EXPECT_EQ(registers().peek(kRegister + 4), c.words[1]);
  }
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, WordArraysMoveAsOneAccessOrOneBlock) {
  HostSession session = open();
  tStatus s;
  const uint32_t words[] = {1, 2, 3};
  size_t blocks = sim.device().count(kBlockWrite);
  session->writeArrayU32(kRegister, words, 1, false, &s);
  EXPECT_EQ(sim.device().count(kBlockWrite), blocks);
  session->writeArrayU32(kRegister, words, 3, false, &s);
  EXPECT_EQ(sim.device().count(kBlockWrite), blocks + 1);
  EXPECT_EQ(registers().peek(kRegister + 8), 3u);
  float floats[3] = {};
  session->readArraySgl(kRegister, floats, 3, false, &s);
  EXPECT_EQ(std::bit_cast<uint32_t>(floats[2]), 3u);

  const int64_t wide[] = {0x0000000100000002ll, -1};
  session->writeArrayI64(kRegister, wide, 2, false, &s);
  EXPECT_EQ(registers().peek(kRegister), 1u);
  EXPECT_EQ(registers().peek(kRegister + 4), 2u);
  EXPECT_EQ(registers().peek(kRegister + 12), 0xFFFFFFFFu);
  uint64_t back[2] = {};
  session->readArrayU64(kRegister, back, 2, false, &s);
  EXPECT_EQ(back[0], 0x0000000100000002ull);
  double doubles[1] = {};
  registers().poke(kRegister, 0x3FF00000);
  registers().poke(kRegister + 4, 0);
  session->readArrayDbl(kRegister, doubles, 1, false, &s);
  EXPECT_EQ(doubles[0], 1.0);
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, EmptyAndOversizedArrays) {
  HostSession session = open();
  registers().poke(kRegister, 0x12345678);
  tStatus s;
  // No elements: packed types make no access (and write nothing); word types an empty block.
  size_t before = accesses();
  session->writeArrayBool(kRegister, nullptr, 0, true, &s);
  session->writeArrayU8(kRegister, nullptr, 0, false, &s);
  session->writeArrayI16(kRegister, nullptr, 0, false, &s);
  session->readArrayU8(kRegister, nullptr, 0, false, &s);
  EXPECT_EQ(accesses(), before);
  EXPECT_EQ(registers().peek(kRegister), 0x12345678u);
  session->readArrayU32(kRegister, nullptr, 0, false, &s);
  session->writeArrayU64(kRegister, nullptr, 0, false, &s);
  EXPECT_EQ(accesses(), before + 2);
  EXPECT_EQ(s.code, 0);

  // Counts above 32 bits, and transfers the kernel cannot take at once, make no access.
  before = accesses();
  uint32_t element = 0;
  for (auto call : std::vector<std::function<void(tStatus*)>>{
           [&](tStatus* t) {
             session->readArrayU32(kRegister, &element, 0x100000000ull, false, t);
           },
           [&](tStatus* t) {
             session->readArrayBool(kRegister, nullptr, 0x100000000ull, false, t);
           },
           [&](tStatus* t) { session->writeArrayU64(kRegister, nullptr, 0x20000000ull, false, t); },
           [&](tStatus* t) { session->readArrayU8(kRegister, nullptr, 3, false, t); }}) {
    tStatus t;
    call(&t);
    EXPECT_EQ(t.code, -52005);
  }
  EXPECT_EQ(accesses(), before);
}

TEST_F(HostFpgaSessionTest, TheRunCheckRefusesAnIdleFpgaWhoseEnablesMayGo) {
  BitfileBuilder design = BitfileBuilder::typical();
  design.allowImplicitEnableRemoval(true);
  HostSession session = open(design, qvkel::user::Fpga::kNoRun);
  tStatus s;
  EXPECT_EQ(session->readU32(kRegister, false, &s), 0u);
  EXPECT_EQ(s.code, -61214);
  tStatus ran;
  bool alreadyRunning = true;
  session->run(0, &alreadyRunning, &ran);
  EXPECT_FALSE(alreadyRunning);
  session->writeU32(kRegister, 9, false, &ran);
  EXPECT_EQ(ran.code, 0);
  EXPECT_EQ(registers().peek(kRegister), 9u);
}

TEST_F(HostFpgaSessionTest, DownloadResetAndAbortReachTheFpga) {
  HostSession session = open();
  bool failed = true;
  tStatus s;
  session->download(&failed, &s);
  EXPECT_FALSE(failed);
  EXPECT_EQ(model.downloads(), 2u);
  session->reset(&s);
  session->abort(&s);
  EXPECT_EQ(sim.device().count(0x4020830E), 1u);
  EXPECT_EQ(sim.device().count(0x4020830F), 1u);
  EXPECT_EQ(s.code, 0);
  sim.device().script(0x4020830C, sim::Reply{{}, -52024, {}, 0, {}, true});
  session->download(&failed, &s);
  EXPECT_TRUE(failed);
  EXPECT_EQ(s.code, -52024);
}

TEST_F(HostFpgaSessionTest, FifoSlotsReachTheFifosOfTheDesign) {
  HostSession session = open();
  tStatus s;
  uint64_t depth = 0;
  session->configureFifo(0, 1024, &depth, &s);
  EXPECT_GE(depth, 1024u);
  session->configureFifo(0, 2048, nullptr, &s);
  uint64_t property = 0;
  session->getFifoProperty(0, 3, 2, &property, sizeof property, &s);
  EXPECT_GE(property, 2048u);
  session->startFifo(0, &s);
  ASSERT_EQ(s.code, 0);
  const uint32_t produced[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(sim.module.dmaFifos().push(0, produced, sizeof produced), sizeof produced);

  uint32_t read[2] = {};
  bool timedOut = true;
  uint64_t remaining = 99;
  session->readFifoU32(0, read, 2, 1000, &timedOut, &remaining, &s);
  EXPECT_EQ(read[1], 2u);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(remaining, 4u);
  // The FIFO layer checks the descriptor: I32 elements are not U32 ones, nor is a composite.
  int32_t wrong[1];
  tStatus mismatch;
  session->readFifoI32(0, wrong, 1, 0, &timedOut, &remaining, &mismatch);
  EXPECT_EQ(mismatch.code, -52005);
  EXPECT_EQ(remaining, 0u);
  tStatus composite;
  session->readFifoComposite(0, wrong, 4, 1, 0, &timedOut, nullptr, &composite);
  EXPECT_EQ(composite.code, -52005);

  // In place: elements, then a region of U32 elements described by size and signedness.
  uint32_t* elements = nullptr;
  uint64_t acquired = 0;
  session->acquireFifoReadElementsU32(0, &elements, 2, 1000, &timedOut, &acquired, &remaining, &s);
  ASSERT_EQ(acquired, 2u);
  EXPECT_EQ(elements[0], 3u);
  session->releaseFifoElements(0, 2, &s);
  uint64_t region = 0;
  void* inPlace = nullptr;
  session->acquireFifoReadRegion(0, &region, &inPlace, false, 4, 2, 1000, &timedOut, &acquired,
                                 &remaining, &s);
  ASSERT_NE(region, 0u);
  EXPECT_EQ(static_cast<uint32_t*>(inPlace)[1], 6u);
  session->releaseFifoRegion(0, region, &s);
  tStatus sizedWrong;
  session->acquireFifoReadRegion(0, &region, &inPlace, true, 4, 1, 0, &timedOut, &acquired,
                                 &remaining, &sizedWrong);
  EXPECT_EQ(sizedWrong.code, -52005);
  EXPECT_EQ(region, 0u);
  EXPECT_EQ(inPlace, nullptr);
  // Without a place for the handle nothing is taken: that region could never be released.
  const uint32_t seventh = 7;
  ASSERT_EQ(sim.module.dmaFifos().push(0, &seventh, sizeof seventh), sizeof seventh);
  tStatus noHandle;
  session->acquireFifoReadRegion(0, nullptr, &inPlace, false, 4, 1, 1000, &timedOut, &acquired,
                                 &remaining, &noHandle);
  EXPECT_EQ(noHandle.code, -52005);
  EXPECT_EQ(acquired, 0u);
  session->readFifoU32(0, read, 1, 1000, &timedOut, &remaining, &s);
  EXPECT_EQ(read[0], 7u);
  EXPECT_EQ(s.code, 0);

  // Host to target: FXP elements take any descriptor.
  sim.module.dmaFifos().setDirection(1, sim::DmaFifos::Direction::HostToTarget);
  const uint64_t samples[3] = {7, 8, 9};
  session->writeFifoU64(1, samples, 3, 1000, &timedOut, &remaining, &s);
  EXPECT_EQ(s.code, 0);
  uint64_t consumed[3] = {};
  EXPECT_EQ(sim.module.dmaFifos().pull(1, consumed, sizeof consumed), sizeof consumed);
  EXPECT_EQ(consumed[2], 9u);

  struct Refusal {
    std::function<void(tStatus*)> call;
    int64_t code;
  };
  uint32_t value = 5;
  for (const Refusal& r : std::vector<Refusal>{
           {[&](tStatus* t) { session->startFifo(4, t); }, -52005},  // the FIFO count
           {[&](tStatus* t) { session->startFifo(3, t); }, -52005},  // peer-to-peer channel
           {[&](tStatus* t) { session->setFifoProperty(0, 3, 5, &value, 4, t); }, -63193},
           {[&](tStatus* t) { session->readFifoU32(0, nullptr, 1, 0, nullptr, nullptr, t); },
            -52005}}) {
    tStatus t;
    r.call(&t);
    EXPECT_EQ(t.code, r.code);
  }
  session->stopFifo(0, &s);
  session->commitFifoConfiguration(0, &s);
  session->unconfigureFifo(0, &s);
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, EachTypedFifoSlotDescribesItsElementType) {
  // One FIFO each way per integer type (FIFOs of Bool, FXP, SGL and DBL take any descriptor):
  // target to host 0 to 7, host to target 8 to 15.
  const char* integerTypes[] = {"U8", "U16", "U32", "U64", "I8", "I16", "I32", "I64"};
  BitfileBuilder design;
  for (uint32_t i = 0; i < 16; ++i) {
    DmaChannelSpec channel("Fifo" + std::to_string(i), i, integerTypes[i % 8], 0x40 * (i + 1));
    if (i >= 8) channel.implementation = "qvFpgaHostToTarget";
    design.addChannel(channel);
  }
  HostSession session = open(design);
  const Group groups[] = {QV_FIFO_GROUP(Bool, -1), QV_FIFO_GROUP(U8, 0),  QV_FIFO_GROUP(U16, 1),
                          QV_FIFO_GROUP(U32, 2),   QV_FIFO_GROUP(U64, 3), QV_FIFO_GROUP(I8, 4),
                          QV_FIFO_GROUP(I16, 5),   QV_FIFO_GROUP(I32, 6), QV_FIFO_GROUP(I64, 7),
                          QV_FIFO_GROUP(Sgl, -1),  QV_FIFO_GROUP(Dbl, -1)};
  for (const Group& g : groups) {
    for (int fifo = 0; fifo < 8; ++fifo) {
      const bool refused = fifo != g.strictFifo;
      for (auto [call, number] : {std::pair{&g.read, fifo},
                                  {&g.acquireRead, fifo},
                                  {&g.write, fifo + 8},
                                  {&g.acquireWrite, fifo + 8}}) {
        tStatus t;
        (*call)(*session, static_cast<uint32_t>(number), &t);
        EXPECT_EQ(t.code == -52005, refused) << g.name << " on FIFO " << number << ": " << t.code;
      }
    }
  }
}
#undef QV_FIFO_GROUP

TEST_F(HostFpgaSessionTest, InterruptsAndTheirRefusalInACopy) {
  HostSession session = open();
  std::atomic<uint32_t> asserted{0};
  bool timedOut = true;
  tStatus waited;
  std::thread waiter([&] { asserted = session->waitOnIrqs(0x6, 0xFFFFFFFF, &timedOut, &waited); });
  ASSERT_TRUE(model.awaitInterruptWaits(2));
  model.raiseInterrupts(0x4);
  waiter.join();
  EXPECT_EQ(asserted.load(), 0x4u);
  EXPECT_FALSE(timedOut);
  EXPECT_EQ(waited.code, 0);
  tStatus s;
  session->acknowledgeIrqs(0x4, &s);
  EXPECT_EQ(model.pendingInterrupts(), 0u);
  EXPECT_EQ(session->waitOnIrqs(0x6, 10, &timedOut, &s), 0u);
  EXPECT_TRUE(timedOut);
  session->sendIrqCommand831E(&s);
  session->sendIrqCommand831F(&s);
  EXPECT_EQ(sim.device().count(0x4020831E), 1u);
  EXPECT_EQ(sim.device().count(0x4020831F), 1u);
  EXPECT_EQ(s.code, 0);

  HostSession copy(static_cast<qvkel::IFpgaSession207*>(session->clone(&s)));
  ASSERT_NE(copy, nullptr);
  bool failed = false;
  for (auto call : std::vector<std::function<void(tStatus*)>>{
           [&](tStatus* t) { EXPECT_EQ(copy->waitOnIrqs(1, 0, &timedOut, t), 0u); },
           [&](tStatus* t) { copy->acknowledgeIrqs(1, t); },
           [&](tStatus* t) { copy->sendIrqCommand831E(t); },
           [&](tStatus* t) { copy->download(&failed, t); }, [&](tStatus* t) { copy->reset(t); },
           [&](tStatus* t) { copy->abort(t); }, [&](tStatus* t) { copy->run(0, nullptr, t); },
           [&](tStatus* t) { EXPECT_EQ(copy->clone(t), nullptr); },
           [&](tStatus* t) { copy->invoke(2, 0, 0, 0, 0, 0, t); }}) {
    tStatus t;
    call(&t);
    EXPECT_EQ(t.code, -63193);
  }
  EXPECT_TRUE(failed);
  // Registers, FIFOs and queries work in the copy; ending it leaves the kernel session open.
  copy->writeU32(kRegister, 0x77, false, &s);
  EXPECT_EQ(session->readU32(kRegister, false, &s), 0x77u);
  uint64_t depth = 0;
  copy->configureFifo(0, 16, &depth, &s);
  EXPECT_EQ(copy->getFpgaState(&s), 2u);
  EXPECT_EQ(s.code, 0);
  copy.reset();
  EXPECT_TRUE(model.closes().empty());
}

TEST_F(HostFpgaSessionTest, HostMemoryBuffersAndTheRequestSlot) {
  HostSession session = open();
  tStatus s;
  uint64_t size = 0;
  void *address = nullptr, *context = nullptr;
  qvkel::HmbCleanupCallback cleanup = nullptr;
  session->getHmbRegion("Capture", &size, &address, &context, &cleanup, &s);
  ASSERT_EQ(s.code, 0);
  ASSERT_NE(address, nullptr);
  EXPECT_GT(size, 0u);
  static_cast<uint8_t*>(address)[size - 1] = 0x5A;
  cleanup(context);

  uint64_t bufferSize = 0, pageSize = 0;
  void *buffer = nullptr, *bufferContext = nullptr, *page = nullptr, *pageContext = nullptr;
  qvkel::HmbCleanupCallback bufferCleanup = nullptr, pageCleanup = nullptr;
  session->openHmbLlb("Lowlatency", &bufferSize, &buffer, &bufferContext, &bufferCleanup, &pageSize,
                      &page, &pageContext, &pageCleanup, &s);
  ASSERT_EQ(s.code, 0);
  EXPECT_EQ(pageSize, 4096u);
  bufferCleanup(bufferContext);
  pageCleanup(pageContext);

  tStatus missing;
  session->getHmbRegion("Missing", &size, &address, &context, &cleanup, &missing);
  EXPECT_EQ(missing.code, -52006);
  // A plain session serves the host-memory request at the pass-through slot.
  tStatus request;
  session->invoke(2, 1, 0, 0, 0, 0, &request);
  EXPECT_EQ(request.code, -63045);
  // Peer-to-peer operations are not provided.
  uint32_t endpoint = 0;
  tStatus p2p;
  session->getPeerToPeerEndpoint(3, &endpoint, &p2p);
  EXPECT_EQ(p2p.code, -63193);
}

TEST_F(HostFpgaSessionTest, BitfileQueries) {
  HostSession session = open();
  tStatus s;
  EXPECT_EQ(std::string(session->getBitfileContents(&s)),
            qvkel::Bitfile(BitfileBuilder::typical().text().c_str(), false, false)
                .getXmlWithoutBitstream());
  uint32_t words[8] = {};
  uint64_t count = 8;
  session->getBitfileSignature(words, &count, &s);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(words[0], 0x01234567u);
  EXPECT_EQ(words[3], 0x44556677u);
  uint32_t offset = 1, number = 1;
  session->findRegister("Count", 0xFFFFFFFF, &offset, &s);
  session->findFifo("FromHost", 0xFFFFFFFF, &number, &s);
  EXPECT_EQ(offset, 0x18u);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(s.code, 0);

  count = 3;
  tStatus shortRoom, badDefault, notFound;
  session->getBitfileSignature(words, &count, &shortRoom);
  EXPECT_EQ(shortRoom.code, -52005);
  EXPECT_EQ(count, 4u);
  session->findRegister("Count", 0, &offset, &badDefault);
  EXPECT_EQ(badDefault.code, -52005);
  EXPECT_EQ(offset, 0u);
  session->findFifo("Nothing", 0xFFFFFFFF, &number, &notFound);
  EXPECT_EQ(notFound.code, -52006);
  EXPECT_EQ(number, 0xFFFFFFFFu);

  // Places the host left out.
  count = 8;
  for (auto call : std::vector<std::function<void(tStatus*)>>{
           [&](tStatus* t) { session->getBitfileSignature(words, nullptr, t); },
           [&](tStatus* t) { session->getBitfileSignature(nullptr, &count, t); },
           [&](tStatus* t) { session->findRegister(nullptr, 0xFFFFFFFF, &offset, t); },
           [&](tStatus* t) { session->findRegister("Count", 0xFFFFFFFF, nullptr, t); },
           [&](tStatus* t) { session->findFifo(nullptr, 0xFFFFFFFF, &number, t); },
           [&](tStatus* t) { session->findFifo("FromHost", 0xFFFFFFFF, nullptr, t); }}) {
    tStatus t;
    call(&t);
    EXPECT_EQ(t.code, -52005);
  }
}

TEST_F(HostFpgaSessionTest, CloseSetsTheCloseFlagAndEndsTheObjectWhateverHappens) {
  open().release()->close(0, nullptr);
  ASSERT_EQ(model.closes().size(), 1u);
  EXPECT_EQ(model.closes()[0].closeFlag, 1);
  tStatus s;
  open().release()->close(qvkel::kCloseKeepFlag, &s);
  ASSERT_EQ(model.closes().size(), 2u);
  EXPECT_EQ(model.closes()[1].closeFlag, 0);
  EXPECT_EQ(s.code, 0);

  // A design that allows implicit enable removal refuses the flag; the object ends all the same.
  BitfileBuilder design = BitfileBuilder::typical();
  design.allowImplicitEnableRemoval(true);
  tStatus refused;
  open(design).release()->close(0, &refused);
  EXPECT_EQ(refused.code, -61213);
  EXPECT_EQ(model.closes().size(), 3u);
  closed().release()->close(0, &s);
}

TEST_F(HostFpgaSessionTest, LegacySessionsComeFromTheFactory) {
  HostSession session = closed();
  tStatus s;
  EXPECT_EQ(session->openTraditionalSession(1, &s), nullptr);
  EXPECT_EQ(s.code, -63193);
  EXPECT_EQ(factory.traditionalRequests, 0);
  tStatus fine;
  qvkel::IFpgaSessionTraditional* legacy = session->openTraditionalSession(0, &fine);
  ASSERT_NE(legacy, nullptr);
  EXPECT_EQ(legacy->getAttributeU32(90, &fine), 7u);  // the flash support, without a session
  legacy->release();
  EXPECT_EQ(fine.code, 0);
  EXPECT_EQ(factory.traditionalRequests, 1);
}

TEST_F(HostFpgaSessionTest, ASessionOutlivesTheDesignItOpenedWith) {
  HostSession first = open();
  // Another design, downloaded, attaches with its own register accessor.
  BitfileBuilder other = BitfileBuilder::typical();
  other.signature("FFFFFFFF89ABCDEF0011223344556677").targetSpecific(std::nullopt);
  HostSession second = closed();
  tStatus s;
  second->open(writeBitfile(other).c_str(), "FFFFFFFF89ABCDEF0011223344556677", 0, &s);
  ASSERT_EQ(s.code, 0);
  first->writeU32(kRegister, 0x1234, false, &s);
  EXPECT_EQ(second->readU32(kRegister, false, &s), 0x1234u);
  EXPECT_EQ(s.code, 0);
}

TEST_F(HostFpgaSessionTest, TheStateIsReadWhileAnotherSessionAttachesADesign) {
  HostSession first = open();
  // A session of another design attaches it with a gated accessor and ends: the FPGA object
  // alone keeps that accessor.
  Gate gate;
  factory.makeAccessor = [&] { return std::make_shared<GatedAccessor>(sim.proxy, gate); };
  {
    HostSession second = closed();
    tStatus s;
    second->open(writeBitfile(otherDesign()).c_str(), kOtherSignature, 0, &s);
    ASSERT_EQ(s.code, 0);
  }
  factory.makeAccessor = nullptr;
  gate.arm();
  tStatus read;
  uint32_t state = 0;
  std::thread reader([&] { state = first->getFpgaState(&read); });
  EXPECT_TRUE(gate.awaitReached());
  // The state read is under way when a third session attaches the first design again.
  HostSession third = open();
  gate.open();
  reader.join();
  EXPECT_EQ(read.code, 0);
  EXPECT_EQ(state, 2u);
}

TEST_F(HostFpgaSessionTest, BitfileQueriesWhileOtherSessionsAttachOtherDesigns) {
  HostSession first = open();
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::thread reader([&] {
    while (!done) {
      tStatus s;
      uint32_t words[4] = {};
      uint64_t count = 4;
      first->getBitfileSignature(words, &count, &s);
      uint32_t offset = 0;
      first->findRegister("Count", 0xFFFFFFFF, &offset, &s);
      // The FPGA's design of the moment: either one.
      if (s.code != 0 || (words[0] != 0x01234567u && words[0] != 0xFFFFFFFFu) || offset != 0x18)
        ++failures;
    }
  });
  for (int i = 0; i < 12; ++i) {
    HostSession other = closed();
    tStatus s;
    const bool odd = i % 2 == 1;
    other->open(writeBitfile(odd ? BitfileBuilder::typical() : otherDesign()).c_str(),
                odd ? kSignature : kOtherSignature, 0, &s);
    EXPECT_EQ(s.code, 0);
  }
  done = true;
  reader.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
