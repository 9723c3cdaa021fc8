// Named registers through the session transport, against the simulated module's register file.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "../attributes/TestSupport.h"
#include "SessionTestbed.h"

namespace {

using attrtest::catchError;
using qvvandrel::SessionTransportInterface;
using sessiontest::kControlRegister;
using sessiontest::kRead32;
using sessiontest::kReadBlock;
using sessiontest::kWrite32;
using sessiontest::kWriteBlock;
template <typename T>
using Register = qvisl::Register<T, SessionTransportInterface>;

class SessionTransportTest : public sessiontest::SessionTestbed {
 protected:
  template <typename T>
  Register<T> resolved(const char* name) {
    nQVVUSKS100::tStatus status;
    Register<T> reg(transport.get(), name, &status);
    EXPECT_EQ(status.code, 0) << name;
    return reg;
  }
};

// Writes and reads one value of each width through its register and checks the module's words.
TEST_F(SessionTransportTest, EachWidthReachesItsRegisterByName) {
  open({sessiontest::designRegister("flag", 0x100, "Boolean"),
        sessiontest::designRegister("u8", 0x108, "U8"),
        sessiontest::designRegister("u16", 0x110, "U16"),
        sessiontest::designRegister("u32", 0x118, "U32"),
        sessiontest::designRegister("u64", 0x120, "U64"),
        sessiontest::designRegister("i8", 0x128, "I8"),
        sessiontest::designRegister("i16", 0x130, "I16"),
        sessiontest::designRegister("i32", 0x138, "I32"),
        sessiontest::designRegister("i64", 0x140, "I64")});
  nQVVUSKS100::tStatus status;
  auto check = [&](const char* name, auto written, uint32_t word, uint32_t poked, auto read) {
    SCOPED_TRACE(name);
    using T = decltype(written);
    Register<T> reg(transport.get(), name, &status);
    EXPECT_EQ(reg.address(), address(name));
    reg.write(written, &status);
    EXPECT_EQ(registers().peek(address(name)), word);
    registers().poke(address(name), poked);
    EXPECT_EQ(reg.read(&status), read);
    EXPECT_EQ(status.code, 0);
  };
  check("flag", true, 1u, 0x02u, true);
  check("u8", uint8_t{0xAB}, 0xABu, 0x123456CDu, uint8_t{0xCD});
  check("u16", uint16_t{0xBEEF}, 0xBEEFu, 0x1234CAFEu, uint16_t{0xCAFE});
  check("u32", uint32_t{0xDEADBEEF}, 0xDEADBEEFu, 0x01020304u, uint32_t{0x01020304});
  check("i8", int8_t{-2}, 0xFEu, 0xFFFFFF80u, int8_t{-128});
  check("i16", int16_t{-2}, 0xFFFEu, 0x00008000u, int16_t{-32768});
  check("i32", int32_t{-5}, 0xFFFFFFFBu, 0x80000000u, INT32_MIN);

  // 64 bits: the high word at the register's offset, the low word after it.
  Register<unsigned long> u64 = resolved<unsigned long>("u64");
  Register<long> i64 = resolved<long>("i64");
  sim.device().clearLog();
  u64.write(0x0102030405060708ul, &status);
  i64.write(-2, &status);
  EXPECT_EQ(registers().read64(address("u64")), 0x0102030405060708u);
  EXPECT_EQ(registers().read64(address("i64")), 0xFFFFFFFFFFFFFFFEu);
  registers().write64(address("u64"), 0x1112131415161718u);
  registers().write64(address("i64"), 0x8000000000000001u);
  EXPECT_EQ(u64.read(&status), 0x1112131415161718u);
  EXPECT_EQ(i64.read(&status), static_cast<long>(0x8000000000000001u));
  EXPECT_EQ(status.code, 0);
  // Unsigned: one block transfer each way. Signed: two single words, the high one first.
  const uint32_t u = address("u64"), i = address("i64");
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{kWriteBlock, u},  {kWrite32, i},
                                                               {kWrite32, i + 4}, {kReadBlock, u},
                                                               {kRead32, i},      {kRead32, i + 4}};
  EXPECT_EQ(accesses(), expected);
}

TEST_F(SessionTransportTest, AnUnknownOrRepeatedNameDoesNotResolveAndItsRegisterRefusesAccess) {
  open({sessiontest::designRegister("twice", 0x100, "U32"),
        sessiontest::designRegister("twice", 0x104, "U32"),
        sessiontest::designRegister("once", 0x108, "U32")});
  for (const char* name : {"twice", "absent", "Once", "onc"}) {
    SCOPED_TRACE(name);
    nQVVUSKS100::tStatus status;
    Register<unsigned int> reg(transport.get(), name, &status);
    EXPECT_EQ(status.code, -52006);
    EXPECT_STREQ(status.component, "qvvandrel");
    EXPECT_STREQ(status.file, "SessionTransport");
    EXPECT_EQ(status.line, 27u);
    EXPECT_FALSE(reg.isResolved());
    nQVVUSKS100::tStatus fresh;
    EXPECT_EQ(catchError([&] { reg.write(7, &fresh); }).code, -52006);
  }
  EXPECT_TRUE(accesses().empty());
  // A status that already holds an error resolves nothing and sends nothing.
  nQVVUSKS100::tStatus failed;
  failed.code = -1;
  Register<unsigned int> skipped(transport.get(), "once", &failed);
  EXPECT_FALSE(skipped.isResolved());
  uint32_t value = 5;
  transport->readU32(address("once"), &value, &failed);
  transport->writeU32(address("once"), 1, &failed);
  EXPECT_EQ(value, 5u);
  EXPECT_TRUE(accesses().empty());
}

TEST_F(SessionTransportTest, AddressBit31ChecksTheBusStatusAfterTheAccess) {
  open({sessiontest::designRegister("checked", 0x10, "U32", true),
        sessiontest::designRegister("plain", 0x14, "U32")});
  Register<unsigned int> checked = resolved<unsigned int>("checked");
  Register<unsigned int> plain = resolved<unsigned int>("plain");
  EXPECT_EQ(checked.address(), 0x80000000u | address("checked"));
  EXPECT_EQ(plain.address(), address("plain"));

  nQVVUSKS100::tStatus status;
  checked.write(1, &status);
  plain.write(2, &status);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {
      {kWrite32, address("checked")}, {kRead32, kControlRegister}, {kWrite32, address("plain")}};
  EXPECT_EQ(accesses(), expected);

  fpgaModel.setErrorBits(sim::FpgaModel::kBusErrorBit);
  plain.write(3, &status);
  EXPECT_EQ(status.code, 0);
  // The typed transport leaves the failure in the status; the register raises it.
  uint32_t value = 9;
  transport->readU32(checked.address(), &value, &status);
  EXPECT_EQ(status.code, -61046);
  EXPECT_EQ(value, 9u);
  nQVVUSKS100::tStatus fresh;
  EXPECT_EQ(catchError([&] { checked.write(4, &fresh); }).code, -61046);
  EXPECT_EQ(registers().peek(address("checked")), 4u);  // written before the check failed
  bool flag = true;
  nQVVUSKS100::tStatus boolStatus;
  transport->readBool(checked.address(), &flag, &boolStatus);
  EXPECT_EQ(boolStatus.code, -61046);
  EXPECT_FALSE(flag);
}

TEST_F(SessionTransportTest, TheGuarded16BitWriteKeepsTheLow16Bits) {
  open({sessiontest::designRegister("cfg", 0x20, "U16", true)});
  qvvandrel::writeRegisterGuarded(*session, address("cfg"), 0x12345, true);
  EXPECT_EQ(registers().peek(address("cfg")), 0x2345u);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{kWrite32, address("cfg")},
                                                               {kRead32, kControlRegister}};
  EXPECT_EQ(accesses(), expected);
}

TEST_F(SessionTransportTest, FifosAreFoundByTheirExactName) {
  design.addChannel(qvsim::DmaChannelSpec("Samples", 0, "U32", 0x200));
  design.addChannel(qvsim::DmaChannelSpec("Commands", 1, "U32", 0x240));
  open({});
  EXPECT_TRUE(transport->hasFifo("Commands"));
  EXPECT_FALSE(transport->hasFifo("commands"));
  EXPECT_FALSE(transport->hasFifo(nullptr));
  EXPECT_EQ(transport->findFifo("Commands")->getNumber(), 1u);
  for (const char* name : {"Sample", "samples"})
    EXPECT_EQ(catchError([&] { transport->findFifo(name); }).code, -52006) << name;
}

}  // namespace
