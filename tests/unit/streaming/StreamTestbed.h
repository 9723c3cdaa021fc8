#pragma once
// A user session on a simulated module whose design carries streams, the module's stream
// units, the streaming feature, an attribute registry and the Kommissar that commits it.

#include <gtest/gtest.h>

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../attributes/TestSupport.h"
#include "../session/SessionTestbed.h"
#include "attributes/AttributeRegistry.h"
#include "features/Coefficients.h"
#include "model/Kommissar.h"
#include "sim/device/StreamUnit.h"
#include "streaming/StreamConfiguration.h"
#include "streaming/StreamingAPI.h"

namespace streamtest {

// Driver commands of the DMA FIFOs (configure, start, stop).
inline constexpr uint32_t kFifoSetBuffer = 0x4020832E;

// Attributes of other features that a stream reads, registered by a feature of their own.
class StandIns : public qvvandrel::CommissionInterface {
 public:
  template <typename A, typename V>
  A& add(const char* channel, V value) {
    auto attribute = std::make_unique<A>(channel, qvvandrel::initialValue(value));
    A& result = *attribute;
    attributes_.push_back(std::move(attribute));
    return result;
  }
  // Records in channel order with the given gains and offsets 10 x gain.
  const std::list<qvvandrel::Coefficients>* coefficients(const std::vector<double>& gains) {
    static const char* const kNames[] = {"AI0", "AI1", "AI2", "AI3", "AI4", "AI5", "AI6", "AI7"};
    for (size_t i = 0; i < gains.size(); ++i) {
      qvvandrel::Coefficients& entry =
          list_.emplace_back(kNames[i % 8], qvvandrel::Coefficients::Kind::Input);
      entry.aiSet()->gainAttribute.setCoerced(gains[i]);
      entry.aiSet()->offsetAttribute.setCoerced(10 * gains[i]);
    }
    return &list_;
  }
  void registerAttributes(atat::AttributeRegistry* registry) override {
    for (auto& attribute : attributes_) registry->addAttribute(attribute.get());
  }
  void commission(const qvvandrel::ResolverRoots*, atat::AttributeRegistry*) override {}

 private:
  std::vector<std::unique_ptr<iattr::AttributeBaseInterface>> attributes_;
  std::list<qvvandrel::Coefficients> list_;
};

class StreamTestbed : public sessiontest::SessionTestbed, public qvvandrel::StreamingSession {
 protected:
  // Opens the session on the design (streams added with design.addStream), builds the stream
  // units of `units` and the streaming feature; commissions it with the stand-ins unless told
  // not to.
  void openStreams(const std::vector<uint32_t>& units, bool commission = true) {
    open({});
    fpgaModel.setState(sim::FpgaModel::kRunning);
    for (uint32_t n : units) {
      unitsByNumber[n] = std::make_unique<sim::StreamUnit>(
          sim.module, n,
          [this](const std::string& name) { return design.findRegisterAddress(name); });
    }
    api = std::make_unique<qvvandrel::StreamingAPI>(transport.get(), nullptr);
    kommissar.addCommission(&standIns);
    kommissar.addCommission(api.get());
    if (commission) kommissar.commission();
    sim.device().clearLog();
  }

  sim::StreamUnit& unit(uint32_t n) { return *unitsByNumber.at(n); }
  qvvandrel::Stream& stream(uint32_t n) { return api->getStream(n); }

  // The session's commit.
  void commit() {
    std::lock_guard guard(*this);
    commitHeld();
  }

 public:
  // StreamingSession.
  void lock() override {
    mutex.lock();
    ++locks;
  }
  void unlock() override {
    --locks;
    mutex.unlock();
  }
  void commitHeld() override {
    kommissar.compile();
    kommissar.deploy();
  }
  qvvandrel::StreamingAPI& streaming() override { return *api; }

 protected:
  // Commands of the device interface since the last clear, of the given codes.
  size_t count(uint32_t command) const {
    size_t n = 0;
    for (const sim::LogEntry& e : sim.module.findInterface(sim::kDeviceInterfaceName)->log())
      n += e.command == command;
    return n;
  }

  atat::AttributeRegistry registry{-304404, -304403, -304500};
  qvvandrel::KommissarBrenmoor kommissar{&registry, nullptr};
  StandIns standIns;
  std::map<uint32_t, std::unique_ptr<sim::StreamUnit>> unitsByNumber;
  std::unique_ptr<qvvandrel::StreamingAPI> api;
  std::recursive_mutex mutex;
  int locks = 0;
};

}  // namespace streamtest
