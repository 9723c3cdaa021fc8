#include "model/AttributeRequests.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/errors/Exception.h"
#include "model/DependencyAttribute.h"
#include "model/Resolvers.h"

namespace {

constexpr std::uint32_t kAiRange = 0x20000010, kRefClkSource = 0x1000000B;
constexpr std::uint32_t kFpgaTemperature = 0x20000005, kAdcTemperature = 0x2000000C;
constexpr std::uint32_t kSerialNumber = 0x30000010, kIoModuleEnabled = 0x40000006;
constexpr std::uint32_t kCalibrationDate = 0x50000003, kUnsigned32 = 0x10000014;

template <typename T>
using Attr = qvvandrel::DependencyAttribute<T>;
using qvvandrel::initialValue;

// Plain channel names never reach the CLIP.
class NoFifo : public ififo_rpc::InstructionFifoInterface {
  uint32_t call(uint32_t, const ififo_rpc::Instruction&, nQVVUSKS100::tStatus*) override {
    ADD_FAILURE() << "instruction sent";
    return 0;
  }
  void post(uint32_t, const ififo_rpc::Instruction&, nQVVUSKS100::tStatus*) override {
    ADD_FAILURE() << "instruction posted";
  }
};

// One attribute of each public type; the compile step clamps "AI Range" to 10 and can fail.
class Probe : public qvvandrel::TrivialFeature {
 public:
  void registerAttributes(atat::AttributeRegistry* registry) override {
    for (iattr::AttributeBaseInterface* a :
         {&ai0_, &ai1_, static_cast<Attr<double>*>(&adc), &fpga_})
      registry->addAttribute(a);
    for (iattr::AttributeBaseInterface* a : std::initializer_list<iattr::AttributeBaseInterface*>{
             &source_, &serial, &enabled_, &date_, &count_})
      registry->addAttribute(a);
  }
  void commission(const qvvandrel::ResolverRoots* roots, atat::AttributeRegistry*) override {
    qvvandrel::wireResolvers(*roots, compileResolver, deployResolver);
    for (Attr<double>* a : {&ai0_, &ai1_, &adc}) qvvandrel::wireOwnAttribute(compileResolver, *a);
  }
  void compile() override {
    ++compiles;
    if (failCompile) qverr::throwError(-304408);
    ai0_.setCoerced(std::min(ai0_.getDesired(), 10.0));
  }
  void deploy(bool) override {}

  Attr<double> ai0_{kAiRange, "AI0", initialValue(1.0)}, ai1_{kAiRange, "AI1", initialValue(2.0)};
  Attr<double> adc{kAdcTemperature, "", initialValue(40.0)};
  Attr<double> fpga_{kFpgaTemperature, "", initialValue(51.5)};
  Attr<int> source_{kRefClkSource, "", initialValue(-1)};
  Attr<std::string> serial{kSerialNumber, "", initialValue(std::string("00001A2B"))};
  Attr<bool> enabled_{kIoModuleEnabled, "", initialValue(true)};
  Attr<std::uint64_t> date_{kCalibrationDate, "", initialValue(std::uint64_t{0x1122334455667788})};
  Attr<std::uint32_t> count_{kUnsigned32, "", initialValue(0xFFFFFFFEu)};
  int compiles = 0;
  bool failCompile = false;
  qvvandrel::CompileResolver<Probe> compileResolver{this};
  qvvandrel::DeployResolver<Probe> deployResolver{this};
};

// A record written field by field at the offsets of its layout.
struct Record {
  std::array<unsigned char, 565> bytes{};
  Record(std::uint32_t operation, std::uint32_t id, std::uint32_t type, const char* channel = "") {
    put(16, operation).put(20, id).put(24, type);
    std::memcpy(&bytes[28], channel, std::strlen(channel));
  }
  template <typename T>
  Record& put(std::size_t offset, T value) {
    std::memcpy(&bytes[offset], &value, sizeof value);
    return *this;
  }
};

class AttributeRequests : public ::testing::Test {
 protected:
  AttributeRequests() {
    nQVVUSKS100::tStatus status;
    mutex.create(&status);
    kommissar.addCommission(&probe);
    kommissar.commission();
    reply.fill(0xEE);
  }

  // The request's status code (0 on success).
  std::int32_t request(const Record& record, std::uint64_t recordSize = 565,
                       std::uint64_t replySize = 281, bool withReply = true) {
    try {
      qvvandrel::handleAttributeRequest(target, record.bytes.data(), recordSize,
                                        withReply ? reply.data() : nullptr, replySize);
      return 0;
    } catch (const qverr::Exception& e) {
      detail = e.what();
      return e.code();
    }
  }
  template <typename T>
  T replyAt(std::size_t offset) const {
    T value;
    std::memcpy(&value, &reply[offset], sizeof value);
    return value;
  }

  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex mutex;
  NoFifo fifo;
  qvvandrel::ClipConfiguration clip{fifo, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clip.deploy};
  Probe probe;
  qvvandrel::AttributeRequestTarget target{mutex, registry, clip, kommissar};
  std::array<unsigned char, 300> reply{};
  std::string detail;
};

TEST_F(AttributeRequests, AGetReturnsTheCoercedValueInTheFieldOfTheAttributesOwnTypeOnly) {
  ASSERT_EQ(request(Record(722, kAiRange, 1, "AI0").put(284, 20.0), 565, 0, false), 0);
  EXPECT_EQ(request(Record(721, kAiRange, 1, "ai0")), 0);  // channels compare without case
  EXPECT_EQ(replyAt<double>(0), 10.0);
  EXPECT_EQ(reply[8], 0xEE);  // only the type's field is written
  struct Case {
    std::uint32_t id, type;
    std::size_t offset;
    std::uint64_t value;
  };
  for (const Case c : {Case{kRefClkSource, 2, 8, ~0ull},
                       {kIoModuleEnabled, 0, 280, 1},
                       {kUnsigned32, 4, 16, 0xFFFFFFFE},
                       {kCalibrationDate, 5, 16, 0x1122334455667788},
                       {kSerialNumber, 6, 24, 0x4232413130303030}}) {
    EXPECT_EQ(request(Record(721, c.id, c.type)), 0) << c.id;
    EXPECT_EQ(c.offset == 280 ? reply[280] : replyAt<std::uint64_t>(c.offset), c.value) << c.id;
    // Every other value type, int64 included, is the wrong type.
    for (std::uint32_t other = 0; other <= 6; ++other) {
      if (other != c.type) {
        EXPECT_EQ(request(Record(721, c.id, other)), -304403) << c.id;
      }
    }
  }
  EXPECT_EQ(reply[24 + 8], 0);  // the text field is zero-filled
  EXPECT_EQ(request(Record(722, kRefClkSource, 3).put(292, std::int64_t{5})), -304403);
  EXPECT_EQ(probe.source_.getDesired(), -1);
}

TEST_F(AttributeRequests, OnlyNonStaticGetsCompileSoAPendingFailureShowsThere) {
  probe.failCompile = true;
  EXPECT_EQ(request(Record(721, kFpgaTemperature, 1)), 0);
  EXPECT_EQ(replyAt<double>(0), 51.5);
  EXPECT_EQ(request(Record(721, kAdcTemperature, 1)), -304408);
  probe.failCompile = false;
  EXPECT_EQ(request(Record(721, kAdcTemperature, 7)), -304501);  // after the compile
  EXPECT_EQ(probe.compiles, 2);
}

TEST_F(AttributeRequests, AContextTheAttributeLacksListsTheRegisteredOnes) {
  EXPECT_EQ(request(Record(721, kAiRange, 1, "")), -304423);
  EXPECT_NE(detail.find("\"vandrel_kUsageTypeContext\""), std::string::npos) << detail;
  EXPECT_NE(detail.find("[\"AI0\",\"AI1\"]"), std::string::npos) << detail;
  EXPECT_NE(detail.find("AI Range"), std::string::npos) << detail;
  EXPECT_EQ(request(Record(721, 0x10000099, 1)), -304404);
  // Reset and is-supported address the device-wide entry only.
  EXPECT_EQ(request(Record(723, kAiRange, 1, "AI0")), -304404);
  ASSERT_EQ(request(Record(722, kAdcTemperature, 1).put(284, 7.0)), 0);
  EXPECT_EQ(request(Record(723, kAdcTemperature, 9)), 0);
  EXPECT_EQ(probe.adc.getDesired(), 40.0);
  for (const auto& [id, supported] : {std::pair{kAiRange, 0}, {kAdcTemperature, 1}}) {
    EXPECT_EQ(request(Record(724, id, 99, "AI0")), 0);
    EXPECT_EQ(reply[0], supported) << id;
  }
}

TEST_F(AttributeRequests, SizesOperationsAndVersionsAreCheckedFirstAndTextsWithinTheirBytes) {
  const Record get(721, kAdcTemperature, 1);
  EXPECT_EQ(request(get, 564), -52005);
  EXPECT_EQ(request(get, 565, 280), -52005);
  EXPECT_EQ(request(get, 565, 281, false), -52005);
  EXPECT_EQ(request(Record(725, kAdcTemperature, 1)), -52005);
  EXPECT_EQ(request(Record(724, kAdcTemperature, 1).put(12, 1u)), -304502);
  EXPECT_EQ(request(Record(721, kAdcTemperature, 1).put(8, 9u)), 0);  // any version
  Record set(722, kSerialNumber, 6);
  std::memset(&set.bytes[308], 'x', 256);  // no zero byte
  ASSERT_EQ(request(set), 0);
  EXPECT_EQ(probe.serial.getDesired(), std::string(256, 'x'));
  probe.serial.set(std::string(300, 'z'));
  EXPECT_EQ(request(Record(721, kSerialNumber, 6)), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[24]), 256), std::string(256, 'z'));
  EXPECT_EQ(reply[280], 0xEE);
  std::memset(&set.bytes[28], 'A', 256);
  EXPECT_EQ(request(set.put(20, kAiRange)), -304423);
}

}  // namespace
