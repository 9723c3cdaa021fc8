// Memory of a session that serves requests for a long time, as a host that runs for weeks sees
// it: a long run of mixed requests through the exports on one session, successes and failures,
// leaves the live heap where it stood after the first rounds.
//
// The run is short by default; QV_LONG_RUN=1 in the environment makes it a million requests
// and prints its figures.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "ChassisSession.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocator, which keeps freed blocks aside for a while, says what is live.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// Bytes handed out by the allocator and not yet freed, by every thread of the process.
std::size_t liveBytes() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

std::size_t residentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// A packed request record: the group word, then 32-bit words from offset 16.
std::vector<unsigned char> record(std::uint32_t group, std::vector<std::uint32_t> words,
                                  std::size_t size = 0) {
  std::vector<unsigned char> bytes(std::max(size, 16 + 4 * words.size()));
  std::memcpy(bytes.data(), &group, 4);
  if (!words.empty()) std::memcpy(&bytes[16], words.data(), 4 * words.size());
  return bytes;
}

template <typename T>
void put(std::vector<unsigned char>& bytes, std::size_t offset, const T& value) {
  std::memcpy(&bytes[offset], &value, sizeof value);
}

// An attribute request (group 258): operation, identifier, value type, channel, real value.
std::vector<unsigned char> attribute(std::uint32_t operation, std::uint32_t id, std::uint32_t type,
                                     const char* channel, double value = 0) {
  std::vector<unsigned char> bytes = record(258, {operation, id, type}, 565);
  std::memcpy(&bytes[28], channel, std::strlen(channel) + 1);
  put(bytes, 284, value);
  return bytes;
}

using RequestMemory = e2etest::ChassisSession;

TEST_F(RequestMemory, ALongRunOfMixedRequestsOnOneSessionKeepsTheHeapFlat) {
  const bool longRun = std::getenv("QV_LONG_RUN") != nullptr;
  const std::size_t total = longRun ? 1000000 : 100000;
  // The simulation's own logs would grow with every command.
  chassis_->setLogging(false);
  routes.setLogging(false);
  routes.setTerminals("brm0", "PFI0,PXI_Trig0");  // the routing device is the instance

  std::vector<unsigned char> output(4096);
  const auto invoke = [&](std::uint32_t code, const std::vector<unsigned char>& input,
                          std::size_t outputSize) {
    nQVVUSKS100::tStatus s;
    session->invoke(2, code, reinterpret_cast<std::uint64_t>(input.data()), input.size(),
                    reinterpret_cast<std::uint64_t>(output.data()), outputSize, &s);
    return s.code;
  };
  const std::int32_t wrongType = -304403;
  std::vector<unsigned char> lastError(4), one(4), connect = record(0x105, {0}, 542),
                                                   disconnect = record(0x105, {1, 0});
  put(lastError, 0, wrongType);
  put(one, 0, 1u);
  std::memcpy(&connect[20], "PFI0", 5);
  std::memcpy(&connect[532], "PXI_Trig0", 10);
  std::vector<unsigned char> serialRead = record(0x107, {0}, 35);
  put(serialRead, 20, reinterpret_cast<std::uint64_t>("Des0_I2C"));
  struct Row {
    const char* name;
    std::function<std::int32_t()> call;
    std::int32_t expected;
  };
  const auto request = [&](std::uint32_t code, std::vector<unsigned char> input,
                           std::size_t outputSize) {
    return [&invoke, code, input = std::move(input), outputSize] {
      return invoke(code, input, outputSize);
    };
  };
  const std::vector<Row> rows = {
      {"get text", request(256, attribute(721, 0x30000010, 6, ""), 281), 0},
      {"set double", request(256, attribute(722, 0x20000010, 1, "AI0", 0.3), 281), 0},
      {"get double", request(256, attribute(721, 0x20000010, 1, "AI0"), 281), 0},
      {"wrong type", request(256, attribute(721, 0x30000010, 1, ""), 281), wrongType},
      {"last error", request(800, lastError, 600), 0},
      {"commit", request(256, record(0xDE7EC7ED, {342}), 0), 0},
      {"graph", request(256, record(0xDE7EC7ED, {343}), 4096), 0},
      {"stream start", request(256, record(257, {271, 0}), 16), -304405},
      {"sync method", request(256, record(260, {3}), 24), 0},
      {"counter interval", request(256, record(260, {5}), 24), 0},
      {"route connect", request(256, connect, 4), 0},
      {"route disconnect",
       [&] {
         std::memcpy(&disconnect[20], output.data(), 4);  // the handle connect wrote
         return invoke(256, disconnect, 0);
       },
       0},
      {"serial read", request(256, serialRead, 259), -63193},  // the module has no serial bus
      {"TDC", request(13, one, 24), 0},
      {"bitfile text", request(19, {}, 4096), 0},
      {"map", request(84, {}, 8), -52005},  // the module has no such region
      {"unmap", request(85, {}, 0), 0},
      {"a new channel name each time",
       [&, named = attribute(721, 0x20000010, 1, ""), n = 0u]() mutable {
         std::snprintf(reinterpret_cast<char*>(&named[28]), 256, "AI%u", 64 + n++);
         return invoke(256, named, 281);
       },
       -304423},  // no such channel
      {"unknown group", request(256, record(0x103, {}), 0), -63193},
      {"unknown code", request(5, one, 4), -63193},
      {"register write and read",
       [&] {
         nQVVUSKS100::tStatus s;
         session->writeU32(kValueRegister, 7, false, &s);
         session->readU32(kValueRegister, false, &s);
         return s.code;
       },
       0},
  };
  for (const Row& row : rows) EXPECT_EQ(row.call(), row.expected) << row.name;

  // The name of the first request that changed its answer, or null.
  const auto round = [&]() -> const char* {
    for (const Row& row : rows)
      if (row.call() != row.expected) return row.name;
    return nullptr;
  };
  // A tenth of the rounds first: what a session builds on first use stays with it.
  const std::size_t rounds = total / rows.size(), warmUp = rounds / 10;
  const char* changed = nullptr;
  for (std::size_t i = 0; changed == nullptr && i < warmUp; ++i) changed = round();
  const std::size_t liveBefore = liveBytes(), residentBefore = residentBytes();
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = warmUp; changed == nullptr && i < rounds; ++i) changed = round();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const std::size_t liveAfter = liveBytes(), residentAfter = residentBytes();
  EXPECT_EQ(changed, nullptr) << changed << " changed its answer during the run";
  const auto requests = (rounds - warmUp) * rows.size();
  // One block kept per round would be more than this.
  EXPECT_LE(liveAfter, liveBefore + 16384) << "over " << requests << " requests";
  if (longRun)
    std::printf(
        "%zu requests in %.1f s after %zu: live heap %zu -> %zu bytes, resident %zu -> "
        "%zu bytes\n",
        requests, seconds, warmUp * rows.size(), liveBefore, liveAfter, residentBefore,
        residentAfter);

  EXPECT_EQ(close(), 0);
  EXPECT_EQ(finish(), 0);
}

}  // namespace
