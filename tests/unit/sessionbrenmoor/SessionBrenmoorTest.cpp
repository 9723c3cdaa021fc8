// The session assembled on a simulated module: the features on each capability profile, the
// session-level attributes, the driver checks while it opens, and an open that fails anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/errors/Exception.h"
#include "sessionbrenmoor/SessionBrenmoor.h"
#include "sim/device/GenerationQueries.h"
#include "sim/device/SessionQueries.h"
#include "tests/unit/session/SessionTestbed.h"

namespace {

using qvvandrelbrenmooru::SessionBrenmoor;
using sim::CapabilityProfile;

constexpr int32_t kInjected = -50123;

class SessionBrenmoorTest : public sessiontest::SessionTestbed {
 protected:
  SessionBrenmoorTest() {
    // The handlers read the module's properties when they are made.
    sim.module.setDeviceProperty("serialNumber", "1A2B");
    nQVVUSKS100::tStatus status;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &status);
    handler = qvkel::makeAttributeHandlerChain(iterator, nullptr, sim.proxy);
    clip.setValue(1, 0x1270C000);
    // Start triggers 0, 1 and 5 only.
    for (uint32_t n : {0, 1, 5})
      design.addRegister(qvsim::RegisterSpec("vandrel.trigger.start.cfg " + std::to_string(n),
                                             0x300 + 8 * n, "U16"));
    bitfile = std::make_shared<qvkel::Bitfile>(design.text().c_str(), false, true);
  }

  std::unique_ptr<SessionBrenmoor> open() {
    configurer = std::make_unique<devkit_test::ProxyConfigurer>(sim.proxy, bitfile, 0);
    auto aliases = std::make_shared<qvvandrelbrenmooru::TerminalAliasInfo>(*bitfile);
    sim.device().clearLog();
    clip.clearLog();
    return std::make_unique<SessionBrenmoor>(
        fpga, sim.proxy, *configurer, checker, handler, accessor, bitfile,
        qvsim::BitfileBuilder::kDefaultSignature, 0u, nullptr, "Dev1", aliases);
  }
  // The status of a failed open; 0 when it opened.
  int32_t openStatus() {
    try {
      open();
    } catch (const qverr::Exception& e) {
      return e.code();
    }
    return 0;
  }
  void useProfile(CapabilityProfile profile, std::vector<uint32_t> more = {}) {
    std::vector<uint32_t> words = sim::capabilityWords(profile);

    words.insert(words.end(), more.begin(), more.end());
    clip.setCapabilities(words);
    queries.setIoModulePresent(profile != CapabilityProfile::None);
  }
  template <typename T>
  static T read(SessionBrenmoor& session, uint32_t id) {
    return session.registry().getTyped<iattr::AttributeInterface<T>>(id, "")->get();
  }
  size_t sent(uint32_t command) {
    size_t n = 0;
    for (const sim::LogEntry& e : sim.device().log()) n += e.command == command;
    return n;
  }

  sim::SessionQueries queries{sim.device()};
  sim::GenerationQueries generation{sim.device()};
  std::unique_ptr<devkit_test::ProxyConfigurer> configurer;
};

TEST_F(SessionBrenmoorTest, EachProfileOpensWithItsFeaturesAndTheSessionAttributes) {
  struct Row {
    CapabilityProfile profile;
    bool interleaving;  // the CLIP offers interleaving modes
    bool capabilitiesRead;
  };
  for (const Row row :
       {Row{CapabilityProfile::None, false, false}, Row{CapabilityProfile::Minimal, false, true},
        Row{CapabilityProfile::Full, true, true}}) {
    SCOPED_TRACE(static_cast<int>(row.profile));
    useProfile(row.profile);
    const uint32_t claims = queries.claims();
    std::unique_ptr<SessionBrenmoor> session = open();
    atat::AttributeRegistry& registry = session->registry();
    EXPECT_EQ(read<std::string>(*session, SessionBrenmoor::kSerialNumberId), "00001A2B");
    EXPECT_FALSE(read<bool>(*session, SessionBrenmoor::kFixedLogicResetBugId));
    EXPECT_EQ(registry.contains(0x10000019, ""), row.interleaving);
    EXPECT_EQ(!clip.log(0xC00).empty(), row.capabilitiesRead);
    // The device-status and bitfile attributes stand on every profile.
    EXPECT_TRUE(registry.contains(0x1000001D, ""));
    EXPECT_TRUE(registry.contains(0x3000000D, ""));
    EXPECT_EQ(queries.claims(), claims + 1);
    std::vector<uint32_t> triggers;
    for (const auto& instance : session->startTrigger().instances())
      triggers.push_back(instance.index());
    EXPECT_EQ(triggers, (std::vector<uint32_t>{0, 1, 5}));
    EXPECT_EQ(session->startTrigger().records().size(), 3u);
    EXPECT_FALSE(session->graphText().empty());
    // One attribute each of the user clocks, serial output, analog outputs, DIO lines and
    // analog inputs stands only where the CLIP describes them all.
    const std::pair<uint32_t, const char*> described[] = {{0x2000002C, "DataClk0"},
                                                          {0x30000016, "SO0"},
                                                          {0x2000001B, "AO1"},
                                                          {0x20000032, "DIO7"},
                                                          {0x1000000E, "AI3"}};
    for (const auto& [id, channel] : described)
      EXPECT_EQ(registry.contains(id, channel), row.profile == CapabilityProfile::Full) << channel;
  }
}

TEST_F(SessionBrenmoorTest, ANewClipNeedsADriverNewEnough) {
  struct Row {
    uint32_t clipInterface;  // capability 900
    uint32_t driver;         // 0x040E's answer
    int32_t status;
    size_t asked;
  };
  for (const Row row : {Row{39, 57, -304334, 1}, Row{39, 58, 0, 1}, Row{38, 0, 0, 0}}) {
    useProfile(CapabilityProfile::Minimal, {900, row.clipInterface});
    queries.setDriverVersion(row.driver);
    EXPECT_EQ(openStatus(), row.status) << row.clipInterface << " " << row.driver;
    EXPECT_EQ(sent(sim::SessionQueries::kDriverVersion), row.asked);
  }
}

TEST_F(SessionBrenmoorTest, TheModuleIsClaimedUnlessSessionsMayShareIt) {
  useProfile(CapabilityProfile::Minimal);
  open();
  EXPECT_EQ(sent(sim::SessionQueries::kClaim), 1u);
  // The driver's answer counts even when it reports an error with it.
  queries.setMultiSession(true);
  sim.device().script(sim::SessionQueries::kMultiSession,
                      sim::Reply{{1}, kInjected, {}, 0, {}, true});
  open();
  EXPECT_EQ(sent(sim::SessionQueries::kClaim), 0u);
  queries.setMultiSession(false);
  ASSERT_EQ(setenv(SessionBrenmoor::kMultiSessionVariable, "", 1), 0);
  open();
  unsetenv(SessionBrenmoor::kMultiSessionVariable);
  EXPECT_EQ(sent(sim::SessionQueries::kClaim), 0u);
  // A claim refused fails the open with the driver's status.
  sim.device().script(sim::SessionQueries::kClaim, sim::Reply{{}, kInjected, {}, 0, {}, true});
  EXPECT_EQ(openStatus(), kInjected);
}

TEST_F(SessionBrenmoorTest, TheFixedLogicResetFaultFollowsTheClipVersion) {
  useProfile(CapabilityProfile::Minimal);
  for (const auto& [version, faulty] : std::vector<std::pair<uint32_t, bool>>{
           {0x1270BFFF, true}, {0xFF000000, true}, {0x1270C000, false}, {0xFEFFFFFF, false}}) {
    clip.setValue(1, version);
    EXPECT_EQ(read<bool>(*open(), SessionBrenmoor::kFixedLogicResetBugId), faulty) << version;
  }
  // A CLIP that cannot answer leaves the session open, with the fault assumed.
  clip.script(1, sim::ClipAnswer{0, kInjected});
  EXPECT_TRUE(read<bool>(*open(), SessionBrenmoor::kFixedLogicResetBugId));
}

// Every driver command and CLIP instruction of an open fails once in turn (its first use):
// the open fails with that status, or goes on where the failure is no one's, and the next open
// succeeds. The sanitizer's leak check covers what a failed open leaves behind.
TEST_F(SessionBrenmoorTest, AnOpenFailingAnywhereReportsItAndTheNextOpens) {
  useProfile(CapabilityProfile::Minimal);
  std::unique_ptr<SessionBrenmoor> session = open();
  std::vector<uint32_t> commands, opcodes;
  for (const sim::LogEntry& e : sim.device().log())
    if (e.command != sim::ClipController::kCommand &&
        std::find(commands.begin(), commands.end(), e.command) == commands.end())
      commands.push_back(e.command);
  for (const sim::ClipInstruction& i : clip.log())
    if (std::find(opcodes.begin(), opcodes.end(), i.opcode) == opcodes.end())
      opcodes.push_back(i.opcode);
  session.reset();
  std::vector<uint32_t> tolerated;
  auto inject = [&](uint32_t point, auto fail) {
    fail();
    const int32_t status = openStatus();
    if (status == 0)
      tolerated.push_back(point);
    else
      EXPECT_EQ(status, kInjected) << std::hex << point;
    EXPECT_EQ(openStatus(), 0) << std::hex << point;
  };
  for (uint32_t command : commands)
    inject(command, [&] {
      sim.device().script(command, sim::Reply{{}, kInjected, {}, 0, {}, true});
    });
  for (uint32_t opcode : opcodes)
    inject(opcode, [&] { clip.script(opcode, sim::ClipAnswer{0, kInjected}); });
  std::printf("%zu injection points: %zu driver commands, %zu CLIP instructions\n",
              commands.size() + opcodes.size(), commands.size(), opcodes.size());
  // Whether sessions may share the module, the synchronisation flag the synchronisation
  // interface reads as it is built, the adapter module the IOC filter asks after, and the CLIP's
  // version word.
  EXPECT_EQ(tolerated, (std::vector<uint32_t>{0x8020040D, 0x0020050B, 0x80200600, 0x80200602, 1}));
}

// The calibration's worker uses the synchronisation interface, the features and the registry
// until it ends: closing the session while it runs waits for it first.
TEST_F(SessionBrenmoorTest, ClosingDuringACalibrationWaitsForIt) {
  // DRAL7 as a reference, which the calibration switches to.
  useProfile(CapabilityProfile::Minimal, {200, 2});
  sync.attach(clip);
  std::unique_ptr<SessionBrenmoor> session = open();
  qvvandrel::CalibrationManager& calibration = session->calibrationManager();
  // A data clock of 1 GHz / 8.
  session->registry().getTyped<iattr::AttributeInterface<int>>(0x10000015, "")->set(8);
  session->kommissar().compile();
  session->kommissar().deploy();
  calibration.validateClockConfiguration();
  session->kommissar().compile();
  session->kommissar().deploy();
  // The run's first step, choosing the synchronisation mode, answers late.
  sim.device().script(0x00200502, sim::Reply{{}, {}, {}, 0, std::chrono::milliseconds(50), true});
  calibration.startCalibration();
  ASSERT_TRUE(calibration.isPending());
  session.reset();
  EXPECT_EQ(openStatus(), 0);
}

}  // namespace
