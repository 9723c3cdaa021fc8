#include "sim/host/PluginHost.h"

#include <dlfcn.h>

#include <stdexcept>

namespace sim::host {

namespace {

template <typename F>
F lookUp(void* handle, const char* name) {
  void* address = dlsym(handle, name);
  if (address == nullptr) throw std::runtime_error(std::string("the plug-in lacks ") + name);
  return reinterpret_cast<F>(address);
}

struct CodeText {
  int64_t code;
  const char* text;
};

constexpr CodeText kCodeTexts[] = {
    {-52000, "out of memory"},
    {-52003, "internal error, or the plug-in is not initialised"},
    {-52005, "invalid argument"},
    {-52006, "not found"},
    {-52008, "operating-system error"},
    {-52013, "name already in use"},
    {-52019, "buffer too small"},
    {-52024, "input/output error"},
    {-63180, "malformed or reserved alias"},
    {-63193, "not supported"},
};

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path)
    : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw std::runtime_error("cannot load the plug-in " + path + ": " +
                             (reason != nullptr ? reason : "unknown reason"));
  }
  try {
    initialize_ = lookUp<qvkel_initializePlugin_t>(handle_, "qvkel_initializePlugin");
    getInterface_ = lookUp<qvkel_getPluginInterface_t>(handle_, "qvkel_getPluginInterface");
    finalize_ = lookUp<qvkel_finalizePlugin_t>(handle_, "qvkel_finalizePlugin");
  } catch (...) {
    dlclose(handle_);
    throw;
  }
}

PluginLibrary::~PluginLibrary() {
  dlclose(handle_);
}

qvkel::IDeviceList* PluginLibrary::deviceList(int32_t* code) const {
  void* list = nullptr;
  *code = getInterface(0, &list);
  return *code < 0 ? nullptr : static_cast<qvkel::IDeviceList*>(list);
}

std::vector<DeviceRow> readDevices(qvkel::IDeviceList& list) {
  std::vector<DeviceRow> rows;
  const uint64_t count = list.getCount();
  for (uint32_t i = 0; i < count; ++i) {
    nQVVUSKS100::tStatus status;
    qvkel::IDevice* device = list.getDevice(i, 0, &status);
    if (device == nullptr) continue;
    DeviceRow row;
    row.token = device->getName(nullptr);
    row.pxiName = device->getDescriptorText2();
    const char* alias = device->getAlias();
    row.alias = alias != nullptr ? alias : "";
    row.deviceNumber = device->getDescriptorField5();
    if (row.token.rfind("Model=", 0) == 0) row.model = row.token.substr(6, row.token.find(';') - 6);
    rows.push_back(std::move(row));
  }
  return rows;
}

PciAddress pciAddressOf(uint64_t deviceNumber) {
  return {static_cast<uint32_t>((deviceNumber >> 16) & 0xFF),
          255 - static_cast<uint32_t>((deviceNumber >> 8) & 0xFF),
          static_cast<uint32_t>(deviceNumber & 0xFF)};
}

std::string describeCode(int64_t code) {
  for (const CodeText& entry : kCodeTexts) {
    if (entry.code == code) return std::to_string(code) + " (" + entry.text + ")";
  }
  return std::to_string(code);
}

}  // namespace sim::host
