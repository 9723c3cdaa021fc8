#include "sim/kernel/Testbed.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "sim/kernel/KernelState.h"
#include "sim/kernel/Real.h"

namespace fs = std::filesystem;

namespace sim {

namespace {

Testbed* g_testbed = nullptr;
std::mutex g_testbedMutex;

// The folders the product expects to exist on a machine with the driver installed.
constexpr const char* kFolders[] = {
    "/proc/driver/qv",    "/dev/qv",
    "/etc/telmora",       "/usr/local/telmora",
    "/var/local/telmora", "/sys/devices/system/node",
};

void writeWhole(const std::string& file, std::string_view bytes) {
  int fd = real::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "testbed: open " + file);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = real::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = errno;
      real::close(fd);
      throw std::system_error(err, std::generic_category(), "testbed: write " + file);
    }
    done += static_cast<size_t>(n);
  }
  real::close(fd);
}

const char* setFolder(PropertySet set) {
  return set == PropertySet::Bus ? "busProperties" : "deviceProperties";
}

}  // namespace

Testbed::Testbed() {
  std::lock_guard lock(g_testbedMutex);
  if (g_testbed != nullptr) throw std::logic_error("a testbed is already active");
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/qvsim-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr)
    throw std::system_error(errno, std::generic_category(), "testbed: mkdtemp");
  root_ = name.data();
  for (const char* folder : kFolders) fs::create_directories(root_ + folder);
  kernel::activate(root_);
  g_testbed = this;
}

Testbed::~Testbed() {
  std::lock_guard lock(g_testbedMutex);
  kernel::deactivate();
  g_testbed = nullptr;
  std::error_code ec;
  fs::remove_all(root_, ec);
}

Testbed* Testbed::active() {
  std::lock_guard lock(g_testbedMutex);
  return g_testbed;
}

std::string Testbed::path(std::string_view systemPath) const {
  std::string p = root_;
  if (systemPath.empty() || systemPath.front() != '/') p += '/';
  p += systemPath;
  return p;
}

void Testbed::writeFile(std::string_view systemPath, std::string_view bytes) {
  std::string file = path(systemPath);
  fs::create_directories(fs::path(file).parent_path());
  writeWhole(file, bytes);
}

void Testbed::removeFile(std::string_view systemPath) {
  std::error_code ec;
  fs::remove(path(systemPath), ec);
}

bool Testbed::exists(std::string_view systemPath) const {
  std::error_code ec;
  return fs::exists(path(systemPath), ec);
}

std::string Testbed::procInstance(const std::string& instance) const {
  return root_ + "/proc/driver/qv/" + instance;
}

void Testbed::addInstance(const std::string& instance) {
  std::string dir = procInstance(instance);
  fs::create_directories(dir + "/deviceInterfaces");
  fs::create_directories(dir + "/busProperties");
  fs::create_directories(dir + "/deviceProperties");
}

void Testbed::removeInstance(const std::string& instance) {
  std::error_code ec;
  fs::remove_all(procInstance(instance), ec);
}

void Testbed::setProperty(const std::string& instance, PropertySet set, const std::string& name,
                          std::string_view bytes) {
  std::string dir = procInstance(instance) + "/" + setFolder(set);
  fs::create_directories(dir);
  writeWhole(dir + "/" + name, bytes);
}

void Testbed::removeProperty(const std::string& instance, PropertySet set,
                             const std::string& name) {
  std::error_code ec;
  fs::remove(procInstance(instance) + "/" + setFolder(set) + "/" + name, ec);
}

void Testbed::addInterface(const std::string& instance, const std::string& interfaceName,
                           const std::string& suffix, std::string_view interfacePath) {
  std::string dir = procInstance(instance) + "/deviceInterfaces/" + interfaceName + "\\" + suffix;
  fs::create_directories(dir);
  writeWhole(dir + "/interfacePath", interfacePath);
}

void Testbed::removeInterface(const std::string& instance, const std::string& interfaceName,
                              const std::string& suffix) {
  std::error_code ec;
  fs::remove_all(procInstance(instance) + "/deviceInterfaces/" + interfaceName + "\\" + suffix, ec);
}

std::string Testbed::createNode(const std::string& name, std::shared_ptr<DeviceNode> node) {
  if (name.empty() || name.find('/') != std::string::npos)
    throw std::invalid_argument("testbed: bad node name");
  std::string file = root_ + "/dev/qv/" + name;
  {
    std::lock_guard lock(mutex_);
    nodes_[name] = node;
  }
  if (node != nullptr) kernel::bindNodePath(file, node);
  // Without the node folder the file appears when the folder is re-created.
  std::error_code ec;
  if (fs::is_directory(root_ + "/dev/qv", ec)) writeWhole(file, {});
  return "/dev/qv/" + name;
}

void Testbed::deleteNode(const std::string& name) {
  std::string file = root_ + "/dev/qv/" + name;
  {
    std::lock_guard lock(mutex_);
    nodes_.erase(name);
  }
  kernel::unbindNodePath(file);
  std::error_code ec;
  fs::remove(file, ec);
}

void Testbed::removeNodeDirectory() {
  std::error_code ec;
  fs::remove_all(root_ + "/dev/qv", ec);
}

void Testbed::createNodeDirectory(bool restoreNodes) {
  fs::create_directories(root_ + "/dev/qv");
  if (!restoreNodes) return;
  std::vector<std::string> names;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [name, node] : nodes_) names.push_back(name);
  }
  for (const auto& name : names) writeWhole(root_ + "/dev/qv/" + name, {});
}

void Testbed::setLibrary(const std::string& fileName, LibraryChoice choice,
                         const std::string& path) {
  if (choice != LibraryChoice::Absent && path.empty())
    throw std::invalid_argument("testbed: a present library needs its path");
  kernel::setLibrary(fileName, choice, path);
}

void Testbed::clearLibrary(const std::string& fileName) {
  kernel::clearLibrary(fileName);
}

}  // namespace sim
