// calculateRoute's texts: what the engine sends is read into the kernel's records, what the
// kernel answers is written back; bad input is refused with the exact details, before the kernel
// is asked.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "routing/LinkedExports.h"

namespace {

using namespace routingtest;

constexpr uint32_t kCalculate = 0x00208001;

class RouteJson : public ::testing::Test {
 protected:
  void SetUp() override {
    session = bed.open();
    ASSERT_NE(session, nullptr) << bed.lastOpen.detailText();
  }
  void TearDown() override { bed.x.destroySession(session); }

  RoutingBed bed{linkedExports()};
  ZUZSession* session = nullptr;
};

// A detail as the raise sites write it.
std::string detail(int line, const std::string& debug) {
  return R"({"error_constant":"qvvuskerr_invalidParameter","file":"RoCoUtils","line":)" +
         std::to_string(line) + R"(,"component":"qvvandrelbrenmooru","qvroco_debug":)" + debug +
         "}";
}
std::string withText(int line, const std::string& msg, const std::string& json) {
  return detail(line, R"({"msg":")" + msg + R"(","json":")" + json + R"("})");
}

struct BadInput {
  const char* what;
  const char* seeds;
  const char* destinations;
  const char* modifiers;
  std::string detail;
};

const char* const kSeed = R"([{"terminal":"PXI_Trig0","cost":1,"constraints":{}}])";

TEST_F(RouteJson, BadInputIsRefusedWithItsDetailBeforeTheKernelIsAsked) {
  const BadInput cases[] = {
      {"seed not an object", R"([1])", "[]", "{}", detail(559, R"("seed must be an object")")},
      {"terminal not a string", R"([{"terminal":1}])", "[]", "{}",
       withText(452, "terminal name must be a string", R"({\"terminal\":1})")},
      {"token not a string", R"([{"srcDeviceToken":true}])", "[]", "{}",
       withText(464, "srcDeviceToken name must be a string", R"({\"srcDeviceToken\":true})")},
      {"cost as a string", R"([{"terminal":"PXI_Trig0","cost":"1","constraints":{}}])", "[]", "{}",
       withText(475, "cost must be a number",
                R"({\"terminal\":\"PXI_Trig0\",\"cost\":\"1\",\"constraints\":{}})")},
      {"empty seed", R"([{}])", "[]", "{}", withText(493, "terminal field missing", "{}")},
      {"no cost", R"([{"terminal":"X"}])", "[]", "{}",
       withText(501, "cost field missing or invalid", R"({\"terminal\":\"X\"})")},
      {"negative cost", R"([{"terminal":"X","cost":-1}])", "[]", "{}",
       withText(501, "cost field missing or invalid", R"({\"terminal\":\"X\",\"cost\":-1})")},
      {"no constraints", R"([{"terminal":"PXI_Trig0","cost":1}])", "[]", "{}",
       withText(509, "constraints field missing", R"({\"terminal\":\"PXI_Trig0\",\"cost\":1})")},
      {"constraint of the wrong type",
       R"([{"terminal":"X","cost":1,"constraints":{"inversionNeeded":1}}])", "[]", "{}",
       detail(238, R"({"msg":"Unexpected constraint type","constraint":"inversionNeeded",)"
                   R"("expected_type":2,"actual_type":3})")},
      {"destination not a string", kSeed, R"(["PXI_Trig1",2])", "{}",
       withText(60, "Terminals must be strings", R"([\"PXI_Trig1\",2])")},
      {"modifier group not an object", kSeed, R"(["PXI_Trig1"])", R"({"required":true})",
       withText(1118, "modifiers type must be object", R"({\"required\":true})")},
      {"required modifier of unknown type", kSeed, R"(["PXI_Trig1"])", R"({"required":{"hops":3}})",
       detail(1089, R"("Required route modifier has unrecognized type")")},
      // Read in order: a bad seed is reported before bad destinations and modifiers.
      {"first error wins", R"([7])", "7", "7", detail(559, R"("seed must be an object")")},
      // Texts of the wrong shape, or no JSON at all.
      {"seeds not an array", "{}", "[]", "{}", withText(548, "seeds must be an array", "{}")},
      {"seeds not JSON", "[{", "[]", "{}", withText(548, "seeds must be an array", "[{")},
      {"seeds missing", nullptr, "[]", "{}", withText(548, "seeds must be an array", "")},
      {"destinations with trailing text", kSeed, R"([] x)", "{}",
       withText(52, "destinations must be an array", "[] x")},
      {"modifiers not an object", kSeed, R"(["PXI_Trig1"])", "[]",
       withText(1110, "modifiers must be an object", "[]")},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.what);
    qverr::Status status;
    char* sentinel = reinterpret_cast<char*>(&status);
    char* routes = sentinel;
    EXPECT_EQ(bed.x.calculateRoute(session, c.seeds, c.destinations, c.modifiers, &routes, &status),
              0u);
    EXPECT_EQ(status.code, -52005);
    EXPECT_EQ(std::string(status.detailText()), c.detail);
    EXPECT_EQ(routes, sentinel);
  }
  EXPECT_EQ(bed.model.routing().count(kCalculate), 0u);
}

struct GoodInput {
  const char* what;
  const char* seeds;
  const char* destinations;
  const char* modifiers;
  // What the kernel read; no seeds means it was not asked.
  std::vector<uint8_t> seedRecords;
  std::vector<uint32_t> destinationIds;
  uint32_t flags;
  const char* routes;
};

TEST_F(RouteJson, GoodInputBecomesTheKernelsRecordsAndItsAnswerTheRoutes) {
  const GoodInput cases[] = {
      {"no seeds", "[]", R"(["PXI_Trig1"])", "{}", {}, {}, 0, "[]"},
      {"no destinations", kSeed, "[]", "{}", {}, {}, 0, "[]"},
      {"an unsupported required modifier",
       kSeed,
       R"(["PXI_Trig1"])",
       R"({"required":{"viaStar":true}})",
       {},
       {},
       0,
       "[]"},
      {"a required string modifier",
       kSeed,
       R"(["PXI_Trig1"])",
       R"({"required":{"via":"x"}})",
       {},
       {},
       0,
       "[]"},
      {"names without case, unknown names as 0, ignored members",
       R"([{"terminal":"pxi_TRIG0","cost":7.9,"srcDeviceToken":"t","extra":[1],)"
       R"("constraints":{"other":5,"inversionNeeded":false,"x":null}},)"
       R"({"terminal":"nowhere","cost":0,"constraints":{}}])",
       R"(["source3","NoSuch"])",
       R"({"optional":{"hops":3,"calculateIgnoresReservations":true},"other":{}})",
       {2, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {42, 0},
       1,
       R"([{"ticket":1,"destination":"Source3","cost":8,"indexOfStartingSeed":0,)"
       R"("constraints":{}}])"},
      {"the last of a repeated key, escaped keys, inversion both ways",
       R"([{"terminal":"Low","terminal":"High","cost":1,"c\u006fnstraints":)"
       R"({"inversionNeeded":true}}])",
       R"(["Gpio0"])",
       R"({"required":{"calculateIgnoresReservations":false}})",
       {34, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},
       {103},
       0,
       R"([{"ticket":2,"destination":"Gpio0","cost":2,"indexOfStartingSeed":0,)"
       R"("constraints":{"inversionNeeded":true}}])"},
  };
  for (const GoodInput& c : cases) {
    SCOPED_TRACE(c.what);
    bed.model.routing().clearLog();
    bed.model.clearRoutes();
    qverr::Status status;
    EXPECT_EQ(bed.calculate(session, c.seeds, c.destinations, status, c.modifiers), c.routes);
    EXPECT_EQ(status.code, 0) << status.detailText();
    EXPECT_EQ(bed.model.routing().count(kCalculate), c.seedRecords.empty() ? 0u : 1u);
    if (c.seedRecords.empty()) continue;
    const auto got = bed.model.lastCalculation();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->seeds, c.seedRecords);
    EXPECT_EQ(got->destinations, c.destinationIds);
    EXPECT_EQ(got->flags, c.flags);
    EXPECT_EQ(got->capacity, 2 * c.destinationIds.size());
  }
}

TEST_F(RouteJson, OnlyTheRoutesTheKernelCouldWriteAreHandedBack) {
  // Three seeds reach the destination; there is room for two, and the kernel reports three.
  qverr::Status status;
  const std::string routes = bed.calculate(session,
                                           R"([{"terminal":"Source0","cost":0,"constraints":{}},)"
                                           R"({"terminal":"Source1","cost":0,"constraints":{}},)"
                                           R"({"terminal":"Source2","cost":0,"constraints":{}}])",
                                           R"(["PXI_Trig1"])", status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(routes, R"([{"ticket":1,"destination":"PXI_Trig1","cost":1,"indexOfStartingSeed":0,)"
                    R"("constraints":{}},{"ticket":2,"destination":"PXI_Trig1","cost":1,)"
                    R"("indexOfStartingSeed":1,"constraints":{}}])");
}

TEST_F(RouteJson, AKernelFailureHandsBackNoRoutesAndItsStatus) {
  bed.model.setTerminalIdLimit(2);  // PXI_Trig1 (3) is not a terminal of this device
  qverr::Status status;
  uint32_t word = 9;
  EXPECT_EQ(bed.calculate(session, kSeed, R"(["PXI_Trig1"])", status, "{}", &word), "[]");
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(std::string(status.detailText()),
            R"({"file":"./objects/codegen/qvvandrelbrenmooru/tInterfaceProxy_routing.h",)"
            R"("line":97,"component":"qvvandrel"})");
  // The fixed text takes a block of exactly its size.
  EXPECT_EQ(Allocations::lastSize.load(), 3u);
}

}  // namespace
