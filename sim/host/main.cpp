// qvhost: a host process for the plug-in on a simulated chassis. It builds the chassis of a
// description file on a testbed, loads the plug-in by path as the maker's host process does,
// and shows what it finds.
//
//   qvhost [--chassis FILE] [--plugin FILE] list
//   qvhost [--chassis FILE] [--plugin FILE] open [attrs [F] | get A | set A=V | commit]...
//
// Exit status: 0 on success, 1 when anything fails (the message says what), 2 for bad usage.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "model/AttributeNames.h"
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/HostSession.h"
#include "sim/host/PluginHost.h"

namespace {

int usage() {
  std::cerr << "usage: qvhost [--chassis FILE] [--plugin FILE] list\n"
               "       qvhost [--chassis FILE] [--plugin FILE] open [COMMAND]...\n"
               "  list      the modules the plug-in finds: token, PXI name, alias, device number,\n"
               "            model and interface path\n"
               "  open      opens a session with the simulated design on the first module; then,\n"
               "            in order on that session:\n"
               "  attrs [F] every attribute: name, channel, value, range, who set it; F keeps\n"
               "            those whose name holds NAME (any case) and whose channel is\n"
               "            CHANNEL: NAME, @CHANNEL or NAME@CHANNEL (\"AI Range\", @AI0)\n"
               "  get A     one attribute; A is NAME or NAME@CHANNEL (\"AI Range@AI0\")\n"
               "  set A=V   sets it (V in the attribute's own type)\n"
               "  commit    writes what was set to the module\n"
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

// The simulated platform of a chassis description, built on its own testbed.
struct SimulatedPlatform {
  explicit SimulatedPlatform(const std::string& file)
      : description(sim::readChassis(file)), chassis(testbed, description, (setUp(), pxi)) {}
  void setUp() {
    sim::installMakerSoftware(testbed);
    pxi.reset();
  }
  sim::ChassisDescription description;
  sim::Testbed testbed;
  sim::libs::QPxiControl pxi;
  sim::Chassis chassis;
};

// Runs `work` between the plug-in's initialise and finalise; the plug-in's threads must end
// before the library is unloaded under them, also when `work` fails.
template <typename Work>
void whileInitialised(const sim::host::PluginLibrary& plugin, Work work) {
  check(plugin.initialize(), "qvkel_initializePlugin");
  try {
    work();
  } catch (...) {
    plugin.finalize();
    throw;
  }
  check(plugin.finalize(), "qvkel_finalizePlugin");
}

int list(const std::string& chassisFile, const std::string& pluginFile) {
  SimulatedPlatform platform(chassisFile);
  sim::host::PluginLibrary plugin(pluginFile);
  std::vector<std::vector<std::string>> rows;
  whileInitialised(plugin, [&] { rows = listedRows(plugin, platform.chassis); });
  const sim::ChassisDescription& description = platform.description;
  std::cout << "Chassis:  " << (description.name.empty() ? chassisFile : description.name)
            << "\nPlug-in:  " << pluginFile << "\n\n"
            << rows.size() - 1 << (rows.size() == 2 ? " module" : " modules")
            << " of the Brenmoor generation:\n\n";
  printTable(rows);
  return 0;
}

// "NAME@CHANNEL" into the identifier and the channel.
std::pair<uint32_t, std::string> attributeOf(const std::string& text) {
  const size_t at = text.find('@');
  const std::string name = text.substr(0, at);
  const uint32_t id = sim::host::attributeIdentifier(name);
  if (id == 0) throw Failure("no attribute is named \"" + name + "\"");
  return {id, at == std::string::npos ? "" : text.substr(at + 1)};
}

std::string label(uint32_t id, const std::string& channel) {
  return std::string(qvvandrel::getAttributeName(id)) + (channel.empty() ? "" : "@" + channel);
}

// A failed request with the detail the session stored for it.
Failure failureWithDetail(sim::host::HostSession& session, const std::string& what, int32_t code) {
  return Failure(what + " failed: " + sim::host::describeCode(code) + "\n" +
                 session.lastErrorDetail(code));
}

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Channel names in number order: a run of digits compares by its value ("AO2" before "AO10").
bool numberOrder(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  const auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      const size_t aEnd = a.find_first_not_of("0123456789", i),
                   bEnd = b.find_first_not_of("0123456789", j);
      std::string x = a.substr(i, aEnd - i), y = b.substr(j, bEnd - j);
      x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
      y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
      if (x.size() != y.size()) return x.size() < y.size();
      if (x != y) return x < y;
      i = std::min(aEnd, a.size());
      j = std::min(bEnd, b.size());
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The filter of `attrs`: NAME, @CHANNEL or NAME@CHANNEL; an empty part matches everything
// but "@" alone, which keeps the attributes without a channel.
struct AttributeFilter {
  explicit AttributeFilter(const std::string& text) : text(text) {
    const size_t at = text.find('@');
    name = lowerCase(text.substr(0, at));
    if (at != std::string::npos) channel = lowerCase(text.substr(at + 1));
  }
  bool keepsName(const char* displayName) const {
    return lowerCase(displayName).find(name) != std::string::npos;
  }
  bool keepsChannel(const std::string& c) const { return !channel || lowerCase(c) == *channel; }

  std::string text;
  std::string name;
  std::optional<std::string> channel;
};

void showAttributes(sim::host::HostSession& session, const AttributeFilter& filter) {
  std::vector<std::vector<std::string>> rows{{"NAME", "CHANNEL", "VALUE", "RANGE", "SET BY"}};
  for (const qvvandrel::AttributeNameEntry& entry : qvvandrel::kAttributeNames) {
    if (!filter.keepsName(entry.displayName)) continue;
    const auto id = static_cast<uint32_t>(entry.identifier);
    int32_t code = 0;
    std::vector<std::string> channels = session.contexts(id, code);
    std::stable_sort(channels.begin(), channels.end(), numberOrder);
    for (const std::string& channel : channels) {
      if (!filter.keepsChannel(channel)) continue;
      sim::host::AttributeValue value;
      const int32_t got = session.get(id, channel, value);
      // The attribute requests carry no range; a host sees only the value a commit deploys.
      rows.push_back(
          {entry.displayName, channel.empty() ? "-" : channel,
           got < 0 ? "(" + sim::host::describeCode(got) + ")" : sim::host::formatValue(value), "-",
           session.setByHost(id, channel) ? "host" : "default"});
    }
  }
  if (rows.size() == 1) throw Failure("no attribute matches \"" + filter.text + "\"");
  std::cout << rows.size() - 1 << (rows.size() == 2 ? " attribute:\n" : " attributes:\n");
  printTable(rows);
}

bool isCommand(const std::string& word) {
  return word == "attrs" || word == "commit" || word == "get" || word == "set";
}

void runOnSession(sim::host::HostSession& session, const std::vector<std::string>& commands) {
  for (size_t i = 1; i < commands.size(); ++i) {
    const std::string& command = commands[i];
    if (command == "attrs") {
      // A filter is any word after it that is no command.
      const bool filtered = i + 1 < commands.size() && !isCommand(commands[i + 1]);
      showAttributes(session, AttributeFilter(filtered ? commands[++i] : ""));
    } else if (command == "commit") {
      check(session.commit(), "commit");
      std::cout << "committed\n";
    } else if (command == "get" || command == "set") {
      if (++i == commands.size()) throw Failure(command + " needs an attribute");
      const std::string& argument = commands[i];
      if (command == "get") {
        const auto [id, channel] = attributeOf(argument);
        sim::host::AttributeValue value;
        const int32_t code = session.get(id, channel, value);
        if (code < 0) throw failureWithDetail(session, "get " + label(id, channel), code);
        std::cout << label(id, channel) << " = " << sim::host::formatValue(value) << "\n";
      } else {
        const size_t equals = argument.find('=');
        if (equals == std::string::npos) throw Failure("set needs NAME=VALUE");
        const auto [id, channel] = attributeOf(argument.substr(0, equals));
        const std::string text = argument.substr(equals + 1);
        const int32_t code = session.set(id, channel, text);
        if (code < 0) throw failureWithDetail(session, "set " + label(id, channel), code);
        std::cout << label(id, channel) << " set to " << text << "\n";
      }
    } else {
      throw Failure("unknown command " + command);
    }
  }
}

int openSession(const std::string& chassisFile, const std::string& pluginFile,
                const std::vector<std::string>& commands) {
  SimulatedPlatform platform(chassisFile);
  sim::host::PluginLibrary plugin(pluginFile);
  whileInitialised(plugin, [&] {
    int32_t code = 0;
    std::unique_ptr<qvkel::IDeviceList, void (*)(qvkel::IDeviceList*)> list(
        plugin.deviceList(&code), [](qvkel::IDeviceList* l) { l->release(); });
    check(code, "qvkel_getPluginInterface");
    nQVVUSKS100::tStatus status{};
    list->refresh(&status);
    check(status.code, "refreshing the device list");
    qvkel::IDevice* device = list->getCount() > 0 ? list->getDevice(0, 0, &status) : nullptr;
    if (device == nullptr) throw Failure("the chassis has no module");
    std::unique_ptr<qvkel::IFpgaSession, void (*)(qvkel::IFpgaSession*)> fpga(
        device->createFpgaSession(5, &status), [](qvkel::IFpgaSession* s) { s->release(); });
    check(status.code, "createFpgaSession");
    // Open flag bit 30: the first argument is the bitfile's text.
    const std::string design = qvsim::BitfileBuilder().text();
    fpga->open(design.c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000, &status);
    check(status.code, "opening the session");
    std::cout << "Session open on " << device->getName(nullptr) << "\n";
    sim::host::HostSession session(*fpga);
    runOnSession(session, commands);
  });
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
  const bool listing = commands.size() == 1 && commands[0] == "list";
  if (!listing && (commands.empty() || commands[0] != "open")) return usage();
  try {
    return listing ? list(chassisFile, pluginFile) : openSession(chassisFile, pluginFile, commands);
  } catch (const std::exception& error) {
    std::cerr << "qvhost: " << error.what() << "\n";
    return 1;
  }
}
