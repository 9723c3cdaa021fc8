#pragma once
// The names of this process's threads, as the kernel shows them (cut to 15 characters).

#include <dirent.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/unit/Eventually.h"

namespace unittest {

inline std::vector<std::string> threadNames() {
  std::vector<std::string> names;
  DIR* tasks = opendir("/proc/self/task");
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    names.push_back(name);
  }
  closedir(tasks);
  return names;
}

inline size_t threadsNamed(const std::string& name) {
  size_t n = 0;
  for (const std::string& t : threadNames()) n += t == name ? 1 : 0;
  return n;
}

// A new thread names itself once it runs, and an ended one stays listed a little while after
// its join has returned (the kernel lets the joiner go before it unlists the thread): waits, up
// to ten seconds, for the count to be reached.
inline bool waitForThreadsNamed(const std::string& name, size_t count) {
  return eventually([&] { return threadsNamed(name) == count; });
}

}  // namespace unittest
