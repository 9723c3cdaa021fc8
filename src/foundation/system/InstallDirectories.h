#pragma once
// The install directories of the maker's software, relocated through the optional relocation
// library. The process-wide table is built once, when the library loads.

#include <string>
#include <vector>

#include "foundation/errors/Status.h"

namespace qvsysq {

struct InstallDirectory {
  std::string name;
  std::string defaultPath;
  std::string currentPath;
  int32_t status = 0;  // -52006 when the relocation library reported an error for it
};

class InstallDirectoryTable {
 public:
  // The defaults, each with its current path equal to its default.
  InstallDirectoryTable();
  InstallDirectoryTable(const InstallDirectoryTable&) = delete;
  InstallDirectoryTable& operator=(const InstallDirectoryTable&) = delete;

  // Asks "libqvrelocations.so.0" for every entry; a missing library or entry point leaves the
  // defaults and reports nothing.
  void relocate();

  // The entry of exactly that name, or null.
  const InstallDirectory* find(const char* name) const;
  const std::vector<InstallDirectory>& entries() const { return entries_; }
  const qverr::Status& status() const { return status_; }

  // The table built at load.
  static const InstallDirectoryTable& process();

 private:
  std::vector<InstallDirectory> entries_;
  qverr::Status status_;
};

// The current path of an install directory, or null for an unknown name.
const char* getInstallDirectory(const char* name);

}  // namespace qvsysq
