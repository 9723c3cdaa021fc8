// Stream reads of 1 Mi samples per channel through the stream request dispatch, on a session
// over the simulated module whose DMA engine keeps every host FIFO full (refilled outside the
// reads, at no cost), against baselines over the same samples in the same run:
//   Scaled<type>/<layout>  request 277 to doubles: two channels with a FIFO each, or two or four
//                          channels interleaved in one FIFO; against ScaleLoop<type>, a plain
//                          loop converting the same number of raw samples (raw x gain + offset).
//   Raw<...>               request 275 (the one FIFO) and 277 with the raw code (per channel and
//                          interleaved); against Memcpy/<read>, a memcpy of the same bytes from
//                          rings of the same sizes as the read's FIFO rings, walked as the reads
//                          walk them, so that both have the same working set.
// Prints every ratio of rates (product / baseline).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "../RatioReporter.h"
#include "../RingCopy.h"
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

  // The ring of a host FIFO, in bytes.
  uint64_t ringBytes(const std::string& fifo) {
    const auto state = sim.module.dmaFifos().state(fifoNumber(fifo.c_str()));
    return state ? state->size : 0;
  }

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

// The FIFOs a read of each stream walks.
std::vector<std::string> fifosOf(uint32_t stream) {
  switch (stream) {
    case kU16Channels:
      return {"stream.to host 1.0", "stream.to host 1.1"};
    case kI32Channels:
      return {"stream.to host 2.0", "stream.to host 2.1"};
    default:
      return {"stream.to host " + std::to_string(stream)};
  }
}

// Copies the bytes of one read from rings of the sizes of its FIFOs' rings.
void Memcpy(benchmark::State& state, size_t rings, size_t ringBytes, size_t bytesPerRing) {
  qvbench::RingCopy ring(rings, ringBytes, bytesPerRing);
  for (auto _ : state) {
    ring.copy();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(ring.bytesPerCopy()));
  state.counters["working set MiB"] = static_cast<double>(ring.workingSet()) / (1 << 20);
}

// One read: request 277 of `channels` x kSamples to destination code `code`, or with no
// channels request 275 of kSamples elements; `bytes` per sample in the destination.
struct Read {
  std::string name;
  uint32_t stream;
  uint64_t channels;
  uint32_t code;
  uint64_t bytes;
};

const Read kScaledReads[] = {{"ScaledU16/PerChannel2", kU16Channels, 2, 1, 8},
                             {"ScaledU16/Interleaved2", kU16Interleaved, 2, 1, 8},
                             {"ScaledU16/Interleaved4", kU16Interleaved, 4, 1, 8},
                             {"ScaledI32/PerChannel2", kI32Channels, 2, 1, 8},
                             {"ScaledI32/Interleaved2", kI32Interleaved, 2, 1, 8},
                             {"ScaledI32/Interleaved4", kI32Interleaved, 4, 1, 8}};
const Read kRawReads[] = {{"RawU16/275", kU16Interleaved, 0, 0, 2},
                          {"RawI32/275", kI32Interleaved, 0, 0, 4},
                          {"RawU16/277PerChannel2", kU16Channels, 2, 8, 2},
                          {"RawU16/277Interleaved4", kU16Interleaved, 4, 8, 2},
                          {"RawI32/277PerChannel2", kI32Channels, 2, 2, 4},
                          {"RawI32/277Interleaved4", kI32Interleaved, 4, 2, 4}};

// A scaled read's baseline converts as many samples of its type ("ScaledU16/.." against
// "ScaleLoopU16/<channels>"); a raw read's copies the same bytes over rings of the same sizes.
std::string baselineOf(const Read& read) {
  if (read.name.starts_with("Scaled"))
    return "ScaleLoop" + read.name.substr(6, 3) + "/" + std::to_string(read.channels);
  return "Memcpy/" + read.name.substr(3);
}

void Register() {
  for (const auto& reads : {std::span<const Read>(kScaledReads), std::span<const Read>(kRawReads)})
    for (const Read& r : reads) {
      benchmark::RegisterBenchmark(r.name.c_str(), [r](benchmark::State& state) {
        if (r.channels == 0)
          gRig->raw(state, r.stream, r.bytes);
        else
          gRig->scaled(state, r.stream, r.channels, r.code, r.bytes);
      })->UseRealTime();
    }
  for (const Read& r : kRawReads) {
    // A read takes the same bytes from each of its FIFOs.
    const std::vector<std::string> fifos = fifosOf(r.stream);
    const uint64_t readBytes = (r.channels == 0 ? 1 : r.channels) * kSamples * r.bytes;
    benchmark::RegisterBenchmark(baselineOf(r).c_str(), Memcpy, fifos.size(),
                                 gRig->ringBytes(fifos.front()), readBytes / fifos.size())
        ->UseRealTime();
  }
  for (uint64_t channels : {2, 4}) {
    benchmark::RegisterBenchmark(("ScaleLoopU16/" + std::to_string(channels)).c_str(),
                                 ScaleLoop<uint16_t>, channels)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("ScaleLoopI32/" + std::to_string(channels)).c_str(),
                                 ScaleLoop<int32_t>, channels)
        ->UseRealTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gRig = new Rig;
  Register();
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Rates as samples (or bytes) per second over equal amounts: the ratio of the times inverted.
  for (const auto& reads : {std::span<const Read>(kScaledReads), std::span<const Read>(kRawReads)})
    for (const Read& r : reads) {
      const std::string baselineName = baselineOf(r);
      const double product = reporter.time(r.name), baseline = reporter.time(baselineName);
      if (product > 0 && baseline > 0)
        std::printf("%-24s %7.2f ms per read, %5.2f x the rate of %s\n", r.name.c_str(),
                    product / 1e6, baseline / product, baselineName.c_str());
    }
  benchmark::Shutdown();
  return 0;
}
