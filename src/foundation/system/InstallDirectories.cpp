#include "foundation/system/InstallDirectories.h"

#include <dlfcn.h>

#include <cstring>

#include "foundation/errors/ErrorCodes.h"
#include "foundation/system/dynload.h"

namespace qvsysq {

namespace {

constexpr const char* kRelocationLibrary = "libqvrelocations.so.0";
constexpr const char* kRelocationSymbol = "get_relocated_dir";
constexpr int kRelocatedCapacity = 255;

constexpr qverr::StatusLocation kRelocationFailed{"InstallDirectories", 88, qverr::kComponent,
                                                  qverr::constant::kResourceNotFound};

struct Default {
  const char* name;
  const char* path;
};

constexpr Default kDefaults[] = {
    {"prefixdir", "/usr"},
    {"execprefixdir", "/usr"},
    {"bindir", "/usr/bin"},
    {"sbindir", "/usr/sbin"},
    {"libdir", "/usr/lib"},
    {"lib32dir", "/usr/lib"},
    {"lib64dir", "/usr/lib64"},
    {"nativelibdir", "/usr/lib64"},
    {"multiarchlibdir", "/usr/lib/x86_64-linux-gnu"},
    {"libexecdir", "/usr/libexec"},
    {"sharedstatedir", "/var/lib"},
    {"datarootdir", "/usr/share"},
    {"datadir", "/usr/share"},
    {"sysconfdir", "/etc"},
    {"localstatedir", "/var"},
    {"runstatedir", "/var/run"},
    {"includedir", "/usr/include"},
    {"docdir", "/usr/share/doc"},
    {"initddir", "/etc/init.d"},
};

using GetRelocatedDir = int (*)(const char* name, char* buffer, int size);

}  // namespace

InstallDirectoryTable::InstallDirectoryTable() {
  entries_.reserve(std::size(kDefaults));
  for (const Default& d : kDefaults) entries_.push_back({d.name, d.path, d.path, 0});
}

void InstallDirectoryTable::relocate() {
  qverr::Status loadStatus;
  qvdynlib::AutoLib library(qvdynlib_load(kRelocationLibrary, RTLD_NOW | RTLD_GLOBAL, loadStatus));
  void* symbol = qvdynlib_getSymbol(library.handle(), kRelocationSymbol, loadStatus);
  if (loadStatus.isError() || symbol == nullptr) return;
  const auto getRelocatedDir = reinterpret_cast<GetRelocatedDir>(symbol);

  for (const Default& d : kDefaults) {
    // One byte more than the library is told, so its text always ends inside the buffer.
    char buffer[kRelocatedCapacity + 1] = {};
    const int result = getRelocatedDir(d.name, buffer, kRelocatedCapacity);
    if (result == 0) continue;
    if (result < 0) {
      status_.setCodeWithErrorConstant(qverr::kResourceNotFound, kRelocationFailed);
      for (InstallDirectory& e : entries_) {
        if (e.name == d.name) e.status = qverr::kResourceNotFound;
      }
      continue;
    }
    const size_t length = strnlen(buffer, kRelocatedCapacity);
    const std::string path(
        buffer, length < static_cast<size_t>(result) ? length : static_cast<size_t>(result));
    bool known = false;
    for (InstallDirectory& e : entries_) {
      if (e.name == d.name) {
        e.currentPath = path;
        known = true;
      }
    }
    if (!known) entries_.push_back({d.name, path, path, 0});
  }
}

const InstallDirectory* InstallDirectoryTable::find(const char* name) const {
  if (name == nullptr) return nullptr;
  for (const InstallDirectory& e : entries_) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

namespace {

// Built when the library loads, kept until it unloads.
struct LoadTimeTable {
  LoadTimeTable() { table.relocate(); }
  InstallDirectoryTable table;
};
const LoadTimeTable gLoadTimeTable;

}  // namespace

const InstallDirectoryTable& InstallDirectoryTable::process() {
  return gLoadTimeTable.table;
}

const char* getInstallDirectory(const char* name) {
  const InstallDirectory* entry = InstallDirectoryTable::process().find(name);
  return entry != nullptr ? entry->currentPath.c_str() : nullptr;
}

}  // namespace qvsysq
