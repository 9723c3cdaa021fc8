#pragma once
// The analog-output channels and cable sensing built from what the simulated CLIP reports,
// registered and commissioned under three roots, with commits and the instructions the CLIP
// received.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../clip/ClipTestbed.h"
#include "../model/TestFeature.h"
#include "clip/ClipCapabilities.h"
#include "features/AoChannels.h"
#include "features/CableSense.h"
#include "features/DacDuc.h"
#include "model/ClipConfiguration.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace aotest {

inline constexpr uint32_t kCount = 0x1000001B;
inline constexpr uint32_t kRange = 0x2000001E;
inline constexpr uint32_t kImpedance = 0x2000001B;
inline constexpr uint32_t kFilter = 0x40000008;
inline constexpr uint32_t kStatus = 0x10000033;
inline constexpr uint32_t kUpconverter = 0x40000009;
inline constexpr uint32_t kMode = 0x10000025;

// One instruction as the controller received it: opcode and arguments.
struct Sent {
  uint32_t opcode;
  std::vector<uint32_t> args;
  bool operator==(const Sent&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Sent& s) {
  out << std::hex << "{0x" << s.opcode << std::dec;
  for (uint32_t a : s.args) out << ", " << a;
  return out << "}";
}
using SentList = std::vector<Sent>;

class AoTestbed : public cliptest::ClipTestbed {
 protected:
  AoTestbed() { clip.setCapabilities(sim::capabilityWords(sim::CapabilityProfile::AnalogOutput)); }

  // Reads the tree; then builds, registers and commissions what `build` makes. Returns the code
  // the construction raised, 0 when none.
  template <typename Build>
  int32_t open(Build build) {
    tree.load(fifo);
    clip.clearLog();
    try {
      build();
    } catch (const qverr::Exception& e) {
      return e.code();
    }
    for (qvvandrel::CommissionInterface* feature : features) feature->registerAttributes(&registry);
    for (qvvandrel::CommissionInterface* feature : features)
      feature->commission(&roots.record, &registry);
    return 0;
  }
  // The analog outputs alone.
  int32_t openOutputs() {
    return open([&] { features.push_back(&outputs.emplace(tree, configuration)); });
  }

  attrtest::Thrown commit() {
    return attrtest::catchError([&] { roots.commit(); });
  }
  // Commits, which must succeed, and returns what interface 13 received.
  SentList commitAndSent() {
    clip.clearLog();
    EXPECT_EQ(commit().code, 0);
    return sent(13);
  }

  // The instructions of `interfaceNumber` since the log was last cleared, in order; posts
  // unless they are the listed calls.
  SentList sent(uint16_t interfaceNumber) {
    SentList list;
    for (const sim::ClipInstruction& i : clip.log()) {
      if (i.interfaceNumber() != interfaceNumber) continue;
      const bool call = i.opcode == 0xD07 || i.opcode == 0x910;
      EXPECT_EQ(i.isCall(), call) << std::hex << i.opcode;
      EXPECT_EQ(i.flags & 0xC, 0u) << std::hex << i.opcode;
      list.push_back({i.opcode, i.args});
    }
    return list;
  }
  size_t supportQueries() { return clip.log(0x009).size(); }

  template <typename T>
  qvvandrel::DependencyAttribute<T>& attribute(uint32_t id, const char* channel) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, channel);
  }

  qvvandrel::ClipCapabilities tree{true};
  qvvandrel::ClipConfiguration configuration{fifo, true};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
  std::vector<qvvandrel::CommissionInterface*> features;
  std::optional<qvvandrel::AoChannels> outputs;
  std::optional<qvvandrel::DacDuc> upconverter;
  std::optional<qvvandrel::CableSense> cableSense;
};

}  // namespace aotest
