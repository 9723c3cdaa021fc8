#pragma once
// Switches LC_NUMERIC to a locale whose decimal separator is a comma, built on the fly with
// localedef into a private directory (machines often carry only the C locales).

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qvtest {

class CommaLocale {
 public:
  CommaLocale() {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    char pattern[] = "/tmp/qv-locale-XXXXXX";
    if (char* dir = mkdtemp(pattern)) {
      dir_ = dir;
      const std::string command =
          "localedef -i de_DE -f UTF-8 " + dir_ + "/de_DE.UTF-8 >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) {
        setenv("LOCPATH", dir_.c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
      }
    }
    if (active_) {
      char probe[16];
      std::snprintf(probe, sizeof probe, "%.1f", 1.5);
      active_ = std::string(probe) == "1,5";
    }
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
    unsetenv("LOCPATH");
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }
  bool active() const { return active_; }

 private:
  std::string previous_;
  std::string dir_;
  bool active_ = false;
};

}  // namespace qvtest
