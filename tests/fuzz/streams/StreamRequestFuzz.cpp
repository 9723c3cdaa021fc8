// Feeds the stream requests records of any content and size, and replies of any size or none,
// against a user session on the simulated module with the request design's streams
// (StreamTestbed.h; stream 5 without its loop buffer, whose wait would take 10 s per write).
// Whatever the record says, the dispatch must not crash, touch memory outside the buffers the
// record declares, leak, or keep the session mutex.
//
// Input: requests of 68 bytes each: byte 0 flags (bit 0 the session was opened with bit 24,
// bit 1 no reply buffer, bit 2 the host FIFOs run dry, else the device keeps them full), byte 1
// the record's size (mod 81), byte 2 the reply's size (mod 41), byte 3 unused, then the 64-byte
// record. The harness points the record's address fields at buffers of the sizes the record
// declares, cutting a declared size above 4 MiB down to it, and cuts every time-out to 0..2 ms.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/device/DmaFifos.h"
#include "tests/unit/streaming/StreamTestbed.h"

namespace {

constexpr size_t kRequestBytes = 68;
constexpr uint64_t kMaxBuffer = 4 << 20;
constexpr const char* kHostFifos[] = {"stream.to host 1", "stream.to host 2.0",
                                      "stream.to host 2.1", "stream.to host 2.2",
                                      "stream.to host 7"};

class Rig : public streamtest::StreamTestbed {
 public:
  Rig() {
    openRequestDesign(0, false);
    sim.module.deviceInterface().setLogging(false);
    sim.module.dmaFifos().setFreeRunning(fifoNumber("stream.to target 5.0"), true);
  }
  void TestBody() override {}
  bool openedWithBit24() override { return bit24_; }

  void serve(const uint8_t* in) {
    bit24_ = (in[0] & 1) != 0;
    for (const char* fifo : kHostFifos)
      sim.module.dmaFifos().setFreeRunning(fifoNumber(fifo), (in[0] & 4) == 0);
    std::memcpy(record_.bytes.data(), in + 4, record_.bytes.size());
    pointAtBuffers();
    std::vector<uint8_t> bytes(record_.bytes.begin(), record_.bytes.end());
    bytes.resize(in[1] % 81);
    std::vector<uint8_t> reply(in[2] % 41);
    try {
      qvvandrelbrenmooru::dispatchStreamRequest(*this, bytes.data(), bytes.size(),
                                                (in[0] & 2) ? nullptr : reply.data(), reply.size());
    } catch (const qverr::ExceptionBase&) {
    }
    if (locks != 0) std::abort();
  }

 private:
  uint64_t field(size_t at, size_t width = 8) const {
    uint64_t value = 0;
    std::memcpy(&value, record_.bytes.data() + at, width);
    return value;
  }
  // Buffer `b` of `bytes` at offset `at`; the time-out at `timeout` cut to 0..2 ms.
  void point(size_t at, int b, uint64_t bytes, size_t timeout) {
    buffers_[b].assign(bytes, 0x5A);
    record_.address(at, buffers_[b].data());
    record_.u32(timeout, field(timeout, 4) % 3);
  }
  void pointAtBuffers() {
    const uint64_t count = field(24);
    switch (field(16, 4)) {
      case 275:
        record_.u64(24, std::min(count, kMaxBuffer));
        return point(32, 0, std::min(count, kMaxBuffer), 40);
      case 276:
        record_.u32(32, field(32, 4) % 3);
        return;
      case 277: {
        const uint64_t channels = field(32);
        const uint64_t perChannel = channels != 0 ? std::min(count, kMaxBuffer / channels) : count;
        record_.u64(24, perChannel);
        point(48, 1, std::min<uint64_t>(channels, 128) * 80, 56);
        return point(40, 0, std::min(channels * perChannel, kMaxBuffer), 56);
      }
      case 279: {
        const uint64_t multiplier = std::max<uint64_t>(field(32, 4), 1);
        record_.u64(24, std::min(count, kMaxBuffer / multiplier));
        return point(40, 0, field(24) * multiplier, 52);
      }
    }
  }
  streamtest::RequestRecord record_{0, 0};
  std::vector<uint8_t> buffers_[2];
  bool bit24_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = new Rig;
  for (size_t at = 0; at + kRequestBytes <= size; at += kRequestBytes) rig->serve(data + at);
  return 0;
}
