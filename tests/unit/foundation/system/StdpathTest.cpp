#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "foundation/errors/Exception.h"
#include "foundation/system/stdpath.h"
#include "sim/kernel/Testbed.h"
#include "tests/unit/foundation/system/DetailReader.h"
#include "tests/unit/foundation/system/TempDir.h"

namespace {

namespace fs = std::filesystem;
using qvtest::detailNumber;
using qvtest::detailString;
using qvtest::TempDir;

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TrimPath, RemovesTrailingSeparatorsAndBlanks) {
  EXPECT_EQ(qvsysq::trimPath("  /opt/x/share/ \n"), "/opt/x/share");
  EXPECT_EQ(qvsysq::trimPath(std::string("/a/b\0\0", 6)), "/a/b");
  EXPECT_EQ(qvsysq::trimPath("\t/a b/c//"), "/a b/c");
  EXPECT_EQ(qvsysq::trimPath(" / \n/"), "");
  EXPECT_EQ(qvsysq::trimPath(""), "");
}

TEST(ShareDirectory, ComesFromShareDirFileTrimmed) {
  sim::Testbed testbed;
  testbed.writeFile("/etc/telmora/share/share.dir", "  /opt/x/share/ \n");
  std::string out;
  qverr::Status status;
  qvsysq::getShareDirectory(out, status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(out, "/opt/x/share");
  qvsysq::SysqWrapper wrapper;
  EXPECT_EQ(wrapper.getShareDirectory(), "/opt/x/share");
  EXPECT_EQ(wrapper.getShareDirectoryB(), "/opt/x/share");
}

TEST(ShareDirectory, DefaultsWithoutShareDirFile) {
  sim::Testbed testbed;
  std::string out;
  qverr::Status status;
  qvsysq::getShareDirectory(out, status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(status.detail, nullptr);
  EXPECT_EQ(out, "/usr/local/telmora/share");
}

TEST(SysqWrapper, FixedAndEnvironmentQueries) {
  qvsysq::SysqWrapper wrapper;
  EXPECT_EQ(wrapper.getRunStateDirectory(), "/var/run");
  EXPECT_EQ(wrapper.getLocalStateDirectory(), "/var/local/telmora");
  {
    ScopedEnv env("TMPDIR", "/some/tmp");
    EXPECT_EQ(wrapper.getTempDirectory(), "/some/tmp");
  }
  {
    ScopedEnv env("TMPDIR", nullptr);
    EXPECT_EQ(wrapper.getTempDirectory(), "/tmp");
  }
  const std::string a = wrapper.getTempFileName();
  const std::string b = wrapper.getTempFileName();
  EXPECT_FALSE(a.empty());
  EXPECT_NE(a, b);
}

TEST(ConfigDirectory, XdgValueIsTrimmedAndCreatedWithParents) {
  TempDir tmp;
  const std::string wanted = tmp.path() + "/a/b";
  ScopedEnv env("XDG_CONFIG_HOME", (wanted + "/").c_str());
  std::string out;
  qverr::Status status;
  qvsysq::getConfigDirectory(out, true, status);
  EXPECT_EQ(status.code, 0) << status.detailText();
  EXPECT_EQ(out, wanted);
  EXPECT_TRUE(fs::is_directory(wanted));
  EXPECT_EQ(fs::status(wanted).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(ConfigDirectory, HomeGivesDotConfig) {
  TempDir tmp;
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", (tmp.path() + "/").c_str());
  std::string out;
  qverr::Status status;
  qvsysq::getConfigDirectory(out, false, status);
  EXPECT_EQ(out, tmp.path() + "/.config");
  EXPECT_FALSE(fs::exists(out));
  qvsysq::getConfigDirectory(out, true, status);
  EXPECT_EQ(status.code, 0);
  EXPECT_TRUE(fs::is_directory(out));
}

TEST(ConfigDirectory, MissingHomeIsParentNotFound) {
  TempDir tmp;
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", (tmp.path() + "/u").c_str());
  std::string out;
  qverr::Status status;
  qvsysq::getConfigDirectory(out, true, status);
  EXPECT_EQ(status.code, -52006);
  EXPECT_EQ(detailString(status.detailText(), {"qvsysq_debug", "desc"}), "parent not found");
  EXPECT_EQ(detailNumber(status.detailText(), {"line"}), 194);
  EXPECT_EQ(detailNumber(status.detailText(), {"internal_error", "code"}), ENOENT);
  // The wrapper throws the same failure.
  qvsysq::SysqWrapper wrapper;
  try {
    wrapper.getConfigDirectory(true);
    FAIL() << "no exception";
  } catch (const qverr::Exception& e) {
    EXPECT_EQ(e.code(), -52006);
  }
}

TEST(ConfigDirectory, PasswordDatabaseWithoutHome) {
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  ScopedEnv home("HOME", nullptr);
  std::string out;
  qverr::Status status;
  qvsysq::getConfigDirectory(out, false, status);
  // The test runs as a user with a password entry; its home gets "/.config".
  ASSERT_EQ(status.code, 0) << status.detailText();
  EXPECT_GT(out.size(), std::string("/.config").size());
  EXPECT_EQ(out.substr(out.size() - 8), "/.config");
}

TEST(MakeDirectory, ExistingDirectoryAndRegularFile) {
  TempDir tmp;
  bool existed = true;
  qverr::Status status;
  const std::string dir = tmp.path() + "/d";
  qvsysq::makeDirectory(dir.c_str(), status, &existed);
  EXPECT_EQ(status.code, 0);
  EXPECT_FALSE(existed);
  qvsysq::makeDirectory(dir.c_str(), status, &existed);
  EXPECT_EQ(status.code, 0);
  EXPECT_TRUE(existed);

  const std::string file = tmp.path() + "/f";
  std::ofstream(file) << "x";
  qvsysq::makeDirectory(file.c_str(), status, &existed);
  EXPECT_EQ(status.code, -52013);
  const char* d = status.detailText();
  EXPECT_EQ(detailString(d, {"error_constant"}), "qvvuskerr_objectNameCollision");
  EXPECT_EQ(detailString(d, {"file"}), "stdpath_util");
  EXPECT_EQ(detailNumber(d, {"line"}), 179);
  EXPECT_EQ(detailString(d, {"internal_error", "api"}), "errno");
  EXPECT_EQ(detailNumber(d, {"internal_error", "code"}), 17);
  EXPECT_EQ(detailString(d, {"qvsysq_debug", "desc"}), "path exist but not a dir");
  EXPECT_EQ(detailString(d, {"qvsysq_debug", "path"}), file);
}

TEST(MakeDirectory, OtherFailureIsOsFault) {
  qverr::Status status;
  // A path component that is a regular file gives ENOTDIR.
  TempDir tmp;
  const std::string file = tmp.path() + "/f";
  std::ofstream(file) << "x";
  const std::string below = file + "/d";
  qvsysq::makeDirectory(below.c_str(), status);
  EXPECT_EQ(status.code, -52008);
  EXPECT_EQ(detailNumber(status.detailText(), {"line"}), 202);
  EXPECT_EQ(detailString(status.detailText(), {"qvsysq_debug", "desc"}), "mkdir failed");
  EXPECT_EQ(detailString(status.detailText(), {"qvsysq_debug", "path"}), below);
}

// Records every path it is asked for, then creates it.
std::vector<std::string>* gCreatorCalls = nullptr;
void recordingCreator(const char* path, qverr::Status& status, bool* existed) {
  gCreatorCalls->push_back(path);
  qvsysq::makeDirectory(path, status, existed);
}

TEST(DirectoryTree, CreatesMissingLevelsShortestFirst) {
  TempDir tmp;
  std::vector<std::string> calls;
  gCreatorCalls = &calls;
  const std::string p = tmp.path() + "/x/y/z";
  qverr::Status status;
  qvsysq::createDirectoryTree(p.c_str(), &recordingCreator, status);
  EXPECT_EQ(status.code, 0);
  EXPECT_TRUE(fs::is_directory(p));
  const std::vector<std::string> expected = {p, tmp.path() + "/x/y", tmp.path() + "/x",
                                             tmp.path() + "/x/y", p};
  EXPECT_EQ(calls, expected);
  gCreatorCalls = nullptr;
}

TEST(DirectoryTree, OtherFailureStops) {
  TempDir tmp;
  const std::string file = tmp.path() + "/f";
  std::ofstream(file) << "x";
  const std::string p = file + "/a/b";
  qverr::Status status;
  qvsysq::createDirectoryTree(p.c_str(), &qvsysq::makeDirectory, status);
  EXPECT_EQ(status.code, -52008);
}

TEST(ReadWholeFile, EmptyFileGivesOneZeroByte) {
  TempDir tmp;
  const std::string file = tmp.path() + "/empty";
  std::ofstream{file};
  std::vector<char> out{'x', 'y'};
  qverr::Status status;
  qvsysq::readWholeFile(file.c_str(), out, status);
  EXPECT_EQ(status.code, 0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], '\0');
}

TEST(ReadWholeFile, ContentFollowedByZero) {
  TempDir tmp;
  const std::string file = tmp.path() + "/f";
  std::ofstream(file, std::ios::binary) << std::string("a\0b", 3);
  std::vector<char> out;
  qverr::Status status;
  qvsysq::readWholeFile(file.c_str(), out, status);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(out, (std::vector<char>{'a', '\0', 'b', '\0'}));
}

TEST(ReadWholeFile, MissingFileIsResourceNotFound) {
  std::vector<char> out;
  qverr::Status status;
  qvsysq::readWholeFile("/nonexistent/qv/file", out, status);
  EXPECT_EQ(status.code, -52006);
  EXPECT_TRUE(out.empty());
  const char* d = status.detailText();
  EXPECT_EQ(detailNumber(d, {"line"}), 224);
  EXPECT_EQ(detailString(d, {"qvsysq_debug", "desc"}), "error opening file");
  EXPECT_EQ(detailString(d, {"qvsysq_debug", "filename"}), "/nonexistent/qv/file");
  EXPECT_EQ(detailNumber(d, {"internal_error", "code"}), ENOENT);
}

TEST(ReadWholeFile, UnseekableFileIsOsFaultNotOverflow) {
  // A pipe opens but cannot be sized: the size query fails and nothing is read.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], "abc", 3), 3);
  const std::string path = "/proc/self/fd/" + std::to_string(ends[0]);
  std::vector<char> out;
  qverr::Status status;
  qvsysq::readWholeFile(path.c_str(), out, status);
  EXPECT_EQ(status.code, -52008);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(detailNumber(status.detailText(), {"internal_error", "code"}), ESPIPE);
  EXPECT_EQ(detailString(status.detailText(), {"qvsysq_debug", "filename"}), path);
  close(ends[0]);
  close(ends[1]);
}

TEST(ReadWholeFile, StatusInErrorReadsNothing) {
  std::vector<char> out{'k'};
  qverr::Status status;
  status.setCode(-1);
  qvsysq::readWholeFile("/proc/self/status", out, status);
  EXPECT_EQ(status.code, -1);
  EXPECT_EQ(out, std::vector<char>{'k'});
}

}  // namespace
