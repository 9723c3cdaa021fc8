#include "sim/libs/MakerLibraries.h"

#include <dlfcn.h>

#include <stdexcept>

namespace sim::libs {

namespace {

struct StandIn {
  const char* name;
  const char* present;
  const char* missingSymbol;
};

// Paths come from the build (compile definitions of sim_libs).
const StandIn kStandIns[] = {
    {"libqvrelocations.so.0", QVSIM_RELOCATIONS_PATH, QVSIM_RELOCATIONS_NOSYMBOL_PATH},
};

template <typename F>
F resolve(void* handle, const char* name) {
  void* p = dlsym(handle, name);
  if (p == nullptr) throw std::runtime_error(std::string("stand-in lacks ") + name);
  return reinterpret_cast<F>(p);
}

}  // namespace

const char* standInPath(const std::string& libraryName, Variant variant) {
  for (const StandIn& s : kStandIns) {
    if (libraryName == s.name) return variant == Variant::Present ? s.present : s.missingSymbol;
  }
  return nullptr;
}

RelocationsControl::RelocationsControl() {
  void* handle = dlopen(QVSIM_RELOCATIONS_PATH, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
  if (handle == nullptr) throw std::runtime_error(dlerror());
  set_ = resolve<decltype(set_)>(handle, "qvsim_relocations_set");
  reset_ = resolve<decltype(reset_)>(handle, "qvsim_relocations_reset");
  count_ = resolve<decltype(count_)>(handle, "qvsim_relocations_callCount");
  callName_ = resolve<decltype(callName_)>(handle, "qvsim_relocations_callName");
}

void RelocationsControl::set(const std::string& name, int result, const std::string& path) const {
  set_(name.c_str(), result, path.c_str());
}

void RelocationsControl::reset() const {
  reset_();
}

std::vector<std::string> RelocationsControl::calls() const {
  std::vector<std::string> out;
  const int n = count_();
  char buffer[256];
  for (int i = 0; i < n; ++i) {
    if (callName_(i, buffer, sizeof buffer) != 0) out.emplace_back(buffer);
  }
  return out;
}

}  // namespace sim::libs
