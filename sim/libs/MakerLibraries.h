#pragma once

#include <string>
#include <vector>

// Where the stand-ins of the maker's run-time libraries were built, and test-side access to
// their controls. A testbed points the product's dlopen of a maker name at one of these files.
namespace sim::libs {

enum class Variant {
  Present,        // the full stand-in
  MissingSymbol,  // a library of the same name lacking the product's entry point
};

// Absolute path of the stand-in for a maker library file name ("libqvrelocations.so.0"), or
// null when no stand-in of that name and variant exists.
const char* standInPath(const std::string& libraryName, Variant variant);

// Test controls of the relocation stand-in. The library is kept loaded for the life of the
// process, so the table outlives the product's dlclose.
class RelocationsControl {
 public:
  RelocationsControl();
  // result >= 1: relocated to path; 0: not relocated; < 0: error.
  void set(const std::string& name, int result, const std::string& path = "") const;
  void reset() const;
  // Names get_relocated_dir was called with, in call order.
  std::vector<std::string> calls() const;

 private:
  void (*set_)(const char*, int, const char*);
  void (*reset_)();
  int (*count_)();
  int (*callName_)(int, char*, int);
};

}  // namespace sim::libs
