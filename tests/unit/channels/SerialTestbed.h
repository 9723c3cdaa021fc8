#pragma once
// A simulated module whose CLIP describes serial channels, with what the serial feature needs
// around it: the session's interface-check records, the user clocks its aliases stand for, a
// registry and the three roots of a commit.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../clip/ClipTestbed.h"
#include "../model/TestFeature.h"
#include "channels/SerialChannels.h"
#include "clip/ClipCapabilities.h"
#include "foundation/errors/Exception.h"
#include "model/DependencyAttribute.h"
#include "sim/device/ClipCapabilityProfiles.h"
#include "sim/device/ClipSerDes.h"
#include "sim/device/SerDesI2cEngine.h"

namespace serialtest {

using sim::SerialSection;

// Runs `f`; the code it raised (0 when none) and the detail.
struct Raised {
  int32_t code = 0;
  std::string detail;
};
template <typename F>
Raised raised(F&& f) {
  try {
    f();
    return {};
  } catch (const qverr::Exception& e) {
    return {e.code(), e.what()};
  }
}

// Stand-ins for the user clocks of the clock feature: "User Clock Frequency" and "User Clock
// Enabled" on every name the serial channels refer to, unless left out.
class UserClocks {
 public:
  explicit UserClocks(const std::vector<std::string>& leftOut = {}) {
    std::vector<std::string> names;
    for (int k = 0; k < 8; ++k) {
      names.push_back("Des" + std::to_string(k) + "_RefClk");
      names.push_back("Ser" + std::to_string(k) + "_RefClk");
    }
    for (int k = 0; k < 4; ++k) names.push_back("DataClk" + std::to_string(k));
    for (const std::string& name : names) {
      bool skip = false;
      for (const std::string& out : leftOut) skip = skip || out == name;
      if (skip) continue;
      const double frequency = 1e8;
      const bool enabled = false;
      frequencies_.push_back(std::make_unique<Frequency>(name.c_str(), &frequency));
      enables_.push_back(std::make_unique<Enabled>(name.c_str(), &enabled));
    }
  }
  void registerAttributes(atat::AttributeRegistry& registry) {
    for (auto& a : frequencies_) registry.addAttribute(a.get());
    for (auto& a : enables_) registry.addAttribute(a.get());
  }

 private:
  using Frequency = qvvandrel::DepAttr<0x2000002C, qvvandrel::DependencyAttribute<double>>;
  using Enabled = qvvandrel::DepAttr<0x40000021, qvvandrel::DependencyAttribute<bool>>;
  std::vector<std::unique_ptr<Frequency>> frequencies_;
  std::vector<std::unique_ptr<Enabled>> enables_;
};

class SerialTestbed : public cliptest::ClipTestbed {
 protected:
  // Reads a tree that holds only these serial sections.
  std::unique_ptr<qvvandrel::ClipCapabilities> loadTree(
      const std::vector<SerialSection>& sections,
      std::optional<uint32_t> addressMode = std::nullopt) {
    clip.setCapabilities(sim::serialChannelWords(sections, addressMode));
    auto tree = std::make_unique<qvvandrel::ClipCapabilities>(false);
    tree->load(fifo);
    return tree;
  }

  // The serial feature over those sections, registered and commissioned beside the user
  // clocks; the controller's log starts empty afterwards.
  qvvandrel::SerialChannels& open(const std::vector<SerialSection>& sections) {
    tree = loadTree(sections);
    channels = std::make_unique<qvvandrel::SerialChannels>(*tree, interfaces);
    userClocks.registerAttributes(registry);
    channels->registerAttributes(&registry);
    channels->commission(&roots.record, &registry);
    clip.clearLog();
    return *channels;
  }

  // What a session commit does with the roots.
  void commit() {
    roots.compile.resolve();
    roots.deploy.resolve();
    roots.redeploy.markResolved();
  }

  template <typename I>
  I& attribute(uint32_t id, const char* channel) {
    return *registry.getTyped<I>(id, channel);
  }

  sim::SerialStatusState& status() { return clip.state<sim::SerialStatusState>(); }
  std::vector<sim::ClipInstruction> sent(uint32_t opcode) { return clip.log(opcode); }

  qvvandrel::IfifoInterfaceCheck statusCheck{ref};
  qvvandrel::IfifoInterfaceCheck lanesCheck{ref};
  qvvandrel::SerialClipInterfaces interfaces{&statusCheck, &lanesCheck};
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  modeltest::Roots roots;
  UserClocks userClocks;
  std::unique_ptr<qvvandrel::ClipCapabilities> tree;
  std::unique_ptr<qvvandrel::SerialChannels> channels;
};

// An input and an output section of one SerDes number each.
inline SerialSection input(uint32_t frontPanel, uint32_t serDes,
                           std::optional<uint32_t> csi2Port = std::nullopt) {
  return {0, frontPanel, serDes, serDes, std::nullopt, csi2Port};
}
inline SerialSection output(uint32_t frontPanel, uint32_t serDes,
                            std::optional<uint32_t> dataClock = std::nullopt,
                            std::optional<uint32_t> csi2Port = std::nullopt) {
  return {1, frontPanel, serDes, serDes, dataClock, csi2Port};
}

}  // namespace serialtest
