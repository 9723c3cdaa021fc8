// qvhost: a host process for the plug-in on a simulated chassis. It builds the chassis of a
// description file on a testbed, loads the plug-in by path as the maker's host process does,
// and shows what it finds.
//
//   qvhost [--chassis FILE] [--plugin FILE] list
//
// Exit status: 0 on success, 1 when anything fails (the message says what), 2 for bad usage.
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/device/Chassis.h"
#include "sim/host/PluginHost.h"

namespace {

int usage() {
  std::cerr << "usage: qvhost [--chassis FILE] [--plugin FILE] list\n"
               "  list   the modules the plug-in finds: token, PXI name, alias, device number,\n"
               "         model and interface path\n"
               "  --chassis FILE  the simulated chassis (default: " QVHOST_DEFAULT_CHASSIS
               ")\n"
               "  --plugin FILE   the plug-in library (default: " QVHOST_DEFAULT_PLUGIN ")\n";
  return 2;
}

// Columns as wide as their widest cell, two spaces apart.
void printTable(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string line = " ";
    for (size_t c = 0; c < row.size(); ++c) {
      line += " " + row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 1, ' ');
    }
    std::cout << line << "\n";
  }
}

std::string hex32(uint64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(value));
  return text;
}

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void check(int64_t code, const char* what) {
  if (code < 0) throw Failure(std::string(what) + " failed: " + sim::host::describeCode(code));
}

// The header row, then one row per module the plug-in lists.
std::vector<std::vector<std::string>> listedRows(const sim::host::PluginLibrary& plugin,
                                                 sim::Chassis& chassis) {
  std::vector<std::vector<std::string>> rows{
      {"TOKEN", "PXI NAME", "ALIAS", "DEVICE NUMBER", "MODEL", "INTERFACE PATH"}};
  int32_t code = 0;
  qvkel::IDeviceList* list = plugin.deviceList(&code);
  check(code, "qvkel_getPluginInterface");
  std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> owned(
      list, [](qvkel::IDeviceList* l) { l->release(); });
  nQVVUSKS100::tStatus status;
  list->refresh(&status);
  check(status.code, "refreshing the device list");
  for (const sim::host::DeviceRow& row : sim::host::readDevices(*list)) {
    // The interface path is the simulated driver's: the chassis module at the PCI address
    // the device number names.
    const sim::host::PciAddress at = sim::host::pciAddressOf(row.deviceNumber);
    sim::Module* module = chassis.find(at.bus, at.device, at.function);
    const std::string path =
        module != nullptr ? module->deviceInterface().nodePath() : "(not in the chassis)";
    rows.push_back({row.token, row.pxiName.empty() ? "-" : row.pxiName,
                    row.alias.empty() ? "-" : row.alias, hex32(row.deviceNumber), row.model, path});
  }
  return rows;
}

int list(const std::string& chassisFile, const std::string& pluginFile) {
  const sim::ChassisDescription description = sim::readChassis(chassisFile);
  sim::Testbed testbed;
  sim::installMakerSoftware(testbed);
  sim::libs::QPxiControl pxi;
  pxi.reset();
  sim::Chassis chassis(testbed, description, pxi);

  sim::host::PluginLibrary plugin(pluginFile);
  check(plugin.initialize(), "qvkel_initializePlugin");
  std::vector<std::vector<std::string>> rows;
  try {
    rows = listedRows(plugin, chassis);
  } catch (...) {
    // The plug-in's threads must end before the library is unloaded under them.
    plugin.finalize();
    throw;
  }
  check(plugin.finalize(), "qvkel_finalizePlugin");

  std::cout << "Chassis:  " << (description.name.empty() ? chassisFile : description.name)
            << "\nPlug-in:  " << pluginFile << "\n\n"
            << rows.size() - 1 << (rows.size() == 2 ? " module" : " modules")
            << " of the Brenmoor generation:\n\n";
  printTable(rows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string chassisFile = QVHOST_DEFAULT_CHASSIS;
  std::string pluginFile = QVHOST_DEFAULT_PLUGIN;
  std::vector<std::string> commands;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--chassis" || arg == "--plugin") && i + 1 < argc) {
      (arg == "--chassis" ? chassisFile : pluginFile) = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      return usage();
    } else {
      commands.push_back(arg);
    }
  }
  if (commands.size() != 1 || commands[0] != "list") return usage();
  try {
    return list(chassisFile, pluginFile);
  } catch (const std::exception& error) {
    std::cerr << "qvhost: " << error.what() << "\n";
    return 1;
  }
}
