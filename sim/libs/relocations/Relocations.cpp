// Stand-in for the maker's install-relocation library. It answers get_relocated_dir from a
// table that tests fill through the qvsim_relocations_* entry points, and logs every call.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "sim/libs/StandInLog.h"

namespace {

struct Answer {
  std::string name;
  int result;
  std::string path;
};

std::mutex gMutex;
std::vector<Answer> gAnswers;
std::vector<std::string> gCalls;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int get_relocated_dir(const char* name, char* buffer,
                                                             int size) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCalls.emplace_back(name != nullptr ? name : "");
  if (name == nullptr || buffer == nullptr || size <= 0) return -1;
  for (const Answer& a : gAnswers) {
    if (a.name != name) continue;
    if (a.result <= 0) return a.result;
    // The answer is the length written, terminator excluded; it must fit the caller's buffer.
    if (a.path.size() + 1 > static_cast<size_t>(size)) return -1;
    std::memcpy(buffer, a.path.c_str(), a.path.size() + 1);
    return static_cast<int>(a.path.size());
  }
  return 0;
}

// Test controls: a result of 1 or more means "relocated to path"; 0 not relocated; below 0
// an error.
__attribute__((visibility("default"))) void qvsim_relocations_set(const char* name, int result,
                                                                  const char* path) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (Answer& a : gAnswers) {
    if (a.name == name) {
      a.result = result;
      a.path = path != nullptr ? path : "";
      return;
    }
  }
  gAnswers.push_back(Answer{name, result, path != nullptr ? path : ""});
}

__attribute__((visibility("default"))) void qvsim_relocations_reset(void) {
  std::lock_guard<std::mutex> lock(gMutex);
  gAnswers.clear();
  gCalls.clear();
}

__attribute__((visibility("default"))) int qvsim_relocations_callCount(void) {
  std::lock_guard<std::mutex> lock(gMutex);
  return static_cast<int>(gCalls.size());
}

// Copies the name of call `index` into buffer; false when there is no such call.
__attribute__((visibility("default"))) int qvsim_relocations_callName(int index, char* buffer,
                                                                      int size) {
  std::lock_guard<std::mutex> lock(gMutex);
  return sim::libs::copyLoggedCall(gCalls, index, buffer, size);
}

}  // extern "C"
