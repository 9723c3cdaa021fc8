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
    {"libqvqpxi.so.1", QVSIM_QPXI_PATH, QVSIM_QPXI_NOSYMBOL_PATH},
};

void* keepLoaded(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
  if (handle == nullptr) throw std::runtime_error(dlerror());
  return handle;
}

// A stand-in's call log through its count and name entry points.
std::vector<std::string> readCalls(int (*count)(), int (*callName)(int, char*, int)) {
  std::vector<std::string> out;
  const int n = count();
  char buffer[256];
  for (int i = 0; i < n; ++i) {
    if (callName(i, buffer, sizeof buffer) != 0) out.emplace_back(buffer);
  }
  return out;
}

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
  void* handle = keepLoaded(QVSIM_RELOCATIONS_PATH);
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
  return readCalls(count_, callName_);
}

QPxiControl::QPxiControl() {
  void* handle = keepLoaded(QVSIM_QPXI_PATH);
  reset_ = resolve<decltype(reset_)>(handle, "qvsim_qpxi_reset");
  addDevice_ = resolve<decltype(addDevice_)>(handle, "qvsim_qpxi_addDevice");
  setTriggerBridges_ =
      resolve<decltype(setTriggerBridges_)>(handle, "qvsim_qpxi_setTriggerBridges");
  invalidateSessions_ =
      resolve<decltype(invalidateSessions_)>(handle, "qvsim_qpxi_invalidateSessions");
  failNext_ = resolve<decltype(failNext_)>(handle, "qvsim_qpxi_failNext");
  count_ = resolve<decltype(count_)>(handle, "qvsim_qpxi_callCount");
  callName_ = resolve<decltype(callName_)>(handle, "qvsim_qpxi_callName");
  openHandles_ = resolve<decltype(openHandles_)>(handle, "qvsim_qpxi_openHandles");
}

void QPxiControl::reset() const {
  reset_();
}

void QPxiControl::addDevice(uint32_t bus, uint32_t device, uint32_t function, uint32_t chassis,
                            uint32_t slot, uint32_t slotValue) const {
  addDevice_(bus, device, function, chassis, slot, slotValue);
}

void QPxiControl::setTriggerBridges(uint32_t chassis, uint32_t count) const {
  setTriggerBridges_(chassis, count);
}

void QPxiControl::invalidateSessions() const {
  invalidateSessions_();
}

void QPxiControl::failNext(const std::string& entryPoint, int32_t code) const {
  failNext_(entryPoint.c_str(), code);
}

std::vector<std::string> QPxiControl::calls() const {
  return readCalls(count_, callName_);
}

int QPxiControl::openHandles() const {
  return openHandles_();
}

}  // namespace sim::libs
