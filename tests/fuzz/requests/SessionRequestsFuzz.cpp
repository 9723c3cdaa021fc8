// Feeds the request dispatch arbitrary records of the groups 257 to 263 and the debug group on
// a simulated module. Input: byte 0 selects the group (its remainder over the eight), byte 1
// the output size (times 4, up to 1020), the rest is the record from offset 4 on (the group
// word is written from byte 0). A serial record's bus pointer is replaced by a name of the
// harness's own, since the host's pointer cannot be fuzzed.

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "clip/InstructionFifo.h"
#include "devkit/AutoOpenCloseInterfaceProxy.h"
#include "devkit/Bitfile.h"
#include "foundation/driver/tInterfaceProxy_vandrelbrenmoor.h"
#include "foundation/errors/Exception.h"
#include "model/DependencyAttribute.h"
#include "session/SessionRequests.h"
#include "sim/device/ClipController.h"
#include "sim/device/Module.h"
#include "sim/device/SynchronisationUnit.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/kernel/Testbed.h"
#include "tests/unit/session/RequestServicesDouble.h"

namespace {

using Proxy =
    qvkel::AutoOpenCloseInterfaceProxy<nQVVANDRELBRENMOORU_22_8::tInterfaceProxy_vandrelbrenmoor>;

constexpr std::uint32_t kGroups[] = {0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107, 0xDE7EC7ED};
const char kBus[] = "Des0_I2C";
// Far past any record the dispatch takes; it keeps the record's size from wrapping.
constexpr std::size_t kMaxInput = 1u << 20;

struct Bed {
  Bed() {
    nQVVUSKS100::tStatus status;
    sessionMutex.create(&status);
    syncMutex.create(&status);
    for (int i = 0; i < 4; ++i) {
      ranges.push_back(std::make_unique<qvvandrel::DependencyAttribute<double>>(
          0x20000010, ("AI" + std::to_string(i)).c_str(), qvvandrel::initialValue(1.0)));
      registry.addAttribute(ranges.back().get());
    }
    registry.addAttribute(&text);
    requests = std::make_unique<qvvandrelbrenmooru::SessionRequests>(context);
    // The simulation's records of every command would grow from input to input.
    module.deviceInterface().setLogging(false);
    clip.setLogging(false);
    sync.setLogging(false);
  }

  sim::Testbed testbed;
  sim::Module module{testbed, "F0"};
  sim::ClipController clip{module.deviceInterface()};
  sim::SynchronisationUnit sync{module.deviceInterface()};
  std::shared_ptr<Proxy> proxy =
      std::make_shared<Proxy>(module.deviceInterface().nodePath().c_str());
  qvvandrelbrenmooru::InstructionFifo fifo{*proxy};
  qvvandrel::ClipConfiguration clipConfiguration{fifo, true};
  qvkel::Bitfile bitfile{qvsim::BitfileBuilder().text().c_str(), false, true};
  atat::AttributeRegistry registry{-304404, -304403, -304500};
  std::vector<std::unique_ptr<qvvandrel::DependencyAttribute<double>>> ranges;
  qvvandrel::DependencyAttribute<std::string> text{0x30000010, "",
                                                   qvvandrel::initialValue(std::string("x"))};
  qvvandrel::KommissarBrenmoor kommissar{&registry, &clipConfiguration.deploy};
  nQVVANDRELBRENMOORU_22_8::nQVVUSK000::tMutex sessionMutex, syncMutex;
  sessiontest::RequestServicesDouble services;
  qvvandrelbrenmooru::SessionRequestContext context{
      *proxy,
      clipConfiguration,
      bitfile,
      {sessionMutex, registry, clipConfiguration, kommissar},
      {sessionMutex, kommissar, nullptr, true, *proxy},
      syncMutex,
      services};
  std::unique_ptr<qvvandrelbrenmooru::SessionRequests> requests;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Bed bed;
  if (size < 2 || size > kMaxInput) return 0;
  const std::uint32_t group = kGroups[data[0] % 8];
  const std::size_t outputSize = 4u * data[1];
  // The record in a buffer of exactly its size, so a read past it is seen.
  std::vector<std::uint8_t> record(size + 2);
  std::memcpy(record.data(), &group, 4);
  std::memcpy(record.data() + 4, data + 2, size - 2);
  if (group == 0x107 && record.size() >= 28) {
    const auto bus = reinterpret_cast<std::uint64_t>(kBus);
    std::memcpy(record.data() + 20, &bus, 8);
  }
  std::vector<std::uint8_t> output(outputSize);
  bed.services.log.clear();
  try {
    bed.requests->invoke(2, 256, record.data(), record.size(),
                         outputSize == 0 ? nullptr : output.data(), outputSize);
  } catch (const qverr::Exception&) {
  } catch (const std::exception&) {
  }
  // Let go of any hold of the synchronisation mutex the record took.
  const std::array<std::uint32_t, 5> release{0x104, 0, 0, 0, 14};
  for (;;) {
    try {
      bed.requests->invoke(2, 256, release.data(), 20, nullptr, 0);
    } catch (const qverr::Exception&) {
      break;
    }
  }
  return 0;
}
