#include <sys/stat.h>

#include <cerrno>
#include <chrono>

#include "DiscoveryTestSupport.h"
#include "sim/kernel/FileFaults.h"
#include "tests/unit/foundation/system/DetailReader.h"

namespace {

using disctest::catchError;
using qvjsonconfig::LockableFile;

std::string readAll(LockableFile& file) {
  std::string text;
  file.lock();
  file.readAll(text);
  file.unlock();
  return text;
}

void writeAll(LockableFile& file, const std::string& text) {
  file.lock();
  try {
    file.writeAll(text.data(), text.data() + text.size());
  } catch (...) {
    file.unlock();
    throw;
  }
  file.unlock();
}

TEST(LockableFile, CreatesAMissingFileThatEveryUserMayWrite) {
  qvtest::TempDir dir;
  const std::string path = dir.path() + "/aliases.config";
  const mode_t previous = ::umask(077);
  {
    LockableFile file(path.c_str(), true);
    EXPECT_EQ(readAll(file), "");
  }
  ::umask(previous);
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u);
}

TEST(LockableFile, OpenFailuresNameThePath) {
  qvtest::TempDir dir;
  const std::string path = dir.path() + "/aliases.config";
  const auto plain = catchError([&] { LockableFile file(path.c_str(), false); });
  EXPECT_EQ(plain.code, -52006);
  EXPECT_EQ(
      plain.detail,
      R"({"error_constant":"nQVVUSKS100::tStatus::kResourceNotFound","file":"LockableFile",)"
      R"("line":96,"component":"qvvandrelbrenmooru","translator":"dovrane_qvvandrelapi",)"
      R"("translator_info":{"is_debug":"0","version":1,"ordered_data":[)"
      R"({"type":"usage","usage":"kUsageTypeFilePath","value":")" +
          path +
          R"(","value_type":"string"},{"type":"comment","comment":"Failed to open file"}]}})");

  // In a folder that does not exist: six attempts 10 ms apart, then the errno object too.
  const std::string nowhere = dir.path() + "/missing/aliases.config";
  const auto start = std::chrono::steady_clock::now();
  const auto created = catchError([&] { LockableFile file(nowhere.c_str(), true); });
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
  EXPECT_EQ(created.code, -52006);
  const char* detail = created.detail.c_str();
  EXPECT_EQ(qvtest::detailString(detail, {"internal_error", "api"}), "errno");
  EXPECT_EQ(qvtest::detailNumber(detail, {"internal_error", "code"}), ENOENT);
  EXPECT_EQ(qvtest::detailString(detail, {"internal_error", "string"}),
            "No such file or directory");
  EXPECT_NE(created.detail.find(R"("comment":"Failed to open file")"), std::string::npos);
}

TEST(LockableFile, RewritesTheWholeContentInPlace) {
  disctest::AliasFile alias;
  LockableFile& file = alias.file();
  struct stat before;
  ASSERT_EQ(::stat(alias.path().c_str(), &before), 0);
  writeAll(file, "a longer first text");
  writeAll(file, "short");
  EXPECT_EQ(alias.text(), "short");
  EXPECT_EQ(readAll(file), "short");
  // Same file, never replaced, and no journal left behind.
  struct stat after;
  ASSERT_EQ(::stat(alias.path().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_FALSE(disctest::exists(file.journalPath()));
}

TEST(LockableFile, ACutJournalIsDiscardedAndTheFileKept) {
  disctest::AliasFile alias;
  alias.write("{\"kept\": 1}");
  LockableFile& file = alias.file();
  disctest::writeFile(file.journalPath(), "QVJRNL01 cut short");
  EXPECT_EQ(readAll(file), "{\"kept\": 1}");
  EXPECT_FALSE(disctest::exists(file.journalPath()));
}

// Each failure of a rewrite is reported and leaves the previous text in the file.
TEST(LockableFile, AFailedRewriteKeepsThePreviousText) {
  struct Case {
    sim::FileCall call;
    bool onJournal;
    int err;
    const char* comment;
  } cases[] = {
      {sim::FileCall::Fallocate, false, ENOSPC, "Failed to write file"},
      {sim::FileCall::Fsync, true, ENOSPC, "Failed to write file"},
      {sim::FileCall::Ftruncate, false, EIO, "Failed to truncate file"},
      {sim::FileCall::Fsync, false, EIO, "Failed to fsync file"},
  };
  for (const Case& c : cases) {
    disctest::AliasFile alias;
    LockableFile& file = alias.file();
    writeAll(file, "the previous text, longer than the next");
    {
      sim::FileFault fault(c.call, c.onJournal ? file.journalPath() : alias.path(), c.err);
      const auto thrown = catchError([&] { writeAll(file, "the next text"); });
      EXPECT_EQ(thrown.code, -52012) << c.comment;
      EXPECT_NE(thrown.detail.find(std::string(R"("comment":")") + c.comment + "\""),
                std::string::npos)
          << thrown.detail;
      EXPECT_EQ(qvtest::detailNumber(thrown.detail.c_str(), {"internal_error", "code"}), c.err);
      EXPECT_GE(fault.matched(), 1u);
    }
    EXPECT_EQ(alias.text(), "the previous text, longer than the next") << c.comment;
    EXPECT_FALSE(disctest::exists(file.journalPath())) << c.comment;
    // And the file works on.
    writeAll(file, "later");
    EXPECT_EQ(alias.text(), "later");
  }
}

}  // namespace
