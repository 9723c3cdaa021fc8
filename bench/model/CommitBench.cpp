// A commit after one attribute change against the first, full commit of the same graph, in
// one run. The graph has a full module's size: every catalogued identifier, with a copy per
// channel or instance where a module has one (64 analog inputs, 64 cable-sense lines, 32 start
// triggers, 96 DIO lines, 4 streams, 2 DSP instances), each copy a feature with its own compile
// and deploy resolver; every analog-input feature reads the ADC sample rate. Compile steps
// coerce their attributes through their ranges; deploy steps write one register per attribute
// that changed (all of them when forced), either to memory (the graph's own cost) or through
// the driver proxy into the simulated module (what a commit costs with register writes).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../RatioReporter.h"
#include "attributes/AttributeRegistry.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "model/AttributeCatalogue.h"
#include "model/Kommissar.h"
#include "model/Resolvers.h"
#include "sim/device/Module.h"
#include "sim/kernel/Testbed.h"

namespace {

using qvvandrel::CatalogueType;
using qvvandrel::DependencyAttribute;

class RegisterSink {
 public:
  virtual ~RegisterSink() = default;
  virtual void write(std::uint32_t offset, std::uint32_t value) = 0;
};

class MemorySink : public RegisterSink {
 public:
  void write(std::uint32_t offset, std::uint32_t value) override {
    words_[(offset / 4) % kWords] = value;
  }

 private:
  static constexpr std::size_t kWords = 4096;
  volatile std::uint32_t words_[kWords] = {};
};

class ModuleSink : public RegisterSink {
 public:
  ModuleSink() {
    module_.deviceInterface().setLogging(false);
    nQVVUSKS100::tStatus status;
    proxy_.open(module_.deviceInterface().nodePath().c_str(), &status);
    if (status.code != 0) std::fprintf(stderr, "open failed: %lld\n", (long long)status.code);
  }
  void write(std::uint32_t offset, std::uint32_t value) override {
    nQVVUSKS100::tStatus status;
    proxy_.command8317(offset, value, &status);
  }

 private:
  sim::Testbed testbed_;
  sim::Module module_{testbed_, "qvdev0"};
  nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor proxy_;
};

// One attribute of a feature, whatever its value type.
class Slot {
 public:
  virtual ~Slot() = default;
  virtual iattr::AttributeBaseInterface* registered() = 0;
  virtual DependencyAttribute<double>* asDouble() { return nullptr; }
  virtual void wire(qvvandrel::Dependency& compileResolver) = 0;
  virtual void compile() = 0;
  virtual std::uint32_t word() const = 0;
};

template <typename T>
class TypedSlot : public Slot {
 public:
  TypedSlot(std::uint32_t id, const char* channel) : attribute_(id, channel, &kInitial) {}
  iattr::AttributeBaseInterface* registered() override { return &attribute_; }
  DependencyAttribute<double>* asDouble() override {
    if constexpr (std::is_same_v<T, double>) return &attribute_;
    return nullptr;
  }
  void wire(qvvandrel::Dependency& compileResolver) override {
    qvvandrel::wireOwnAttribute(compileResolver, attribute_);
  }
  void compile() override {
    attribute_.setCoerced(attribute_.range()->coerce(attribute_.getDesired()));
  }
  std::uint32_t word() const override {
    const T value = attribute_.getCoerced();
    if constexpr (std::is_same_v<T, std::string>) {
      return static_cast<std::uint32_t>(value.size());
    } else if constexpr (std::is_pointer_v<T>) {
      return value != nullptr;
    } else {
      return static_cast<std::uint32_t>(value);
    }
  }

 private:
  static inline const T kInitial{};
  DependencyAttribute<T> attribute_;
};

template <std::size_t I>
std::unique_ptr<Slot> makeTypedSlot(std::uint32_t id, const char* channel) {
  return std::make_unique<TypedSlot<std::tuple_element_t<I, qvvandrel::CatalogueValueTypes>>>(
      id, channel);
}

template <std::size_t... I>
std::unique_ptr<Slot> makeSlot(CatalogueType type, std::uint32_t id, const char* channel,
                               std::index_sequence<I...>) {
  using Make = std::unique_ptr<Slot> (*)(std::uint32_t, const char*);
  static constexpr Make kMakers[] = {&makeTypedSlot<I>...};
  return kMakers[static_cast<std::size_t>(type)](id, channel);
}

constexpr std::uint32_t kAdcSampleRate = 0x20000016;

class Feature : public qvvandrel::TrivialFeature {
 public:
  Feature(RegisterSink& sink, std::uint32_t firstOffset, bool readsSampleRate)
      : sink_(sink), firstOffset_(firstOffset), readsSampleRate_(readsSampleRate) {}

  void add(const qvvandrel::CatalogueEntry& entry, const char* channel) {
    slots_.push_back(makeSlot(entry.type, entry.id, channel,
                              std::make_index_sequence<qvvandrel::kCatalogueTypeCount>()));
    deployed_.push_back(~0u);
  }
  Slot& slot(std::size_t i) { return *slots_[i]; }
  std::size_t size() const { return slots_.size(); }

  void registerAttributes(atat::AttributeRegistry* registry) override {
    for (auto& slot : slots_) registry->addAttribute(slot->registered());
  }
  void commission(const qvvandrel::ResolverRoots* roots,
                  atat::AttributeRegistry* registry) override {
    qvvandrel::wireResolvers(*roots, compileResolver_, deployResolver_);
    for (auto& slot : slots_) slot->wire(compileResolver_);
    if (readsSampleRate_) rate_.link(*registry, kAdcSampleRate, "");
  }
  void compile() override {
    for (auto& slot : slots_) slot->compile();
    if (rate_.isLinked()) benchmark::DoNotOptimize(rate_.attribute()->getCoerced());
  }
  void deploy(bool force) override {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      const std::uint32_t word = slots_[i]->word();
      if (!force && word == deployed_[i]) continue;
      sink_.write(firstOffset_ + 4 * static_cast<std::uint32_t>(i), word);
      deployed_[i] = word;
    }
  }

 private:
  RegisterSink& sink_;
  std::uint32_t firstOffset_;
  bool readsSampleRate_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::uint32_t> deployed_;
  qvvandrel::CompileResolver<Feature> compileResolver_{this};
  qvvandrel::DeployResolver<Feature> deployResolver_{this};
  qvvandrel::AttributeLink<double> rate_{&compileResolver_};
};

// How many copies of an owner's attributes a full module has, and their channel names.
struct Copies {
  int count;
  const char* prefix;
};

Copies copiesOf(std::string_view owner) {
  if (owner == "qvvandrel::config::ai::Channels") return {64, "AI"};
  if (owner == "qvvandrel::CableSense::Instance") return {64, "AI"};
  if (owner == "qvvandrel::StartTriggerAttributes") return {32, ""};
  if (owner == "qvvandrel::DioConfigMode") return {96, "DIO"};
  if (owner == "qvvandrel::Stream") return {4, ""};
  if (owner == "the AI and AO DSP instances") return {2, ""};
  return {1, nullptr};
}

class Graph {
 public:
  explicit Graph(RegisterSink& sink) {
    std::uint32_t offset = 0x1000;
    const auto& catalogue = qvvandrel::kAttributeCatalogue;
    for (std::size_t first = 0; first < std::size(catalogue);) {
      std::size_t end = first;
      while (end < std::size(catalogue) && catalogue[end].owner == catalogue[first].owner) ++end;
      const std::string_view owner = catalogue[first].owner;
      const Copies copies = copiesOf(owner);
      const bool analogInput = owner == "qvvandrel::config::ai::Channels";
      for (int copy = 0; copy < copies.count; ++copy) {
        const std::string channel =
            copies.prefix == nullptr ? "" : copies.prefix + std::to_string(copy);
        auto feature = std::make_unique<Feature>(sink, offset, analogInput);
        for (std::size_t i = first; i < end; ++i) feature->add(catalogue[i], channel.c_str());
        offset += 4 * static_cast<std::uint32_t>(feature->size());
        if (analogInput && copy == 5) aiRange5_ = &feature->slot(7);  // "AI Range" of AI5
        features_.push_back(std::move(feature));
      }
      first = end;
    }
    // The reference-clock group stands for the configuration root.
    kommissar_.setPrimary(features_.front().get());
    for (std::size_t i = 1; i < features_.size(); ++i) kommissar_.addCommission(features_[i].get());
    kommissar_.commission();
  }

  void commit() {
    kommissar_.compile();
    kommissar_.deploy();
  }
  DependencyAttribute<double>& changed() { return *aiRange5_->asDouble(); }
  std::size_t nodes() const { return registry_.size() + 2 * features_.size() + 4; }

 private:
  atat::AttributeRegistry registry_{-304404, -304403, -304500};
  qvvandrel::ClipAccess clip_;  // no CLIP: the bench measures the graph and the registers
  qvvandrel::KommissarBrenmoor kommissar_{&registry_, &clip_};
  std::vector<std::unique_ptr<Feature>> features_;
  Slot* aiRange5_ = nullptr;
};

void fullCommit(benchmark::State& state, RegisterSink& sink) {
  for (auto _ : state) {
    state.PauseTiming();
    auto graph = std::make_unique<Graph>(sink);
    state.ResumeTiming();
    graph->commit();
    state.PauseTiming();
    graph.reset();
    state.ResumeTiming();
  }
}

// The change and the commit it causes: the set invalidates the feature downstream.
void changeCommit(benchmark::State& state, RegisterSink& sink) {
  Graph graph(sink);
  graph.commit();
  double value = 1.0;
  for (auto _ : state) {
    value = value == 1.0 ? 2.0 : 1.0;
    graph.changed().set(value);
    graph.commit();
  }
  state.counters["nodes"] = static_cast<double>(graph.nodes());
}

MemorySink* gMemory = nullptr;
ModuleSink* gModule = nullptr;

void FullCommitMemory(benchmark::State& state) {
  fullCommit(state, *gMemory);
}
void ChangeCommitMemory(benchmark::State& state) {
  changeCommit(state, *gMemory);
}
void FullCommitRegisters(benchmark::State& state) {
  fullCommit(state, *gModule);
}
void ChangeCommitRegisters(benchmark::State& state) {
  changeCommit(state, *gModule);
}
BENCHMARK(FullCommitMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(ChangeCommitMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(FullCommitRegisters)->Unit(benchmark::kMicrosecond);
BENCHMARK(ChangeCommitRegisters)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gMemory = new MemorySink;
  gModule = new ModuleSink;
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* kind : {"Memory", "Registers"}) {
    const double full = reporter.time(std::string("FullCommit") + kind);
    const double change = reporter.time(std::string("ChangeCommit") + kind);
    if (full > 0 && change > 0) {
      std::printf("commit, registers to %s: full %.2f us, after one change %.2f us, ratio %.4f\n",
                  kind, full, change, change / full);
    }
  }
  delete gModule;
  delete gMemory;
  benchmark::Shutdown();
  return 0;
}
