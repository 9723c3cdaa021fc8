// The personality configurer against the simulated driver: readiness, the two ways of
// configuring, the route library's reset notices around the full way, flash images, and the end
// of the configuration on every way out once the driver was ready.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devkit/Bitfile.h"
#include "foundation/errors/Exception.h"
#include "session/PersonalityConfigurerBrenmoor.h"
#include "session/RocoCpp.h"
#include "sim/device/FpgaModel.h"
#include "sim/device/PersonalityDriver.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/libs/MakerLibraries.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

using qvvandrelbrenmooru::PersonalityConfigurerBrenmoor;
using sim::PersonalityDriver;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kConfigure = 0x4020830A, kConfigureFromFlash = 0x40200907;
constexpr int32_t kRefused = -61000;
const std::string kDriver = "brenmoor-driver";

// The terminal aliases as the driver receives them.
class AliasBlob : public qvkel::ISerializable {
 public:
  explicit AliasBlob(Bytes bytes) : bytes_(std::move(bytes)) {}
  void serialize(qvhtl::ByteVector& buffer, qverr::Status& status) const override {
    buffer.append(bytes_.data(), bytes_.size(), status);
  }

 private:
  Bytes bytes_;
};

class PersonalityConfigurerTest : public ::testing::Test {
 protected:
  PersonalityConfigurerTest() {
    testbed().setLibrary(
        qvrocoapi::kLibraryName, sim::LibraryChoice::Present,
        sim::libs::standInPath(qvrocoapi::kLibraryName, sim::libs::Variant::Present));
    roco.reset();
    qverr::Status status;
    qvrocoapi::load(routes, status);
    design.bitstreamOfSize(100);
    bitfile = std::make_unique<qvkel::Bitfile>(design.text().c_str(), false, true);
  }
  ~PersonalityConfigurerTest() override { roco.reset(); }

  sim::Testbed& testbed() { return module.testbed; }
  // Configures; the driver's commands and the route library's calls afterwards.
  void configure(std::optional<uint32_t> flashImage = {}, bool withRoutes = true) {
    module.device().clearLog();
    PersonalityConfigurerBrenmoor configurer(withRoutes ? &routes.entries() : nullptr, kDriver,
                                             module.proxy, *bitfile, 0x10, flashImage, &aliases);
    configurer.configure(&downloaded);
  }
  int32_t failedConfigure() {
    try {
      configure();
    } catch (const qverr::Exception& e) {
      return e.code();
    }
    return 0;
  }
  std::vector<uint32_t> commands() { return module.commands(); }
  size_t sent(uint32_t command) {
    const std::vector<uint32_t> all = commands();
    return static_cast<size_t>(std::count(all.begin(), all.end(), command));
  }
  // The route library's calls without their session numbers.
  std::vector<std::string> routeCalls() {
    std::vector<std::string> out;
    for (std::string call : roco.calls()) out.push_back(call.substr(0, call.find(' ')));
    return out;
  }

  devkit_test::SimulatedModule module;
  sim::FpgaModel& fpga = module.module.fpga();
  PersonalityDriver driver{module.device()};
  sim::libs::RoCoControl roco;
  qvrocoapi::RocoCppHolder routes;
  qvsim::BitfileBuilder design;
  std::unique_ptr<qvkel::Bitfile> bitfile;
  AliasBlob aliases{{}};
  bool downloaded = false;
};

const std::vector<std::string> kResetNotices = {
    "qvrocoapi_createSession", "qvrocoapi_initiateDeviceReset", "qvrocoapi_completeDeviceReset",
    "qvrocoapi_destroySession"};

TEST_F(PersonalityConfigurerTest, WithoutNewAliasesOnlyThePersonalityIsDownloaded) {
  configure();
  EXPECT_EQ(commands(), (std::vector<uint32_t>{PersonalityDriver::kReady, PersonalityDriver::kState,
                                               PersonalityDriver::kReadAliases, kConfigure,
                                               PersonalityDriver::kEnd}));
  EXPECT_TRUE(downloaded);
  EXPECT_EQ(fpga.personality()->bitstream, design.bitstreamBytes());
  EXPECT_EQ(driver.lastStateQuery(), fpga.personality()->commonBytes);
  EXPECT_TRUE(routeCalls().empty());
  EXPECT_TRUE(driver.aliasStores().empty());
}

TEST_F(PersonalityConfigurerTest, NewAliasesGoTheFullWayInsideTheRouteLibrarysResetNotices) {
  aliases = AliasBlob({3, 0, 0, 0, 'T', 'r', '0', 2, 0, 0, 0, 'S', '0'});
  // When the configuration ends the device reset is already complete.
  std::vector<std::string> atEnd;
  module.device().handle(PersonalityDriver::kEnd, [&](sim::Call&) {
    atEnd = routeCalls();
    return 0;
  });
  configure();
  EXPECT_EQ(commands(),
            (std::vector<uint32_t>{PersonalityDriver::kReady, PersonalityDriver::kState,
                                   PersonalityDriver::kReadAliases, kConfigure,
                                   PersonalityDriver::kStoreAliases, PersonalityDriver::kEnd}));
  EXPECT_EQ(driver.storedAliases(), (Bytes{3, 0, 0, 0, 'T', 'r', '0', 2, 0, 0, 0, 'S', '0'}));
  EXPECT_EQ(atEnd, kResetNotices);
  EXPECT_EQ(roco.calls()[1].substr(roco.calls()[1].rfind(' ') + 1), kDriver);
  EXPECT_EQ(roco.openSessions(), 0);

  // The driver holds aliases now: the next configuration downloads only.
  roco.reset();
  configure();
  EXPECT_EQ(sent(PersonalityDriver::kStoreAliases), 0u);
  EXPECT_TRUE(routeCalls().empty());
}

TEST_F(PersonalityConfigurerTest, BothStateFlagsRenewEvenWithoutAliasesAndWithoutTheLibrary) {
  driver.setStoredAliases({1, 2, 3});
  driver.setStateFlags(true, false);
  configure();
  EXPECT_TRUE(driver.aliasStores().empty());

  driver.setStateFlags(true, true);
  configure({}, false);
  ASSERT_EQ(driver.aliasStores().size(), 1u);
  EXPECT_TRUE(driver.storedAliases().empty());
  // An empty blob goes as a null address with length 0.
  const sim::LogEntry store = module.device().log()[4];
  ASSERT_EQ(store.command, PersonalityDriver::kStoreAliases);
  EXPECT_EQ(Bytes(store.input.begin(), store.input.begin() + 12), Bytes(12, 0));
  EXPECT_TRUE(routeCalls().empty());
}

TEST_F(PersonalityConfigurerTest, AFlashImageIsConfiguredByItsIndex) {
  configure(2u);
  EXPECT_EQ(commands()[3], kConfigureFromFlash);
  EXPECT_EQ(sent(kConfigure), 0u);
  EXPECT_EQ(fpga.personality()->flashImage, 2u);
  EXPECT_TRUE(fpga.personality()->bitstream.empty());
  EXPECT_TRUE(downloaded);
}

TEST_F(PersonalityConfigurerTest, TheDriverIsPolledUntilReady) {
  driver.setNotReadyFor(3);
  configure();
  EXPECT_EQ(driver.readyPolls(), 4u);
  EXPECT_EQ(driver.ends(), 1u);
}

// About ten seconds: 1002 polls 10 ms apart.
TEST_F(PersonalityConfigurerTest, ADriverNeverReadyTimesOutWithoutEndingTheConfiguration) {
  driver.setNotReadyFor(PersonalityDriver::kNeverReady);
  EXPECT_EQ(failedConfigure(), -52007);
  EXPECT_EQ(driver.readyPolls(), 1002u);
  EXPECT_EQ(driver.ends(), 0u);
}

TEST_F(PersonalityConfigurerTest, FailuresAfterReadyStillEndTheConfiguration) {
  struct Row {
    uint32_t command;
    bool fullWay;
  };
  for (const Row row : {Row{PersonalityDriver::kState, false},
                        Row{PersonalityDriver::kReadAliases, false}, Row{kConfigure, false},
                        Row{kConfigure, true}, Row{PersonalityDriver::kStoreAliases, true}}) {
    SCOPED_TRACE(row.command);
    roco.reset();
    driver.setStoredAliases({});
    aliases = AliasBlob(row.fullWay ? Bytes{1, 0, 0, 0, 'a', 1, 0, 0, 0, 'b'} : Bytes{});
    const uint32_t ends = driver.ends();
    module.device().script(row.command, sim::Reply{{}, kRefused, {}, 0, {}, true});
    EXPECT_EQ(failedConfigure(), kRefused);
    EXPECT_EQ(driver.ends(), ends + 1);
    EXPECT_EQ(routeCalls(), row.fullWay ? kResetNotices : std::vector<std::string>{});
  }
  // A failing readiness poll leaves at once; a failing end is nobody's failure.
  module.device().script(PersonalityDriver::kReady, sim::Reply{{}, kRefused, {}, 0, {}, true});
  EXPECT_EQ(failedConfigure(), kRefused);
  EXPECT_EQ(commands(), std::vector<uint32_t>{PersonalityDriver::kReady});
  module.device().script(PersonalityDriver::kEnd, sim::Reply{{}, kRefused, {}, 0, {}, true});
  EXPECT_EQ(failedConfigure(), 0);
}

}  // namespace
