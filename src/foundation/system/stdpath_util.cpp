// Directory creation and whole-file reading.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/system/OsErrorDetail.h"
#include "foundation/system/stdpath.h"

namespace qvsysq {

namespace {

// Raise sites of this file.
constexpr qverr::StatusLocation at(uint64_t line, const char* constant) {
  return {"stdpath_util", line, qverr::kComponent, constant};
}

constexpr qverr::StatusLocation kNotADirectory = at(179, qverr::constant::kObjectNameCollision);
constexpr qverr::StatusLocation kParentNotFound = at(194, qverr::constant::kResourceNotFound);
constexpr qverr::StatusLocation kMkdirFailed = at(202, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kOpenFailed = at(224, qverr::constant::kResourceNotFound);
constexpr qverr::StatusLocation kSizeFailed = at(236, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kShortRead = at(249, qverr::constant::kOsFault);
constexpr qverr::StatusLocation kOutOfMemory = at(255, qverr::constant::kMemoryFull);

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

void makeDirectory(const char* path, qverr::Status& status, bool* existed) {
  if (status.isError()) return;
  if (mkdir(path, 0700) == 0) {
    if (existed != nullptr) *existed = false;
    return;
  }
  const int err = errno;
  const qverr::json::Grow grow = status.detailGrow();
  if (err == EEXIST) {
    struct stat info {};
    if (stat(path, &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
      if (existed != nullptr) *existed = true;
      return;
    }
    char* cursor = setOsError(status, qverr::kObjectNameCollision, kNotADirectory, err);
    cursor = beginDebugObject(status, cursor, "qvsysq_debug", "path exist but not a dir");
    qverr::json::endObject(qverr::json::addString(cursor, "path", path, grow));
  } else if (err == ENOENT) {
    char* cursor = setOsError(status, qverr::kResourceNotFound, kParentNotFound, err);
    qverr::json::endObject(beginDebugObject(status, cursor, "qvsysq_debug", "parent not found"));
  } else {
    char* cursor = setOsError(status, qverr::kOsFault, kMkdirFailed, err);
    cursor = beginDebugObject(status, cursor, "qvsysq_debug", "mkdir failed");
    qverr::json::endObject(qverr::json::addString(cursor, "path", path, grow));
  }
}

void createDirectoryTree(const char* path, DirectoryCreator creator, qverr::Status& status) {
  if (status.isError()) return;
  try {
    std::string buffer(path);
    std::vector<size_t> cuts;  // separators turned into NUL, deepest first
    qverr::Status local;
    creator(buffer.c_str(), local, nullptr);
    while (local.code == qverr::kResourceNotFound) {
      const size_t slash = std::string_view(buffer.c_str()).rfind('/');
      if (slash == std::string_view::npos) {
        status.mergeMove(local);
        return;
      }
      cuts.push_back(slash);
      buffer[slash] = '\0';
      qverr::Status shorter;
      creator(buffer.c_str(), shorter, nullptr);
      local.assign(shorter);
    }
    if (local.isError()) {
      status.mergeMove(local);
      return;
    }
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it) {
      buffer[*it] = '/';
      creator(buffer.c_str(), status, nullptr);
      if (status.isError()) return;
    }
  } catch (const std::bad_alloc&) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, kOutOfMemory);
  }
}

void readWholeFile(const char* path, std::vector<char>& out, qverr::Status& status) {
  if (status.isError()) return;
  const qverr::json::Grow grow = status.detailGrow();
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "rb"));
  if (!file) {
    char* cursor = setOsError(status, qverr::kResourceNotFound, kOpenFailed, errno);
    cursor = beginDebugObject(status, cursor, "qvsysq_debug", "error opening file");
    qverr::json::endObject(qverr::json::addString(cursor, "filename", path, grow));
    return;
  }
  // A size that cannot be taken must not become a buffer of the wrong length.
  long size = -1;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
  if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    char* cursor = setOsError(status, qverr::kOsFault, kSizeFailed, errno);
    cursor = beginDebugObject(status, cursor, "qvsysq_debug", "failed to get size of file");
    qverr::json::endObject(qverr::json::addString(cursor, "filename", path, grow));
    return;
  }
  const unsigned long n = static_cast<unsigned long>(size);
  try {
    out.assign(n + 1, '\0');
  } catch (const std::exception&) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, kOutOfMemory);
    return;
  }
  const size_t got = std::fread(out.data(), 1, n, file.get());
  if (got < n) {
    const int err = std::ferror(file.get()) ? errno : 0;
    char* cursor = setOsError(status, qverr::kOsFault, kShortRead, err);
    cursor = beginDebugObject(status, cursor, "qvsysq_debug", "didn't read full content of file");
    cursor = qverr::json::addULong(cursor, "fileSize", n, grow);
    cursor = qverr::json::addULong(cursor, "fread_return", got, grow);
    qverr::json::endObject(qverr::json::addString(cursor, "filename", path, grow));
    return;
  }
  out[n] = '\0';
}

}  // namespace qvsysq
