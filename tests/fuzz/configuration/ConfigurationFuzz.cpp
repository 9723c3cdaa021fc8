// Feeds arbitrary bytes to the configuration load as the alias file's content, with two present
// modules whose tokens differ only in case. Checks: a failed load leaves the file as it was; a
// successful one leaves a document that loads again without any write; no journal stays.

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <typeinfo>

#include "discovery/AliasAttributeProvider.h"
#include "discovery/Configuration.h"
#include "discovery/DeviceIterator.h"
#include "discovery/LockableFile.h"
#include "foundation/errors/Debug.h"
#include "foundation/errors/Exception.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

class Devices : public qvjsonconfig::DeviceIteratorInterface {
 public:
  void getBusPropertyString(const char*, std::string&) override {}
  void getBusPropertyU32(const char*, std::uint32_t&) override {}
  void getDevicePropertyString(const char*, std::string&) override {}
  void getDevicePropertyU32(const char*, std::uint32_t&) override {}
  std::string getInterfacePath() override { return {}; }
  std::string getDriverName() override { return {}; }
  std::string getKey() override {
    return at_ == 0 ? "Model=BRM-6812;PCISlotPath=A" : "model=brm-6812;pcislotpath=a";
  }
  void next() override { ++at_; }
  bool isEnd() override { return at_ >= 2; }

 private:
  int at_ = 0;
};

struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/qv-config-fuzz-XXXXXX";
    check(::mkdtemp(pattern) != nullptr);
    dir = pattern;
    path = dir + "/qvvandrelbrenmoor.config";
    // A failed load prints a debug line at a level shown by default; keep the run quiet.
    qvsdbg_outputHook = [](const char*) {};
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
  std::string path;
  qvjsonconfig::SimpleAliasFactory factory{"Vandrel"};
  qvjsonconfig::AliasAttributeProvider provider{factory};
};

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// True when a session could be made; false when the load failed in an expected way.
bool load(Fixture& fixture, qvjsonconfig::LockableFile& file) {
  try {
    Devices devices;
    qvjsonconfig::Configuration session(file, devices, fixture.provider, nullptr);
    return true;
  } catch (const qverr::Exception&) {
  } catch (const std::bad_cast&) {
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::ofstream(fixture.path, std::ios::binary | std::ios::trunc) << input;

  qvjsonconfig::LockableFile file(fixture.path.c_str(), false);
  if (!load(fixture, file)) {
    check(contentOf(fixture.path) == input);
  } else {
    // Settled: the next session writes nothing at all (not even the same bytes again, which
    // would wake every process's directory monitor once more).
    const std::string written = contentOf(fixture.path);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    check(watch >= 0);
    check(::inotify_add_watch(watch, fixture.dir.c_str(), IN_MODIFY | IN_CREATE | IN_DELETE) >= 0);
    check(load(fixture, file));
    char events[4096];
    check(::read(watch, events, sizeof events) < 0 && errno == EAGAIN);
    ::close(watch);
    check(contentOf(fixture.path) == written);
  }
  check(!std::filesystem::exists(file.journalPath()));
  return 0;
}
