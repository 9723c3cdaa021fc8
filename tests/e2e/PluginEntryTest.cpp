// The host's view of the plug-in entry: the library loaded by path on the default simulated
// chassis; initialise and finalise, the device list, listeners, and the maker libraries present,
// absent or incomplete.
#include <sys/stat.h>

#include <array>
#include <barrier>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "discovery/RecordingListener.h"
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/device/ClipController.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/HostSession.h"
#include "sim/host/PluginHost.h"
#include "tests/unit/ThreadNames.h"

namespace {

using sim::LibraryChoice;
using sim::libs::Variant;
using unittest::threadsNamed;
using unittest::waitForThreadsNamed;
using Listener = disctest::RecordingListener;

constexpr const char* kObserverThread = "qvkel::DeviceNo";
constexpr const char* kAliasThread = "qvvandrelbrenmo";
constexpr const char* kPxiLibrary = "libqvqpxi.so.1";
constexpr const char* kRouteLibrary = "libqvrocoapi.so.1";
constexpr const char* kStateFolder = "/var/local/telmora/qv-vandrel";

// Whether a library of that path is mapped into the process.
bool mapped(const char* path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(path) != std::string::npos) return true;
  return false;
}

class PluginEntry : public e2etest::DefaultChassis {
 protected:
  // A fresh device list, owned by the test.
  std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> list() {
    int32_t code = 0;
    qvkel::IDeviceList* list = plugin().deviceList(&code);
    EXPECT_EQ(code, 0);
    return {list, [](qvkel::IDeviceList* l) {
              if (l != nullptr) l->release();
            }};
  }

  std::vector<sim::host::DeviceRow> refreshed() {
    auto devices = list();
    if (devices == nullptr) return {};
    nQVVUSKS100::tStatus status;
    devices->refresh(&status);
    EXPECT_EQ(status.code, 0);
    return sim::host::readDevices(*devices);
  }

  void use(const char* library, LibraryChoice choice) {
    const Variant variant =
        choice == LibraryChoice::MissingSymbol ? Variant::MissingSymbol : Variant::Present;
    testbed_.setLibrary(library, choice, sim::libs::standInPath(library, variant));
  }
};

TEST_F(PluginEntry, ListsTheChassisModulesInInterfacePathOrder) {
  ASSERT_EQ(plugin().initialize(), 0);
  auto devices = list();
  ASSERT_NE(devices, nullptr);
  EXPECT_EQ(devices->reserved(), 0);
  EXPECT_TRUE(devices->hasChanged()) << "before the first refresh";
  EXPECT_EQ(devices->getCount(), 0u);
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  ASSERT_EQ(status.code, 0);
  EXPECT_FALSE(devices->hasChanged());
  // A PXI session that cannot say whether it is still valid asks for a refresh.
  pxi_.failNext("qvqpxi_getU32Attribute", -52010);
  EXPECT_TRUE(devices->hasChanged());

  const std::vector<std::tuple<std::string, std::string, std::string, uint64_t>> expected{
      {"Model=BRM-6812;Chassis=1;Slot=2", "PXI1Slot2", "Vandrel1", 0x1003FF00},
      {"Model=BRM-6814;Chassis=1;Slot=3", "PXI1Slot3", "Vandrel2", 0x1004FF00},
      {"Model=BRM-6821;Chassis=1;Slot=5", "PXI1Slot5", "Vandrel3", 0x1005FF00},
      {"Model=BRM-6830;PCISlotPath=PCI0/BUS9/DEV0", "", "Vandrel4", 0x1009FF00},
      {"Model=BRM-6841;PCISlotPath=PCI0/BUS10/DEV1", "", "Vandrel5", 0x100AFE00}};
  const auto rows = sim::host::readDevices(*devices);
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& [token, pxiName, alias, number] = expected[i];
    EXPECT_EQ(rows[i].token, token);
    EXPECT_EQ(rows[i].pxiName, pxiName);
    EXPECT_EQ(rows[i].alias, alias);
    EXPECT_EQ(rows[i].deviceNumber, number);
  }

  status = {};
  EXPECT_EQ(devices->getDevice(5, 0, &status), nullptr);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(status.line, 62u);
  status = {};
  EXPECT_EQ(devices->getDevice(0, 1, &status), nullptr);
  EXPECT_EQ(status.code, -63193);
  EXPECT_EQ(status.line, 0u) << "raised without a location";
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
}

TEST_F(PluginEntry, SessionsOpenThroughTheFactory) {
  ASSERT_EQ(plugin().initialize(), 0);
  auto devices = list();
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  qvkel::IDevice* device = devices->getDevice(0, 0, &status);
  ASSERT_NE(device, nullptr);
  qvkel::IFpgaSession* session = device->createFpgaSession(5, &status);
  ASSERT_NE(session, nullptr);
  // Bit 30 with a text that names no flash image: parsed as bitfile text, and malformed.
  session->open("<Bitfile/>", "", 0x40000000, &status);
  EXPECT_EQ(status.code, -61070);
  status = {};
  session->open(qvsim::BitfileBuilder().text().c_str(), qvsim::BitfileBuilder::kDefaultSignature,
                0x40000000, &status);
  // A real design opens the device session on the module, which serves the host's requests.
  ASSERT_EQ(status.code, 0) << status.file << " " << status.line;
  const auto request = [&](std::uint32_t code, const void* in, std::uint64_t inSize, void* out,
                           std::uint64_t outSize) {
    status = {};
    session->invoke(2, code, reinterpret_cast<std::uint64_t>(in), inSize,
                    reinterpret_cast<std::uint64_t>(out), outSize, &status);
    return status.code;
  };
  std::array<unsigned char, 565> get{};
  const std::uint32_t header[] = {258, 0, 0, 0, 721, 0x30000010, 6};  // "Serial Number", text
  std::memcpy(get.data(), header, sizeof header);
  std::array<char, 600> reply{};
  EXPECT_EQ(request(256, get.data(), get.size(), reply.data(), 281), 0);
  EXPECT_EQ(std::strlen(&reply[24]), 8u) << &reply[24];
  const std::uint32_t commit[] = {0xDE7EC7ED, 0, 0, 0, 342}, graph[] = {0xDE7EC7ED, 0, 0, 0, 343};
  sim::ClipController& clip = chassis_->clip(0);
  clip.clearLog();
  EXPECT_EQ(request(256, commit, sizeof commit, nullptr, 0), 0);
  EXPECT_EQ(clip.log(0x101).size(), 1u) << "a commit ends with the CLIP's commit instruction";
  EXPECT_EQ(request(256, graph, sizeof graph, reply.data(), reply.size()), 0);
  EXPECT_NE(std::string(reply.data()).find("compile root"), std::string::npos);
  const std::uint32_t wrongType[] = {258, 0, 0, 0, 721, 0x30000010, 1};
  std::memcpy(get.data(), wrongType, sizeof wrongType);
  EXPECT_EQ(request(256, get.data(), get.size(), reply.data(), 281), -304403);
  const std::int32_t stored = -304403;
  EXPECT_EQ(request(800, &stored, 4, reply.data(), reply.size()), 0);
  EXPECT_NE(std::string(reply.data()).find("kUsageTypeAttributeIdentifier"), std::string::npos);
  EXPECT_EQ(request(800, &stored, 4, reply.data(), reply.size()), 0);
  EXPECT_EQ(reply[0], '\0');  // told once
  sim::host::HostSession host(*session);
  sim::host::AttributeValue range;
  ASSERT_EQ(host.set(0x20000010, "AI0", "0.3"), 0);  // "AI Range"
  ASSERT_EQ(host.get(0x20000010, "AI0", range), 0);
  EXPECT_EQ(range.real, 1.0) << "coerced up to the one range the module has";
  // The design kept as the user image; a session opens from it by name with bit 30.
  const std::uint32_t userImage = 2;
  EXPECT_EQ(request(777, &userImage, 4, nullptr, 0), 0);
  session->release();
  session = device->createFpgaSession(5, &status);
  ASSERT_NE(session, nullptr);
  session->open("qvvandrelbrenmooru::image::user", qvsim::BitfileBuilder::kDefaultSignature,
                0x40000000, &status);
  ASSERT_EQ(status.code, 0) << status.file << " " << status.line;
  sim::host::AttributeValue serial;
  EXPECT_EQ(sim::host::HostSession(*session).get(0x30000010, "", serial), 0);
  EXPECT_EQ(serial.text.size(), 8u);
  session->release();
  // The legacy protocol's session opens; the simulated chassis handles no legacy attribute.
  status = {};
  device->setLegacyValue(5, &status);
  EXPECT_EQ(status.code, -63196);
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
}

// The device session's stream, synchronisation and calibration services: each request reaches
// its feature (the design has no stream) and writes what its code returns (NaN: untouched).
TEST_F(PluginEntry, StreamSynchronisationAndCalibrationRequestsReachTheirFeatures) {
  ASSERT_EQ(plugin().initialize(), 0);
  auto devices = list();
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  qvkel::IFpgaSession* session = devices->getDevice(0, 0, &status)->createFpgaSession(5, &status);
  session->open(qvsim::BitfileBuilder().text().c_str(), qvsim::BitfileBuilder::kDefaultSignature,
                0x40000000, &status);
  ASSERT_EQ(status.code, 0);
  // Any finite value; method 12 writes one byte, 1: no stream armed.
  const double nan = std::nan(""), any = 1.0, idle = std::bit_cast<double>(0x7FF8000000000001);
  const struct {
    std::uint32_t code;
    std::vector<std::uint32_t> record;
    std::int32_t expected;
    std::array<double, 3> output;
  } rows[] = {
      {256, {257, 0, 0, 0, 271, 0}, -304405, {nan, nan, nan}},  // stream start
      {256, {260, 0, 0, 0, 3}, 0, {nan, nan, nan}},             // sync method 0x0503
      {256, {260, 0, 0, 0, 5}, 0, {any, nan, nan}},             // the counters' interval
      {256, {260, 0, 0, 0, 12}, 0, {idle, nan, nan}},
      {13, {1}, 0, {any, 0.0, nan}},  // the average, the empty polynomial's 0
  };
  for (const auto& row : rows) {
    std::array<double, 3> out{nan, nan, nan};
    status = {};
    session->invoke(2, row.code, reinterpret_cast<std::uint64_t>(row.record.data()),
                    row.record.size() * 4, reinterpret_cast<std::uint64_t>(out.data()), sizeof out,
                    &status);
    EXPECT_EQ(status.code, row.expected) << row.record[4 % row.record.size()];
    for (int k = 0; k < 3; ++k)  // NaN: untouched, compared bit for bit
      EXPECT_TRUE(row.output[k] == any ? std::isfinite(out[k])
                                       : std::memcmp(&out[k], &row.output[k], 8) == 0)
          << k;
  }
  session->release();
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
}

// Each driver command of an open, an attribute set and a commit (CLIP instructions included)
// fails once in turn: the sequence reports the driver's status, or succeeds where the failed
// command is one of the probes below, whose failure counts as an answer; then it runs again.
TEST_F(PluginEntry, EachDriverCommandOfOpenSetAndCommitFailsOnceInTurn) {
  ASSERT_EQ(plugin().initialize(), 0);
  auto devices = list();
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  qvkel::IDevice* device = devices->getDevice(0, 0, &status);
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(chassis_->find(3, 0, 0), &chassis_->module(0));
  sim::Interface& driver = chassis_->module(0).deviceInterface();
  sim::ClipController& clip = chassis_->clip(0);
  constexpr uint32_t kInstruction = 0x0020030D;
  // {command, CLIP opcode (instructions only)}; each completes with 0 exactly once: the same
  // command elsewhere (another interface's gate) must report its failure.
  std::set<std::pair<uint32_t, uint32_t>> probes = {
      {0x80208302, 0},        // a cached proxy's validity: an invalid one is replaced
      {0x80200601, 0},        // adapter module of the target-class check
      {0x00200902, 0},        // end of configuration
      {0x8020040D, 0},        // multi-session query
      {0x80200600, 0},        // I/O controller filter identifier
      {0x80200602, 0},        // and state
      {0x0020050B, 0},        // synchronisation flag, kept for later requests
      {0x4020830B, 0},        // kernel session's close on release
      {kInstruction, 0x001},  // CLIP version: 0 counts as the faulty logic reset
      // interface 3 supported, handle, oldest and current version: the adjustment stays off
      {kInstruction, 0x009},
      {kInstruction, 0x003},
      {kInstruction, 0x007},
      {kInstruction, 0x006}};
  const std::string design = qvsim::BitfileBuilder().text();
  const auto run = [&]() -> int64_t {
    status = {};
    std::unique_ptr<qvkel::IFpgaSession, void (*)(qvkel::IFpgaSession*)> session(
        device->createFpgaSession(5, &status), [](qvkel::IFpgaSession* s) {
          if (s != nullptr) s->release();
        });
    if (status.code < 0) return status.code;
    session->open(design.c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000, &status);
    if (status.code < 0) return status.code;
    sim::host::HostSession host(*session);
    if (const int32_t code = host.set(0x20000010, "AI0", "0.3"); code < 0) return code;
    return host.commit();
  };
  ASSERT_EQ(run(), 0);
  driver.clearLog();
  clip.clearLog();
  ASSERT_EQ(run(), 0);
  const std::vector<sim::ClipInstruction> instructions = clip.log();
  std::vector<std::pair<uint32_t, uint32_t>> points;
  size_t sent = 0;
  for (const sim::LogEntry& entry : driver.log()) {
    if (entry.raw) continue;
    const bool instruction = entry.command == kInstruction;
    ASSERT_TRUE(!instruction || sent < instructions.size());
    points.emplace_back(entry.command, instruction ? instructions[sent++].opcode : 0);
  }
  ASSERT_EQ(sent, instructions.size());
  sim::Reply failure;
  failure.status = -52024;
  for (size_t i = 0; i < points.size(); ++i) {
    driver.failCommandAt(i, failure);
    const int64_t failed = run();
    EXPECT_TRUE(failed == failure.status || (failed == 0 && probes.erase(points[i]) == 1))
        << "point " << i << ", command " << std::hex << points[i].first << " opcode "
        << points[i].second << ": " << std::dec << failed;
    EXPECT_EQ(run(), 0) << "after point " << i;
  }
  EXPECT_TRUE(probes.empty()) << probes.size() << " probes no longer tolerated";
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
}

TEST_F(PluginEntry, InitialisesWithAndWithoutEachMakerLibrary) {
  for (const char* library : {kPxiLibrary, kRouteLibrary}) {
    for (LibraryChoice choice :
         {LibraryChoice::Absent, LibraryChoice::MissingSymbol, LibraryChoice::Present}) {
      SCOPED_TRACE(std::string(library) + " choice " + std::to_string(static_cast<int>(choice)));
      use(library, choice);
      ASSERT_EQ(plugin().initialize(), 0);
      const auto rows = refreshed();
      ASSERT_EQ(rows.size(), 5u);
      const bool placed = library != kPxiLibrary || choice == LibraryChoice::Present;
      EXPECT_EQ(rows[0].pxiName, placed ? "PXI1Slot2" : "");
      EXPECT_EQ(rows[0].token, placed ? "Model=BRM-6812;Chassis=1;Slot=2"
                                      : "Model=BRM-6812;PCISlotPath=PCI0/BUS3/DEV0");
      // Only a complete route library stays loaded while the plug-in runs.
      if (library == kRouteLibrary) {
        EXPECT_EQ(mapped(sim::libs::standInPath(kRouteLibrary, Variant::Present)),
                  choice == LibraryChoice::Present);
        EXPECT_FALSE(mapped(sim::libs::standInPath(kRouteLibrary, Variant::MissingSymbol)));
      }
      ASSERT_EQ(plugin().finalize(), 0);
      EXPECT_FALSE(mapped(sim::libs::standInPath(kRouteLibrary, Variant::Present)));
      use(library, LibraryChoice::Present);
    }
  }
}

TEST_F(PluginEntry, InitialiseAndFinaliseAreCounted) {
  EXPECT_EQ(plugin().finalize(), -52003) << "before any initialise";
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(plugin().getInterface(0, &out), -52003);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(plugin().initialize(), 0);
  ASSERT_EQ(plugin().initialize(), 0);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 1));
  EXPECT_TRUE(waitForThreadsNamed(kAliasThread, 2));
  ASSERT_EQ(plugin().finalize(), 0);
  EXPECT_EQ(threadsNamed(kObserverThread), 1u) << "one finalise of two keeps the plug-in";
  EXPECT_EQ(refreshed().size(), 5u);
  ASSERT_EQ(plugin().finalize(), 0);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 0));
  EXPECT_TRUE(waitForThreadsNamed(kAliasThread, 0));
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(plugin().getInterface(0, &out), -52003) << "no list over deleted objects";
  EXPECT_EQ(out, nullptr);

  // An unmatched finalise changes nothing: the next initialise builds everything again.
  EXPECT_EQ(plugin().finalize(), -52003);
  ASSERT_EQ(plugin().initialize(), 0);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 1));
  EXPECT_EQ(refreshed().size(), 5u);
  EXPECT_EQ(plugin().finalize(), 0);
}

TEST_F(PluginEntry, OnlyVersionZeroGivesAList) {
  ASSERT_EQ(plugin().initialize(), 0);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(plugin().getInterface(1, &out), -52005);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(plugin().getInterface(0, nullptr), -52005);
  EXPECT_EQ(plugin().finalize(), 0);
}

TEST_F(PluginEntry, TwoThreadsFirstInitialisesBuildOneSetOfObjects) {
  std::barrier start(2);
  int32_t codes[2] = {1, 1};
  auto initialise = [&](int i) {
    start.arrive_and_wait();
    codes[i] = plugin().initialize();
  };
  plugin();
  std::thread first(initialise, 0), second(initialise, 1);
  first.join();
  second.join();
  EXPECT_EQ(codes[0], 0);
  EXPECT_EQ(codes[1], 0);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 1));
  EXPECT_TRUE(waitForThreadsNamed(kAliasThread, 2));
  EXPECT_EQ(plugin().finalize(), 0);
  EXPECT_EQ(threadsNamed(kObserverThread), 1u);
  EXPECT_EQ(plugin().finalize(), 0);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 0));
}

TEST_F(PluginEntry, WithoutItsStateFolderInitialisationFailsAndLeavesNothing) {
  ASSERT_EQ(::rmdir(testbed_.path(kStateFolder).c_str()), 0);
  EXPECT_EQ(plugin().initialize(), -52006);
  EXPECT_TRUE(waitForThreadsNamed(kObserverThread, 0));
  EXPECT_TRUE(waitForThreadsNamed(kAliasThread, 0));
  EXPECT_EQ(plugin().finalize(), -52003);
  sim::installMakerSoftware(testbed_);
  EXPECT_EQ(plugin().initialize(), 0);
  EXPECT_EQ(plugin().finalize(), 0);
}

TEST_F(PluginEntry, ANewDeviceNodeReachesARegisteredListenerOnTheObserverThread) {
  ASSERT_EQ(plugin().initialize(), 0);
  auto devices = list();
  nQVVUSKS100::tStatus status;
  devices->refresh(&status);
  Listener listener, refused;
  devices->registerListener(&listener, &status);
  ASSERT_EQ(status.code, 0);
  status.code = -1;
  devices->registerListener(&refused, &status);
  EXPECT_EQ(status.code, -1) << "a status holding an error registers nothing";
  status = {};
  devices->registerListener(nullptr, &status);
  EXPECT_EQ(status.code, -52005);
  EXPECT_EQ(status.line, 84u);

  testbed_.createNode("x\\qvvandrelbrenmoork_vandrelbrenmoor\\y");
  ASSERT_TRUE(listener.waitFor(1));
  EXPECT_EQ(listener.thread(), kObserverThread);
  EXPECT_TRUE(devices->hasChanged());
  devices->unregisterListener(&listener);
  devices.reset();
  EXPECT_EQ(plugin().finalize(), 0);
  EXPECT_EQ(listener.calls(), 1u);
  EXPECT_EQ(refused.calls(), 0u);
}

TEST_F(PluginEntry, AListenerAskingForAListWhileTheLastFinaliseWaitsForItIsRefused) {
  ASSERT_EQ(plugin().initialize(), 0);
  // The alias threads name themselves once running: only after that does their absence mean
  // that the finalise has stopped them.
  ASSERT_TRUE(waitForThreadsNamed(kAliasThread, 2));
  Listener asking;
  int32_t code = 1;
  // On the observer thread, once the last finalise, which joins that thread, is under way.
  asking.body = [&] {
    void* out = nullptr;
    code = waitForThreadsNamed(kAliasThread, 0) ? plugin().getInterface(0, &out) : 1;
  };
  nQVVUSKS100::tStatus status;
  list()->registerListener(&asking, &status);
  testbed_.createNode("x\\qvvandrelbrenmoork_vandrelbrenmoor\\y");
  ASSERT_TRUE(asking.waitFor(1));
  EXPECT_EQ(plugin().finalize(), 0);
  EXPECT_EQ(code, -52003);
}

TEST_F(PluginEntry, TheInstallDirectoryTableIsRelocatedWhenThePluginLoads) {
  constexpr const char* kRelocations = "libqvrelocations.so.0";
  sim::libs::RelocationsControl relocations;
  relocations.reset();
  testbed_.setLibrary(kRelocations, LibraryChoice::Present,
                      sim::libs::standInPath(kRelocations, Variant::Present));
  plugin();
  EXPECT_EQ(relocations.calls().size(), 19u) << "every install directory, once, at load";
  relocations.reset();
}

}  // namespace
