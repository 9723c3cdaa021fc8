#include "sim/kernel/FileFaults.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "sim/kernel/Testbed.h"

namespace sim {

struct FileFault::Rule {
  int call;
  std::string path;
  int err;
  unsigned count;
  unsigned skip;
  unsigned matched = 0;
};

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<FileFault::Rule>> rules;
};

// Never destroyed: the wrappers may run during exit.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

std::atomic<int> g_rules{0};

}  // namespace

FileFault::FileFault(FileCall call, std::string_view systemPath, int err, unsigned count,
                     unsigned skip)
    : rule_(std::make_shared<Rule>()) {
  const Testbed* testbed = Testbed::active();
  rule_->call = static_cast<int>(call);
  // Descriptors name their file by its resolved path.
  std::error_code ec;
  const std::string path = testbed != nullptr ? testbed->path(systemPath) : std::string(systemPath);
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
  rule_->path = ec ? path : resolved.string();
  rule_->err = err;
  rule_->count = count;
  rule_->skip = skip;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.rules.push_back(rule_);
  g_rules.fetch_add(1, std::memory_order_acq_rel);
}

FileFault::~FileFault() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase(r.rules, rule_);
  g_rules.fetch_sub(1, std::memory_order_acq_rel);
}

unsigned FileFault::matched() const {
  std::lock_guard lock(registry().mutex);
  return rule_->matched;
}

}  // namespace sim

extern "C" int simk_file_fault(int fd, int call) {
  if (sim::g_rules.load(std::memory_order_acquire) == 0) return 0;
  const int saved = errno;
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t n = ::readlink(link, target, sizeof target - 1);
  int outcome = 0;
  if (n > 0) {
    target[n] = '\0';
    sim::Registry& r = sim::registry();
    std::lock_guard lock(r.mutex);
    for (const auto& rule : r.rules) {
      if (rule->call != call || rule->path != target) continue;
      const unsigned seen = rule->matched++;
      if (seen >= rule->skip && seen - rule->skip < rule->count) outcome = rule->err;
      break;
    }
  }
  if (outcome == sim::FileFault::kKillProcess) ::raise(SIGKILL);
  errno = saved;
  return outcome;
}
