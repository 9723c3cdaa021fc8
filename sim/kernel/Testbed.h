#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/kernel/DeviceNode.h"

namespace sim {

// Which file a dlopen of one of the maker's library names reaches.
enum class LibraryChoice {
  Present,        // the stand-in library at the given path
  Absent,         // nothing: dlopen fails as for a missing file
  MissingSymbol,  // a variant of the stand-in that lacks an entry point (given path)
};

// Property folders of a driver instance.
enum class PropertySet { Bus, Device };

// A per-test temporary root holding the trees the product reads, and the switch that redirects
// the fixed system paths into it. At most one testbed is active per process; constructing a
// second one while the first lives throws std::logic_error.
//
// Redirected while active (for every wrapped path call): "/proc/driver/qv", "/dev/qv",
// "/etc/telmora", "/usr/local/telmora", "/var/local/telmora", "/sys/devices/system/node";
// in addition an inotify watch on "/dev" goes to the testbed's "dev". Everything else falls
// through to the real system. glob results are mapped back to the system spelling.
class Testbed {
 public:
  Testbed();
  ~Testbed();
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;

  static Testbed* active();

  // The temporary root (no trailing slash).
  const std::string& root() const { return root_; }
  // Where a system path lives inside the testbed: "/etc/telmora/x" -> root + "/etc/telmora/x".
  std::string path(std::string_view systemPath) const;

  // Plain files anywhere under the root, by system path; parents are created.
  void writeFile(std::string_view systemPath, std::string_view bytes);
  void removeFile(std::string_view systemPath);
  bool exists(std::string_view systemPath) const;

  // Driver instances: "/proc/driver/qv/<instance>" with "deviceInterfaces", "busProperties"
  // and "deviceProperties".
  void addInstance(const std::string& instance);
  void removeInstance(const std::string& instance);
  void setProperty(const std::string& instance, PropertySet set, const std::string& name,
                   std::string_view bytes);
  void removeProperty(const std::string& instance, PropertySet set, const std::string& name);

  // "/proc/driver/qv/<instance>/deviceInterfaces/<interfaceName>\<suffix>/interfacePath"
  // holding interfacePath exactly as given (no newline added).
  void addInterface(const std::string& instance, const std::string& interfaceName,
                    const std::string& suffix, std::string_view interfacePath);
  void removeInterface(const std::string& instance, const std::string& interfaceName,
                       const std::string& suffix);

  // Device-node files in "/dev/qv". createNode makes the file (raising a real inotify
  // event) and, when a node is given, binds it: opening the file then returns a descriptor
  // served by that node. While "/dev/qv" is removed, the file appears with the folder.
  // Returns the system path "/dev/qv/<name>".
  std::string createNode(const std::string& name, std::shared_ptr<DeviceNode> node = nullptr);
  // Deletes the file and forgets the binding (descriptors already open stay bound).
  void deleteNode(const std::string& name);
  // Deletes "/dev/qv" with every file in it; bindings are kept for a later re-creation.
  void removeNodeDirectory();
  // Re-creates "/dev/qv"; with restoreNodes, the files of every bound node come back too.
  void createNodeDirectory(bool restoreNodes = true);

  // The maker's library file names (for example "libqvrelocations.so.0"): a dlopen whose file
  // name (its last path component) matches is pointed at the choice. Names without a choice
  // fall through to the real loader.
  void setLibrary(const std::string& fileName, LibraryChoice choice, const std::string& path = {});
  void clearLibrary(const std::string& fileName);

 private:
  std::string procInstance(const std::string& instance) const;

  std::string root_;
  std::map<std::string, std::shared_ptr<DeviceNode>> nodes_;  // by node file name
  mutable std::mutex mutex_;
};

}  // namespace sim
