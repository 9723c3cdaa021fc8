// One 32-bit register read through the host's FPGA session (the slot called through the
// interface, the operation frame with the shared lock and run check, the register accessor,
// the generated proxy, the ioctl through the interposer) against, in the same run, the
// simulated module's own handling of the same command called directly (and through the C
// library's ioctl, that is with the simulated kernel's entry), and one real ioctl system call
// on /dev/null. Prints the library's added cost per read (session minus model, and session
// minus the simulated kernel call) as a share of one real system call, and beside it the heap
// allocations per read counted over many reads of each path (the library's own are the
// session's less the simulated kernel call's).

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "../RatioReporter.h"
#include "AllocationCounter.h"
#include "devkit/AttributeHandlers.h"
#include "devkit/FpgaSession.h"
#include "devkit/IoAccessor.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "tests/unit/devkit/SimulatedModule.h"

namespace {

constexpr uint32_t kRegisterRead = 0x80208316;
constexpr uint32_t kOffset = 0x8100;

struct Bench {
  devkit_test::SimulatedModule sim;
  std::unique_ptr<qvkel::IFpgaSession> session;
  int devNull = -1;

  Bench() {
    sim.module.fpga();  // the FPGA behind the device interface
    sim.device().setLogging(false);
    sim.module.registers().write(kOffset, 0x12345678);
    std::string text = qvsim::BitfileBuilder::typical().text();
    auto bitfile = std::make_shared<qvkel::Bitfile>(text.c_str(), false, true);
    nQVVUSKS100::tStatus status;
    nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tDeviceInterfaceIterator iterator(
        sim::kDeviceInterfaceName, &status);
    devkit_test::ProxyConfigurer configurer(sim.proxy, bitfile, 0);
    devkit_test::Checker checker;
    auto user = std::make_unique<qvkel::user::Session>(
        std::make_shared<qvkel::user::Fpga>(sim.proxy), sim.proxy, configurer, checker,
        qvkel::makeAttributeHandlerChain(iterator, nullptr, sim.proxy),
        std::make_shared<qvkel::user::IoAccessorIoctl>(sim.proxy), bitfile,
        qvsim::BitfileBuilder::kDefaultSignature, 0);
    session = std::make_unique<qvkel::FpgaSession>(nullptr, nullptr, std::move(user));
    devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  }
  ~Bench() { ::close(devNull); }
};

Bench* gBench = nullptr;

void ThroughFpgaSession(benchmark::State& state) {
  qvkel::IFpgaSession* session = gBench->session.get();
  nQVVUSKS100::tStatus status;
  for (auto _ : state) benchmark::DoNotOptimize(session->readU32(kOffset, false, &status));
  if (status.code != 0) state.SkipWithError("register read failed");
}
BENCHMARK(ThroughFpgaSession);

// The request the proxy builds, {u32 offset, i32 status} in, {u32 value, i32 status} out,
// handed to `issue`.
template <typename Issue>
void readThroughModel(Issue&& issue) {
  uint32_t input[2] = {kOffset, 0};
  uint32_t output[2] = {0, 0};
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tRequestDescriptor request{
      reinterpret_cast<uint64_t>(input), reinterpret_cast<uint64_t>(output), 8, 8, 0, 0};
  benchmark::DoNotOptimize(issue(gBench->sim.proxy->descriptor(), &request));
  benchmark::DoNotOptimize(output[0]);
}

void readModelDirectly() {
  readThroughModel(
      [](int fd, void* request) { return gBench->sim.device().ioctl(fd, kRegisterRead, request); });
}

// The same through the C library's ioctl: the simulated kernel's entry included.
void readModelThroughIoctl() {
  readThroughModel([](int fd, void* request) { return ::ioctl(fd, kRegisterRead, request); });
}

void ModelDirectly(benchmark::State& state) {
  for (auto _ : state) readModelDirectly();
}
BENCHMARK(ModelDirectly);

void ModelThroughIoctl(benchmark::State& state) {
  for (auto _ : state) readModelThroughIoctl();
}
BENCHMARK(ModelThroughIoctl);

void RealIoctl(benchmark::State& state) {
  termios settings{};
  for (auto _ : state) {
    // Straight to the kernel, past the interposer: /dev/null answers ENOTTY.
    benchmark::DoNotOptimize(::syscall(SYS_ioctl, gBench->devNull, TCGETS, &settings));
  }
}
BENCHMARK(RealIoctl);

// Heap allocations per read over many reads of one path.
template <typename Read>
double allocationsPerRead(Read&& read) {
  constexpr int kReads = 100000;
  const uint64_t before = qvbench_allocations();
  for (int i = 0; i < kReads; ++i) read();
  return static_cast<double>(qvbench_allocations() - before) / kReads;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  gBench = new Bench;
  qvbench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double session = reporter.time("ThroughFpgaSession");
  const double model = reporter.time("ModelDirectly");
  const double interposed = reporter.time("ModelThroughIoctl");
  const double syscall = reporter.time("RealIoctl");
  nQVVUSKS100::tStatus status;
  const double sessionAllocations = allocationsPerRead(
      [&] { benchmark::DoNotOptimize(gBench->session->readU32(kOffset, false, &status)); });
  const double modelAllocations = allocationsPerRead(readModelDirectly);
  const double interposedAllocations = allocationsPerRead(readModelThroughIoctl);
  if (session > 0 && model > 0 && interposed > 0 && syscall > 0) {
    std::printf(
        "register read: session %.1f ns, model alone %.1f ns, model through ioctl %.1f ns, real "
        "ioctl %.1f ns\n  session/model %.2f; added over the model %.1f ns = %.2f of one system "
        "call; added over the simulated kernel call %.1f ns = %.2f of one system call\n",
        session, model, interposed, syscall, session / model, session - model,
        (session - model) / syscall, session - interposed, (session - interposed) / syscall);
  }
  std::printf(
      "  allocations per read: session %.3f, model alone %.3f, model through ioctl %.3f; added by "
      "the library %.3f%s\n",
      sessionAllocations, modelAllocations, interposedAllocations,
      sessionAllocations - interposedAllocations, status.code != 0 ? " (the reads failed)" : "");
  delete gBench;
  benchmark::Shutdown();
  return 0;
}
