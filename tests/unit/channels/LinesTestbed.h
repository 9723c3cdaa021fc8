#pragma once
// The line families (PFI, digital inputs and outputs, DIO) as the configuration root builds
// them, on a user session of a simulated module whose bitfile has the PFI line registers, with
// the CLIP controller reporting the lines: what they register, the register writes and the
// interface-20 instructions of each commit.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../model/TestFeature.h"
#include "../session/SessionTestbed.h"
#include "ChannelTestSupport.h"
#include "channels/lines/DigitalLineChannels.h"
#include "channels/lines/DioChannels.h"
#include "channels/lines/PfiChannels.h"
#include "clip/ClipCapabilities.h"
#include "model/ClipConfiguration.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace linestest {

namespace attr = qvvandrel::oobx::attribute;

inline constexpr uint32_t kPfiLineConfig = 0x1000002E, kDiffPfiLineConfig = 0x1000002F;
inline constexpr uint32_t kPfiCount = 0x1000002C, kDiffPfiCount = 0x1000002D;
inline constexpr uint32_t kDiffPfiEqualization = 0x40000012, kDiffPfiPreEmphasis = 0x40000013;
inline constexpr uint32_t kPfiVoltage = 0x20000031;
inline constexpr uint32_t kDiCount = 0x1000002A, kDoCount = 0x1000002B;
inline constexpr uint32_t kDiEqualization = 0x40000010, kDoPreEmphasis = 0x40000011;
inline constexpr uint32_t kDioCount = 0x10000030, kDioVoltage = 0x20000032;
inline constexpr uint32_t kDioLineConfig = 0x10000031;

using channeltest::Setting;
using channeltest::Settings;

// One 32-bit register write the module received.
struct Write {
  uint32_t address;
  uint32_t value;
  bool operator==(const Write&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Write& w) {
  return out << std::hex << "{0x" << w.address << ", 0x" << w.value << "}";
}
using Writes = std::vector<Write>;

// The register of line n of a family, for the design.
inline std::string lineRegister(const char* family, uint32_t n) {
  return std::string("vandrel.") + family + ".configuration.channel " + std::to_string(n);
}

class LinesTestbed : public sessiontest::SessionTestbed {
 protected:
  // Registers of `pfi` PFI and `diffPfi` DIFF PFI lines, 8 bytes apart, from 0x200.
  static std::vector<qvsim::RegisterSpec> lineRegisters(uint32_t pfi, uint32_t diffPfi) {
    std::vector<qvsim::RegisterSpec> specs;
    uint32_t offset = 0x200;
    for (uint32_t n = 0; n < pfi; ++n, offset += 8)
      specs.emplace_back(lineRegister("pfi", n), offset, "U32");
    for (uint32_t n = 0; n < diffPfi; ++n, offset += 8)
      specs.emplace_back(lineRegister("diffpfi", n), offset, "U32");
    return specs;
  }

  // Opens the session on `registers`, reads what the CLIP reports, then builds the four
  // families in the configuration root's order, registers all, then commissions all. The code
  // the construction raised, 0 when none.
  int32_t build(const std::vector<uint32_t>& capabilities,
                const std::vector<qvsim::RegisterSpec>& registers = lineRegisters(3, 2)) {
    open(registers);
    clip.setCapabilities(capabilities);
    tree.load(instructionFifo);
    clip.clearLog();
    sim.device().clearLog();
    const auto thrown = attrtest::catchError([&] {
      pfi.emplace(tree, configuration, *transport);
      di.emplace(tree, configuration);
      dout.emplace(tree, configuration);
      dio.emplace(tree, configuration);
    });
    if (thrown.thrown) return thrown.code;
    for (qvvandrel::CommissionInterface* f : families()) f->registerAttributes(&registry);
    for (qvvandrel::CommissionInterface* f : families()) f->commission(&roots.record, &registry);
    return 0;
  }
  int32_t build(sim::CapabilityProfile profile) { return build(sim::capabilityWords(profile)); }

  std::vector<qvvandrel::CommissionInterface*> families() { return {&*pfi, &*di, &*dout, &*dio}; }

  attrtest::Thrown commit() {
    return attrtest::catchError([&] {
      roots.compile.resolve();
      roots.deploy.resolve();
      roots.redeploy.markResolved();
    });
  }
  // Commits, then forgets what was sent so far.
  void commitAndForget() {
    ASSERT_EQ(commit().code, 0);
    forget();
  }
  void forget() {
    clip.clearLog();
    sim.device().clearLog();
  }

  template <typename T>
  qvvandrel::DependencyAttribute<T>& attribute(uint32_t id, const char* channel) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, channel);
  }
  int count(uint32_t id) {
    return registry.getTyped<iattr::AttributeInterface<int>>(id, "")->get();
  }

  // Interface-20 settings since the log was cleared, in order.
  Settings lineSettings() { return channeltest::postedSettings(clip, 20); }
  // The management queries (interface 0) since the log was cleared.
  std::vector<uint16_t> interfaceQueries() {
    std::vector<uint16_t> queries;
    for (const sim::ClipInstruction& i : clip.log())
      if (i.interfaceNumber() == 0) queries.push_back(i.opcode);
    return queries;
  }
  // The module's register writes since the log was cleared; every one must be a single 32-bit
  // write.
  Writes registerWrites() {
    Writes writes;
    for (const sim::LogEntry& e : sim.device().log()) {
      EXPECT_NE(e.command, sessiontest::kWriteBlock);
      if (e.command != sessiontest::kWrite32) continue;
      uint32_t offset, value;
      std::memcpy(&offset, e.input.data(), 4);
      std::memcpy(&value, e.input.data() + 4, 4);
      writes.push_back({offset, value});
    }
    return writes;
  }
  Write write(const std::string& name, uint32_t value) { return {address(name.c_str()), value}; }

  qvvandrel::ClipCapabilities tree{true};
  qvvandrel::ClipConfiguration configuration{instructionFifo, true};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
  std::optional<qvvandrel::config::pfi::Channels> pfi;
  std::optional<qvvandrel::config::di::Channels> di;
  std::optional<qvvandrel::config::dout::Channels> dout;
  std::optional<qvvandrel::config::dio::Channels> dio;
};

}  // namespace linestest
