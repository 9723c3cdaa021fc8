#include "foundation/driver/linuxDevEnumHelper.h"

#include <cstdio>

#include "foundation/errors/ErrorCodes.h"

namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000 {
namespace {

constexpr int kOpenTries = 10;
constexpr qverr::StatusLocation kReadFailed{"linuxDevEnumHelper", 78, qverr::kComponent};
constexpr qverr::StatusLocation kOpenFailed{"linuxDevEnumHelper", 87, qverr::kComponent};

}  // namespace

bool readEntryFile(const char* path, char (&buffer)[kEntryFileMaxBytes], size_t* count,
                   nQVVUSKS100::tStatus* status) {
  FILE* file = nullptr;
  for (int attempt = 0; attempt < kOpenTries && file == nullptr; ++attempt) {
    file = std::fopen(path, "re");
  }
  if (file == nullptr) {
    qverr::recordCode(*status, qverr::kResourceNotFound, kOpenFailed);
    return false;
  }
  const size_t read = std::fread(buffer, 1, kEntryFileMaxBytes, file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    qverr::recordCode(*status, qverr::kIoError, kReadFailed);
    return false;
  }
  *count = read;
  return true;
}

}  // namespace nQVVANDRELBRENMOORU_22_8::nQVVUSK000
