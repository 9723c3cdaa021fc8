#include "sim/libs/MakerLibraries.h"

#include <dlfcn.h>

#include <stdexcept>

namespace sim::libs {

namespace {

struct StandIn {
  const char* name;
  const char* present;
  const char* missingSymbol;
  const char* missingTwoSymbols = nullptr;
};

// Paths come from the build (compile definitions of sim_libs).
const StandIn kStandIns[] = {
    {"libqvrelocations.so.0", QVSIM_RELOCATIONS_PATH, QVSIM_RELOCATIONS_NOSYMBOL_PATH},
    {"libqvqpxi.so.1", QVSIM_QPXI_PATH, QVSIM_QPXI_NOSYMBOL_PATH},
    {"libqvrocoapi.so.1", QVSIM_ROCO_PATH, QVSIM_ROCO_NOSYMBOL_PATH, QVSIM_ROCO_NOTWOSYMBOLS_PATH},
    {"libqvp2p.so", QVSIM_P2P_PATH, QVSIM_P2P_NOSYMBOL_PATH},
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
    if (libraryName != s.name) continue;
    switch (variant) {
      case Variant::Present:
        return s.present;
      case Variant::MissingSymbol:
        return s.missingSymbol;
      case Variant::MissingTwoSymbols:
        return s.missingTwoSymbols;
    }
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

StandInControl::StandInControl(const char* path, const std::string& prefix)
    : handle_(keepLoaded(path)), prefix_(prefix) {
  reset_ = control<decltype(reset_)>("reset");
  failNext_ = control<decltype(failNext_)>("failNext");
  count_ = control<decltype(count_)>("callCount");
  callName_ = control<decltype(callName_)>("callName");
}

void* StandInControl::symbol(const std::string& name) const {
  return resolve<void*>(handle_, (prefix_ + "_" + name).c_str());
}

void StandInControl::reset() const {
  reset_();
}

void StandInControl::failNext(const std::string& entryPoint, int32_t code) const {
  failNext_(entryPoint.c_str(), code);
}

std::vector<std::string> StandInControl::calls() const {
  return readCalls(count_, callName_);
}

QPxiControl::QPxiControl() : StandInControl(QVSIM_QPXI_PATH, "qvsim_qpxi") {
  addDevice_ = control<decltype(addDevice_)>("addDevice");
  setTriggerBridges_ = control<decltype(setTriggerBridges_)>("setTriggerBridges");
  invalidateSessions_ = control<decltype(invalidateSessions_)>("invalidateSessions");
  openHandles_ = control<decltype(openHandles_)>("openHandles");
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

int QPxiControl::openHandles() const {
  return openHandles_();
}

RoCoControl::RoCoControl() : StandInControl(QVSIM_ROCO_PATH, "qvsim_roco") {
  openSessions_ = control<decltype(openSessions_)>("openSessions");
  failAt_ = control<decltype(failAt_)>("failAt");
  setTerminals_ = control<decltype(setTerminals_)>("setTerminals");
  routeCount_ = control<decltype(routeCount_)>("routeCount");
  route_ = control<decltype(route_)>("route");
  setLogging_ = control<decltype(setLogging_)>("setLogging");
}

void RoCoControl::setLogging(bool enabled) const {
  setLogging_(enabled ? 1 : 0);
}

int RoCoControl::openSessions() const {
  return openSessions_();
}

void RoCoControl::failAt(const std::string& entryPoint, int nth, int32_t code) const {
  failAt_(entryPoint.c_str(), nth, code);
}

void RoCoControl::setTerminals(const std::string& device, const std::string& terminals) const {
  setTerminals_(device.c_str(), terminals.c_str());
}

std::vector<std::string> RoCoControl::routes() const {
  return readCalls(routeCount_, route_);
}

P2PControl::P2PControl() : StandInControl(QVSIM_P2P_PATH, "qvsim_p2p") {
  registered_ = control<decltype(registered_)>("registered");
  query_ = control<decltype(query_)>("query");
  describe_ = control<decltype(describe_)>("describe");
}

int P2PControl::registered() const {
  return registered_();
}

int32_t P2PControl::query(uint32_t id, uint32_t* value) const {
  return query_(id, value);
}

int32_t P2PControl::describe(uint32_t id, uint32_t* record, uint32_t* version) const {
  return describe_(id, record, version);
}

}  // namespace sim::libs
