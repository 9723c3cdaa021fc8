#include "foundation/system/stdpath.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/errors/Exception.h"
#include "foundation/system/OsErrorDetail.h"

namespace qvsysq {

namespace {

constexpr const char* kShareDirFile = "/etc/telmora/share/share.dir";
constexpr const char* kDefaultShareDirectory = "/usr/local/telmora/share";

constexpr qverr::StatusLocation kPasswordLookupFailed{"stdpath", 337, qverr::kComponent,
                                                      qverr::constant::kResourceNotFound};
constexpr qverr::StatusLocation kNoPasswordEntry{"stdpath", 341, qverr::kComponent,
                                                 qverr::constant::kResourceNotFound};
constexpr qverr::StatusLocation kOutOfMemory{"stdpath", 90, qverr::kComponent,
                                             qverr::constant::kMemoryFull};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string trimPath(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && (isBlank(text[end - 1]) || text[end - 1] == '/' || text[end - 1] == '\0')) {
    --end;
  }
  size_t begin = 0;
  while (begin < end && isBlank(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

void getShareDirectory(std::string& out, qverr::Status& status) {
  if (status.isError()) return;
  try {
    std::vector<char> content;
    qverr::Status readStatus;
    readWholeFile(kShareDirFile, content, readStatus);
    if (readStatus.isError() || content.empty()) {
      out = kDefaultShareDirectory;
    } else {
      out = trimPath(std::string(content.data()));
    }
  } catch (const std::bad_alloc&) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, kOutOfMemory);
  }
}

void getConfigDirectory(std::string& out, bool create, qverr::Status& status) {
  if (status.isError()) return;
  try {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr) {
      out = trimPath(xdg);
      if (create) createDirectoryTree(out.c_str(), &makeDirectory, status);
      return;
    }
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr) {
      home = env;
    } else {
      passwd entry{};
      passwd* found = nullptr;
      char buffer[1024];
      const int err = getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found);
      if (err != 0) {
        char* cursor = setOsError(status, qverr::kResourceNotFound, kPasswordLookupFailed, err);
        qverr::json::endObject(
            beginDebugObject(status, cursor, "qvsysq_debug", "getpwuid_r failed"));
        return;
      }
      if (found == nullptr || found->pw_dir == nullptr) {
        // The user has no entry, so there is no home to put the directory in.
        if (status.setCodeWithErrorConstant(qverr::kResourceNotFound, kNoPasswordEntry)) {
          qverr::json::endObject(beginDebugObject(status, status.detailWriter().cursor,
                                                  "qvsysq_debug", "no home directory for user"));
        }
        return;
      }
      home = found->pw_dir;
    }
    out = trimPath(home) + "/.config";
    if (create) makeDirectory(out.c_str(), status);
  } catch (const std::bad_alloc&) {
    status.setCodeWithErrorConstant(qverr::kMemoryFull, kOutOfMemory);
  }
}

SysqWrapper::~SysqWrapper() = default;

std::string SysqWrapper::getRunStateDirectory() {
  return "/var/run";
}

std::string SysqWrapper::getLocalStateDirectory() {
  return "/var/local/telmora";
}

std::string SysqWrapper::getShareDirectory() {
  std::string out;
  qverr::Status status;
  qvsysq::getShareDirectory(out, status);
  qverr::throwIfError(status);
  return out;
}

std::string SysqWrapper::getShareDirectoryB() {
  return getShareDirectory();
}

std::string SysqWrapper::getTempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr ? dir : "/tmp";
}

std::string SysqWrapper::getConfigDirectory(bool create) {
  std::string out;
  qverr::Status status;
  qvsysq::getConfigDirectory(out, create, status);
  qverr::throwIfError(status);
  return out;
}

std::string SysqWrapper::getTempFileName() {
  char name[L_tmpnam];
  return tmpnam(name) != nullptr ? std::string(name) : std::string();
}

}  // namespace qvsysq
