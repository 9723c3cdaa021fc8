// The alias file shared by processes: edits serialised by the lock, and rewrites that survive
// a process killed at any moment.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "DiscoveryTestSupport.h"
#include "sim/kernel/FileFaults.h"

namespace {

using disctest::AliasFile;
using disctest::aliasOf;
using disctest::FakeDevices;
using qvjsonconfig::Configuration;
using qvjsonconfig::LockableFile;

bool byteArrives(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

void sendByte(int fd, char c) {
  if (::write(fd, &c, 1) != 1) _exit(3);
}

// Runs `body` in a child process that ends with status 0 when it returns normally.
template <typename Body>
pid_t spawn(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      body();
    } catch (...) {
      _exit(2);
    }
    _exit(0);
  }
  return child;
}

int exitStatus(pid_t child) {
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One session of another process: its own file object, its own lock.
struct Session {
  explicit Session(const std::string& path, std::vector<std::string> tokens = {})
      : file(path.c_str(), true),
        devices(std::move(tokens)),
        configuration(file, devices, provider, nullptr) {}
  LockableFile file;
  FakeDevices devices;
  qvjsonconfig::SimpleAliasFactory factory{"Vandrel"};
  qvjsonconfig::AliasAttributeProvider provider{factory};
  Configuration configuration;
};

TEST(SharedAliasFile, TwoProcessesEditingAtOnceAreSerialisedAndBothEditsSurvive) {
  AliasFile alias;
  alias.load();
  int ends[2], go[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::pipe(go), 0);
  const pid_t first = spawn([&] {
    Session session(alias.path(), {"A"});
    sendByte(ends[1], 'A');  // holds the lock now, until told to commit
    if (!byteArrives(go[0], 10000)) _exit(4);
    disctest::setAlias(session.configuration.getData(), "A", "alpha");
    session.configuration.commit();
  });
  ASSERT_TRUE(byteArrives(ends[0], 10000));
  char c = 0;
  ASSERT_EQ(::read(ends[0], &c, 1), 1);
  const pid_t second = spawn([&] {
    Session session(alias.path(), {"B"});
    sendByte(ends[1], 'B');
    disctest::setAlias(session.configuration.getData(), "B", "beta");
    session.configuration.commit();
  });
  // The second waits for the first's lock: nothing to wait for, so a sleep.
  EXPECT_FALSE(byteArrives(ends[0], 150));
  sendByte(go[1], 'G');
  EXPECT_EQ(exitStatus(first), 0);
  EXPECT_EQ(exitStatus(second), 0);
  for (int fd : {ends[0], ends[1], go[0], go[1]}) ::close(fd);

  auto session = alias.open();
  EXPECT_EQ(aliasOf(session->getData(), "A"), "alpha");
  EXPECT_EQ(aliasOf(session->getData(), "B"), "beta");
}

// Threads of one process share one file object: its mutex serialises their sessions.
TEST(SharedAliasFile, ThreadsOfOneProcessTakeTurns) {
  AliasFile alias;
  alias.load({"A", "B"});
  constexpr int kEdits = 20;
  auto edit = [&](const std::string& token) {
    for (int n = 1; n <= kEdits; ++n) {
      auto session = alias.open();
      // Each session sees the other thread's last commit: nothing it writes undoes it.
      disctest::setAlias(session->getData(), token, token + std::to_string(n));
      session->commit();
    }
  };
  std::thread a(edit, "A");
  std::thread b(edit, "B");
  a.join();
  b.join();
  auto session = alias.open();
  EXPECT_EQ(aliasOf(session->getData(), "A"), "A20");
  EXPECT_EQ(aliasOf(session->getData(), "B"), "B20");
}

// A process killed at a fixed point of a rewrite: after the journal is durable but before the
// alias file is touched, the old text stays; once the alias file is being written, the next
// reader completes the new text.
TEST(SharedAliasFile, AKilledRewriteIsCompletedOrNeverHappened) {
  const std::string previous(300, 'o');
  const std::string next(100, 'n');
  struct Case {
    bool onJournal;
    sim::FileCall call;
    const std::string& expected;
  } cases[] = {
      {true, sim::FileCall::Fsync, previous},
      {false, sim::FileCall::Fallocate, previous},
      {false, sim::FileCall::Ftruncate, next},
      {false, sim::FileCall::Fsync, next},
  };
  for (const Case& c : cases) {
    AliasFile alias;
    alias.write(previous);
    const std::string journal = alias.path() + ".journal";
    const pid_t child = spawn([&] {
      LockableFile file(alias.path().c_str(), false);
      sim::FileFault crash(c.call, c.onJournal ? journal : alias.path(),
                           sim::FileFault::kKillProcess);
      file.lock();
      file.writeAll(next.data(), next.data() + next.size());
    });
    ASSERT_EQ(exitStatus(child), 128 + SIGKILL);
    std::string text;
    LockableFile& file = alias.file();
    file.lock();
    file.readAll(text);
    file.unlock();
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(alias.text(), c.expected);
    EXPECT_FALSE(disctest::exists(journal));
  }
}

constexpr int kDevices = 100;

std::string token(int i) {
  return "Model=BRM-6812;PCISlotPath=PCI0/BUS" + std::to_string(i);
}

// Sets every alias to "G<generation>_<i>".
void setGeneration(qvjsonconfig::ConfigurationData& data, int generation) {
  for (int i = 0; i < kDevices; ++i) {
    disctest::setAlias(data, token(i), "G" + std::to_string(generation) + "_" + std::to_string(i));
  }
}

// The generation every alias of the file agrees on; -1 for a mix or a missing entry.
int generationOf(const qvjsonconfig::ConfigurationData& data) {
  if (data.getEntries().size() != kDevices) return -1;
  int generation = -1;
  for (int i = 0; i < kDevices; ++i) {
    const auto alias = aliasOf(data, token(i));
    if (!alias || alias->size() < 2 || (*alias)[0] != 'G') return -1;
    const int g = std::stoi(alias->substr(1));
    if (alias != "G" + std::to_string(g) + "_" + std::to_string(i)) return -1;
    if (i > 0 && g != generation) return -1;
    generation = g;
  }
  return generation;
}

// A child commits new generations in a loop and is killed at a random moment, again and again.
// Every fresh load afterwards must succeed and hold one whole generation, never going back.
TEST(SharedAliasFile, KilledWhileCommittingInALoop) {
  AliasFile alias;
  std::vector<std::string> tokens;
  for (int i = 0; i < kDevices; ++i) tokens.push_back(token(i));
  {
    auto session = alias.open(tokens);
    setGeneration(session->getData(), 0);
    session->commit();
  }
  // One edit session as the child makes them, timed, sets the scale of the kill delays.
  const auto start = std::chrono::steady_clock::now();
  {
    auto session = alias.open();
    setGeneration(session->getData(), 0);
    session->commit();
  }
  const auto commit = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);

  std::mt19937 random(20240613);
  std::uniform_int_distribution<long> delay(0, 4 * commit.count() + 2000);
  const std::string journal = alias.path() + ".journal";
  int last = 0;
  int interrupted = 0;
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    const pid_t child = spawn([&] {
      LockableFile file(alias.path().c_str(), false);
      FakeDevices none;
      qvjsonconfig::SimpleAliasFactory factory("Vandrel");
      qvjsonconfig::AliasAttributeProvider provider(factory);
      for (;;) {
        Configuration session(file, none, provider, nullptr);
        setGeneration(session.getData(), generationOf(session.getData()) + 1);
        session.commit();
      }
    });
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    ::kill(child, SIGKILL);
    ASSERT_EQ(exitStatus(child), 128 + SIGKILL);
    if (disctest::exists(journal)) ++interrupted;

    LockableFile file(alias.path().c_str(), false);
    FakeDevices none;
    Configuration session(file, none, alias.provider(), nullptr);
    const int generation = generationOf(session.getData());
    ASSERT_GE(generation, last) << "round " << round;
    last = generation;
  }
  EXPECT_FALSE(disctest::exists(journal));
  EXPECT_GT(last, 0);
  RecordProperty("generations", last);
  RecordProperty("interrupted_rewrites", interrupted);
  std::printf("%d rounds, %d generations committed, %d kills during a rewrite, session %ld us\n",
              kRounds, last, interrupted, static_cast<long>(commit.count()));
}

}  // namespace
