#pragma once
// A user session on a simulated module whose design carries streams, the module's stream
// units, the streaming feature, an attribute registry and the Kommissar that commits it.

#include <gtest/gtest.h>

#include <array>
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
#include "streaming/StreamRequests.h"
#include "streaming/StreamingAPI.h"

namespace streamtest {

inline constexpr double kTimeOffset = 7.25;

// A stream request record (group 257) written field by field at its offsets, little-endian.
struct RequestRecord {
  RequestRecord(uint32_t code, uint32_t stream, uint32_t version = 1, uint32_t oldest = 0) {
    u32(0, 257).u32(8, version).u32(12, oldest).u32(16, code).u32(20, stream);
  }
  RequestRecord& u32(size_t at, uint32_t value) { return put(at, value); }
  RequestRecord& u64(size_t at, uint64_t value) { return put(at, value); }
  RequestRecord& address(size_t at, const void* p) {
    return u64(at, reinterpret_cast<uint64_t>(p));
  }
  template <typename T>
  RequestRecord& put(size_t at, T value) {
    for (size_t i = 0; i < sizeof value; ++i) bytes[at + i] = static_cast<uint8_t>(value >> 8 * i);
    return *this;
  }
  std::array<uint8_t, 64> bytes{};
};

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
  void openStreams(const std::vector<uint32_t>& units, bool commission = true, uint32_t flags = 0) {
    open({}, flags);
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

  // Stream 1: one host U16 FIFO for every channel (0xF enabled); stream 2: three host I16
  // FIFOs (7 enabled, "Sample dt" 0.5, the time offset kTimeOffset); stream 5: a target U32
  // FIFO (1 enabled), with a loop buffer unless told not to; stream 7: one host U64 FIFO. Three
  // coefficient records with gains 2, 0.5, 4. Committed.
  void openRequestDesign(uint32_t flags = 0, bool loopBuffer = true) {
    design.addStream({.number = 1, .plainHostFifo = true, .fifoType = "U16"});
    design.addStream({.number = 2, .hostFifos = {0, 1, 2}, .fifoType = "I16"});
    design.addStream({.number = 5, .targetFifos = {0}, .loopBuffer = loopBuffer});
    design.addStream({.number = 7, .plainHostFifo = true, .fifoType = "U64"});
    standIns.add<qvvandrel::CatalogueAttribute<0x50000005>>("AI",
                                                            standIns.coefficients({2, 0.5, 4}));
    standIns.add<qvvandrel::CatalogueAttribute<0x20000019>>("2", kTimeOffset);
    openStreams({1, 2, 5, 7}, true, flags);
    stream(1).attributes().channelsEnabled.set(0xF);
    stream(2).attributes().channelsEnabled.set(7);
    stream(2).attributes().sampleDt.set(0.5);
    stream(5).attributes().channelsEnabled.set(1);
    commit();
  }
  // Device side: the bytes into a host FIFO; whether they all fitted.
  bool push(const char* fifo, const std::vector<uint8_t>& bytes) {
    return sim.module.dmaFifos().push(fifoNumber(fifo), bytes.data(), bytes.size()) == bytes.size();
  }

  sim::StreamUnit& unit(uint32_t n) { return *unitsByNumber.at(n); }
  // Serves a stream request of `size` bytes; 0, or the code it raised.
  int32_t request(const RequestRecord& record, size_t size, void* reply, size_t replySize) {
    return attrtest::catchError([&] {
             qvvandrelbrenmooru::dispatchStreamRequest(*this, record.bytes.data(), size, reply,
                                                       replySize);
           })
        .code;
  }
  uint32_t fifoNumber(const char* name) { return transport->findFifo(name)->getNumber(); }
  qvvandrel::Stream& stream(uint32_t n) { return api->getStream(n); }

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
  bool openedWithBit24() override { return session->isRestricted(); }
  qvkel::user::Session& fifoSession() override { return *session; }

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
