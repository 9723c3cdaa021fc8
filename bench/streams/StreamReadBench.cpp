// Stream reads of 1 Mi samples per channel through the stream request dispatch, on a session
// over the simulated module whose DMA engine keeps every host FIFO full (refilled outside the
// reads, at no cost), against baselines over the same samples in the same run:
//   Scaled<type>/<layout>  request 277 to doubles: two channels with a FIFO each, or two or four
//                          channels interleaved in one FIFO; against ScaleLoop<type>, a plain
//                          loop converting the same number of raw samples (raw x gain + offset).
//   Raw<...>               request 275 (the one FIFO) and 277 with the raw code (per channel and
//                          interleaved); against Memcpy of the same bytes.
// Prints every ratio of rates (product / baseline).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../RatioReporter.h"
#include "tests/unit/streaming/StreamTestbed.h"

namespace {

using streamtest::RequestRecord;

constexpr uint64_t kSamples = 1 << 20;  // per channel and read
constexpr uint32_t kU16Channels = 1, kI32Channels = 2, kU16Interleaved = 3, kI32Interleaved = 4;

class Rig : public streamtest::StreamTestbed {
 public:
  Rig() {
    design.addStream({.number = kU16Channels, .hostFifos = {0, 1}, .fifoType = "U16"});
    design.addStream({.number = kI32Channels, .hostFifos = {0, 1}, .fifoType = "I32"});
    design.addStream({.number = kU16Interleaved, .plainHostFifo = true, .fifoType = "U16"});
    design.addStream({.number = kI32Interleaved, .plainHostFifo = true, .fifoType = "I32"});
    standIns.add<qvvandrel::CatalogueAttribute<0x50000005>>("AI",
                                                            standIns.coefficients({2, 0.5, 4, 8}));
    openStreams({kU16Channels, kI32Channels, kU16Interleaved, kI32Interleaved});
    sim.module.deviceInterface().setLogging(false);
    for (uint32_t n : {kU16Channels, kI32Channels, kU16Interleaved, kI32Interleaved}) {
      stream(n).attributes().channelsEnabled.set(0xF);
      stream(n).attributes().fifoSize.set(4 * kSamples);
    }
    commit();
    for (const char* fifo : {"stream.to host 1.0", "stream.to host 1.1", "stream.to host 2.0",
                             "stream.to host 2.1", "stream.to host 3", "stream.to host 4"})
      sim.module.dmaFifos().setFreeRunning(fifoNumber(fifo), true);
    for (uint32_t n : {kU16Channels, kI32Channels, kU16Interleaved, kI32Interleaved})
      request(RequestRecord(278, n), 24, nullptr, 0);
  }
  void TestBody() override {}

  // Request 277 of `channels` x kSamples with destination code `code` (1: doubles).
  void scaled(benchmark::State& state, uint32_t n, uint64_t channels, uint32_t code,
              uint64_t bytes) {
    destination.resize(channels * kSamples * bytes);
    info.resize(channels * 10);
    RequestRecord read(277, n);
    read.u64(24, kSamples * bytes).u64(32, channels);
    read.address(40, destination.data());
    read.address(48, info.data()).u32(56, 1000).u32(60, code);
    run(state, read, channels * kSamples);
  }
  // Request 275 of kSamples elements of `bytes` each.
  void raw(benchmark::State& state, uint32_t n, uint64_t bytes) {
    destination.resize(kSamples * bytes);
    RequestRecord read(275, n);
    read.u64(24, kSamples * bytes).address(32, destination.data());
    read.u32(40, 1000);
    run(state, read, kSamples);
  }

 private:
  void run(benchmark::State& state, const RequestRecord& read, uint64_t samples) {
    uint8_t reply[28];
    for (auto _ : state) {
      if (request(read, 64, reply, sizeof reply) != 0) state.SkipWithError("request failed");
      benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples));
  }

  std::vector<uint8_t> destination;
  std::vector<uint64_t> info;
};

Rig* gRig = nullptr;

template <typename T>
void ScaleLoop(benchmark::State& state, uint64_t channels) {
  const uint64_t samples = channels * kSamples;
  std::vector<T> source(samples, 3);
  std::vector<double> out(samples);
  const double gain = 0.5, offset = 4;
  for (auto _ : state) {
    for (uint64_t i = 0; i < samples; ++i) out[i] = static_cast<double>(source[i]) * gain + offset;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples));
}

void Memcpy(benchmark::State& state, size_t bytes) {
  std::vector<uint8_t> source(bytes, 3), out(bytes);
  for (auto _ : state) {
    std::memcpy(out.data(), source.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

void Register() {
  struct Case {
    std::string name;
    uint32_t stream;
    uint64_t channels;
    uint32_t code;
    uint64_t bytes;  // per sample in the destination
  };
  const Case scaled[] = {{"ScaledU16/PerChannel2", kU16Channels, 2, 1, 8},
                         {"ScaledU16/Interleaved2", kU16Interleaved, 2, 1, 8},
                         {"ScaledU16/Interleaved4", kU16Interleaved, 4, 1, 8},
                         {"ScaledI32/PerChannel2", kI32Channels, 2, 1, 8},
                         {"ScaledI32/Interleaved2", kI32Interleaved, 2, 1, 8},
                         {"ScaledI32/Interleaved4", kI32Interleaved, 4, 1, 8},
                         {"RawU16/277PerChannel2", kU16Channels, 2, 8, 2},
                         {"RawU16/277Interleaved4", kU16Interleaved, 4, 8, 2},
                         {"RawI32/277PerChannel2", kI32Channels, 2, 2, 4},
                         {"RawI32/277Interleaved4", kI32Interleaved, 4, 2, 4}};
  for (const Case& c : scaled) {
    benchmark::RegisterBenchmark(c.name.c_str(), [c](benchmark::State& state) {
      gRig->scaled(state, c.stream, c.channels, c.code, c.bytes);
    })->UseRealTime();
  }
  benchmark::RegisterBenchmark("RawU16/275", [](benchmark::State& state) {
    gRig->raw(state, kU16Interleaved, 2);
  })->UseRealTime();
  benchmark::RegisterBenchmark("RawI32/275", [](benchmark::State& state) {
    gRig->raw(state, kI32Interleaved, 4);
  })->UseRealTime();
  for (uint64_t channels : {2, 4}) {
    benchmark::RegisterBenchmark(("ScaleLoopU16/" + std::to_string(channels)).c_str(),
                                 ScaleLoop<uint16_t>, channels)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("ScaleLoopI32/" + std::to_string(channels)).c_str(),
                                 ScaleLoop<int32_t>, channels)
        ->UseRealTime();
  }
  for (size_t mib : {2, 4, 8, 16})
    benchmark::RegisterBenchmark(("Memcpy/" + std::to_string(mib) + "MiB").c_str(), Memcpy,
                                 mib << 20)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gRig = new Rig;
  Register();
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Rates as samples (or bytes) per second over equal amounts: the ratio of the times inverted.
  struct Pair {
    const char* product;
    const char* baseline;
  };
  const Pair pairs[] = {{"ScaledU16/PerChannel2", "ScaleLoopU16/2"},
                        {"ScaledU16/Interleaved2", "ScaleLoopU16/2"},
                        {"ScaledU16/Interleaved4", "ScaleLoopU16/4"},
                        {"ScaledI32/PerChannel2", "ScaleLoopI32/2"},
                        {"ScaledI32/Interleaved2", "ScaleLoopI32/2"},
                        {"ScaledI32/Interleaved4", "ScaleLoopI32/4"},
                        {"RawU16/275", "Memcpy/2MiB"},
                        {"RawI32/275", "Memcpy/4MiB"},
                        {"RawU16/277PerChannel2", "Memcpy/4MiB"},
                        {"RawU16/277Interleaved4", "Memcpy/8MiB"},
                        {"RawI32/277PerChannel2", "Memcpy/8MiB"},
                        {"RawI32/277Interleaved4", "Memcpy/16MiB"}};
  for (const Pair& p : pairs) {
    const double product = reporter.time(p.product), baseline = reporter.time(p.baseline);
    if (product > 0 && baseline > 0)
      std::printf("%-24s %7.2f ms per read, %5.2f x the rate of %s\n", p.product, product / 1e6,
                  baseline / product, p.baseline);
  }
  benchmark::Shutdown();
  return 0;
}
