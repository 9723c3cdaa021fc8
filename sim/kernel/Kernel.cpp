// The testbed side of the interposer: path redirection, glob result mapping, descriptors bound
// to device nodes, mappings made through them, and the dlopen choices. Nothing here calls a
// wrapped function.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <atomic>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include <sys/mman.h>

#include "sim/kernel/Hooks.h"
#include "sim/kernel/KernelState.h"

namespace {

// The fixed system prefixes served from the testbed.
constexpr const char* kPrefixes[] = {
    "/proc/driver/qv",    "/dev/qv",
    "/etc/telmora",       "/usr/local/telmora",
    "/var/local/telmora", "/sys/devices/system/node",
};

// Written only while no testbed is active (before `g_active` is set, after it is cleared).
char g_root[4096];
size_t g_rootLength = 0;
char g_rootPattern[8192];  // the root with glob's special characters escaped
size_t g_rootPatternLength = 0;
std::atomic<bool> g_active{false};

// A quick per-descriptor flag so that unbound descriptors cost one load.
constexpr int kFlagged = 1 << 16;
std::atomic<uint8_t> g_boundFlag[kFlagged];
std::atomic<int> g_highBound{0};  // bound descriptors >= kFlagged
std::atomic<int> g_mappings{0};

struct Mapping {
  size_t length;
  std::weak_ptr<sim::DeviceNode> node;
};

struct Library {
  sim::LibraryChoice choice;
  std::string path;
};

struct State {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<sim::DeviceNode>> nodesByPath;
  std::unordered_map<int, std::shared_ptr<sim::DeviceNode>> descriptors;
  std::map<void*, Mapping> mappings;
  std::map<std::string, Library> libraries;
};

// Never destroyed: wrappers may run during exit, after static destructors.
State& state() {
  static State* s = new State;
  return *s;
}

// Keeps errno across a hook.
struct ErrnoGuard {
  int saved = errno;
  ~ErrnoGuard() { errno = saved; }
};

size_t matchPrefix(const char* path, bool forWatch) {
  for (const char* prefix : kPrefixes) {
    size_t n = std::strlen(prefix);
    if (std::strncmp(path, prefix, n) == 0 && (path[n] == '\0' || path[n] == '/')) return n;
  }
  // The watch on the node folder's parent: "/dev" itself, nothing else below it.
  if (forWatch && (std::strcmp(path, "/dev") == 0 || std::strcmp(path, "/dev/") == 0)) return 4;
  return 0;
}

std::shared_ptr<sim::DeviceNode> nodeOf(int fd) {
  if (fd < 0) return nullptr;
  if (fd < kFlagged) {
    if (g_boundFlag[fd].load(std::memory_order_acquire) == 0) return nullptr;
  } else if (g_highBound.load(std::memory_order_acquire) == 0) {
    return nullptr;
  }
  State& s = state();
  std::lock_guard lock(s.mutex);
  auto it = s.descriptors.find(fd);
  return it == s.descriptors.end() ? nullptr : it->second;
}

void setFlag(int fd, bool bound) {
  if (fd < kFlagged)
    g_boundFlag[fd].store(bound ? 1 : 0, std::memory_order_release);
  else
    g_highBound.fetch_add(bound ? 1 : -1, std::memory_order_acq_rel);
}

void fail(const char* what) {
  std::fprintf(stderr, "simulated platform: %s\n", what);
}

// Hands a call on fd to its node: returns 0 when fd is not bound; otherwise 1 with the
// node's kernel-style answer turned into the C library's (-1 and errno on failure; errno
// untouched on success).
template <typename Result, typename Fn>
int forward(int fd, Result* result, const char* what, Fn&& call) {
  int saved = errno;
  auto node = nodeOf(fd);
  if (node == nullptr) return 0;
  long r;
  try {
    r = call(*node);
  } catch (...) {
    std::fprintf(stderr, "simulated platform: a device node's %s threw\n", what);
    r = -EIO;
  }
  if (r < 0) {
    errno = static_cast<int>(-r);
    *result = -1;
  } else {
    errno = saved;
    *result = static_cast<Result>(r);
  }
  return 1;
}

}  // namespace

namespace sim::kernel {

void activate(const std::string& root) {
  if (root.size() + 1 > sizeof g_root) throw std::length_error("testbed root too long");
  std::memcpy(g_root, root.c_str(), root.size() + 1);
  g_rootLength = root.size();
  size_t n = 0;
  for (char c : root) {
    if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\') g_rootPattern[n++] = '\\';
    g_rootPattern[n++] = c;
  }
  g_rootPattern[n] = '\0';
  g_rootPatternLength = n;
  simk_arm();
  g_active.store(true, std::memory_order_release);
}

void deactivate() {
  g_active.store(false, std::memory_order_release);
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.nodesByPath.clear();
  s.libraries.clear();
}

void bindNodePath(const std::string& realPath, std::shared_ptr<DeviceNode> node) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.nodesByPath[realPath] = std::move(node);
}

void unbindNodePath(const std::string& realPath) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.nodesByPath.erase(realPath);
}

void setLibrary(const std::string& fileName, LibraryChoice choice, const std::string& path) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.libraries[fileName] = Library{choice, path};
}

void clearLibrary(const std::string& fileName) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.libraries.erase(fileName);
}

void clearLibraries() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.libraries.clear();
}

}  // namespace sim::kernel

extern "C" {

int simk_active(void) {
  return g_active.load(std::memory_order_acquire) ? 1 : 0;
}

const char* simk_redirect(const char* path, char* buffer, size_t size, int forWatch) {
  if (path == nullptr || path[0] != '/' || !g_active.load(std::memory_order_acquire)) return path;
  if (matchPrefix(path, forWatch != 0) == 0) return path;
  size_t n = std::strlen(path);
  if (g_rootLength + n + 1 > size) return path;  // too long to redirect: let it fail as is
  std::memcpy(buffer, g_root, g_rootLength);
  std::memcpy(buffer + g_rootLength, path, n + 1);
  return buffer;
}

const char* simk_redirect_pattern(const char* pattern, char* buffer, size_t size) {
  if (pattern == nullptr || pattern[0] != '/' || !g_active.load(std::memory_order_acquire))
    return pattern;
  if (matchPrefix(pattern, false) == 0) return pattern;
  size_t n = std::strlen(pattern);
  if (g_rootPatternLength + n + 1 > size) return pattern;
  std::memcpy(buffer, g_rootPattern, g_rootPatternLength);
  std::memcpy(buffer + g_rootPatternLength, pattern, n + 1);
  return buffer;
}

void simk_map_glob_results(char** pathv, size_t from, size_t to, const char* pattern,
                           const char* usedPattern) {
  for (size_t i = from; i < to; ++i) {
    char* entry = pathv[i];
    if (entry == nullptr) continue;
    const char* replacement = nullptr;
    if (std::strcmp(entry, usedPattern) == 0) {
      replacement = pattern;  // GLOB_NOCHECK hands the pattern back
    } else if (std::strncmp(entry, g_root, g_rootLength) == 0 &&
               matchPrefix(entry + g_rootLength, false) != 0) {
      replacement = entry + g_rootLength;
    }
    if (replacement == nullptr) continue;
    size_t n = std::strlen(replacement);
    char* copy = static_cast<char*>(std::malloc(n + 1));  // globfree releases it with free
    if (copy == nullptr) continue;
    std::memcpy(copy, replacement, n + 1);
    std::free(entry);
    pathv[i] = copy;
  }
}

int simk_bind(int fd, const char* realPath) {
  ErrnoGuard guard;
  std::shared_ptr<sim::DeviceNode> node;
  try {
    State& s = state();
    {
      std::lock_guard lock(s.mutex);
      auto it = s.nodesByPath.find(realPath);
      if (it == s.nodesByPath.end()) return 0;
      node = it->second;
    }
    if (node == nullptr) return 0;
    int err = node->onOpen(fd);
    if (err != 0) return err;
    std::lock_guard lock(s.mutex);
    s.descriptors[fd] = node;
    setFlag(fd, true);
    return 0;
  } catch (...) {
    fail("binding a device node failed");
    return ENOMEM;
  }
}

int simk_bound(int fd) {
  return nodeOf(fd) != nullptr ? 1 : 0;
}

int simk_ioctl(int fd, unsigned long request, void* arg, int* result) {
  return forward(fd, result, "ioctl",
                 [&](sim::DeviceNode& node) -> long { return node.ioctl(fd, request, arg); });
}

int simk_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset, void** result) {
  int saved = errno;
  auto node = nodeOf(fd);
  if (node == nullptr) return 0;
  int err = 0;
  void* p = nullptr;
  try {
    p = node->mmap(addr, length, prot, flags, fd, offset, &err);
    if (p != nullptr) {
      State& s = state();
      std::lock_guard lock(s.mutex);
      s.mappings[p] = Mapping{length, node};
      g_mappings.fetch_add(1, std::memory_order_acq_rel);
    }
  } catch (...) {
    fail("a device node's mmap threw");
    p = nullptr;
    err = ENOMEM;
  }
  if (p == nullptr) {
    errno = err != 0 ? err : EINVAL;
    *result = MAP_FAILED;
  } else {
    errno = saved;
    *result = p;
  }
  return 1;
}

int simk_read(int fd, void* buffer, size_t count, ssize_t* result) {
  return forward(fd, result, "read",
                 [&](sim::DeviceNode& node) -> long { return node.read(fd, buffer, count); });
}

int simk_write(int fd, const void* buffer, size_t count, ssize_t* result) {
  return forward(fd, result, "write",
                 [&](sim::DeviceNode& node) -> long { return node.write(fd, buffer, count); });
}

void simk_close(int fd) {
  ErrnoGuard guard;
  auto node = nodeOf(fd);
  if (node == nullptr) return;
  {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.descriptors.erase(fd);
    setFlag(fd, false);
  }
  try {
    node->onClose(fd);
  } catch (...) {
    fail("a device node's close threw");
  }
}

void simk_munmap(void* addr, size_t length) {
  if (g_mappings.load(std::memory_order_acquire) == 0) return;
  ErrnoGuard guard;
  std::shared_ptr<sim::DeviceNode> node;
  {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.mappings.find(addr);
    if (it == s.mappings.end()) return;
    node = it->second.node.lock();
    s.mappings.erase(it);
    g_mappings.fetch_sub(1, std::memory_order_acq_rel);
  }
  if (node == nullptr) return;
  try {
    node->onUnmap(addr, length);
  } catch (...) {
    fail("a device node's unmap threw");
  }
}

const char* simk_map_library(const char* file, char* buffer, size_t size) {
  if (!g_active.load(std::memory_order_acquire)) return file;
  ErrnoGuard guard;
  const char* slash = std::strrchr(file, '/');
  const char* name = slash != nullptr ? slash + 1 : file;
  std::string target;
  try {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.libraries.find(name);
    if (it == s.libraries.end()) return file;
    if (it->second.choice == sim::LibraryChoice::Absent)
      target = std::string(g_root) + "/absent/" + name;  // never created
    else
      target = it->second.path;
  } catch (...) {
    return file;
  }
  if (target.size() + 1 > size) return file;
  std::memcpy(buffer, target.c_str(), target.size() + 1);
  return buffer;
}

}  // extern "C"
