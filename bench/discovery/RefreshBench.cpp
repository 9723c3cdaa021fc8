// A device-manager rescan over 68 simulated modules against a bare loop that globs the same
// interface folders and reads the same files (six numeric bus properties, the slot path and the
// interface path) in one run; prints the ratio. Without the PXI query library, so both read
// every module's slot path.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <glob.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../RatioReporter.h"
#include "discovery/DeviceManager.h"
#include "session/PciModelNameIdentifierCodegen.h"
#include "sim/device/ModuleDescription.h"
#include "sim/kernel/Testbed.h"

namespace {

constexpr int kModules = 68;
constexpr const char* kInterface = "qvvandrelbrenmoork_vandrelbrenmoor";

struct Bench {
  sim::Testbed testbed;
  std::vector<std::unique_ptr<sim::Module>> modules;
  qverr::Status pxiStatus;
  std::unique_ptr<qvkel::QPxiLibrary> pxi;
  std::unique_ptr<qvkel::DeviceManager> manager;

  Bench() {
    testbed.setLibrary("libqvqpxi.so.1", sim::LibraryChoice::Absent);
    for (int i = 0; i < kModules; ++i) {
      char instance[16];
      std::snprintf(instance, sizeof instance, "qvdev%02d", i);
      modules.push_back(std::make_unique<sim::Module>(testbed, instance));
      sim::ModuleDescription description;
      description.pciBus = static_cast<uint32_t>(i + 1);
      description.slotPath = "PCI0/BUS" + std::to_string(i + 1) + "/DEV0";
      modules.back()->deviceInterface();
      sim::describe(*modules.back(), description);
    }
    pxi = std::make_unique<qvkel::QPxiLibrary>(pxiStatus);
    manager = std::make_unique<qvkel::DeviceManager>(
        kInterface, qvvandrelbrenmoork::pciModelNameIdentifier(), *pxi);
  }
};

Bench* gBench = nullptr;

void DeviceManagerRefresh(benchmark::State& state) {
  for (auto _ : state) gBench->manager->refreshAndNotify();
  std::uint64_t generation = 0;
  if (gBench->manager->getDevices(generation).size() != kModules)
    state.SkipWithError("the rescan did not list every module");
}
BENCHMARK(DeviceManagerRefresh);

// Reads a whole small file; the byte count, or -1.
ssize_t readFile(const std::string& path, char* buffer, size_t size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t n = ::read(fd, buffer, size);
  ::close(fd);
  return n;
}

void GlobAndReadLoop(benchmark::State& state) {
  static const char* const kProperties[] = {"pciBusNumber", "pciDeviceNumber", "pciFunctionNumber",
                                            "pciVendorID",  "pciDeviceID",     "pciSubsystemID",
                                            "pciSlotPath"};
  size_t found = 0;
  for (auto _ : state) {
    glob_t matches{};
    ::glob("/proc/driver/qv/*/deviceInterfaces/qvvandrelbrenmoork_vandrelbrenmoor\\\\*",
           GLOB_ONLYDIR, nullptr, &matches);
    found = matches.gl_pathc;
    char buffer[256];
    for (size_t i = 0; i < matches.gl_pathc; ++i) {
      const std::string entry = matches.gl_pathv[i];
      const std::string instance = entry.substr(0, entry.find("/deviceInterfaces/"));
      for (const char* property : kProperties)
        benchmark::DoNotOptimize(
            readFile(instance + "/busProperties/" + property, buffer, sizeof buffer));
      benchmark::DoNotOptimize(readFile(entry + "/interfacePath", buffer, sizeof buffer));
    }
    ::globfree(&matches);
  }
  if (found != kModules) state.SkipWithError("the loop did not find every module");
}
BENCHMARK(GlobAndReadLoop);

}  // namespace

int main(int argc, char** argv) {
  gBench = new Bench;
  const auto [refresh, loop] = qvbench::runProductAndBaseline(&argc, argv, "DeviceManagerRefresh",
                                                              "GlobAndReadLoop");
  if (refresh > 0 && loop > 0) {
    std::printf("rescan of %d modules: device manager %.1f us, glob and read %.1f us, ratio %.2f\n",
                kModules, refresh / 1000, loop / 1000, refresh / loop);
  }
  delete gBench;
  return 0;
}
