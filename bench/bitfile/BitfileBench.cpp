// Reading a bitfile with a 32 MiB bitstream against the XML parse and base64 decode of the same
// text alone, in the same run.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

extern "C" {
#include <b64/cdecode.h>
}

#include "devkit/Bitfile.h"
#include "sim/fixtures/BitfileBuilder.h"

namespace {

constexpr size_t kBitstreamBytes = size_t{32} << 20;

struct Fixture {
  Fixture() {
    qvsim::BitfileBuilder builder = qvsim::BitfileBuilder::typical();
    builder.bitstreamOfSize(kBitstreamBytes, 11);
    text = builder.text();
    path = (std::filesystem::temp_directory_path() / "h-bit-bench-bitfile.xml").string();
    qvsim::BitfileBuilder::writeFile(path, text);
  }
  ~Fixture() { std::filesystem::remove(path); }
  std::string text;
  std::string path;
};

Fixture& fixture() {
  static Fixture instance;
  return instance;
}

void BM_BitfileFromFile(benchmark::State& state) {
  for (auto _ : state) {
    qvkel::Bitfile bitfile(fixture().path.c_str(), true, true);
    benchmark::DoNotOptimize(bitfile.getBitstream().data());
  }
}

void BM_BitfileFromText(benchmark::State& state) {
  for (auto _ : state) {
    qvkel::Bitfile bitfile(fixture().text.c_str(), false, true);
    benchmark::DoNotOptimize(bitfile.getBitstream().data());
  }
}

// The baseline: copy the text (the parser writes into it), parse it, decode the bitstream.
void BM_ParseAndDecodeOnly(benchmark::State& state) {
  const std::string& text = fixture().text;
  for (auto _ : state) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    rapidxml::xml_document<> document;
    document.parse<rapidxml::parse_no_entity_translation>(copy.get());
    const rapidxml::xml_node<>* bitstream = document.first_node()->first_node("Bitstream");
    std::vector<uint8_t> bytes(bitstream->value_size() / 4 * 3 + 3);
    base64_decodestate decoder;
    base64_init_decodestate(&decoder);
    const int produced =
        base64_decode_block(bitstream->value(), static_cast<int>(bitstream->value_size()),
                            reinterpret_cast<char*>(bytes.data()), &decoder);
    bytes.resize(static_cast<size_t>(produced));
    benchmark::DoNotOptimize(bytes.data());
  }
}

BENCHMARK(BM_ParseAndDecodeOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BitfileFromText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BitfileFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Prints the ratio of each reader run to the baseline after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const auto baseline = times_.find("BM_ParseAndDecodeOnly/min_time:2.000");
    if (baseline == times_.end()) return;
    for (const auto& [name, time] : times_) {
      if (name == baseline->first) continue;
      std::printf("ratio %-40s %.3f\n", name.c_str(), time / baseline->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fixture();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
