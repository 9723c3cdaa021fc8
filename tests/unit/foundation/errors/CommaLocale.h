#pragma once
// Switches LC_NUMERIC to a locale whose decimal separator is a comma. Machines often carry only
// the C locales, so the build makes one with localedef, once, into QV_TEST_LOCALE_DIR; where
// that failed the locale stays inactive and the tests using it skip.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qvtest {

class CommaLocale {
 public:
  CommaLocale() {
    previous_ = std::setlocale(LC_NUMERIC, nullptr);
    setenv("LOCPATH", QV_TEST_LOCALE_DIR, 1);
    active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    if (active_) {
      char probe[16];
      std::snprintf(probe, sizeof probe, "%.1f", 1.5);
      active_ = std::string(probe) == "1,5";
    }
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, previous_.c_str());
    unsetenv("LOCPATH");
  }
  bool active() const { return active_; }

 private:
  std::string previous_;
  bool active_ = false;
};

}  // namespace qvtest
