// A design's host memory buffers through the plug-in's exports: the session of a design opens
// its dynamic buffer and registers its fixed blocks with the module; the host reaches the
// regions through the FPGA session.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "DefaultChassis.h"
#include "qvkel/IFpgaSession.h"
#include "sim/device/Chassis.h"
#include "sim/fixtures/BitfileBuilder.h"
#include "sim/host/PluginHost.h"

namespace {

constexpr uint32_t kDeviceKitRequest = 0x40208310;
constexpr uint32_t kDynamicRegion = 8192;

// Four dynamic regions of 1 MiB each once rounded, and two fixed blocks after them.
qvsim::TargetSpecificSpec sixRegions() {
  qvsim::TargetSpecificSpec specific;
  // The device session also reads the bitfile texts and the terminal aliases of this section.
  specific.bitfileVersion = "2.1";
  specific.vendor = "Vandrel";
  specific.identity = "six-regions";
  specific.routingAliases.emplace();
  specific.hmb = true;
  specific.dynamicBlocks = {
      {"Capture", 2, 64}, {"Frames", 0x10000, 64}, {"Meta", 4, 32}, {"Tail", 1, 8}};
  specific.fixedBlocks = {{"Doorbell", 0xFEE00000, 300}, {"Bell", 0x123456789A, {}}};
  return specific;
}

// The default chassis with the plug-in loaded; whatever a test leaves open is released and the
// plug-in finalised before it is unloaded, also when the test stops early.
class HostMemoryBuffers : public e2etest::DefaultChassis {
 protected:
  ~HostMemoryBuffers() override {
    if (session_ != nullptr) session_->release();
    if (devices_ != nullptr) devices_->release();
    plugin().finalize();
  }

  // A session of the first module at version 5 of the chain, which has the host-memory slots.
  qvkel::IFpgaSession207* createSession() {
    if (plugin().initialize() != 0) return nullptr;
    int32_t code = 0;
    devices_ = plugin().deviceList(&code);
    if (devices_ == nullptr) return nullptr;
    nQVVUSKS100::tStatus status;
    devices_->refresh(&status);
    qvkel::IDevice* device = devices_->getDevice(0, 0, &status);
    if (device != nullptr) session_ = device->createFpgaSession(5, &status);
    return static_cast<qvkel::IFpgaSession207*>(session_);
  }

  qvkel::IDeviceList* devices_ = nullptr;
  qvkel::IFpgaSession* session_ = nullptr;
};

TEST_F(HostMemoryBuffers, FourDynamicRegionsAndTwoFixedBlocksOpenThroughTheExports) {
  sim::Module& module = chassis_->module(0);
  sim::Interface& driver = module.deviceInterface();
  qvkel::IFpgaSession207* session = createSession();
  ASSERT_NE(session, nullptr);
  driver.clearLog();
  nQVVUSKS100::tStatus status;
  const std::string design = qvsim::BitfileBuilder().targetSpecific(sixRegions()).text();
  session->open(design.c_str(), qvsim::BitfileBuilder::kDefaultSignature, 0x40000000, &status);
  ASSERT_EQ(status.code, 0) << status.file << " " << status.line;

  // Each registration: a request {selector 0, kind 3, input, 16 bytes, no output} whose record
  // is {index, baggage, 6 reserved, address}, in name order: "Bell" (no baggage: 0xFF), then
  // "Doorbell" (300: 0x2C).
  size_t registrations = 0;
  for (const sim::LogEntry& entry : driver.log()) {
    if (entry.command != kDeviceKitRequest) continue;
    ++registrations;
    ASSERT_GE(entry.input.size(), 40u);
    uint32_t words[2];
    uint64_t sizes[4];
    std::memcpy(words, entry.input.data(), sizeof words);
    std::memcpy(sizes, entry.input.data() + 8, sizeof sizes);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 3u);
    EXPECT_EQ(sizes[1], 16u);
    EXPECT_EQ(sizes[2], 0u);
    EXPECT_EQ(sizes[3], 0u);
  }
  EXPECT_EQ(registrations, 2u);
  const auto requests = module.hostMemory().requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].input, (std::vector<uint8_t>{1, 0xFF, 0, 0, 0, 0, 0, 0,  //
                                                     0x9A, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}));
  EXPECT_EQ(requests[1].input, (std::vector<uint8_t>{2, 0x2C, 0, 0, 0, 0, 0, 0,  //
                                                     0x00, 0x00, 0xE0, 0xFE, 0, 0, 0, 0}));

  // The four regions lie back to back in the one 4 MiB buffer the module shares with the host.
  const struct {
    const char* name;
    uint64_t offset, size;
  } regions[] = {
      {"Capture", 0, 16}, {"Frames", 0x10, 0x80000}, {"Meta", 0x80010, 16}, {"Tail", 0x80020, 1}};
  uint8_t mark = 0xA0;  // one value per region, written by the module at the region's end
  for (const auto& expected : regions) {
    ++mark;
    uint64_t size = 0;
    void* address = nullptr;
    void* context = nullptr;
    qvkel::HmbCleanupCallback cleanup = nullptr;
    status = {};
    session->getHmbRegion(expected.name, &size, &address, &context, &cleanup, &status);
    ASSERT_EQ(status.code, 0) << expected.name;
    EXPECT_EQ(size, expected.size) << expected.name;
    uint8_t* shared = module.hostMemory().dynamicBuffer().data() + expected.offset;
    shared[expected.size - 1] = mark;
    EXPECT_EQ(static_cast<const uint8_t*>(address)[expected.size - 1], mark) << expected.name;
    cleanup(context);
  }
  uint64_t size = 0;
  void *address = nullptr, *context = nullptr;
  qvkel::HmbCleanupCallback cleanup = nullptr;
  status = {};
  session->getHmbRegion("Doorbell", &size, &address, &context, &cleanup, &status);
  EXPECT_EQ(status.code, -52005) << "a fixed block has no host address";

  session_->release();
  session_ = nullptr;
  size_t mapped = 0;
  for (const sim::MapRecord& map : driver.maps()) {
    if (map.offset != static_cast<off_t>(kDynamicRegion * sysconf(_SC_PAGESIZE))) continue;
    ++mapped;
    EXPECT_EQ(map.length, 0x400000u);
    EXPECT_TRUE(map.unmapped) << "the session's release gives the buffer back";
  }
  EXPECT_EQ(mapped, 1u);
}

}  // namespace
