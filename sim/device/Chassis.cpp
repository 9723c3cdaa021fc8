#include "sim/device/Chassis.h"

#include "sim/device/ClipController.h"
#include "sim/device/DeviceStatus.h"
#include "sim/device/PersonalityDriver.h"
#include "sim/device/SessionQueries.h"
#include "sim/device/StoredBlobs.h"
#include "sim/device/SynchronisationUnit.h"

#include <cjson/cJSON.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace sim {

namespace {

using Json = std::unique_ptr<cJSON, void (*)(cJSON*)>;

[[noreturn]] void bad(const std::string& where, const std::string& what) {
  throw std::runtime_error("chassis description: " + where + ": " + what);
}

// A decimal or "0x" hex text of an unsigned 32-bit number.
std::optional<uint32_t> numberText(const char* text) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (*text != '\0' && *text != '-' && *end == '\0' && errno == 0 &&
      value <= std::numeric_limits<uint32_t>::max())
    return static_cast<uint32_t>(value);
  return std::nullopt;
}

uint32_t number(const cJSON* item, const std::string& where) {
  if (cJSON_IsNumber(item)) {
    const double value = item->valuedouble;
    if (value >= 0 && value <= std::numeric_limits<uint32_t>::max() &&
        value == static_cast<double>(static_cast<uint32_t>(value)))
      return static_cast<uint32_t>(value);
  } else if (cJSON_IsString(item)) {
    if (const std::optional<uint32_t> value = numberText(item->valuestring)) return *value;
  }
  bad(where, "expected an unsigned 32-bit number");
}

std::string text(const cJSON* item, const std::string& where) {
  if (!cJSON_IsString(item)) bad(where, "expected a text");
  return item->valuestring;
}

const cJSON* member(const cJSON* object, const char* name, const std::string& where) {
  const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, name);
  if (item == nullptr) bad(where, std::string("\"") + name + "\" is missing");
  return item;
}

CapabilityProfile capabilities(const cJSON* item, const std::string& where) {
  const std::string name = text(item, where);
  if (name == "minimal") return CapabilityProfile::Minimal;
  if (name == "full") return CapabilityProfile::Full;
  bad(where, "expected \"minimal\" or \"full\"");
}

std::map<uint32_t, uint32_t> driverAttributes(const cJSON* item, const std::string& where) {
  if (!cJSON_IsObject(item)) bad(where, "expected an object");
  std::map<uint32_t, uint32_t> table;
  const cJSON* entry = nullptr;
  cJSON_ArrayForEach(entry, item) {
    const std::string at = where + "." + entry->string;
    const std::optional<uint32_t> id = numberText(entry->string);
    if (!id) bad(at, "an attribute is named by an unsigned 32-bit number");
    table[*id] = number(entry, at);
  }
  return table;
}

ChassisModule parseModule(const cJSON* item, const std::string& where) {
  if (!cJSON_IsObject(item)) bad(where, "expected an object");
  ChassisModule module;
  ModuleDescription& d = module.description;
  bool productNamed = false;
  const cJSON* field = nullptr;
  cJSON_ArrayForEach(field, item) {
    const std::string name = field->string;
    const std::string at = where + "." + name;
    if (name == "instance") {
      module.instance = text(field, at);
    } else if (name == "pci") {
      if (!cJSON_IsObject(field)) bad(at, "expected an object");
      d.pciBus = number(member(field, "bus", at), at + ".bus");
      d.pciDevice = number(member(field, "device", at), at + ".device");
      d.pciFunction = number(member(field, "function", at), at + ".function");
      if (d.pciBus > 255 || d.pciDevice > 31 || d.pciFunction > 7)
        bad(at, "bus 0-255, device 0-31 and function 0-7");
    } else if (name == "pxi") {
      if (cJSON_IsNull(field)) continue;
      if (!cJSON_IsObject(field)) bad(at, "expected an object or null");
      d.chassis = number(member(field, "chassis", at), at + ".chassis");
      d.slot = number(member(field, "slot", at), at + ".slot");
    } else if (name == "vendorId") {
      d.vendorId = number(field, at);
    } else if (name == "deviceId") {
      d.deviceId = number(field, at);
    } else if (name == "subsystemVendorId") {
      d.subsystemVendorId = number(field, at);
    } else if (name == "subsystemId") {
      d.subsystemId = number(field, at);
    } else if (name == "revision") {
      d.revision = number(field, at);
    } else if (name == "numaNode") {
      d.numaNode = number(field, at);
    } else if (name == "numberOfSlots") {
      d.numberOfSlots = number(field, at);
    } else if (name == "serialNumber") {
      d.serialNumber = text(field, at);
    } else if (name == "slotPath") {
      d.slotPath = text(field, at);
    } else if (name == "targetClass") {
      d.fpgaTargetClass = text(field, at);
    } else if (name == "productName") {
      d.productName = text(field, at);
      productNamed = true;
    } else if (name == "hardwareRevision") {
      d.hardwareRevision = text(field, at);
    } else if (name == "capabilities") {
      module.capabilities = capabilities(field, at);
    } else if (name == "driverAttributes") {
      module.driverAttributes = driverAttributes(field, at);
    } else {
      bad(at, "unknown member");
    }
  }
  if (module.instance.empty()) bad(where, "\"instance\" is missing or empty");
  if (cJSON_GetObjectItemCaseSensitive(item, "pci") == nullptr) bad(where, "\"pci\" is missing");
  if (!productNamed) d.productName = d.fpgaTargetClass;
  return module;
}

}  // namespace

ChassisDescription parseChassis(const std::string& json) {
  const Json document(cJSON_Parse(json.c_str()), cJSON_Delete);
  if (document == nullptr || !cJSON_IsObject(document.get())) bad("document", "not a JSON object");
  ChassisDescription chassis;
  const cJSON* name = cJSON_GetObjectItemCaseSensitive(document.get(), "name");
  if (name != nullptr) chassis.name = text(name, "name");
  const cJSON* modules = member(document.get(), "modules", "document");
  if (!cJSON_IsArray(modules)) bad("modules", "expected an array");
  std::map<std::string, size_t> instances;
  // One module per PCI address, as on a real machine.
  std::set<std::tuple<uint32_t, uint32_t, uint32_t>> addresses;
  const cJSON* item = nullptr;
  cJSON_ArrayForEach(item, modules) {
    const std::string where = "modules[" + std::to_string(chassis.modules.size()) + "]";
    ChassisModule module = parseModule(item, where);
    const ModuleDescription& d = module.description;
    if (!instances.emplace(module.instance, chassis.modules.size()).second)
      bad(where, "instance \"" + module.instance + "\" is used twice");
    if (!addresses.emplace(d.pciBus, d.pciDevice, d.pciFunction).second)
      bad(where, "its PCI address is used twice");
    chassis.modules.push_back(std::move(module));
  }
  return chassis;
}

ChassisDescription readChassis(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("chassis description: cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return parseChassis(text.str());
}

void installMakerSoftware(Testbed& testbed) {
  for (const char* name : {"libqvqpxi.so.1", "libqvrocoapi.so.1"}) {
    testbed.setLibrary(name, LibraryChoice::Present,
                       libs::standInPath(name, libs::Variant::Present));
  }
  const std::string folder = testbed.path("/var/local/telmora/qv-vandrel");
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
    throw std::runtime_error("cannot create " + folder);
  ::chmod(folder.c_str(), 0777);
}

Chassis::Chassis(Testbed& testbed, const ChassisDescription& description,
                 const libs::QPxiControl& pxi)
    : description_(description) {
  for (const ChassisModule& m : description_.modules) {
    modules_.push_back(std::make_unique<Module>(testbed, m.instance));
    modules_.back()->deviceInterface();
    describe(*modules_.back(), m.description, pxi);
    Interface& device = modules_.back()->deviceInterface();
    modules_.back()->fpga();
    for (const auto& [id, value] : m.driverAttributes) modules_.back()->setAttribute(id, value);
    clips_.push_back(std::make_shared<ClipController>(device, m.capabilities));
    synchronisation_.push_back(std::make_shared<SynchronisationUnit>(device));
    synchronisation_.back()->attach(*clips_.back());
    sessionModels_.push_back(std::make_shared<SessionQueries>(device));
    sessionModels_.push_back(std::make_shared<StoredBlobs>(device));
    sessionModels_.push_back(std::make_shared<PersonalityDriver>(device));
    sessionModels_.push_back(std::make_shared<DeviceStatus>(device));
  }
}

void Chassis::setLogging(bool enabled) {
  for (size_t i = 0; i < modules_.size(); ++i) {
    modules_[i]->deviceInterface().setLogging(enabled);
    clips_[i]->setLogging(enabled);
    synchronisation_[i]->setLogging(enabled);
  }
}

Module* Chassis::find(uint32_t bus, uint32_t device, uint32_t function) {
  for (size_t i = 0; i < modules_.size(); ++i) {
    const ModuleDescription& d = description_.modules[i].description;
    if (d.pciBus == bus && d.pciDevice == device && d.pciFunction == function)
      return modules_[i].get();
  }
  return nullptr;
}

}  // namespace sim
