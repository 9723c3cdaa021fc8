// The alias rule, the listener registry, alias storage and the alias manager's edits, without
// the threads that follow the file.
#include <sys/stat.h>

#include <cerrno>
#include <set>
#include <stdexcept>

#include "AliasTestSupport.h"
#include "sim/kernel/FileFaults.h"

namespace {

using aliastest::device;
using aliastest::kA;
using aliastest::kB;
using aliastest::kC;
using disctest::aliasOf;
using disctest::catchError;
using qvkel::IAliasManager;

TEST(AliasRules, LettersDigitsUnderscoreAndHyphenButNoReservedName) {
  for (const char* good : {"bench_1-A", "HOST1", "nullx", "", "Z9", "-_-"}) {
    EXPECT_NO_THROW(qvkel::checkAlias(good)) << good;
  }
  for (const char* bad : {"host", "Host", "NULL", "nUlL", "a.b", "a b", "a/b", "caf\xC3\xA9",
                          "\x80", "tab\t", "x\ny"}) {
    const auto thrown = catchError([&] { qvkel::checkAlias(bad); });
    EXPECT_EQ(thrown.code, -63180) << bad;
    EXPECT_EQ(thrown.detail, "") << "the code alone";
  }
}

// Records the order of calls; can remove or add listeners, or throw, from inside its call.
struct ScriptedListener : qvkel::IChangeNotificationHandler {
  ScriptedListener(std::string name, std::string& log) : name(std::move(name)), log(log) {}
  void onChange() override {
    log += name;
    if (action) action();
  }
  std::string name;
  std::string& log;
  std::function<void()> action;
};

TEST(ListenerRegistry, CountsRegistrationsAndToleratesChangesAndFailuresDuringAWalk) {
  std::string log;
  ScriptedListener a("a", log), b("b", log), c("c", log), d("d", log);
  qvkel::ListenerRegistry registry;
  registry.addListener(&a);
  registry.addListener(&b);
  registry.addListener(&a);
  registry.notifyListeners();
  EXPECT_EQ(log, "ab");  // once per walk, whatever the count
  registry.removeListener(&a);
  registry.removeListener(&d);  // unknown: ignored
  registry.notifyListeners();
  EXPECT_EQ(log, "abab");
  registry.removeListener(&a);
  registry.notifyListeners();
  EXPECT_EQ(log, "ababb");

  // During a walk: c is removed before its turn and d appended after a; a throwing listener
  // is reported and the walk goes on.
  log.clear();
  registry.addListener(&c);
  b.action = [&] {
    registry.removeListener(&c);
    registry.addListener(&d);
  };
  d.action = [] { throw std::runtime_error("listener d broke"); };
  registry.addListener(&a);
  a.action = [] { throw 7; };
  aliastest::DebugCapture debug;
  registry.notifyListeners();
  EXPECT_EQ(log, "bad");
  EXPECT_NE(debug.output().find("listener d broke"), std::string::npos);
  EXPECT_NE(debug.output().find("unknown exception"), std::string::npos);
  b.action = nullptr;
  log.clear();
  registry.notifyListeners();
  EXPECT_EQ(log, "bad");
}

TEST(AliasStorageData, ReadsFindsAndReplacesStoredAliases) {
  disctest::AliasFile alias;
  alias.write(R"({"version": 1, "devices": {"T1": {"alias": "One"}, "T0": {"Alias": "one"},
      "T2": {"other": true}, "T3": {"alias": 5}, "T4": 7}})");
  auto session = alias.open();
  qvkel::AliasStorageDataJsonconfig data(session->getData());

  EXPECT_EQ(data.getAlias("T1"), "One");
  EXPECT_EQ(data.getAlias("T0"), "one");
  EXPECT_EQ(data.getAlias("T9"), "");  // no entry
  EXPECT_EQ(data.getAlias("T2"), "");  // no alias
  EXPECT_EQ(data.getAlias("T4"), "");  // not even an object
  EXPECT_EQ(catchError([&] { data.getAlias("T3"); }).code, -52004);
  // Token order, without regard to ASCII case; entries without an alias are passed over.
  EXPECT_EQ(data.findTokenByAlias("ONE"), "T0");
  EXPECT_EQ(catchError([&] { data.findTokenByAlias("none"); }).code, -52004);  // T3

  EXPECT_EQ(catchError([&] { data.setAlias("T9", "x"); }).code, -1074097793);
  EXPECT_EQ(catchError([&] { data.setAlias("T2", "x"); }).code, -52006);
  data.setAlias("T3", "three");
  EXPECT_EQ(data.findTokenByAlias("none"), "");
  EXPECT_EQ(data.findTokenByAlias("THREE"), "T3");

  std::shared_ptr<qvkel::IAliasStorageData> copy = data.clone();
  copy->setAlias("T1", "Two");
  EXPECT_EQ(copy->getAlias("T1"), "Two");
  EXPECT_EQ(data.getAlias("T1"), "One");
  data.setAlias("T0", "zero");
  EXPECT_EQ(aliasOf(session->getData(), "T0"), "zero");  // borrowed: the session's own data
  EXPECT_EQ(copy->getAlias("T0"), "one");
}

TEST(SynchronizedConfiguration, ChangesBetweenTwoContentsAndQueuedUpdates) {
  disctest::AliasFile alias;
  alias.write(R"({"version": 1, "devices": {"C": {"alias": "c"}, "A": {"alias": "a"},
      "B": {"alias": "b"}}})");
  aliastest::FakeDeviceFactory none;
  qvjsonconfig::SynchronizedConfiguration configuration(alias.file(), none, alias.provider());
  auto older = configuration.getSnapshot();
  auto newer = configuration.getSnapshot();
  using Changes = qvjsonconfig::SynchronizedConfiguration::Changes;
  EXPECT_EQ(qvjsonconfig::SynchronizedConfiguration::computeChanges(*older, *newer), Changes{});

  disctest::setAlias(*newer, "B", "b2");
  newer->removeEntry("C");
  newer->addEntry("E", qvjsonlh::createObject(), qvjsonlh::createObject());
  newer->addEntry("D", qvjsonlh::createObject(), qvjsonlh::createObject());
  EXPECT_EQ(qvjsonconfig::SynchronizedConfiguration::computeChanges(*older, *newer),
            (Changes{{1, {"D", "E"}}, {2, {"C"}}, {3, {"B"}}}));

  // An update becomes the current content and is reported by the next wait, merged with what
  // the re-read file (which still holds the old content) shows.
  configuration.update(*newer);
  EXPECT_EQ(aliasOf(*configuration.getSnapshot(), "B"), "b2");
  Changes changes;
  ASSERT_TRUE(configuration.waitForChanges(changes));
  EXPECT_EQ(changes, (Changes{{1, {"C", "D", "E"}}, {2, {"D", "E", "C"}}, {3, {"B", "B"}}}));
  EXPECT_EQ(aliasOf(*configuration.getSnapshot(), "B"), "b");
}

class AliasManager : public ::testing::Test {
 protected:
  // Three present modules; B sits in a PXI chassis.
  AliasManager()
      : devices_({kA, kB, kC}),
        discoverer_({device(kA), device(kB, "PXI1Slot2"), device(kC)}),
        stack_(std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, false)) {}

  IAliasManager& manager() { return stack_->manager; }
  std::string set(const char* token, const std::string& name, std::uint32_t mode = 0) {
    std::string conflict = "stale";
    manager().setAlias(device(token, token == std::string(kB) ? "PXI1Slot2" : ""), name, mode,
                       conflict);
    return conflict;
  }
  std::string get(const char* token) { return manager().getAlias(device(token)); }
  // The alias stored in the file now.
  std::optional<std::string> stored(const char* token) {
    return aliasOf(alias_.open()->getData(), token);
  }

  disctest::AliasFile alias_;
  aliastest::FakeDeviceFactory devices_;
  aliastest::FakeDiscoverer discoverer_;
  std::unique_ptr<aliastest::AliasStack> stack_;
};

TEST_F(AliasManager, SetsAnAliasAndWritesNothingWhenItIsUnchanged) {
  EXPECT_EQ(get(kA), "Vandrel1");  // the defaults of the first read
  EXPECT_EQ(set(kA, "bench_1"), "");
  EXPECT_EQ(get(kA), "bench_1");
  EXPECT_EQ(stored(kA), "bench_1");
  EXPECT_EQ(get("Model=None"), "");

  sim::FileFault writes(sim::FileCall::Fsync, alias_.path(), 0);
  EXPECT_EQ(set(kA, "bench_1"), "");
  EXPECT_EQ(writes.matched(), 0u);
}

TEST_F(AliasManager, TheEmptyAliasOrTheOwnDeviceNameClearsIt) {
  set(kA, "");
  EXPECT_EQ(get(kA), "");
  EXPECT_EQ(stored(kA), "");
  set(kB, "PXI1Slot2");
  EXPECT_EQ(get(kB), "");
  EXPECT_EQ(stored(kB), "");
  // In another case it is a name like any other, and no conflict with the module itself.
  EXPECT_EQ(set(kB, "pxi1slot2"), "");
  EXPECT_EQ(stored(kB), "pxi1slot2");
}

TEST_F(AliasManager, ModeZeroRefusesAConflictModeOneTakesTheNameInOneCommit) {
  set(kA, "bench");
  for (std::uint32_t mode : {0u, 2u}) {
    EXPECT_EQ(set(kC, "BENCH", mode), kA);
    EXPECT_EQ(get(kC), "Vandrel3");
    EXPECT_EQ(stored(kC), "Vandrel3");
    EXPECT_EQ(stored(kA), "bench");
  }
  sim::FileFault writes(sim::FileCall::Fsync, alias_.path(), 0);
  EXPECT_EQ(set(kC, "BENCH", 1), kA);
  EXPECT_EQ(writes.matched(), 1u);
  EXPECT_EQ(stored(kA), "");
  EXPECT_EQ(stored(kC), "BENCH");
  EXPECT_EQ(get(kA), "");
  EXPECT_EQ(get(kC), "BENCH");
  // Renamed to its own alias in another case: no conflict with itself.
  EXPECT_EQ(set(kC, "bench"), "");
  EXPECT_EQ(stored(kC), "bench");
}

TEST_F(AliasManager, StoredAliasesConflictBeforeDeviceNames) {
  // A device name of another module, in another case.
  EXPECT_EQ(set(kA, "pxi1SLOT2"), kB);
  EXPECT_EQ(set(kC, "pxi1SLOT2", 1), kB);
  EXPECT_EQ(stored(kB), "");  // the other module loses its alias, not its device name
  EXPECT_EQ(stored(kC), "pxi1SLOT2");
  EXPECT_EQ(set(kA, "PXI1Slot2"), kC);
}

TEST_F(AliasManager, DeviceNamesFollowTheDeviceManagersTable) {
  const int listings = discoverer_.listings();
  EXPECT_EQ(set(kA, "PXI2Slot4"), "");
  EXPECT_EQ(discoverer_.listings(), listings);  // unchanged table: no new listing
  discoverer_.set({device(kA), device(kB, "PXI1Slot2"), device(kC, "PXI2Slot5")});
  EXPECT_EQ(set(kA, "pxi2slot5"), kC);
  EXPECT_EQ(discoverer_.listings(), listings + 1);
}

TEST_F(AliasManager, RefusalsAndFailuresLeaveAliasAndFileAsTheyWere) {
  const std::string before = alias_.text();
  for (const char* bad : {"host", "a.b", "NULL"}) {
    EXPECT_EQ(catchError([&] { set(kA, bad); }).code, -63180) << bad;
  }
  {
    sim::FileFault full(sim::FileCall::Fsync, alias_.path(), EIO);
    EXPECT_EQ(catchError([&] { set(kA, "bench_1"); }).code, -52012);
  }
  EXPECT_EQ(get(kA), "Vandrel1");
  EXPECT_EQ(alias_.text(), before);
  // The file is unlocked again and usable.
  EXPECT_FALSE(disctest::lockedElsewhere(alias_.path()));
  set(kA, "bench_1");
  EXPECT_EQ(stored(kA), "bench_1");
}

TEST_F(AliasManager, EntriesWithoutAnAliasDoNotStopOthersFromSettingOne) {
  stack_.reset();
  alias_.write(R"({"version": 1, "devices": {"Model=Gone": {"calibrated": true}}})");
  stack_ = std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, false);
  EXPECT_EQ(set(kA, "bench"), "");
  EXPECT_EQ(stored(kA), "bench");
  EXPECT_EQ(alias_.open()->getData().findEntry("Model=Gone") != nullptr, true);
}

// Hides the stored alias of the modules a test names, cannot reach those it names unreachable;
// counts the modules it was asked about.
struct FakeVisibility : qvkel::IAliasVisibility {
  bool showsAlias(const qvkel::DeviceInfo& device) override {
    asked.push_back(device.token);
    if (unreachable.count(device.token) != 0) qverr::throwError(-52006);
    return hidden.count(device.token) == 0;
  }
  std::set<std::string> hidden, unreachable;
  std::vector<std::string> asked;
};

TEST_F(AliasManager, AModuleThatShowsNoAliasKeepsItStoredAndIsNotFoundByIt) {
  stack_.reset();
  alias_.write(R"({"version": 1, "devices": {"Model=Gone": {"alias": "gone"}}})");
  FakeVisibility visibility;
  stack_ =
      std::make_unique<aliastest::AliasStack>(alias_, devices_, discoverer_, false, &visibility);
  set(kA, "bench");
  set(kC, "");
  visibility.hidden = {kA, "Model=Gone"};
  visibility.asked.clear();
  EXPECT_EQ(get(kA), "");
  EXPECT_EQ(get(kC), "");
  EXPECT_EQ(visibility.asked, std::vector<std::string>{kA}) << "asked only for a stored alias";

  const std::string before = alias_.text();
  EXPECT_EQ(catchError([&] { set(kA, "other"); }).code, -63193);
  EXPECT_EQ(set(kA, ""), "") << "it has none already";
  EXPECT_EQ(alias_.text(), before);
  // Its name is free for others; an absent module's stored alias still holds its name.
  EXPECT_EQ(set(kB, "BENCH"), "");
  EXPECT_EQ(set(kC, "Gone"), "Model=Gone");
  EXPECT_EQ(stored(kA), "bench");
  EXPECT_EQ(stored(kB), "BENCH");

  visibility.hidden.clear();
  EXPECT_EQ(get(kA), "bench");
  // A module whose driver cannot be asked keeps its name, as an absent one does.
  set(kB, "");
  visibility.unreachable = {kA};
  EXPECT_EQ(set(kC, "bench"), kA);
  EXPECT_EQ(stored(kC), "");
}

TEST_F(AliasManager, AnswersFromItsSnapshotUntilTold) {
  {
    auto other = alias_.open();
    disctest::setAlias(other->getData(), kA, "elsewhere");
    other->commit();
  }
  EXPECT_EQ(get(kA), "Vandrel1");
  stack_->configuration.signalChange();
  qvjsonconfig::SynchronizedConfiguration::Changes changes;
  ASSERT_TRUE(stack_->configuration.waitForChanges(changes));
  EXPECT_EQ(get(kA), "Vandrel1");
  stack_->manager.refreshSnapshot();
  EXPECT_EQ(get(kA), "elsewhere");
}

}  // namespace
