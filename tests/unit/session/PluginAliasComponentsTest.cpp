// The plug-in's alias state over modules of the simulated driver: the alias file in the
// local-state folder, default aliases as the driver allows them, and aliases shared by two
// processes.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "session/PciModelNameIdentifierCodegen.h"
#include "session/PluginAliasComponents.h"
#include "sim/libs/MakerLibraries.h"
#include "tests/unit/discovery/AliasTestSupport.h"
#include "tests/unit/discovery/SimulatedModules.h"

namespace {

using aliastest::device;
using disctest::catchError;
using qvkel::PluginAliasComponents;

constexpr const char* kFolder = "/var/local/telmora/qv-vandrel";
constexpr const char* kFile = "/var/local/telmora/qv-vandrel/qvvandrelbrenmoor.config";
constexpr const char* kPxiLibrary = "libqvqpxi.so.1";
constexpr const char* kPxiToken = "Model=BRM-6812;Chassis=1;Slot=2";

std::string pciToken(uint32_t bus) {
  return "Model=BRM-6812;PCISlotPath=PCI0/BUS" + std::to_string(bus);
}

class PluginAliases : public ::testing::Test {
 protected:
  PluginAliases() {
    pxiControl_.reset();
    testbed_.setLibrary(kPxiLibrary, sim::LibraryChoice::Present,
                        sim::libs::standInPath(kPxiLibrary, sim::libs::Variant::Present));
    ::mkdir(testbed_.path(kFolder).c_str(), 0777);
    // bus 3 in chassis 1 slot 2; buses 4 and 5 in no chassis.
    add(3, 1, 2);
    add(4);
    add(5);
    discoverer_.set({moduleInfo(0), moduleInfo(1), moduleInfo(2)});
  }

  // The device manager's record of module `index`.
  qvkel::DeviceInfo moduleInfo(size_t index) {
    qvkel::DeviceInfo record =
        index == 0 ? device(kPxiToken, "PXI1Slot2") : device(pciToken(3 + index));
    record.interfacePath = modules_[index]->deviceInterface().nodePath();
    return record;
  }
  ~PluginAliases() override { pxiControl_.reset(); }

  // A module with its device interface, or with its routing interface alone.
  sim::Module& add(uint32_t bus, std::optional<uint32_t> chassis = std::nullopt,
                   std::optional<uint32_t> slot = std::nullopt, bool routingOnly = false) {
    const sim::ModuleDescription description = disctest::moduleAt(bus, chassis, slot);
    modules_.push_back(std::make_unique<sim::Module>(testbed_, "qvdev" + std::to_string(bus)));
    if (routingOnly) {
      modules_.back()->routingInterface();
    } else {
      modules_.back()->deviceInterface();
    }
    sim::describe(*modules_.back(), description, pxiControl_);
    return *modules_.back();
  }

  std::unique_ptr<PluginAliasComponents> build() {
    return std::make_unique<PluginAliasComponents>(
        discoverer_, qvvandrelbrenmoork::pciModelNameIdentifier(), pxi_);
  }

  // The stored aliases by token, read from the file as any reader would.
  std::map<std::string, std::string> stored() {
    qvjsonlh::JsonPtr document = qvjsonlh::parse(disctest::readFile(testbed_.path(kFile)).c_str());
    std::map<std::string, std::string> aliases;
    const cJSON* member = nullptr;
    cJSON_ArrayForEach(member, cJSON_GetObjectItem(document.get(), "devices")) {
      aliases[member->string] = cJSON_GetObjectItem(member, "alias")->valuestring;
    }
    return aliases;
  }

  sim::Testbed testbed_;
  sim::libs::QPxiControl pxiControl_;
  qverr::Status pxiStatus_;
  qvkel::QPxiLibrary pxi_{pxiStatus_};
  std::vector<std::unique_ptr<sim::Module>> modules_;
  aliastest::FakeDiscoverer discoverer_;
};

TEST_F(PluginAliases, TheFirstStateCreatesTheAliasFileWithTheDriversDefaultAliases) {
  // The driver tells that bus 5 takes no default alias, and fails the query for bus 6.
  modules_[2]->generationQueries().setValue(qvvandrelbrenmooru::AliasFactoryBrenmoor::kNoAliasQuery,
                                            1);
  add(6).generationQueries().setStatus(1, -52008);
  ASSERT_FALSE(testbed_.exists(kFile));
  auto state = build();
  ASSERT_TRUE(testbed_.exists(kFile));
  struct stat info {};
  ASSERT_EQ(::stat(testbed_.path(kFile).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);
  EXPECT_EQ(stored(), (std::map<std::string, std::string>{{kPxiToken, "Vandrel1"},
                                                          {pciToken(4), "Vandrel2"},
                                                          {pciToken(5), ""},
                                                          {pciToken(6), ""}}));
  // One query per module, with the argument in the record's first word.
  const auto log = modules_[0]->deviceInterface().log();
  ASSERT_EQ(modules_[0]->deviceInterface().count(0x8020040B), 1u);
  for (const sim::LogEntry& entry : log) {
    if (entry.command != 0x8020040B) continue;
    EXPECT_EQ(entry.input, (std::vector<uint8_t>{0x01, 0, 0, 0, 0, 0, 0, 0}));
  }
  EXPECT_EQ(modules_[0]->deviceInterface().openCount(), 0) << "the private proxy is closed";
  EXPECT_EQ(state->aliasManager().getAlias(moduleInfo(0)), "Vandrel1");
}

// Only device interfaces have entries: a routing interface is its module's, and one seen before
// its module's device interface does not make the module's entry.
TEST_F(PluginAliases, RoutingInterfacesMakeNoEntriesOfTheirOwn) {
  modules_[0]->routingInterface();
  sim::Module& early = add(6, std::nullopt, std::nullopt, true);
  auto state = build();
  const auto entries = stored();
  EXPECT_EQ(entries,
            (std::map<std::string, std::string>{
                {kPxiToken, "Vandrel1"}, {pciToken(4), "Vandrel2"}, {pciToken(5), "Vandrel3"}}));
  early.deviceInterface();
  state.reset();
  state = build();
  EXPECT_EQ(stored()[pciToken(6)], "Vandrel4");
}

TEST_F(PluginAliases, WithoutItsFolderThereIsNoState) {
  ::rmdir(testbed_.path(kFolder).c_str());
  EXPECT_EQ(catchError([&] { build(); }).code, -52006);
}

// Runs `body` in a child process; the child ends with 0 when it returns normally.
template <typename Body>
pid_t spawn(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    int code = 0;
    try {
      code = body();
    } catch (...) {
      code = 100;
    }
    _exit(code);
  }
  return child;
}

TEST_F(PluginAliases, AnAliasSetInAnotherProcessReachesThisOne) {
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  // The other process starts before this one has threads.
  const pid_t other = spawn([&] {
    // Ends with this process: the read then sees the pipe closed.
    ::close(go[1]);
    char c;
    if (::read(go[0], &c, 1) != 1) return 3;
    auto state = build();
    std::string conflict;
    state->aliasManager().setAlias(moduleInfo(1), "bench_2", 0, conflict);
    return conflict.empty() ? 0 : 4;
  });

  auto state = build();
  aliastest::CountingListener listener;
  state->aliasManager().addChangeListener(&listener);
  std::string conflict;
  state->aliasManager().setAlias(moduleInfo(0), "bench_1", 0, conflict);
  EXPECT_EQ(conflict, "");
  EXPECT_EQ(stored()[kPxiToken], "bench_1");
  ASSERT_TRUE(listener.waitFor(1));  // our own commit, seen by our threads

  ASSERT_EQ(::write(go[1], "g", 1), 1);
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  ASSERT_TRUE(listener.waitFor(2));
  EXPECT_EQ(state->aliasManager().getAlias(moduleInfo(1)), "bench_2");

  // The name is the other module's now, in any case.
  state->aliasManager().setAlias(moduleInfo(2), "BENCH_2", 0, conflict);
  EXPECT_EQ(conflict, pciToken(4));
  state->aliasManager().removeChangeListener(&listener);
  ::close(go[0]);
  ::close(go[1]);
}

}  // namespace
