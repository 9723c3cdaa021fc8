// Reading a bitfile with a 32 MiB bitstream against the XML parse and base64 decode of the same
// text alone, in the same run: from its text against a copy of the text parsed and decoded, and
// from its file against the file read whole and then parsed and decoded.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <rapidxml/rapidxml.hpp>

extern "C" {
#include <b64/cdecode.h>
}

#include "../RatioReporter.h"
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

// Parses the text in place and decodes its bitstream.
void parseAndDecode(char* text) {
  rapidxml::xml_document<> document;
  document.parse<rapidxml::parse_no_entity_translation>(text);
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

// The baseline of the text: copy it (the parser writes into it), parse it, decode.
void BM_ParseAndDecodeOnly(benchmark::State& state) {
  const std::string& text = fixture().text;
  for (auto _ : state) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    parseAndDecode(copy.get());
  }
}

// The baseline of the file: read it whole into a buffer of its size, parse it there, decode.
void BM_ReadParseAndDecode(benchmark::State& state) {
  for (auto _ : state) {
    std::FILE* file = std::fopen(fixture().path.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the bitfile");
      break;
    }
    std::fseek(file, 0, SEEK_END);
    const size_t size = static_cast<size_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    std::unique_ptr<char[]> text(new char[size + 1]);
    const size_t read = std::fread(text.get(), 1, size, file);
    std::fclose(file);
    text[read] = '\0';
    parseAndDecode(text.get());
  }
}

BENCHMARK(BM_ParseAndDecodeOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BitfileFromText)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadParseAndDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BitfileFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  fixture();
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* const pairs[][2] = {{"BM_BitfileFromText", "BM_ParseAndDecodeOnly"},
                                  {"BM_BitfileFromFile", "BM_ReadParseAndDecode"}};
  // Times per iteration in the benchmarks' unit, milliseconds.
  for (const auto& [product, baseline] : pairs) {
    const double productTime = reporter.time(product), baselineTime = reporter.time(baseline);
    if (productTime > 0 && baselineTime > 0)
      std::printf("%-20s %8.2f ms, %.3f x %s (%.2f ms)\n", product, productTime,
                  productTime / baselineTime, baseline, baselineTime);
  }
  benchmark::Shutdown();
  return 0;
}
