#pragma once
// The clock features as the configuration root holds them: built from the capabilities the
// simulated CLIP reports, registered and connected through one primary feature of a
// Kommissar, committed as a session commits. The module model answers the synchronisation
// unit's baseboard methods and records the reference routing.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../clip/ClipTestbed.h"
#include "../model/TestFeature.h"
#include "clip/ClipCapabilities.h"
#include "clocks/ReferenceClock.h"
#include "clocks/SampleClock.h"
#include "clocks/UserClock.h"
#include "model/ClipConfiguration.h"
#include "model/Kommissar.h"
#include "sim/device/ClipCapabilityProfiles.h"
#include "sim/device/ClipClocks.h"
#include "sim/device/DeviceStatus.h"
#include "sim/device/SynchronisationUnit.h"

namespace clocktest {

inline constexpr uint32_t kSource = 0x1000000B;
inline constexpr uint32_t kRate = 0x20000018;
inline constexpr uint32_t kAlias = 4886;
inline constexpr uint32_t kBaseboardSource = 0x10000018;
inline constexpr uint32_t kExported = 0x4000000A;
inline constexpr uint32_t kPllLocked = 0x4000000C;
inline constexpr uint32_t kBaseboardModeCommand = 0x0020050C;
inline constexpr uint32_t kPllLockCommand = 0x0020050D;

// The configuration root's part in the clocks: collect, then connect, each clock in order.
class ClockRoot : public qvvandrel::CommissionInterface {
 public:
  ClockRoot(qvvandrel::ReferenceClock* reference, qvvandrel::SampleClock* sample,
            qvvandrel::UserClock* user = nullptr)
      : reference_(reference), sample_(sample), user_(user) {}
  void registerAttributes(atat::AttributeRegistry* registry) override {
    if (reference_) reference_->collectAttributes(registry);
    if (sample_) sample_->collectAttributes(registry);
    if (user_) user_->collectAttributes(registry);
  }
  void commission(const qvvandrel::ResolverRoots* roots,
                  atat::AttributeRegistry* registry) override {
    if (reference_) reference_->connect(roots, registry);
    if (sample_) sample_->connect(roots, registry);
    if (user_) user_->connect(roots, registry);
  }

 private:
  qvvandrel::ReferenceClock* reference_;
  qvvandrel::SampleClock* sample_;
  qvvandrel::UserClock* user_;
};

class ClockTestbed : public cliptest::ClipTestbed {
 protected:
  ClockTestbed() { clip.setCapabilities(sim::capabilityWords(sim::CapabilityProfile::Clocks)); }

  // Reads the tree (with the session's PXI-backplane flag), builds the clocks named, registers
  // and connects them once.
  void open(bool pxiBackplane, bool withReference = true, bool withSample = true,
            bool withUser = false) {
    tree.emplace(pxiBackplane);
    tree->load(fifo);
    clip.clearLog();
    if (withReference) reference.emplace(*tree, pxiBackplane, proxy, configuration);
    if (withSample) sample.emplace(*tree, configuration);
    if (withUser) user.emplace(*tree, proxy, configuration);
    root = std::make_unique<ClockRoot>(reference ? &*reference : nullptr,
                                       sample ? &*sample : nullptr, user ? &*user : nullptr);
    kommissar.setPrimary(root.get());
    kommissar.commission();
  }
  // Lists of (identifier, value) capability words replace the profile before opening.
  void report(std::vector<uint32_t> words) { clip.setCapabilities(std::move(words)); }
  // Stands in for the user clock's "User Clock Frequency" of "CLK0"; call before open().
  qvvandrel::DependencyAttribute<double>& addUserClock(double frequency) {
    userClock.emplace(qvvandrel::SampleClock::kUserClockFrequencyId, "CLK0", &frequency);
    registry.addAttribute(&*userClock);
    return *userClock;
  }

  attrtest::Thrown commit() {
    return attrtest::catchError([&] {
      kommissar.compile();
      kommissar.deploy();
    });
  }
  void commitOk() { ASSERT_EQ(commit().code, 0); }

  template <typename T>
  qvvandrel::DependencyAttribute<T>& attribute(uint32_t id) {
    return *registry.getTyped<qvvandrel::DependencyAttribute<T>>(id, "");
  }
  template <typename T>
  iattr::APIAttribute<T>& publicAttribute(uint32_t id) {
    return *registry.getTyped<iattr::APIAttribute<T>>(id, "");
  }

  // The instructions of interface 2 since the log was cleared: (opcode, argument).
  std::vector<std::pair<uint16_t, uint32_t>> clockPosts() {
    std::vector<std::pair<uint16_t, uint32_t>> posts;
    for (const sim::ClipInstruction& i : clip.log()) {
      if (i.interfaceNumber() != 2) continue;
      EXPECT_TRUE(i.isPost()) << i.opcode;
      EXPECT_EQ(i.announced, 1u) << i.opcode;
      EXPECT_EQ(i.words[0], (uint64_t{i.arg(0)} << 32) | 0x100000 | i.opcode);
      posts.emplace_back(i.opcode, i.arg(0));
    }
    return posts;
  }
  // The management queries (interface 0) since the log was cleared, each as (opcode, word).
  std::vector<uint16_t> interfaceQueries() {
    std::vector<uint16_t> opcodes;
    for (const sim::ClipInstruction& i : clip.log())
      if (i.interfaceNumber() == 0) opcodes.push_back(i.opcode);
    return opcodes;
  }
  void clearLogs() {
    clip.clearLog();
    module.deviceInterface().clearLog();
  }

  sim::SynchronisationUnit sync{module.deviceInterface()};
  sim::DeviceStatus deviceStatus{module.deviceInterface()};
  std::optional<qvvandrel::ClipCapabilities> tree;
  qvvandrel::ClipConfiguration configuration{fifo, true};
  std::optional<qvvandrel::DependencyAttribute<double>> userClock;
  atat::AttributeRegistry registry = modeltest::makeRegistry();
  qvvandrel::KommissarBrenmoor kommissar{&registry, &configuration.deploy};
  std::optional<qvvandrel::ReferenceClock> reference;
  std::optional<qvvandrel::SampleClock> sample;
  std::optional<qvvandrel::UserClock> user;
  std::unique_ptr<ClockRoot> root;
};

}  // namespace clocktest
