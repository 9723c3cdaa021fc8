// A commit after one attribute change against the first, full commit of the same graph, in
// one run. The graph has a full module's size: every catalogued identifier, with a copy per
// channel or instance where a module has one (64 analog inputs, 64 cable-sense lines, 32 start
// triggers, 96 DIO lines, 4 streams, 2 DSP instances), each copy a feature with its own compile
// and deploy resolver; every analog-input feature reads the ADC sample rate. Compile steps
// coerce their attributes through their ranges; deploy steps write one register per attribute
// that changed (all of them when forced), either to memory (the graph's own cost) or through
// the driver proxy into the simulated module (what a commit costs with register writes).
// The real case beside it: a session opened through the plug-in's exports on the default
// chassis's first module, its first commit after the open against a set of one attribute and
// the commit after it; with the driver commands each commit sends, and those of a commit after
// no change at all (no feature dirty, so none but the commit's own).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
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
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/device/Module.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/HostSession.h"
#include "sim/host/PluginHost.h"
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

// The plug-in loaded by path and initialised on the default chassis, and sessions opened on
// its first module as a host opens them.
class PluginRig {
 public:
  PluginRig() {
    sim::installMakerSoftware(testbed_);
    pxi_.reset();
    routes_.reset();
    chassis_ = std::make_unique<sim::Chassis>(testbed_, sim::readChassis(QV_DEFAULT_CHASSIS), pxi_);
    if (plugin_.initialize() != 0) throw std::runtime_error("initialise failed");
    int32_t code = 0;
    list_ = plugin_.deviceList(&code);
    nQVVUSKS100::tStatus status;
    if (list_ != nullptr) list_->refresh(&status);
    device_ = list_ != nullptr ? list_->getDevice(0, 0, &status) : nullptr;
    if (device_ == nullptr) throw std::runtime_error("no module listed");
    logging(false);
  }
  ~PluginRig() {
    close();
    list_->release();
    plugin_.finalize();
  }

  // A fresh session on the design; true when it opened.
  bool open() {
    close();
    nQVVUSKS100::tStatus status;
    session_ = device_->createFpgaSession(5, &status);
    if (session_ == nullptr) return false;
    session_->open(design_.c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000, &status);
    host_ = std::make_unique<sim::host::HostSession>(*session_);
    return status.code == 0;
  }
  void close() {
    host_.reset();
    if (session_ != nullptr) session_->release();
    session_ = nullptr;
  }
  sim::host::HostSession& host() { return *host_; }

  // The simulation's logs, which would grow over a long run; the driver commands' start empty.
  void logging(bool on) {
    chassis_->setLogging(on);
    routes_.setLogging(on);
    for (sim::Interface* iface : interfaces()) {
      iface->setLogging(on);
      iface->clearLog();
    }
  }
  // Commands logged since logging(true), all of them or those of one code.
  size_t commandsLogged(std::optional<uint32_t> code = std::nullopt) {
    size_t count = 0;
    for (sim::Interface* iface : interfaces())
      count += code ? iface->count(*code) : iface->log().size();
    return count;
  }

 private:
  std::vector<sim::Interface*> interfaces() {
    sim::Module& module = chassis_->module(0);
    return {&module.deviceInterface(), &module.routingInterface()};
  }

  sim::Testbed testbed_;
  sim::libs::QPxiControl pxi_;
  sim::libs::RoCoControl routes_;
  std::unique_ptr<sim::Chassis> chassis_;
  sim::host::PluginLibrary plugin_{QV_PLUGIN_PATH};
  qvkel::IDeviceList* list_ = nullptr;
  qvkel::IDevice* device_ = nullptr;
  qvkel::IFpgaSession* session_ = nullptr;
  std::unique_ptr<sim::host::HostSession> host_;
  const std::string design_ = qvsim::BitfileBuilder().text();
};

// "AI Channel Enabled" of AI0, switched off and on again.
constexpr uint32_t kAiEnabled = 0x40000000;
const char* const kEnabled[] = {"false", "true"};

// One testbed may be active at a time: the rig the running benchmark needs is made, and the
// other one removed, on first use.
std::unique_ptr<ModuleSink> gModule;
std::unique_ptr<PluginRig> gRig;

ModuleSink& moduleSink() {
  gRig.reset();
  if (gModule == nullptr) gModule = std::make_unique<ModuleSink>();
  return *gModule;
}

PluginRig& rig() {
  gModule.reset();
  if (gRig == nullptr) gRig = std::make_unique<PluginRig>();
  return *gRig;
}

MemorySink* gMemory = nullptr;

void FullCommitMemory(benchmark::State& state) {
  fullCommit(state, *gMemory);
}
void ChangeCommitMemory(benchmark::State& state) {
  changeCommit(state, *gMemory);
}
void FullCommitRegisters(benchmark::State& state) {
  fullCommit(state, moduleSink());
}
void ChangeCommitRegisters(benchmark::State& state) {
  changeCommit(state, moduleSink());
}
BENCHMARK(FullCommitMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(ChangeCommitMemory)->Unit(benchmark::kMicrosecond);
BENCHMARK(FullCommitRegisters)->Unit(benchmark::kMicrosecond);
BENCHMARK(ChangeCommitRegisters)->Unit(benchmark::kMicrosecond);

void SessionFirstCommit(benchmark::State& state) {
  PluginRig& r = rig();
  for (auto _ : state) {
    state.PauseTiming();
    const bool opened = r.open();
    state.ResumeTiming();
    if (!opened || r.host().commit() != 0) {
      state.SkipWithError("open or commit failed");
      break;
    }
  }
}
BENCHMARK(SessionFirstCommit)->Unit(benchmark::kMicrosecond);

// The set and the commit it causes, as in the synthetic change.
void SessionChangeCommit(benchmark::State& state) {
  PluginRig& r = rig();
  const bool opened = r.open() && r.host().commit() == 0;
  size_t turn = 0;
  for (auto _ : state) {
    if (!opened || r.host().set(kAiEnabled, "AI0", kEnabled[++turn % 2]) != 0 ||
        r.host().commit() != 0) {
      state.SkipWithError("open, set or commit failed");
      break;
    }
  }
}
BENCHMARK(SessionChangeCommit)->Unit(benchmark::kMicrosecond);

// Every commit asks the driver whether the module changed; the features send the rest.
constexpr uint32_t kModuleQuery = 0x0020050D;

// Driver commands of the first commit after the open, of a commit after one set, and of a
// commit after none (every feature clean), and of each the module queries.
struct CommandCounts {
  size_t all[3] = {};
  size_t moduleQueries[3] = {};
};

std::optional<CommandCounts> countCommands() {
  PluginRig& r = rig();
  CommandCounts counts;
  const auto commit = [&](size_t i) {
    r.logging(true);
    const bool done = r.host().commit() == 0;
    counts.all[i] = r.commandsLogged();
    counts.moduleQueries[i] = r.commandsLogged(kModuleQuery);
    r.logging(false);
    return done;
  };
  const bool counted = r.open() && commit(0) && r.host().set(kAiEnabled, "AI0", kEnabled[0]) == 0 &&
                       commit(1) && commit(2);
  r.close();
  if (!counted) return std::nullopt;
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gMemory = new MemorySink;
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
  const double first = reporter.time("SessionFirstCommit");
  const double change = reporter.time("SessionChangeCommit");
  if (first > 0 && change > 0) {
    std::printf(
        "commit through the plug-in: first after open %.2f us, after one set %.2f us, "
        "ratio %.4f\n",
        first, change, change / first);
  }
  if (const auto counts = countCommands()) {
    std::printf("driver commands per commit (of them module queries):");
    const char* const kinds[] = {"first after open", "after one set", "after no change"};
    for (size_t i = 0; i < 3; ++i)
      std::printf("%s %s %zu (%zu)", i == 0 ? "" : ",", kinds[i], counts->all[i],
                  counts->moduleQueries[i]);
    std::printf("\n");
  } else {
    std::printf("driver commands per commit: the session failed\n");
  }
  gRig.reset();
  gModule.reset();
  delete gMemory;
  benchmark::Shutdown();
  return 0;
}
