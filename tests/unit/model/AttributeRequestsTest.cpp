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

// Nothing of these requests reaches the CLIP: plain channel names need no query.
class NoFifo : public ififo_rpc::InstructionFifoInterface {
 public:
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
  Probe() {
    for (const char* channel : {"AI0", "AI1", "AI2", "AI3"})
      ranges.push_back(
          std::make_unique<Attr<double>>(kAiRange, channel, qvvandrel::initialValue(1.0)));
  }
  void registerAttributes(atat::AttributeRegistry* registry) override {
    for (auto& range : ranges) registry->addAttribute(range.get());
    for (iattr::AttributeBaseInterface* a : std::initializer_list<iattr::AttributeBaseInterface*>{
             &source, &adcTemperature, &fpgaTemperature, &serial, &enabled, &date, &count})
      registry->addAttribute(a);
  }
  void commission(const qvvandrel::ResolverRoots* roots, atat::AttributeRegistry*) override {
    qvvandrel::wireResolvers(*roots, compileResolver, deployResolver);
    for (auto& range : ranges) qvvandrel::wireOwnAttribute(compileResolver, *range);
    qvvandrel::wireOwnAttribute(compileResolver, adcTemperature);
  }
  void compile() override {
    ++compiles;
    if (failCompile) qverr::throwError(-304408);
    for (auto& range : ranges) range->setCoerced(std::min(range->getDesired(), 10.0));
  }
  void deploy(bool) override {}

  template <typename T>
  using Attr = qvvandrel::DependencyAttribute<T>;

  std::vector<std::unique_ptr<Attr<double>>> ranges;
  Attr<int> source{kRefClkSource, "", qvvandrel::initialValue(-1)};
  Attr<double> adcTemperature{kAdcTemperature, "", qvvandrel::initialValue(40.0)};
  Attr<double> fpgaTemperature{kFpgaTemperature, "", qvvandrel::initialValue(51.5)};
  Attr<std::string> serial{kSerialNumber, "", qvvandrel::initialValue(std::string("00001A2B"))};
  Attr<bool> enabled{kIoModuleEnabled, "", qvvandrel::initialValue(true)};
  Attr<std::uint64_t> date{kCalibrationDate, "",
                           qvvandrel::initialValue(std::uint64_t{0x1122334455667788})};
  Attr<std::uint32_t> count{kUnsigned32, "", qvvandrel::initialValue(0xFFFFFFFEu)};
  int compiles = 0;
  bool failCompile = false;
  qvvandrel::CompileResolver<Probe> compileResolver{this};
  qvvandrel::DeployResolver<Probe> deployResolver{this};
};

// A record written field by field at the offsets of its layout.
struct Record {
  std::array<unsigned char, 565> bytes{};
  Record(std::uint32_t operation, std::uint32_t id, std::uint32_t type, const char* channel = "") {
    put(0, std::uint32_t{258});
    put(16, operation);
    put(20, id);
    put(24, type);
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

  nQVVUSKS100::tStatus status;
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

TEST_F(AttributeRequests, SetThenGetReturnsTheCoercedValueOfTheAttributesOwnTypeOnly) {
  ASSERT_EQ(request(Record(722, kAiRange, 1, "AI0").put(284, 20.0), 565, 0, false), 0);
  EXPECT_EQ(request(Record(721, kAiRange, 1, "AI0")), 0);
  EXPECT_EQ(replyAt<double>(0), 10.0);
  EXPECT_EQ(reply[8], 0xEE);  // only the type's field is written
  EXPECT_TRUE(probe.ranges[0]->wasSetByUser());
  // The registry ignores case; the enumeration is an int32 and is sign-extended.
  EXPECT_EQ(request(Record(721, kAiRange, 1, "ai1")), 0);
  EXPECT_EQ(replyAt<double>(0), 1.0);
  EXPECT_EQ(request(Record(721, kRefClkSource, 2)), 0);
  EXPECT_EQ(replyAt<std::int64_t>(8), -1);

  struct Case {
    std::uint32_t id, type;
    std::size_t offset;
  };
  for (const Case c : {Case{kIoModuleEnabled, 0, 280}, Case{kUnsigned32, 4, 16},
                       Case{kCalibrationDate, 5, 16}, Case{kSerialNumber, 6, 24}}) {
    reply.fill(0xEE);
    EXPECT_EQ(request(Record(721, c.id, c.type)), 0) << c.id;
    EXPECT_NE(reply[c.offset], 0xEE) << c.id;
    // Every other value type, int64 included, is the wrong type.
    for (std::uint32_t other = 0; other <= 6; ++other) {
      if (other != c.type) {
        EXPECT_EQ(request(Record(721, c.id, other)), -304403) << c.id;
      }
    }
  }
  EXPECT_EQ(request(Record(721, kCalibrationDate, 5)), 0);
  EXPECT_EQ(replyAt<std::uint64_t>(16), 0x1122334455667788u);
  EXPECT_EQ(request(Record(721, kUnsigned32, 4)), 0);
  EXPECT_EQ(replyAt<std::uint64_t>(16), 0xFFFFFFFEu);  // zero-extended
  EXPECT_EQ(request(Record(721, kSerialNumber, 6)), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[24])), "00001A2B");
  EXPECT_EQ(reply[279], 0);  // the rest of the field is zeroed
  // A set of the wrong type changes nothing.
  EXPECT_EQ(request(Record(722, kRefClkSource, 3).put(292, std::int64_t{5})), -304403);
  EXPECT_EQ(probe.source.getDesired(), -1);
}

TEST_F(AttributeRequests, OnlyNonStaticGetsCompileSoAPendingFailureShowsThere) {
  EXPECT_TRUE(qvvandrel::isStaticAttribute(kFpgaTemperature));
  EXPECT_FALSE(qvvandrel::isStaticAttribute(kAdcTemperature));
  ASSERT_EQ(request(Record(722, kAiRange, 1, "AI2").put(284, 3.0)), 0);
  probe.failCompile = true;
  EXPECT_EQ(request(Record(721, kFpgaTemperature, 1)), 0);
  EXPECT_EQ(replyAt<double>(0), 51.5);
  EXPECT_EQ(probe.compiles, 0);
  EXPECT_EQ(request(Record(721, kAdcTemperature, 1)), -304408);
  // A value type above 6 is refused after the compile pass.
  probe.failCompile = false;
  EXPECT_EQ(request(Record(721, kAdcTemperature, 7)), -304501);
  EXPECT_EQ(probe.compiles, 2);
}

TEST_F(AttributeRequests, AContextTheAttributeLacksListsTheRegisteredOnes) {
  EXPECT_EQ(request(Record(721, kAiRange, 1, "")), -304423);
  EXPECT_NE(detail.find("\"vandrel_kUsageTypeContext\""), std::string::npos) << detail;
  EXPECT_NE(detail.find("[\"AI0\",\"AI1\",\"AI2\",\"AI3\"]"), std::string::npos) << detail;
  EXPECT_NE(detail.find("AI Range"), std::string::npos) << detail;
  EXPECT_EQ(request(Record(722, kAiRange, 1, "Conn1/XY0")), -52005);  // no such family
  EXPECT_EQ(request(Record(721, 0x10000099, 1)), -304404);
  // Reset and is-supported address the device-wide entry only.
  EXPECT_EQ(request(Record(723, kAiRange, 1, "AI0")), -304404);
  ASSERT_EQ(request(Record(722, kAdcTemperature, 1).put(284, 7.0)), 0);
  EXPECT_EQ(request(Record(723, kAdcTemperature, 9)), 0);
  EXPECT_EQ(probe.adcTemperature.getDesired(), 40.0);
  for (const auto& [id, supported] :
       {std::pair{kAiRange, 0}, {kAdcTemperature, 1}, {0x10000099u, 0}}) {
    EXPECT_EQ(request(Record(724, id, 99, "AI0")), 0);
    EXPECT_EQ(reply[0], supported) << id;
  }
}

TEST_F(AttributeRequests, SizesVersionsAndOperationsAreCheckedBeforeAnythingHappens) {
  const Record get(721, kAdcTemperature, 1);
  EXPECT_EQ(request(get, 564), -52005);
  EXPECT_EQ(request(get, 565, 280), -52005);
  EXPECT_EQ(request(get, 565, 281, false), -52005);
  EXPECT_EQ(request(Record(724, kAdcTemperature, 1), 565, 0), -52005);
  EXPECT_EQ(request(Record(725, kAdcTemperature, 1)), -52005);
  EXPECT_EQ(request(Record(721, kAdcTemperature, 1).put(12, 1u)), -304502);
  EXPECT_EQ(request(Record(724, kAdcTemperature, 1).put(12, 1u).put(8, 7u)), -304502);
  EXPECT_EQ(request(Record(721, kAdcTemperature, 1).put(8, 9u)), 0);  // any version
  EXPECT_EQ(probe.compiles, 1);
}

TEST_F(AttributeRequests, TextFieldsAreReadAndWrittenWithinTheirBytes) {
  Record set(722, kSerialNumber, 6);
  std::memset(&set.bytes[308], 'x', 256);  // no zero byte
  ASSERT_EQ(request(set), 0);
  EXPECT_EQ(probe.serial.getDesired(), std::string(256, 'x'));
  probe.serial.set(std::string(300, 'z'));
  EXPECT_EQ(request(Record(721, kSerialNumber, 6)), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply[24]), 256), std::string(256, 'z'));
  EXPECT_EQ(reply[280], 0xEE);
  Record unterminated(721, kAiRange, 1);
  std::memset(&unterminated.bytes[28], 'A', 256);
  EXPECT_EQ(request(unterminated), -304423);
}

}  // namespace
