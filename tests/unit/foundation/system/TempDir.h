#pragma once
// A fresh real directory for one test, removed with everything in it afterwards.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace qvtest {

class TempDir {
 public:
  TempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qvtest-XXXXXX";
    // An empty path when none can be made: the test then fails on it instead of crashing here.
    if (const char* made = mkdtemp(pattern.data())) path_ = made;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace qvtest
