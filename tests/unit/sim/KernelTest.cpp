// The interposer and the testbed: redirection of the fixed prefixes, glob mapping, real
// inotify events on the node folder, and dlopen choices.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/kernel/Testbed.h"

namespace {

std::string readAll(const char* path) {
  FILE* f = std::fopen(path, "re");
  if (f == nullptr) return "<missing>";
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

std::vector<std::string> globAll(const char* pattern, int flags, int* result) {
  glob_t g{};
  *result = glob(pattern, flags, nullptr, &g);
  std::vector<std::string> out;
  for (size_t i = 0; i < g.gl_pathc; ++i) out.emplace_back(g.gl_pathv[i]);
  globfree(&g);
  return out;
}

TEST(TestbedRedirection, FixedPrefixesReachTheTestbedAndOthersFallThrough) {
  sim::Testbed tb;
  tb.writeFile("/etc/telmora/share/share.dir", "  /opt/x/share/ \n");
  EXPECT_EQ(readAll("/etc/telmora/share/share.dir"), "  /opt/x/share/ \n");

  ASSERT_EQ(mkdir("/var/local/telmora/made", 0700), 0);
  struct stat st {};
  ASSERT_EQ(stat(tb.path("/var/local/telmora/made").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(access("/var/local/telmora/made", F_OK), 0);

  int fd = open("/usr/local/telmora/file", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  ASSERT_EQ(close(fd), 0);
  EXPECT_EQ(readAll(tb.path("/usr/local/telmora/file").c_str()), "abc");
  ASSERT_EQ(rename("/usr/local/telmora/file", "/usr/local/telmora/moved"), 0);
  EXPECT_TRUE(tb.exists("/usr/local/telmora/moved"));
  EXPECT_FALSE(tb.exists("/usr/local/telmora/file"));
  ASSERT_EQ(unlink("/usr/local/telmora/moved"), 0);
  EXPECT_FALSE(tb.exists("/usr/local/telmora/moved"));
  ASSERT_EQ(rmdir("/var/local/telmora/made"), 0);
  EXPECT_FALSE(tb.exists("/var/local/telmora/made"));

  tb.writeFile("/sys/devices/system/node/node0/cpulist", "0-3");
  tb.writeFile("/sys/devices/system/node/node1/cpulist", "4-7");
  DIR* dir = opendir("/sys/devices/system/node");
  ASSERT_NE(dir, nullptr);
  std::set<std::string> names;
  while (dirent* e = readdir(dir)) names.insert(e->d_name);
  closedir(dir);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "node0", "node1"}));

  // A prefix matches whole path components only; other paths are the real system's.
  errno = 0;
  EXPECT_EQ(open("/dev/qvx", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(access("/proc/self/status", R_OK), 0);
  EXPECT_NE(readAll("/proc/self/status"), "<missing>");
}

TEST(TestbedRedirection, EndsWithTheTestbed) {
  std::string root;
  {
    sim::Testbed tb;
    root = tb.root();
    tb.writeFile("/etc/telmora/only-here", "x");
    EXPECT_EQ(access("/etc/telmora/only-here", F_OK), 0);
  }
  errno = 0;
  EXPECT_EQ(access("/etc/telmora/only-here", F_OK), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_NE(access(root.c_str(), F_OK), 0) << "the root is removed";
}

TEST(TestbedRedirection, OneTestbedAtATime) {
  sim::Testbed tb;
  EXPECT_EQ(sim::Testbed::active(), &tb);
  EXPECT_THROW(sim::Testbed second, std::logic_error);
  EXPECT_EQ(sim::Testbed::active(), &tb);
}

TEST(TestbedRedirection, FailingCallsKeepTheirErrno) {
  sim::Testbed tb;
  errno = 0;
  EXPECT_EQ(open("/proc/driver/qv/none/interfacePath", O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(mkdir("/etc/telmora/a/b", 0700), -1);
  EXPECT_EQ(errno, ENOENT);
  tb.writeFile("/etc/telmora/file", "");
  errno = 0;
  EXPECT_EQ(mkdir("/etc/telmora/file", 0700), -1);
  EXPECT_EQ(errno, EEXIST);
  // A successful call through a wrapper leaves errno alone.
  errno = 1234;
  int fd = open("/etc/telmora/file", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(errno, 1234);
  close(fd);
}

TEST(TestbedGlob, ResultsComeBackInTheSystemSpelling) {
  sim::Testbed tb;
  tb.addInstance("inst0");
  tb.addInstance("inst1");
  tb.addInterface("inst0", "ifa_x", "0", "/dev/qv/a");
  tb.addInterface("inst1", "ifa_x", "7", "/dev/qv/b");
  tb.addInterface("inst1", "other_x", "0", "/dev/qv/c");

  int result = -1;
  // Two backslashes before the asterisk: glob reads them as one literal backslash.
  auto paths = globAll("/proc/driver/qv/*/deviceInterfaces/ifa_x\\\\*", GLOB_ONLYDIR, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(paths, (std::vector<std::string>{"/proc/driver/qv/inst0/deviceInterfaces/ifa_x\\0",
                                             "/proc/driver/qv/inst1/deviceInterfaces/ifa_x\\7"}));
  EXPECT_EQ(readAll((paths[1] + "/interfacePath").c_str()), "/dev/qv/b");

  globAll("/proc/driver/qv/*/deviceInterfaces/missing\\\\*", GLOB_ONLYDIR, &result);
  EXPECT_EQ(result, GLOB_NOMATCH);

  // GLOB_NOCHECK hands back the caller's own pattern, not the redirected one.
  auto unchanged = globAll("/proc/driver/qv/*/none", GLOB_NOCHECK, &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(unchanged, std::vector<std::string>{"/proc/driver/qv/*/none"});

  // GLOB_APPEND maps only what it added.
  glob_t g{};
  ASSERT_EQ(glob("/proc/driver/qv/inst0", 0, nullptr, &g), 0);
  ASSERT_EQ(glob("/proc/driver/qv/inst1", GLOB_APPEND, nullptr, &g), 0);
  ASSERT_EQ(g.gl_pathc, 2u);
  EXPECT_STREQ(g.gl_pathv[0], "/proc/driver/qv/inst0");
  EXPECT_STREQ(g.gl_pathv[1], "/proc/driver/qv/inst1");
  globfree(&g);
}

// A call the C library refuses before it touches the result must be refused the same way
// under the testbed: the result record is not there to map.
TEST(TestbedGlob, RefusedCallReadsNoResult) {
  sim::Testbed tb;
  tb.addInstance("inst0");
  errno = 0;
  EXPECT_EQ(glob("/proc/driver/qv/*", 0, nullptr, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);

  // Unknown flags: the record is left as it was, garbage included.
  glob_t g;
  std::memset(&g, 0xA5, sizeof g);
  errno = 0;
  EXPECT_EQ(glob("/proc/driver/qv/*", 1 << 30, nullptr, &g), -1);
  EXPECT_EQ(errno, EINVAL);
}

TEST(TestbedGlob, RootWithGlobCharactersIsEscaped) {
  const char* old = std::getenv("TMPDIR");
  std::string saved = old != nullptr ? old : "";
  char dir[] = "/tmp/qvsim[x]*-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  setenv("TMPDIR", dir, 1);
  int result = -1;
  std::vector<std::string> paths;
  {
    sim::Testbed tb;
    if (old != nullptr)
      setenv("TMPDIR", saved.c_str(), 1);
    else
      unsetenv("TMPDIR");
    tb.addInstance("inst0");
    tb.addInterface("inst0", "ifa_x", "0", "/dev/qv/a");
    paths = globAll("/proc/driver/qv/*/deviceInterfaces/ifa_x\\\\*", GLOB_ONLYDIR, &result);
  }
  rmdir(dir);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(paths, std::vector<std::string>{"/proc/driver/qv/inst0/deviceInterfaces/ifa_x\\0"});
}

TEST(TestbedFiles, InstancesPropertiesAndInterfacePaths) {
  sim::Testbed tb;
  tb.addInstance("inst0");
  tb.setProperty("inst0", sim::PropertySet::Bus, "pciDeviceID", std::string("\x34\x12\0\0", 4));
  tb.setProperty("inst0", sim::PropertySet::Device, "serialNumber", "01AB");
  tb.addInterface("inst0", "ifa_x", "s", std::string(255, 'p'));
  EXPECT_EQ(readAll("/proc/driver/qv/inst0/busProperties/pciDeviceID"),
            std::string("\x34\x12\0\0", 4));
  EXPECT_EQ(readAll("/proc/driver/qv/inst0/deviceProperties/serialNumber"), "01AB");
  EXPECT_EQ(readAll("/proc/driver/qv/inst0/deviceInterfaces/ifa_x\\s/interfacePath"),
            std::string(255, 'p'));
  tb.removeProperty("inst0", sim::PropertySet::Device, "serialNumber");
  EXPECT_EQ(access("/proc/driver/qv/inst0/deviceProperties/serialNumber", F_OK), -1);
  tb.removeInterface("inst0", "ifa_x", "s");
  EXPECT_EQ(access("/proc/driver/qv/inst0/deviceInterfaces/ifa_x\\s", F_OK), -1);
  tb.removeInstance("inst0");
  EXPECT_EQ(access("/proc/driver/qv/inst0", F_OK), -1);
}

// Reads inotify events until `want` of them arrived or 2 s passed.
struct Event {
  int wd;
  uint32_t mask;
  std::string name;
};

std::vector<Event> readEvents(int fd, size_t want) {
  std::vector<Event> events;
  alignas(inotify_event) char buffer[4096];
  while (events.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) break;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t off = 0; off < n;) {
      auto* e = reinterpret_cast<inotify_event*>(buffer + off);
      events.push_back(Event{e->wd, e->mask, e->len != 0 ? std::string(e->name) : ""});
      off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  return events;
}

bool has(const std::vector<Event>& events, int wd, uint32_t bit, const std::string& name) {
  for (const auto& e : events)
    if (e.wd == wd && (e.mask & bit) != 0 && e.name == name) return true;
  return false;
}

TEST(TestbedNodes, NodeFilesAndTheNodeFolderRaiseRealInotifyEvents) {
  sim::Testbed tb;
  int in = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(in, 0);
  int devWatch = inotify_add_watch(in, "/dev", IN_CREATE | IN_DELETE | IN_DELETE_SELF);
  int qvWatch = inotify_add_watch(in, "/dev/qv", IN_CREATE | IN_DELETE | IN_DELETE_SELF);
  ASSERT_GE(devWatch, 0);
  ASSERT_GE(qvWatch, 0);

  EXPECT_EQ(tb.createNode("p\\ifa_x\\0"), "/dev/qv/p\\ifa_x\\0");
  auto events = readEvents(in, 1);
  EXPECT_TRUE(has(events, qvWatch, IN_CREATE, "p\\ifa_x\\0"));
  EXPECT_EQ(access("/dev/qv/p\\ifa_x\\0", F_OK), 0);

  tb.deleteNode("p\\ifa_x\\0");
  events = readEvents(in, 1);
  EXPECT_TRUE(has(events, qvWatch, IN_DELETE, "p\\ifa_x\\0"));

  tb.createNode("p\\ifa_x\\1");
  readEvents(in, 1);
  tb.removeNodeDirectory();
  events = readEvents(in, 4);  // the file, the folder's own end, the folder in /dev, IN_IGNORED
  EXPECT_TRUE(has(events, qvWatch, IN_DELETE, "p\\ifa_x\\1"));
  EXPECT_TRUE(has(events, qvWatch, IN_DELETE_SELF, ""));
  EXPECT_TRUE(has(events, devWatch, IN_DELETE, "qv"));
  EXPECT_EQ(access("/dev/qv", F_OK), -1);

  tb.createNode("p\\ifa_x\\2");  // waits for the folder
  tb.createNodeDirectory();
  events = readEvents(in, 1);
  EXPECT_TRUE(has(events, devWatch, IN_CREATE, "qv"));
  // The nodes come back with the folder.
  EXPECT_EQ(access("/dev/qv/p\\ifa_x\\1", F_OK), 0);
  EXPECT_EQ(access("/dev/qv/p\\ifa_x\\2", F_OK), 0);

  // Without restoring, the folder comes back empty.
  tb.removeNodeDirectory();
  tb.createNodeDirectory(false);
  EXPECT_EQ(access("/dev/qv", F_OK), 0);
  EXPECT_EQ(access("/dev/qv/p\\ifa_x\\1", F_OK), -1);
  close(in);
}

// Only the node folder's parent itself is watched in the testbed; other paths below /dev are
// the real system's.
TEST(TestbedNodes, WatchesBelowDevOtherThanTheNodeFolderAreReal) {
  sim::Testbed tb;
  int in = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(in, 0);
  errno = 0;
  EXPECT_GE(inotify_add_watch(in, "/dev/null", IN_ATTRIB), 0) << std::strerror(errno);
  close(in);
}

using ReadFile = int (*)(const char*, char*, int);
using FirstMatch = int (*)(const char*, char*, int);
using Version = int (*)();

TEST(TestbedLibraries, LoadedLibrariesBindToTheWrappers) {
  sim::Testbed tb;
  tb.setLibrary("libqvsimprobe.so", sim::LibraryChoice::Present, SIM_PROBE_PATH);
  void* handle = dlopen("libqvsimprobe.so", RTLD_NOW);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto readFile = reinterpret_cast<ReadFile>(dlsym(handle, "simprobe_read_file"));
  auto firstMatch = reinterpret_cast<FirstMatch>(dlsym(handle, "simprobe_first_match"));
  ASSERT_NE(readFile, nullptr);
  ASSERT_NE(firstMatch, nullptr);

  tb.writeFile("/etc/telmora/seen-by-library", "from the testbed");
  char buffer[256];
  EXPECT_EQ(readFile("/etc/telmora/seen-by-library", buffer, sizeof buffer), 16);
  EXPECT_STREQ(buffer, "from the testbed");

  tb.addInstance("inst0");
  tb.addInterface("inst0", "ifa_x", "0", "/dev/qv/a");
  EXPECT_EQ(firstMatch("/proc/driver/qv/*/deviceInterfaces/ifa_x\\\\*", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "/proc/driver/qv/inst0/deviceInterfaces/ifa_x\\0");
  dlclose(handle);
}

TEST(TestbedLibraries, AbsentAndMissingSymbolChoices) {
  sim::Testbed tb;
  tb.setLibrary("libqvsimprobe.so", sim::LibraryChoice::Absent);
  dlerror();
  EXPECT_EQ(dlopen("libqvsimprobe.so", RTLD_NOW), nullptr);
  const char* message = dlerror();
  ASSERT_NE(message, nullptr);
  EXPECT_NE(std::strstr(message, "libqvsimprobe.so"), nullptr) << message;

  tb.setLibrary("libqvsimprobe.so", sim::LibraryChoice::MissingSymbol, SIM_PROBE_NOSYMBOL_PATH);
  void* handle = dlopen("/any/folder/libqvsimprobe.so", RTLD_NOW);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto version = reinterpret_cast<Version>(dlsym(handle, "simprobe_version"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 2);
  EXPECT_EQ(dlsym(handle, "simprobe_read_file"), nullptr);
  dlclose(handle);

  // Without a choice the real loader decides: this name exists nowhere.
  tb.clearLibrary("libqvsimprobe.so");
  EXPECT_EQ(dlopen("libqvsimprobe.so", RTLD_NOW), nullptr);
  EXPECT_THROW(tb.setLibrary("x.so", sim::LibraryChoice::Present), std::invalid_argument);
}

}  // namespace
