// A stop's reset clears a stream's sample counters on one thread while a read on another
// advances them: each counter is an atomic value, so the two meet without a data race.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "StreamTestbed.h"

namespace {

class CounterRaceTest : public streamtest::StreamTestbed {};

TEST_F(CounterRaceTest, AResetMeetsAReadThatAdvancesTheCounters) {
  design.addStream({.number = 3, .hostFifos = {0}});
  openStreams({3});
  commit();
  qvvandrel::ChannelCounters& counters = api->getStreamSampleCounters(3);
  std::atomic<bool> done{false};
  std::atomic<uint64_t> added{0};
  std::thread reader([&] {
    while (!done.load()) {
      std::lock_guard guard(*this);
      for (size_t channel = 0; channel < qvvandrel::kStreamChannels; ++channel)
        counters.add(channel, 1);
      ++added;
    }
  });
  // Resets while the reader runs.
  for (int i = 0; i < 20; ++i) {
    const uint64_t before = added.load();
    api->resetStream(3);
    while (added.load() == before) std::this_thread::yield();
  }
  done = true;
  reader.join();
  EXPECT_GE(added.load(), 20u);
  api->resetStream(3);
  for (size_t channel = 0; channel < qvvandrel::kStreamChannels; ++channel)
    EXPECT_EQ(counters.get(channel), 0u);
}

}  // namespace
