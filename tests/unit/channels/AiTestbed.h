#pragma once
// The analog-input channel set built from what the simulated CLIP reports, registered and
// commissioned under three roots, with commits and the interface-9 settings the CLIP received.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../clip/ClipTestbed.h"
#include "../model/TestFeature.h"
#include "ChannelTestSupport.h"
#include "channels/ai/Channels.h"
#include "clip/ClipCapabilities.h"
#include "model/IfifoInterfaceCheck.h"
#include "sim/device/ClipCapabilityProfiles.h"

namespace aitest {

inline constexpr uint32_t kCount = 0x1000000F;
inline constexpr uint32_t kEnabled = 0x40000000;
inline constexpr uint32_t kRange = 0x20000010;
inline constexpr uint32_t kOffset = 0x2000001F;
inline constexpr uint32_t kDac = 0x1000001C;
inline constexpr uint32_t kNyquistZone = 0x1000000E;
inline constexpr uint32_t kBand = 0x10000014;
inline constexpr uint32_t kImpedance = 0x2000000F;
inline constexpr uint32_t kCoupling = 0x10000011;

using channeltest::Setting;
using channeltest::Settings;

class AiTestbed : public cliptest::ClipTestbed {
 protected:
  explicit AiTestbed(sim::CapabilityProfile profile = sim::CapabilityProfile::AnalogInput) {
    clip.setCapabilities(sim::capabilityWords(profile));
  }

  // Reads the tree, builds the group, registers and commissions it; the code the construction
  // raised, 0 when none.
  int32_t open() {
    tree.load(fifo);
    clip.clearLog();
    try {
      channels.emplace(tree, interface9);
    } catch (const qverr::Exception& e) {
      return e.code();
    }
    channels->registerAttributes(&registry);
    channels->commission(&roots.record, &registry);
    return 0;
  }
  // Opens and makes the first commit, then forgets what was sent so far.
  void openAndCommit() {
    ASSERT_EQ(open(), 0);
    ASSERT_EQ(commit().code, 0);
    clip.clearLog();
  }

  attrtest::Thrown commit() {
    return attrtest::catchError([&] {
      roots.compile.resolve();
      roots.deploy.resolve();
      roots.redeploy.markResolved();
    });
  }

  template <typename T>
  qvvandrel::DependencyAttribute<T>& attribute(uint32_t id, const char* channel) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, channel);
  }

  // Interface-9 settings received since the log was last cleared, in order.
  Settings settings() { return channeltest::postedSettings(clip, 9); }

  // The instructions of interface 0 (the interface checks) received since the tree was read.
  size_t interfaceQueries() {
    size_t count = 0;
    for (const sim::ClipInstruction& i : clip.log()) count += i.interfaceNumber() == 0;
    return count;
  }

  qvvandrel::ClipCapabilities tree{true};
  qvvandrel::IfifoInterfaceCheck interface9{ref};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
  std::optional<qvvandrel::config::ai::Channels> channels;
};

}  // namespace aitest
