#include "devkit/HMBVirtualMemoryManager.h"

#include <sys/mman.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "DevkitTestUtil.h"
#include "FifoTestbed.h"
#include "HmbSectionText.h"
#include "devkit/HostBuffer.h"

namespace {

using devkit_test::codeOf;
using devkit_test::fieldOf;
using namespace devkit_test::hmb_text;
using Manager = qvkel::HMBVirtualMemoryManager;

const std::string kSignature = "0123456789abcdef0011223344556677";
const std::string kOtherSignature = "fedcba98765432100011223344556677";

// Regions "a" (0x180000 bytes at 0) and "d" (16 bytes at 0x180000), 3 MiB in all; fixed
// blocks "c" (baggage 7) and "b".
const std::string kDesign = section(block("a", 0x30000, 64) + block("d", 16, 8),
                                    fixedBlock("c", "0x2000", "7") + fixedBlock("b", "0xFEE00000"),
                                    llbList(block("low", 0x20000, 64)));

struct HmbTest : devkit_test::FifoTestbed, ::testing::Test {
  std::shared_ptr<Manager> manager = std::make_shared<Manager>(proxy);
  sim::HostMemory& memory = module.hostMemory();
  const uint64_t page = qvkel::getPageSize();

  // The mappings of one region number.
  std::vector<sim::MapRecord> mapsOf(uint32_t region) const {
    std::vector<sim::MapRecord> found;
    for (const sim::MapRecord& map : iface.maps())
      if (map.offset == static_cast<off_t>(region * page)) found.push_back(map);
    return found;
  }
};

TEST_F(HmbTest, TheFirstAcquireMapsTheDynamicBufferAndRegistersFixedBlocksInNameOrder) {
  EXPECT_TRUE(manager->parseHmbSection(kDesign, kSignature));
  manager->acquire();
  const auto maps = mapsOf(8192);
  ASSERT_EQ(maps.size(), 1u);
  EXPECT_EQ(maps[0].length, 0x300000u);
  EXPECT_EQ(maps[0].prot, PROT_READ | PROT_WRITE);

  // {u8 index, u8 baggage, 6 reserved, u64 address}: "b" first, then "c".
  const auto requests = memory.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].input, (std::vector<uint8_t>{1, 0xFF, 0, 0, 0, 0, 0, 0,  //
                                                     0x00, 0x00, 0xE0, 0xFE, 0, 0, 0, 0}));
  EXPECT_EQ(requests[1].input, (std::vector<uint8_t>{2, 7, 0, 0, 0, 0, 0, 0,  //
                                                     0x00, 0x20, 0, 0, 0, 0, 0, 0}));
  const auto logged = logOf(devkit_test::kDeviceKitRequest);
  ASSERT_EQ(logged.size(), 2u);
  EXPECT_EQ(fieldOf<uint32_t>(logged[0].input, 0), 0u);
  EXPECT_EQ(fieldOf<uint32_t>(logged[0].input, 4), 3u);
  EXPECT_EQ(fieldOf<uint64_t>(logged[0].input, 16), 16u);
  EXPECT_EQ(fieldOf<uint64_t>(logged[0].input, 24), 0u);
  EXPECT_EQ(fieldOf<uint64_t>(logged[0].input, 32), 0u);

  // A second session only counts.
  manager->acquire();
  EXPECT_EQ(mapsOf(8192).size(), 1u);
  EXPECT_EQ(memory.requests().size(), 2u);
  manager->release();
  EXPECT_FALSE(mapsOf(8192)[0].unmapped);
  manager->release();
  EXPECT_TRUE(mapsOf(8192)[0].unmapped) << "the last release unmaps";
  EXPECT_EQ(codeOf([&] { manager->release(); }), -61499);
}

TEST_F(HmbTest, RegionsShowWhatTheDeviceWrites) {
  manager->parseHmbSection(kDesign, kSignature);
  EXPECT_EQ(codeOf([&] { manager->getRegion("d"); }), -61499) << "not open";
  manager->acquire();
  std::memcpy(memory.dynamicBuffer().data() + 0x180000, "device data", 12);

  const Manager::Access region = manager->getRegion("d");
  EXPECT_EQ(region.size, 16u);
  EXPECT_STREQ(static_cast<const char*>(region.address), "device data");
  EXPECT_EQ(manager->getOpenCount(), 2u) << "a region holds the buffer open";
  const Manager::Access other = manager->getRegion("a");
  EXPECT_EQ(other.size, 0x180000u);
  EXPECT_EQ(static_cast<uint8_t*>(other.address) + 0x180000, region.address);
  EXPECT_EQ(codeOf([&] { manager->getRegion("b"); }), -52005) << "a fixed block";
  EXPECT_EQ(codeOf([&] { manager->getRegion("x"); }), -52006);
  EXPECT_EQ(codeOf([&] { manager->getRegion(nullptr); }), -52005);

  region.cleanup(region.context);
  manager->release();
  EXPECT_EQ(manager->getOpenCount(), 1u) << "the region of \"a\" is still out";
  EXPECT_FALSE(mapsOf(8192)[0].unmapped);
  other.cleanup(other.context);
  EXPECT_TRUE(mapsOf(8192)[0].unmapped);
}

// A cleanup whose release fails still frees its context (the leak checker would see it).
TEST_F(HmbTest, ACleanupThatCannotReleaseStillEndsItsContext) {
  manager->parseHmbSection(kDesign, kSignature);
  manager->acquire();
  const Manager::Access region = manager->getRegion("d");
  manager->release();
  manager->release();
  EXPECT_EQ(manager->getOpenCount(), 0u);
  region.cleanup(region.context);
  EXPECT_EQ(manager.use_count(), 1);
}

TEST_F(HmbTest, ABufferThatIsNotThereCountsButHasNoRegions) {
  EXPECT_FALSE(manager->parseHmbSection("<CompilationResults/>", kSignature));
  manager->acquire();
  EXPECT_TRUE(mapsOf(8192).empty());
  EXPECT_EQ(codeOf([&] { manager->getRegion("a"); }), -61499);
  manager->release();
}

TEST_F(HmbTest, AnotherDesignWhileOpenChangesNothing) {
  manager->parseHmbSection(kDesign, kSignature);
  manager->acquire();
  EXPECT_EQ(codeOf([&] { manager->parseHmbSection(section(block("d", 32, 8)), kOtherSignature); }),
            -61499);
  const Manager::Access region = manager->getRegion("d");
  EXPECT_EQ(region.size, 16u);
  Manager::releaseRegionCallback(region.context);
  manager->release();
  EXPECT_TRUE(mapsOf(8192)[0].unmapped) << "the last release still finds the buffer";
  // Released, the design is forgotten: the next one may differ.
  EXPECT_TRUE(manager->parseHmbSection(section(block("z", 16, 8)), kOtherSignature));
}

TEST_F(HmbTest, FixedBlocksAloneAreRegisteredAndReleased) {
  EXPECT_TRUE(manager->parseHmbSection(section("", fixedBlock("f", "0x3000")), kSignature));
  manager->acquire();
  EXPECT_TRUE(mapsOf(8192).empty());
  ASSERT_EQ(memory.registrations().size(), 1u);
  EXPECT_EQ(memory.registrations()[0].address, 0x3000u);
  manager->release();
  EXPECT_TRUE(manager->parseHmbSection(section("", fixedBlock("g", "0x4000")), kOtherSignature));
}

// Four dynamic regions fill the 4 MiB buffer; two fixed blocks follow them in the table.
TEST_F(HmbTest, FourDynamicRegionsAndTwoFixedBlocksOpenTogether) {
  EXPECT_TRUE(manager->parseHmbSection(
      section(block("Capture", 2, 64) + block("Frames", 0x10000, 64) + block("Meta", 4, 32) +
                  block("Tail", 1, 8),
              fixedBlock("Doorbell", "0xFEE00000", "300") + fixedBlock("Bell", "0x123456789A")),
      kSignature));
  manager->acquire();
  ASSERT_EQ(mapsOf(8192).size(), 1u);
  EXPECT_EQ(mapsOf(8192)[0].length, 0x400000u);

  // In name order, "Bell" (no baggage: 0xFF) then "Doorbell" (300: 0x2C).
  const auto requests = memory.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].input, (std::vector<uint8_t>{1, 0xFF, 0, 0, 0, 0, 0, 0,  //
                                                     0x9A, 0x78, 0x56, 0x34, 0x12, 0, 0, 0}));
  EXPECT_EQ(requests[1].input, (std::vector<uint8_t>{2, 0x2C, 0, 0, 0, 0, 0, 0,  //
                                                     0x00, 0x00, 0xE0, 0xFE, 0, 0, 0, 0}));

  const auto* base = static_cast<const uint8_t*>(mapsOf(8192)[0].addr);
  const struct {
    const char* name;
    uint64_t offset, size;
  } regions[] = {
      {"Capture", 0, 16}, {"Frames", 0x10, 0x80000}, {"Meta", 0x80010, 16}, {"Tail", 0x80020, 1}};
  for (const auto& expected : regions) {
    const Manager::Access region = manager->getRegion(expected.name);
    EXPECT_EQ(region.size, expected.size) << expected.name;
    EXPECT_EQ(region.address, base + expected.offset) << expected.name;
    region.cleanup(region.context);
  }
  EXPECT_EQ(codeOf([&] { manager->getRegion("Doorbell"); }), -52005);
  manager->release();
  EXPECT_TRUE(mapsOf(8192)[0].unmapped);
  EXPECT_EQ(memory.requests().size(), 2u) << "each block registered once";
}

TEST_F(HmbTest, Requests) {
  manager->parseHmbSection(kDesign, kSignature);
  manager->acquire();
  const char* name = "d";
  uint8_t out[64];
  EXPECT_EQ(codeOf([&] { manager->request(2, &name, 8, out, 16, 1); }), -63045);
  EXPECT_EQ(codeOf([&] { manager->request(9, &name, 8, out, 16, 0); }), -63193);

  std::memset(out, 0xAB, sizeof out);
  EXPECT_EQ(codeOf([&] { manager->request(2, &name, 8, out, 8, 0); }), -52005);
  EXPECT_EQ(out[0], 0xAB) << "a wrong output size leaves the output alone";
  const char* unknown = "x";
  EXPECT_EQ(codeOf([&] { manager->request(2, &unknown, 8, out, 16, 0); }), -52006);
  EXPECT_EQ(fieldOf<uint64_t>(std::vector<uint8_t>(out, out + 16), 8), 0u) << "zeroed first";
  EXPECT_EQ(codeOf([&] { manager->request(2, &name, 4, out, 16, 0); }), -52005);

  manager->request(2, &name, 8, out, 16, 0);
  const std::vector<uint8_t> region(out, out + 16);
  EXPECT_EQ(fieldOf<uint64_t>(region, 0), 16u);
  EXPECT_EQ(fieldOf<uint64_t>(region, 8),
            reinterpret_cast<uint64_t>(mapsOf(8192)[0].addr) + 0x180000);
  EXPECT_EQ(manager->getOpenCount(), 1u) << "a region request acquires nothing";

  manager->request(4, nullptr, 0, out, 16, 0);
  EXPECT_EQ(manager->getOpenCount(), 2u);
  const std::vector<uint8_t> acquired(out, out + 16);
  auto cleanup = reinterpret_cast<Manager::Cleanup>(fieldOf<uint64_t>(acquired, 8));
  cleanup(reinterpret_cast<void*>(fieldOf<uint64_t>(acquired, 0)));
  EXPECT_EQ(manager->getOpenCount(), 1u);

  // Kind 3 goes to the driver with its records as they are.
  memory.setAnswer({0x11, 0x22, 0x33});
  const uint8_t input[5] = {9, 8, 7, 6, 5};
  uint8_t answer[4] = {};
  manager->request(3, input, sizeof input, answer, sizeof answer, 0);
  const sim::HostMemory::Request passed = memory.requests().back();
  EXPECT_EQ(passed.selector, 0u);
  EXPECT_EQ(passed.kind, 3u);
  EXPECT_EQ(passed.input, std::vector<uint8_t>(input, input + 5));
  EXPECT_EQ(passed.outputSize, 4u);
  EXPECT_EQ(answer[2], 0x33);

  // Kind 5: sizes, addresses, contexts and cleanups, buffer before page in each pair.
  const char* low = "low";
  manager->request(5, &low, 8, out, 64, 0);
  const std::vector<uint8_t> llb(out, out + 64);
  EXPECT_EQ(fieldOf<uint64_t>(llb, 0), 0x100000u);
  EXPECT_EQ(fieldOf<uint64_t>(llb, 8), 4096u);
  EXPECT_EQ(fieldOf<uint64_t>(llb, 16), reinterpret_cast<uint64_t>(mapsOf(12287)[0].addr));
  EXPECT_EQ(fieldOf<uint64_t>(llb, 24), reinterpret_cast<uint64_t>(mapsOf(12286)[0].addr));
  EXPECT_EQ(fieldOf<uint64_t>(llb, 48),
            reinterpret_cast<uint64_t>(&Manager::releaseLlbBufferCallback));
  EXPECT_EQ(fieldOf<uint64_t>(llb, 56),
            reinterpret_cast<uint64_t>(&Manager::releaseLlbPageCallback));
  Manager::releaseLlbBufferCallback(reinterpret_cast<void*>(fieldOf<uint64_t>(llb, 32)));
  Manager::releaseLlbPageCallback(reinterpret_cast<void*>(fieldOf<uint64_t>(llb, 40)));
  EXPECT_EQ(manager->getLlbPageReferences(), 0u);
}

TEST_F(HmbTest, LowLatencyBuffersLiveByTheirOwnReferences) {
  manager->parseHmbSection(kDesign, kSignature);
  EXPECT_EQ(codeOf([&] { manager->openLlb(nullptr); }), -52005);
  EXPECT_EQ(codeOf([&] { manager->openLlb("other"); }), -52006);

  memory.llbBuffer().data()[0x1234] = 0x77;
  const Manager::LlbAccess first = manager->openLlb("low");
  const Manager::LlbAccess second = manager->openLlb("low");
  EXPECT_EQ(first.buffer.size, 0x100000u);
  EXPECT_EQ(first.page.size, 4096u);
  EXPECT_EQ(static_cast<uint8_t*>(second.buffer.address)[0x1234], 0x77);
  EXPECT_EQ(mapsOf(12286).size(), 1u);
  EXPECT_EQ(mapsOf(12287).size(), 1u);
  EXPECT_EQ(manager->getLlbPageReferences(), 2u);
  EXPECT_EQ(manager->getLlbBufferReferences(), 2u);

  for (const Manager::LlbAccess& llb : {first, second}) {
    llb.buffer.cleanup(llb.buffer.context);
    llb.page.cleanup(llb.page.context);
  }
  EXPECT_TRUE(mapsOf(12286)[0].unmapped);
  EXPECT_TRUE(mapsOf(12287)[0].unmapped);
  Manager::releaseLlbPageCallback(nullptr);  // nothing to do
  EXPECT_EQ(manager->getLlbPageReferences(), 0u);
}

TEST_F(HmbTest, AFailedLowLatencyMappingTakesNoReference) {
  manager->parseHmbSection(kDesign, kSignature);
  iface.failNextMap(ENOMEM);
  EXPECT_EQ(codeOf([&] { manager->openLlb("low"); }), -52000);
  EXPECT_EQ(manager->getLlbPageReferences(), 0u);

  // The page maps, the buffer does not: the page goes back with this call.
  iface.addRegion(12287, 4096);
  EXPECT_EQ(codeOf([&] { manager->openLlb("low"); }), -52005);
  EXPECT_EQ(manager->getLlbPageReferences(), 0u);
  EXPECT_EQ(manager->getLlbBufferReferences(), 0u);
  ASSERT_EQ(mapsOf(12286).size(), 2u);
  EXPECT_TRUE(mapsOf(12286)[1].unmapped);

  // Without an LLB in the bitfile there is nothing to open, not even by the empty name.
  auto plain = std::make_shared<Manager>(proxy);
  plain->parseHmbSection(section(block("a", 16, 8)), kSignature);
  EXPECT_EQ(codeOf([&] { plain->openLlb(""); }), -52006);
}

}  // namespace
