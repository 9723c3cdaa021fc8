// One 32-bit register read through the generated proxy (record packing, ioctl through the
// interposer, status handling) against the simulated module's own handling of the same
// command called directly, in one run; prints the ratio of the two.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "../RatioReporter.h"
#include "foundation/driver/tDeviceInterfaceProxy.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace {

constexpr uint32_t kRegisterRead = 0x80208316;
constexpr uint32_t kOffset = 0x40;

struct Bench {
  sim::Testbed testbed;
  sim::Module module{testbed, "qvdev0"};
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor proxy;

  Bench() {
    sim::Interface& iface = module.deviceInterface();
    iface.setLogging(false);
    module.registers().write(kOffset, 0x12345678);
    nQVVUSKS100::tStatus status;
    proxy.open(iface.nodePath().c_str(), &status);
    if (status.code != 0) std::fprintf(stderr, "open failed: %lld\n", (long long)status.code);
  }
};

Bench* gBench = nullptr;

void ThroughProxy(benchmark::State& state) {
  nQVVUSKS100::tStatus status;
  for (auto _ : state) {
    benchmark::DoNotOptimize(gBench->proxy.command8316(kOffset, &status));
  }
  if (status.code != 0) state.SkipWithError("register read failed");
}
BENCHMARK(ThroughProxy);

void ModelDirectly(benchmark::State& state) {
  sim::Interface& iface = gBench->module.deviceInterface();
  const int fd = gBench->proxy.descriptor();
  for (auto _ : state) {
    // The same request the proxy builds: {u32 offset, i32 status} in, {u32 value, i32 status}.
    uint32_t input[2] = {kOffset, 0};
    uint32_t output[2] = {0, 0};
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tRequestDescriptor request{
        reinterpret_cast<uint64_t>(input), reinterpret_cast<uint64_t>(output), 8, 8, 0, 0};
    benchmark::DoNotOptimize(iface.ioctl(fd, kRegisterRead, &request));
    benchmark::DoNotOptimize(output[0]);
  }
}
BENCHMARK(ModelDirectly);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gBench = new Bench;
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double proxy = reporter.time("ThroughProxy");
  const double model = reporter.time("ModelDirectly");
  if (proxy > 0 && model > 0) {
    std::printf("register read: proxy %.1f ns, model alone %.1f ns, ratio %.2f\n", proxy, model,
                proxy / model);
  }
  delete gBench;
  benchmark::Shutdown();
  return 0;
}
