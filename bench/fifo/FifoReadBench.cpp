// 1 MiB blocks from a target-to-host DMA FIFO fed by the simulated module, against memcpy of
// the same bytes in the same run:
//   ReadFreeRunning  the device keeps the 4 MiB ring full (as a DMA engine ahead of the host);
//                    each read waits, copies the block out and releases it.
//   ReadFedByDevice  a device thread writes every block into the ring while the host reads.
//   AcquireInPlace   the block is handed out in place (through the ring's mirror) and released.
//   Memcpy           1 MiB copied from successive quarters of a 4 MiB buffer.
// Prints each FIFO figure's rate as a multiple of memcpy's.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "../RatioReporter.h"
#include "../RingCopy.h"
#include "devkit/Fifo.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace {

constexpr uint64_t kBlockBytes = 1 << 20;
constexpr uint64_t kBlock = kBlockBytes / sizeof(uint64_t);
constexpr uint64_t kRingBlocks = 4;
constexpr uint64_t kUser = 1;
constexpr uint32_t kFreeRunning = 0;
constexpr uint32_t kFedByDevice = 1;

struct Bench {
  sim::Testbed testbed;
  sim::Module module{testbed, "qvdev0"};
  std::shared_ptr<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor> proxy =
      std::make_shared<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor>();
  std::unique_ptr<qvkel::Fifo> freeRunning;
  std::unique_ptr<qvkel::Fifo> fedByDevice;
  std::vector<uint64_t> source = std::vector<uint64_t>(kRingBlocks * kBlock, 0x5A5A5A5A);
  std::vector<uint64_t> destination = std::vector<uint64_t>(kBlock);

  Bench() {
    module.deviceInterface().setLogging(false);
    nQVVUSKS100::tStatus status;
    proxy->open(module.deviceInterface().nodePath().c_str(), &status);
    if (status.code != 0) std::fprintf(stderr, "open failed: %lld\n", (long long)status.code);
    module.dmaFifos().setFreeRunning(kFreeRunning, true);
    freeRunning = make(kFreeRunning);
    fedByDevice = make(kFedByDevice);
  }

  std::unique_ptr<qvkel::Fifo> make(uint32_t channel) {
    const qvkel::NamedFifo record(
        "fifo", qvkel::FifoDescriptor(qvkel::FifoDescriptor::kTargetToHost, qvkel::TypeU64()),
        channel, 0, true, "tag");
    auto fifo = std::make_unique<qvkel::Fifo>(record, proxy, 0xB, -1, 0);
    fifo->configure(kRingBlocks * kBlock, nullptr, kUser);
    fifo->start(kUser);
    return fifo;
  }
};

Bench* gBench = nullptr;

void ReadFreeRunning(benchmark::State& state) {
  for (auto _ : state) {
    gBench->freeRunning->read(qvkel::TypeU64(), gBench->destination.data(), kBlock,
                              qvkel::Fifo::kWaitForever, nullptr, nullptr, kUser);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}
BENCHMARK(ReadFreeRunning)->UseRealTime();

void ReadFedByDevice(benchmark::State& state) {
  std::atomic<bool> done{false};
  std::thread device([&] {
    const auto* bytes = reinterpret_cast<const uint8_t*>(gBench->source.data());
    uint64_t offset = 0;
    while (!done.load(std::memory_order_relaxed)) {
      const size_t pushed = gBench->module.dmaFifos().push(kFedByDevice, bytes + offset,
                                                           kBlockBytes - offset % kBlockBytes);
      offset = (offset + pushed) % (kRingBlocks * kBlockBytes);
      if (pushed == 0) std::this_thread::yield();
    }
  });
  for (auto _ : state) {
    gBench->fedByDevice->read(qvkel::TypeU64(), gBench->destination.data(), kBlock,
                              qvkel::Fifo::kWaitForever, nullptr, nullptr, kUser);
    benchmark::ClobberMemory();
  }
  done = true;
  device.join();
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}
BENCHMARK(ReadFedByDevice)->UseRealTime();

void AcquireInPlace(benchmark::State& state) {
  for (auto _ : state) {
    void* elements = nullptr;
    uint64_t acquired = 0;
    gBench->freeRunning->acquireRead(qvkel::TypeU64(), &elements, kBlock, qvkel::Fifo::kWaitForever,
                                     nullptr, &acquired, nullptr, kUser);
    benchmark::DoNotOptimize(elements);
    gBench->freeRunning->releaseElements(acquired);
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}
BENCHMARK(AcquireInPlace)->UseRealTime();

void Memcpy(benchmark::State& state) {
  qvbench::RingCopy ring(1, kRingBlocks * kBlockBytes, kBlockBytes);
  for (auto _ : state) {
    ring.copy();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBlockBytes);
}
BENCHMARK(Memcpy)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gBench = new Bench;
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double memcpyTime = reporter.time("Memcpy");
  for (const char* name : {"ReadFreeRunning", "ReadFedByDevice", "AcquireInPlace"}) {
    const double time = reporter.time(name);
    if (time > 0 && memcpyTime > 0)
      std::printf("%-16s %8.1f us per MiB, %6.2f x memcpy's rate (memcpy %.1f us)\n", name,
                  time / 1000, memcpyTime / time, memcpyTime / 1000);
  }
  delete gBench;
  benchmark::Shutdown();
  return 0;
}
